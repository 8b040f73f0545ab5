// The frame path at 1920 x 1080 "YUY2": how soon QelWaitImage returns after a
// frame is stored and how long a fast and a classic open take (as figures);
// then, as ratios to a memcpy of the frame, what the streaming thread spends
// per frame in the grabber callback (with and without a frame callback),
// what QelReceiveImage and QelReceiveImageEx spend, and the streaming
// thread's cost while another thread receives continuously. Each ratio is
// timed against its baseline in alternating pairs (support/paired_ratio.h).
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
#include "support/figure_reporter.h"
#include "support/paired_ratio.h"

namespace {

constexpr std::size_t kFrameBytes = 1920 * 1080 * 2;

std::vector<std::uint8_t> PatternFrame() {
  std::vector<std::uint8_t> frame(kFrameBytes);
  qelsim_fill_frame(frame.data(), static_cast<int32_t>(frame.size()), 1);
  return frame;
}

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

void QEL_CALL CountFrame(int32_t, const unsigned char* frame, const QelFrameInfo* info,
                         void* user) {
  *static_cast<std::uint64_t*>(user) += frame[info->bytes - 1];
}

// The ratios, each from baseline and subject timed in alternating pairs.
using qel::bench::PrintRatio;
using qel::bench::Summarise;
using qel::bench::TimedWork;
using qel::bench::TimePairs;

constexpr int kPairs = 1500;
constexpr int kWarmUpPairs = 50;

// One copy of the frame between two buffers that stay in the cache.
TimedWork PlainMemcpy(const std::vector<std::uint8_t>& source,
                      std::vector<std::uint8_t>& destination) {
  return {{}, [&] {
            std::memcpy(destination.data(), source.data(), kFrameBytes);
            benchmark::DoNotOptimize(destination.data());
            benchmark::ClobberMemory();
          }};
}

// The fair baseline of a receive: the frame is first written into one of
// three rotating buffers (untimed, as a delivery is before a receive), then
// copied out of it. The plain memcpy copies between two buffers that stay in
// the cache, which a receive never can.
struct RotatingMemcpy {
  std::vector<std::vector<std::uint8_t>> rotating =
      std::vector<std::vector<std::uint8_t>>(3, std::vector<std::uint8_t>(kFrameBytes));
  std::size_t turn = 0;

  TimedWork Work(const std::vector<std::uint8_t>& source, std::vector<std::uint8_t>& destination) {
    return {[this, &source] {
              turn = (turn + 1) % rotating.size();
              std::memcpy(rotating[turn].data(), source.data(), kFrameBytes);
            },
            [this, &destination] {
              std::memcpy(destination.data(), rotating[turn].data(), kFrameBytes);
              benchmark::DoNotOptimize(destination.data());
              benchmark::ClobberMemory();
            }};
  }
};

// One copy of the frame into one of two buffers taken in turn (the turn
// untimed), as the frame store writes each frame into the one of its two
// buffers that it does not hand out: both sides then keep the same amount of
// memory in use, and the ratio does not move with what the machine's other
// work leaves of the cache.
struct AlternatingMemcpy {
  std::vector<std::vector<std::uint8_t>> destinations =
      std::vector<std::vector<std::uint8_t>>(2, std::vector<std::uint8_t>(kFrameBytes));
  std::size_t turn = 0;

  TimedWork Work(const std::vector<std::uint8_t>& source) {
    return {[this] { turn = (turn + 1) % destinations.size(); },
            [this, &source] {
              std::memcpy(destinations[turn].data(), source.data(), kFrameBytes);
              benchmark::DoNotOptimize(destinations[turn].data());
              benchmark::ClobberMemory();
            }};
  }
};

// What the streaming thread spends per frame to a memcpy into alternating
// buffers; and with a frame callback to without, on the same store (the
// callback set before each timing of the subject and cleared before each of
// the baseline), so that only the callback differs.
void PrintStreamingThreadRatios(std::vector<std::uint8_t>& frame) {
  auto frames = std::make_shared<qel::FrameStore>();
  qel::vrk_SampleGrabberCB callback(0, frames);
  std::uint64_t sum = 0;
  double sampleTime = 0.0;
  auto deliver = [&](qel::FrameListener listener) {
    return TimedWork{[&frames, listener] { frames->SetListener(listener); },
                     [&] {
                       sampleTime += 1.0 / 30.0;
                       callback.BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
                     }};
  };
  AlternatingMemcpy alternating;
  PrintRatio("streaming thread per frame (grabber callback)",
             Summarise(TimePairs(alternating.Work(frame), deliver({}), kPairs, kWarmUpPairs)), 1.2);
  PrintRatio(
      "streaming thread per frame with a frame callback",
      Summarise(TimePairs(deliver({}), deliver({CountFrame, &sum, 0}), kPairs, kWarmUpPairs)),
      1.05);
  benchmark::DoNotOptimize(sum);
}

void SetLogLevel(const char* level) {
#ifdef _WIN32
  _putenv_s("QEL_LOG", level);
#else
  if (*level != '\0') {
    setenv("QEL_LOG", level, 1);
  } else {
    unsetenv("QEL_LOG");
  }
#endif
  qel::ReloadLogLevel();
}

// Receiving a new frame, stored just before (untimed), to the plain and the
// fair memcpy; and with the most detailed log level, to without: nothing on
// the frame path logs.
void PrintReceiveRatios(std::vector<std::uint8_t>& frame) {
  OpenCamera camera;
  if (!camera.opened()) {
    std::printf("the rig's camera did not open\n");
    return;
  }
  std::vector<std::uint8_t> destination(kFrameBytes);
  std::vector<unsigned char> buffer(kFrameBytes);
  double sampleTime = 100.0;
  bool allNew = true;
  auto store = [&] {
    sampleTime += 1.0 / 30.0;
    camera.callback().BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
  };
  const TimedWork receive{store, [&] { allNew &= QelReceiveImage(0, buffer.data()) == 1; }};
  QelFrameInfo info{};
  info.size = sizeof info;
  auto receiveEx = [&](const char* logLevel) {
    return TimedWork{[&, logLevel] {
                       SetLogLevel(logLevel);
                       store();
                     },
                     [&] {
                       allNew &= QelReceiveImageEx(0, buffer.data(),
                                                   static_cast<int32_t>(kFrameBytes), &info) == 1;
                     }};
  };
  RotatingMemcpy rotating;
  PrintRatio("QelReceiveImage per new frame, plain",
             Summarise(TimePairs(PlainMemcpy(frame, destination), receive, kPairs, kWarmUpPairs)),
             1.5);
  PrintRatio("QelReceiveImage per new frame, fair",
             Summarise(TimePairs(rotating.Work(frame, destination), receive, kPairs, kWarmUpPairs)),
             1.2);
  PrintRatio(
      "QelReceiveImageEx per new frame, fair",
      Summarise(TimePairs(rotating.Work(frame, destination), receiveEx(""), kPairs, kWarmUpPairs)),
      1.2);
  std::fflush(stdout);
  PrintRatio("QelReceiveImageEx with QEL_LOG=debug, to without",
             Summarise(TimePairs(receiveEx(""), receiveEx("debug"), kPairs, kWarmUpPairs)), 1.05);
  SetLogLevel("");
  if (!allNew) std::printf("  (a receive found no new frame: these figures are void)\n");
}

// Frames arrive at 120 per second; between two frames the caches cool down,
// so the streaming thread's work is compared with a memcpy into alternating
// buffers paced the same way, while another thread receives as fast as it
// can throughout.
constexpr auto kFramePeriod = std::chrono::microseconds(8333);
constexpr int kPacedPairs = 600;

void PrintPacedRatio(std::vector<std::uint8_t>& frame) {
  OpenCamera camera;
  if (!camera.opened()) {
    std::printf("the rig's camera did not open\n");
    return;
  }
  std::atomic<bool> stop{false};
  std::atomic<int64_t> received{0};
  std::thread receiver([&] {
    std::vector<unsigned char> buffer(kFrameBytes);
    while (!stop.load(std::memory_order_relaxed)) {
      if (QelReceiveImage(0, buffer.data())) received.fetch_add(1, std::memory_order_relaxed);
    }
  });
  AlternatingMemcpy alternating;
  auto nextFrame = std::chrono::steady_clock::now();
  auto waitForFrame = [&] {
    std::this_thread::sleep_until(nextFrame);
    nextFrame += kFramePeriod;
  };
  TimedWork memcpyPaced = alternating.Work(frame);
  memcpyPaced.prepare = [&, turn = memcpyPaced.prepare] {
    turn();
    waitForFrame();
  };
  double sampleTime = 100.0;
  const TimedWork deliver{waitForFrame, [&] {
                            sampleTime += 1.0 / 120.0;
                            camera.callback().BufferCB(sampleTime, frame.data(),
                                                       static_cast<long>(frame.size()));
                          }};
  const qel::bench::PairedTimes times = TimePairs(memcpyPaced, deliver, kPacedPairs, 10);
  stop = true;
  receiver.join();
  PrintRatio("streaming thread while another thread receives", Summarise(times), 1.5);
  std::printf(
      "  99th percentile %.1f us, worst %.1f us (memcpy: %.1f us, %.1f us); %lld frames "
      "received\n",
      qel::bench::Quantile(times.subjectNs, 0.99) / 1e3,
      qel::bench::Quantile(times.subjectNs, 1.0) / 1e3,
      qel::bench::Quantile(times.baselineNs, 0.99) / 1e3,
      qel::bench::Quantile(times.baselineNs, 1.0) / 1e3, static_cast<long long>(received.load()));
}

}  // namespace

int main(int argc, char** argv) {
  qel::bench::FigureReporter reporter;
  if (!qel::bench::RunWith(reporter, argc, argv)) return 1;
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

  std::vector<std::uint8_t> frame = PatternFrame();
  std::printf(
      "\nRatios, each from %d pairs timed alternately: the subject's and the baseline's\n"
      "median time, the median ratio over blocks of two pairs in opposite order, and\n"
      "the middle half of those ratios.\n"
      "The streaming thread, to one memcpy of a 1920 x 1080 YUY2 frame (%zu bytes)\n"
      "into one of two buffers in turn, as the frame store writes:\n",
      kPairs, kFrameBytes);
  PrintStreamingThreadRatios(frame);
  std::printf(
      "\nReceiving, to the plain memcpy (both buffers in the cache) and to the fair\n"
      "baseline (the frame written into one of three rotating buffers first, as a\n"
      "delivery does, untimed in both):\n");
  PrintReceiveRatios(frame);
  std::printf(
      "\nPaced at 120 frames per second, to the same memcpy paced the same way (%d pairs):\n",
      kPacedPairs);
  PrintPacedRatio(frame);
  return 0;
}
