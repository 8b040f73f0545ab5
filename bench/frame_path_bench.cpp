// The frame path at 1920 x 1080 "YUY2": what the streaming thread spends per
// frame in the grabber callback, and what QelReceiveImage spends, each as a
// ratio to one memcpy of the frame measured in the same run; and the
// streaming thread's cost while another thread receives continuously.
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

void BM_ReceiveImage(benchmark::State& state) {
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
    if (!QelReceiveImage(0, buffer.data())) state.SkipWithError("no new frame");
    benchmark::DoNotOptimize(buffer.data());
  }
}
BENCHMARK(BM_ReceiveImage)->Unit(benchmark::kMicrosecond);

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
  reporter.PrintRatio("QelReceiveImage per new frame", "BM_ReceiveImage", "BM_MemcpyFrame", 1.2);
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
