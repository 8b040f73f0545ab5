// The frame path at 1920 x 1080 "YUY2": what the streaming thread spends per
// frame in the grabber callback, and what QelReceiveImage spends, each as a
// ratio to one memcpy of the frame measured in the same run; and the
// streaming thread's cost while another thread receives continuously.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
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
// fast as it can; the worst single frame is reported as the counter "worst".
// Frames come at 120 per second, as a camera delivers them, so that the
// receiver's copy of one frame and the callback's copy of the next share the
// memory bus only as much as they would in use.
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
  constexpr auto kFramePeriod = std::chrono::microseconds(8333);
  double sampleTime = 100.0;
  double worst = 0.0;
  auto nextFrame = std::chrono::steady_clock::now();
  for (auto _ : state) {
    std::this_thread::sleep_until(nextFrame);
    nextFrame += kFramePeriod;
    sampleTime += 1.0 / 120.0;
    const auto start = std::chrono::steady_clock::now();
    camera.callback().BufferCB(sampleTime, frame.data(), static_cast<long>(frame.size()));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    worst = std::max(worst, elapsed.count());
  }
  stop = true;
  receiver.join();
  state.counters["worst"] = worst * 1e9;  // nanoseconds, for the ratio
  state.counters["received"] = static_cast<double>(received.load());
}
BENCHMARK(BM_StreamingThreadWhileReceiving)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qel::bench::RatioReporter reporter;
  if (!qel::bench::RunWith(reporter, argc, argv)) return 1;
  std::printf("\nRatios to one memcpy of a 1920 x 1080 YUY2 frame (%zu bytes):\n", kFrameBytes);
  reporter.PrintRatio("streaming thread per frame (grabber callback)",
                      "BM_StreamingThreadPerFrame", "BM_MemcpyFrame", 1.2);
  reporter.PrintRatio("QelReceiveImage per new frame", "BM_ReceiveImage", "BM_MemcpyFrame", 1.2);
  reporter.PrintRatio("streaming thread while another thread receives (mean)",
                      "BM_StreamingThreadWhileReceiving/manual_time", "BM_MemcpyFrame", 1.5);
  reporter.PrintCounterRatio("streaming thread while another thread receives (worst)",
                             "BM_StreamingThreadWhileReceiving/manual_time", "worst",
                             "BM_MemcpyFrame", 1.5);
  return 0;
}
