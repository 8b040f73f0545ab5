// The frame path at 1920 x 1080 "YUY2": what the streaming thread spends per
// frame in the grabber callback (with and without a frame callback), and what
// QelReceiveImage and QelReceiveImageEx spend, each as a ratio to a memcpy of
// the frame measured in the same run; the streaming thread's cost while
// another thread receives continuously; how soon QelWaitImage returns after a
// frame is stored; and how long a fast and a classic open take.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_context.h"
#include "capture/frame_store.h"
#include "capture/sample_grabber_cb.h"
#include "core/log.h"
#include "qel/qel.h"
#include "qel/qelsim.h"
#include "support/ratio_reporter.h"

namespace {

constexpr std::size_t kFrameBytes = 1920 * 1080 * 2;

std::vector<std::uint8_t> PatternFrame() {
  std::vector<std::uint8_t> frame(kFrameBytes);
  qelsim_fill_frame(frame.data(), static_cast<int32_t>(frame.size()), 1);
  return frame;
}

void BM_MemcpyFrame(benchmark::State& state) {
  const auto source = PatternFrame();
  std::vector<std::uint8_t> destination(kFrameBytes);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), kFrameBytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes));
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMicrosecond);

// Frames arrive at 120 per second; between two frames the caches cool down,
// so paced work is compared with a memcpy paced the same way.
constexpr auto kFramePeriod = std::chrono::microseconds(8333);

// Times one paced piece of work per iteration and reports the 99th
// percentile and the worst iteration (nanoseconds) as counters.
template <typename Work>
void RunPaced(benchmark::State& state, Work work) {
  std::vector<double> times;
  auto nextFrame = std::chrono::steady_clock::now();
  for (auto _ : state) {
    std::this_thread::sleep_until(nextFrame);
    nextFrame += kFramePeriod;
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    times.push_back(elapsed.count());
  }
  if (times.empty()) return;
  std::sort(times.begin(), times.end());
  state.counters["p99"] = times[times.size() * 99 / 100] * 1e9;
  state.counters["worst"] = times.back() * 1e9;
}

// The baseline for paced work: one memcpy per frame period, timed alone.
void BM_MemcpyFramePaced(benchmark::State& state) {
  const auto source = PatternFrame();
  std::vector<std::uint8_t> destination(kFrameBytes);
  RunPaced(state, [&] {
    std::memcpy(destination.data(), source.data(), kFrameBytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  });
}
BENCHMARK(BM_MemcpyFramePaced)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The fair baseline of a receive: the frame is first written into one of
// three rotating buffers (untimed, as the delivery is in BM_ReceiveImage),
// then copied out of it. The plain memcpy above copies between two buffers
// that stay in the cache, which a receive never can.
void BM_MemcpyFrameRotating(benchmark::State& state) {
  const auto source = PatternFrame();
  std::vector<std::vector<std::uint8_t>> rotating(3, std::vector<std::uint8_t>(kFrameBytes));
  std::vector<std::uint8_t> destination(kFrameBytes);
  std::size_t turn = 0;
  for (auto _ : state) {
    state.PauseTiming();
    turn = (turn + 1) % rotating.size();
    std::memcpy(rotating[turn].data(), source.data(), kFrameBytes);
    state.ResumeTiming();
    std::memcpy(destination.data(), rotating[turn].data(), kFrameBytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFrameRotating)->Unit(benchmark::kMicrosecond);

void BM_StreamingThreadPerFrame(benchmark::State& state) {
  auto frame = PatternFrame();
  qel::vrk_SampleGrabberCB callback(0, std::make_shared<qel::FrameStore>());
  double sampleTime = 0.0;
  for (auto _ : state) {
    sampleTime += 1.0 / 30.0;
    callback.BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes));
}
BENCHMARK(BM_StreamingThreadPerFrame)->Unit(benchmark::kMicrosecond);

void QEL_CALL CountFrame(int32_t, const unsigned char* frame, const QelFrameInfo* info,
                         void* user) {
  *static_cast<std::uint64_t*>(user) += frame[info->bytes - 1];
}

void BM_StreamingThreadPerFrameWithCallback(benchmark::State& state) {
  auto frame = PatternFrame();
  auto frames = std::make_shared<qel::FrameStore>();
  std::uint64_t sum = 0;
  frames->SetListener(qel::FrameListener{CountFrame, &sum, 0});
  qel::vrk_SampleGrabberCB callback(0, frames);
  double sampleTime = 0.0;
  for (auto _ : state) {
    sampleTime += 1.0 / 30.0;
    callback.BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_StreamingThreadPerFrameWithCallback)->Unit(benchmark::kMicrosecond);

// An open "QEL5" camera on the rig whose grabber callback the benchmark
// drives itself (the rig's clock stays still, so its own stream is quiet).
class OpenCamera {
 public:
  OpenCamera() {
    qelsim_reset(1);
    qelsim_set_virtual_time(1);
    opened_ = QelOpen(0, 1920, 1080, 30.0, "YUY2") == 0;
  }
  ~OpenCamera() {
    QelClose(0);
    qelsim_reset(0);
  }
  bool opened() const { return opened_; }
  qel::vrk_SampleGrabberCB& callback() { return *qel::Capture().grabberCallbacks[0]; }

 private:
  bool opened_ = false;
};

// Each iteration stores a new frame (untimed) and times one receive of it.
template <typename Receive>
void ReceiveLoop(benchmark::State& state, Receive receive) {
  OpenCamera camera;
  if (!camera.opened()) {
    state.SkipWithError("the rig's camera did not open");
    return;
  }
  auto frame = PatternFrame();
  std::vector<unsigned char> buffer(kFrameBytes);
  double sampleTime = 100.0;
  for (auto _ : state) {
    state.PauseTiming();
    sampleTime += 1.0 / 30.0;
    camera.callback().BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
    state.ResumeTiming();
    if (!receive(buffer.data())) state.SkipWithError("no new frame");
    benchmark::DoNotOptimize(buffer.data());
  }
}

void BM_ReceiveImage(benchmark::State& state) {
  ReceiveLoop(state, [](unsigned char* buffer) { return QelReceiveImage(0, buffer) == 1; });
}
BENCHMARK(BM_ReceiveImage)->Unit(benchmark::kMicrosecond);

void ReceiveExLoop(benchmark::State& state) {
  QelFrameInfo info{};
  info.size = sizeof info;
  ReceiveLoop(state, [&info](unsigned char* buffer) {
    return QelReceiveImageEx(0, buffer, static_cast<int32_t>(kFrameBytes), &info) == 1;
  });
}

void BM_ReceiveImageEx(benchmark::State& state) { ReceiveExLoop(state); }
BENCHMARK(BM_ReceiveImageEx)->Unit(benchmark::kMicrosecond);

// The same with the most detailed log level: nothing on the frame path logs.
void BM_ReceiveImageExLogDebug(benchmark::State& state) {
#ifdef _WIN32
  _putenv_s("QEL_LOG", "debug");
#else
  setenv("QEL_LOG", "debug", 1);
#endif
  qel::ReloadLogLevel();
  std::fflush(stdout);
  ReceiveExLoop(state);
#ifdef _WIN32
  _putenv_s("QEL_LOG", "");
#else
  unsetenv("QEL_LOG");
#endif
  qel::ReloadLogLevel();
}
BENCHMARK(BM_ReceiveImageExLogDebug)->Unit(benchmark::kMicrosecond);

// From the moment a frame arrives to the return of the thread waiting for
// it in QelWaitImage, on the real clock; median and 99th percentile.
void BM_WaitImageWakeUp(benchmark::State& state) {
  OpenCamera camera;
  if (!camera.opened()) {
    state.SkipWithError("the rig's camera did not open");
    return;
  }
  qelsim_set_frame_mode(1, QELSIM_FRAMES_NONE);  // only the benchmark's frames
  qelsim_set_virtual_time(0);
  std::vector<unsigned char> opening(kFrameBytes);
  QelReceiveImage(0, opening.data());  // the open's frame is not waited for
  // A small frame, so that the figure is the wake-up and not two copies.
  std::vector<std::uint8_t> frame(4096);
  qelsim_fill_frame(frame.data(), static_cast<int32_t>(frame.size()), 1);
  std::vector<double> latencies;
  double sampleTime = 100.0;
  for (auto _ : state) {
    std::atomic<bool> waiting{false};
    std::chrono::steady_clock::time_point returned;
    std::thread waiter([&] {
      std::vector<unsigned char> buffer(kFrameBytes);
      waiting = true;
      if (QelWaitImage(0, buffer.data(), static_cast<int32_t>(kFrameBytes), nullptr, 2000) == 1) {
        returned = std::chrono::steady_clock::now();
      }
    });
    while (!waiting.load()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // asleep in the wait by now
    sampleTime += 1.0 / 30.0;
    const auto stored = std::chrono::steady_clock::now();  // the frame arrives
    camera.callback().BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
    waiter.join();
    const std::chrono::duration<double> latency = returned - stored;
    state.SetIterationTime(std::max(latency.count(), 1e-9));
    latencies.push_back(latency.count());
  }
  std::sort(latencies.begin(), latencies.end());
  if (latencies.empty()) return;
  state.counters["median_us"] = latencies[latencies.size() / 2] * 1e6;
  state.counters["p99_us"] = latencies[latencies.size() * 99 / 100] * 1e6;
}
BENCHMARK(BM_WaitImageWakeUp)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

// A whole open on the rig's real clock, 30 frames per second: the classic
// one with its fixed wait, and the fast one that returns with the first frame.
void OpenOnRealClock(benchmark::State& state, std::uint32_t flags) {
  for (auto _ : state) {
    qelsim_reset(1);
    const auto start = std::chrono::steady_clock::now();
    const bool opened = QelOpenEx(0, 1920, 1080, 30.0, "YUY2", flags) == 0;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    QelClose(0);
    if (!opened) state.SkipWithError("the rig's camera did not open");
  }
  qelsim_reset(0);
}
void BM_OpenFast(benchmark::State& state) { OpenOnRealClock(state, QEL_OPEN_FAST); }
BENCHMARK(BM_OpenFast)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
void BM_OpenClassic(benchmark::State& state) { OpenOnRealClock(state, 0); }
BENCHMARK(BM_OpenClassic)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The streaming thread's cost per frame while another thread receives as
// fast as it can, with frames paced as a camera delivers them.
void BM_StreamingThreadWhileReceiving(benchmark::State& state) {
  OpenCamera camera;
  if (!camera.opened()) {
    state.SkipWithError("the rig's camera did not open");
    return;
  }
  auto frame = PatternFrame();
  std::atomic<bool> stop{false};
  std::atomic<int64_t> received{0};
  std::thread receiver([&] {
    std::vector<unsigned char> buffer(kFrameBytes);
    while (!stop.load(std::memory_order_relaxed)) {
      if (QelReceiveImage(0, buffer.data())) received.fetch_add(1, std::memory_order_relaxed);
    }
  });
  double sampleTime = 100.0;
  RunPaced(state, [&] {
    sampleTime += 1.0 / 120.0;
    camera.callback().BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
  });
  stop = true;
  receiver.join();
  state.counters["received"] = static_cast<double>(received.load());
}
BENCHMARK(BM_StreamingThreadWhileReceiving)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qel::bench::RatioReporter reporter;
  if (!qel::bench::RunWith(reporter, argc, argv)) return 1;
  std::printf("\nRatios to one memcpy of a 1920 x 1080 YUY2 frame (%zu bytes):\n", kFrameBytes);
  reporter.PrintRatio("streaming thread per frame (grabber callback)", "BM_StreamingThreadPerFrame",
                      "BM_MemcpyFrame", 1.2);
  reporter.PrintRatio("streaming thread per frame with a frame callback",
                      "BM_StreamingThreadPerFrameWithCallback", "BM_StreamingThreadPerFrame", 1.05);
  std::printf(
      "\nReceiving, to the plain memcpy (both buffers in the cache) and to the fair\n"
      "baseline (the frame written into one of three rotating buffers first, as a\n"
      "delivery does, untimed in both):\n");
  reporter.PrintRatio("QelReceiveImage per new frame, plain", "BM_ReceiveImage", "BM_MemcpyFrame",
                      1.5);
  reporter.PrintRatio("QelReceiveImage per new frame, fair", "BM_ReceiveImage",
                      "BM_MemcpyFrameRotating", 1.2);
  reporter.PrintRatio("QelReceiveImageEx per new frame, fair", "BM_ReceiveImageEx",
                      "BM_MemcpyFrameRotating", 1.2);
  reporter.PrintRatio("QelReceiveImageEx with QEL_LOG=debug, to without",
                      "BM_ReceiveImageExLogDebug", "BM_ReceiveImageEx", 1.05);
  std::printf(
      "\nQelWaitImage from a frame's arrival to the waiting thread's return:\n"
      "  median %.1f us, 99th percentile %.1f us (target <= 1000 us)\n",
      reporter.Counter("BM_WaitImageWakeUp/iterations:200/manual_time", "median_us"),
      reporter.Counter("BM_WaitImageWakeUp/iterations:200/manual_time", "p99_us"));
  std::printf(
      "\nOpening a 30 frames-per-second camera on the rig's real clock:\n"
      "  QEL_OPEN_FAST %.1f ms (target <= 100 ms + one frame interval = 133 ms), "
      "classic %.1f ms\n",
      reporter.Nanoseconds("BM_OpenFast/iterations:10/manual_time") / 1e6,
      reporter.Nanoseconds("BM_OpenClassic/iterations:1/manual_time") / 1e6);
  std::printf("\nPaced at 120 frames per second, to one memcpy paced the same way:\n");
  reporter.PrintRatio("streaming thread while another thread receives (mean)",
                      "BM_StreamingThreadWhileReceiving/manual_time",
                      "BM_MemcpyFramePaced/manual_time", 1.5);
  for (const char* statistic : {"p99", "worst"}) {
    reporter.PrintCounterRatio(
        std::string("streaming thread while another thread receives (") + statistic + ")",
        "BM_StreamingThreadWhileReceiving/manual_time", statistic,
        "BM_MemcpyFramePaced/manual_time", statistic, 1.5);
  }
  return 0;
}
