// The command channel against a rig camera that answers at once, on the
// rig's real-time clock: what the library adds to each HidExchange, what a
// whole command export costs, and a whole rewrite of a 1 MiB image, each
// beside what the USB link itself needs (one 65-byte report each way per
// exchange, 125 us per report at high speed).
//
// The rig's own cost is part of every measurement. It is measured alone too:
// a write and a read of one report on a platform HID handle opened directly,
// the least that any exchange can cost on the rig, timed in alternating
// pairs with the library's work (support/paired_ratio.h). The library's
// channel is put on that same handle, so that neither side finds the other's
// replies queued; "added" is what the library spends beyond the rig.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
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
#include "support/paired_ratio.h"

namespace {

constexpr double kUsbReportUs = 125.0;
constexpr double kUsbExchangeUs = 2 * kUsbReportUs;
constexpr std::uint32_t kImageBytes = 1u << 20;
constexpr double kRewriteExchanges = 2.0 * ((kImageBytes + 55) / 56);
// Exchanges per timed sample: one takes well under a microsecond on the rig.
constexpr int kBatch = 400;
constexpr int kPairs = 1500;
constexpr int kRewritePairs = 80;
constexpr auto kRewritePoll = std::chrono::microseconds(200);

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

// The library's channel on the benchmark's own handle: every call goes to
// the handle that the raw exchanges use.
class SharedHandle : public qel::platform::HidDevice {
 public:
  explicit SharedHandle(qel::platform::HidDevice& device) : device_(device) {}
  bool GetCaps(qel::platform::HidCaps& caps) override { return device_.GetCaps(caps); }
  bool GetSerialNumberString(char16_t* buffer, std::uint32_t bufferBytes) override {
    return device_.GetSerialNumberString(buffer, bufferBytes);
  }
  bool Write(const std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) override {
    return device_.Write(report, length, timeoutMs);
  }
  bool Read(std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) override {
    return device_.Read(report, length, timeoutMs);
  }
  bool DeviceGone() override { return device_.DeviceGone(); }

 private:
  qel::platform::HidDevice& device_;
};

// The rig's camera opened through the library, its capture stopped so that
// no streaming thread competes with the exchanges, and its slot's channel
// moved onto a raw handle of the benchmark's.
class Camera {
 public:
  Camera() {
    FreshRig();
    if (QelOpen(0, 480, 270, 30.0, "YUY2") != 0) return;
    qel::StopCapture(qel::CameraTable::Instance().CaptureIndexOf(0));
    raw_ = OpenRawHandle();
    const std::optional<qel::CameraSlot> slot = qel::CameraTable::Instance().FindSlot(0);
    qel::platform::HidCaps caps{};
    if (!raw_ || !slot || !slot->channel || !raw_->GetCaps(caps)) return;
    channel_ = std::make_shared<qel::HidChannel>(std::make_unique<SharedHandle>(*raw_), caps);
    slot->channel->Close();
    qel::CameraTable::Instance().StoreSlot(slot->captureIndex, 0, channel_, slot->model,
                                           slot->dataBlock, slot->sizeIndex, slot->cameraNumber);
    qelsim_log_clear();
  }
  ~Camera() {
    QelClose(0);
    channel_.reset();
    raw_.reset();
    qelsim_reset(0);
  }
  bool ready() const { return channel_ != nullptr; }
  qel::platform::HidDevice& raw() { return *raw_; }
  qel::HidChannel& channel() { return *channel_; }

 private:
  std::unique_ptr<qel::platform::HidDevice> raw_;
  std::shared_ptr<qel::HidChannel> channel_;
};

using qel::bench::TimedWork;

// The rig logs every report: its log is emptied before each timing.
TimedWork RigAlone(Camera& camera, int exchanges, bool& answered) {
  return {qelsim_log_clear, [&camera, exchanges, &answered] {
            for (int i = 0; i < exchanges; ++i) {
              answered &= RawExchange(camera.raw(), static_cast<std::uint8_t>(i));
            }
          }};
}

// The same on a thread of its own, awaited by the rewrite's poll: a rewrite
// runs on the library's thread, so both sides pay a thread's start and the
// poll's wake-up.
TimedWork RigAloneOnAThread(Camera& camera, int exchanges, bool& answered) {
  return {qelsim_log_clear, [&camera, exchanges, &answered] {
            std::atomic<bool> done{false};
            std::thread worker([&] {
              for (int i = 0; i < exchanges; ++i) {
                answered &= RawExchange(camera.raw(), static_cast<std::uint8_t>(i));
              }
              done = true;
            });
            while (!done.load()) std::this_thread::sleep_for(kRewritePoll);
            worker.join();
          }};
}

void PrintPerExchange(const char* label, const qel::bench::RatioSummary& summary,
                      double exchanges) {
  std::printf("%-34s %8.3f us, rig alone %8.3f us, added %8.3f us; ratio %5.2f [%4.2f .. %4.2f]\n",
              label, summary.subjectNs / exchanges / 1e3, summary.baselineNs / exchanges / 1e3,
              summary.differenceNs / exchanges / 1e3, summary.median, summary.lowQuartile,
              summary.highQuartile);
}

// QelSoftRewrite of a 1 MiB image until the poll reports it finished:
// 18,725 blocks written and read back.
TimedWork Rewrite(const std::string& path, bool& succeeded) {
  return {qelsim_log_clear, [&path, &succeeded] {
            if (!QelSoftRewrite(0, path.c_str())) {
              succeeded = false;
              return;
            }
            int32_t seconds = 0;
            float percent = 0.0f;
            int32_t result = 0;
            while ((result = QelSoftRewriteState(0, &seconds, &percent)) > 0) {
              std::this_thread::sleep_for(kRewritePoll);
            }
            succeeded &= result == 0;
          }};
}

}  // namespace

int main() {
  Camera camera;
  if (!camera.ready()) {
    std::printf("the rig's camera did not open\n");
    return 1;
  }
  bool answered = true;
  std::printf(
      "Per exchange, each from %d pairs of %d exchanges timed alternately with as many\n"
      "on the rig alone (the ratio's middle half in brackets); the USB link\n"
      "itself needs %.0f us (2 reports x %.0f us):\n",
      kPairs, kBatch, kUsbExchangeUs, kUsbReportUs);
  const qel::CommandBlock command = qel::MakeCommand(qel::CommandCode::kUsbMode);
  const TimedWork exchange{qelsim_log_clear, [&] {
                             qel::ReplyBlock reply{};
                             for (int i = 0; i < kBatch; ++i) {
                               answered &= qel::HidExchange(&camera.channel(), command, reply);
                             }
                           }};
  PrintPerExchange("HidExchange",
                   qel::bench::Summarise(qel::bench::TimePairs(RigAlone(camera, kBatch, answered),
                                                               exchange, kPairs, kPairs / 20)),
                   kBatch);
  const TimedWork usbMode{qelsim_log_clear, [&] {
                            std::uint8_t mode = 0;
                            for (int i = 0; i < kBatch; ++i) answered &= QelUSBMode(0, &mode);
                          }};
  PrintPerExchange("QelUSBMode (a whole export)",
                   qel::bench::Summarise(qel::bench::TimePairs(RigAlone(camera, kBatch, answered),
                                                               usbMode, kPairs, kPairs / 20)),
                   kBatch);

  const std::string path =
      (std::filesystem::temp_directory_path() / "qel_bench_image_1MiB.bin").string();
  {
    std::vector<char> image(kImageBytes);
    for (std::uint32_t i = 0; i < kImageBytes; ++i) image[i] = static_cast<char>(i * 31 + 7);
    std::ofstream(path, std::ios::binary).write(image.data(), kImageBytes);
  }
  bool rewritten = true;
  const int rewriteExchanges = static_cast<int>(kRewriteExchanges);
  const qel::bench::RatioSummary rewrite = qel::bench::Summarise(
      qel::bench::TimePairs(RigAloneOnAThread(camera, rewriteExchanges, answered),
                            Rewrite(path, rewritten), kRewritePairs, 2));
  std::filesystem::remove(path);
  std::printf(
      "\nA 1 MiB rewrite, %d pairs with as many exchanges on the rig alone: %.1f ms\n"
      "(the USB link alone needs %.0f ms for its 2 x 18725 exchanges):\n",
      kRewritePairs, rewrite.subjectNs / 1e6, kRewriteExchanges * kUsbExchangeUs / 1e3);
  PrintPerExchange("QelSoftRewrite", rewrite, kRewriteExchanges);
  if (!answered || !rewritten) {
    std::printf("an exchange or the rewrite failed: these figures are void\n");
    return 1;
  }
  return 0;
}
