// The command channel against a rig camera that answers at once, on the
// rig's real-time clock: what the library adds to each HidExchange, what a
// whole command export costs, and a whole rewrite of a 1 MiB image, each
// beside what the USB link itself needs (one 65-byte report each way per
// exchange, 125 us per report at high speed).
//
// The rig's own cost is part of every measurement. It is measured alone too:
// a write and a read of one report on a platform HID handle opened directly,
// the least that any exchange can cost on the rig. "added_us" is what the
// library spends beyond that.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "core/camera_table.h"
#include "hid/command_report.h"
#include "hid/hid_channel.h"
#include "platform/platform.h"
#include "qel/qel.h"
#include "qel/qelsim.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kUsbReportUs = 125.0;
constexpr double kUsbExchangeUs = 2 * kUsbReportUs;
constexpr std::uint32_t kImageBytes = 1u << 20;
constexpr double kRewriteExchanges = 2.0 * ((kImageBytes + 55) / 56);
constexpr std::int64_t kLogClearEvery = 4096;  // the rig logs every report
constexpr int kBaselineExchanges = 20000;

// A rig holding one "QEL5" camera on the real-time clock.
void FreshRig() {
  qelsim_reset(0);
  qelsim_set_virtual_time(0);
  qelsim_add_camera("QEL5", 0x0000ABCD);
}

// The camera's HID interface opened directly on the platform, without the
// library's channel.
std::unique_ptr<qel::platform::HidDevice> OpenRawHandle() {
  qel::platform::Platform& platform = qel::platform::ActivePlatform();
  std::unique_ptr<qel::platform::HidInterfaceSet> set = platform.GetHidInterfaceSet();
  char path[512] = {};
  if (!set || !set->EnumDeviceInterface(0) ||
      !set->GetDeviceInterfacePath(0, set->DeviceInterfaceDetailSize(0), path, sizeof path)) {
    return nullptr;
  }
  return platform.OpenHidDevice(path, qel::platform::HidOpenMode::kCommandChannel);
}

// One exchange on a raw handle: the rig's cost alone.
bool RawExchange(qel::platform::HidDevice& device, std::uint8_t sequence) {
  std::uint8_t output[qel::kReportLength] = {0, sequence, 0xF1};
  std::uint8_t input[qel::kReportLength] = {};
  return device.Write(output, sizeof output, 5000) && device.Read(input, sizeof input, 5000) &&
         input[1] == sequence && input[2] == 0xF1;
}

// Mean microseconds of the rig alone per exchange, over n exchanges.
double RigAloneUs(int n) {
  std::unique_ptr<qel::platform::HidDevice> device = OpenRawHandle();
  if (!device) return 0.0;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < n; ++i) {
    if (i % kLogClearEvery == 0) qelsim_log_clear();
    if (!RawExchange(*device, static_cast<std::uint8_t>(i))) return 0.0;
  }
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  qelsim_log_clear();
  return elapsed.count() / n;
}

// Opens the rig's camera through the library and stops its capture, so that
// no streaming thread competes with the exchanges.
bool OpenCameraWithoutStream() {
  if (QelOpen(0, 480, 270, 30.0, "YUY2") != 0) return false;
  qel::StopCapture(qel::CameraTable::Instance().CaptureIndexOf(0));
  qelsim_log_clear();
  return true;
}

void ReportPerExchange(benchmark::State& state, double measuredUs, double rigAloneUs) {
  state.counters["rig_alone_us"] = rigAloneUs;
  state.counters["added_us"] = measuredUs - rigAloneUs;
  state.counters["usb_link_us"] = kUsbExchangeUs;
  state.SetLabel("USB link: 2 reports x 125 us");
}

void BM_RigAlonePerExchange(benchmark::State& state) {
  FreshRig();
  std::unique_ptr<qel::platform::HidDevice> device = OpenRawHandle();
  if (!device) {
    state.SkipWithError("no HID interface on the rig");
    return;
  }
  std::uint8_t sequence = 0;
  for (auto _ : state) {
    if (state.iterations() % kLogClearEvery == 0) qelsim_log_clear();
    if (!RawExchange(*device, sequence++)) state.SkipWithError("no reply");
  }
  state.counters["usb_link_us"] = kUsbExchangeUs;
  state.SetLabel("USB link: 2 reports x 125 us");
  device.reset();
  qelsim_reset(0);
}
BENCHMARK(BM_RigAlonePerExchange)->Unit(benchmark::kMicrosecond);

// HidExchange on the open camera's channel.
void BM_HidExchange(benchmark::State& state) {
  FreshRig();
  const double rigAlone = RigAloneUs(kBaselineExchanges);
  if (!OpenCameraWithoutStream()) {
    state.SkipWithError("the rig's camera did not open");
    return;
  }
  const std::shared_ptr<qel::HidChannel> channel =
      qel::CameraTable::Instance().FindSlot(0)->channel;
  const qel::CommandBlock command = qel::MakeCommand(qel::CommandCode::kUsbMode);
  qel::ReplyBlock reply{};
  std::int64_t n = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    if (++n % kLogClearEvery == 0) qelsim_log_clear();
    if (!qel::HidExchange(channel.get(), command, reply)) state.SkipWithError("no reply");
  }
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  ReportPerExchange(state, elapsed.count() / static_cast<double>(n), rigAlone);
  QelClose(0);
  qelsim_reset(0);
}
BENCHMARK(BM_HidExchange)->Unit(benchmark::kMicrosecond);

// A whole command export: key lookup, exchange, status and decoding.
void BM_QelUSBMode(benchmark::State& state) {
  FreshRig();
  const double rigAlone = RigAloneUs(kBaselineExchanges);
  if (!OpenCameraWithoutStream()) {
    state.SkipWithError("the rig's camera did not open");
    return;
  }
  std::uint8_t mode = 0;
  std::int64_t n = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    if (++n % kLogClearEvery == 0) qelsim_log_clear();
    if (!QelUSBMode(0, &mode)) state.SkipWithError("refused");
  }
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  ReportPerExchange(state, elapsed.count() / static_cast<double>(n), rigAlone);
  QelClose(0);
  qelsim_reset(0);
}
BENCHMARK(BM_QelUSBMode)->Unit(benchmark::kMicrosecond);

// QelSoftRewrite of a 1 MiB image until the poll reports it finished:
// 18,725 blocks written and read back.
void BM_Rewrite1MiB(benchmark::State& state) {
  FreshRig();
  const double rigAlone = RigAloneUs(kBaselineExchanges);
  if (!OpenCameraWithoutStream()) {
    state.SkipWithError("the rig's camera did not open");
    return;
  }
  const std::string path =
      (std::filesystem::temp_directory_path() / "qel_bench_image_1MiB.bin").string();
  {
    std::vector<char> image(kImageBytes);
    for (std::uint32_t i = 0; i < kImageBytes; ++i) image[i] = static_cast<char>(i * 31 + 7);
    std::ofstream(path, std::ios::binary).write(image.data(), kImageBytes);
  }
  double totalUs = 0.0;
  std::int64_t n = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    if (!QelSoftRewrite(0, path.c_str())) {
      state.SkipWithError("rewrite refused");
      break;
    }
    int32_t seconds = 0;
    float percent = 0.0f;
    int32_t result = 0;
    while ((result = QelSoftRewriteState(0, &seconds, &percent)) > 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
    totalUs += elapsed.count();
    ++n;
    if (result != 0) state.SkipWithError("rewrite failed");
    state.PauseTiming();
    qelsim_log_clear();
    state.ResumeTiming();
  }
  if (n > 0) {
    const double perExchange = totalUs / static_cast<double>(n) / kRewriteExchanges;
    state.counters["exchanges"] = kRewriteExchanges;
    state.counters["per_exchange_us"] = perExchange;
    state.counters["added_us"] = perExchange - rigAlone;
    state.counters["usb_link_ms"] = kRewriteExchanges * kUsbExchangeUs / 1000.0;
    state.SetLabel("USB link: 2 x 18725 exchanges x 250 us");
  }
  std::filesystem::remove(path);
  QelClose(0);
  qelsim_reset(0);
}
BENCHMARK(BM_Rewrite1MiB)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
