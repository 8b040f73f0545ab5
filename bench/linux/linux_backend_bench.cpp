// The Linux backend's own cost, on the test doubles (no kernel, no camera):
//
// - the streaming thread per frame, from the dequeue of a 1920 x 1080 YUYV
//   buffer to the frame stored by the library, against one memcpy of the
//   frame (the backend hands its mapped buffer to the library, which copies
//   it once into its store);
// - one command exchange through the library (the core's HidExchange on the
//   backend's hidraw handle), against a bare write, poll and read of the
//   same reports on the same double.
//
// Each ratio is timed against its baseline in alternating pairs
// (support/paired_ratio.h).
#include <fcntl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "fake_sysfs.h"
#include "fake_system.h"
#include "fake_v4l2.h"
#include "hid/command_frame.h"
#include "hid/command_report.h"
#include "hid/hid_channel.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/sys_api.h"
#include "platform/platform.h"
#include "qel/qel.h"
#include "support/paired_ratio.h"

namespace {

using qel::bench::TimedWork;
using qel::platform::linux_hw::Sys;
using qel::platform::linux_hw::SysApi;

constexpr std::uint32_t kWidth = 1920;
constexpr std::uint32_t kHeight = 1080;
constexpr std::size_t kFrameBytes = std::size_t{kWidth} * kHeight * 2;
constexpr int kFramesPerSample = 8;
constexpr int kFramePairs = 150;
constexpr std::size_t kDriverBuffers = 4;  // as the backend asks the driver for
constexpr std::size_t kStoreBuffers = 3;   // as the library's frame store rotates
constexpr int kExchangesPerSample = 200;
constexpr int kExchangePairs = 1000;

// --- the streaming thread --------------------------------------------------

// The library streaming from a webcam of the doubles, opened capture-only
// through the exports. The doubles' buffers are left as they are: the
// double's own work per frame is a few lookups under its lock.
bool StreamingRatio() {
  qel::test::FakeSysfs sysfs;
  qel::test::FakeSystem system{sysfs.root()};
  qel::test::FakeV4l2 v4l2;
  qel::test::FakeVideoNode& node =
      v4l2.AddCamera(sysfs, system, 0, 0, {.address = 5, .productName = "Webcam"});
  node.formats = {{V4L2_PIX_FMT_YUYV, {{kWidth, kHeight, {{1, 30}}}}, false}};
  node.fillBuffers = false;
  node.frames = {{}};  // the open waits for a first frame
  if (QelOpen(0, kWidth, kHeight, 30.0, "YUY2") != 1) {
    std::printf("the doubles' webcam did not open\n");
    return false;
  }
  const std::string path = "/dev/video0";
  const TimedWork frames{nullptr, [&] {
                           for (int i = 0; i < kFramesPerSample; ++i) v4l2.PushFrame(path, {});
                           v4l2.WaitDrained(path);
                         }};
  // The copy as the streaming thread makes it: from the driver's buffers in
  // turn into the store's buffers in turn, so that neither side finds its
  // frame in a cache the other could not.
  std::vector<std::vector<std::uint8_t>> sources(kDriverBuffers,
                                                 std::vector<std::uint8_t>(kFrameBytes, 0x5A));
  std::vector<std::vector<std::uint8_t>> targets(kStoreBuffers,
                                                 std::vector<std::uint8_t>(kFrameBytes));
  std::size_t turn = 0;
  const TimedWork copies{nullptr, [&] {
                           for (int i = 0; i < kFramesPerSample; ++i, ++turn) {
                             std::vector<std::uint8_t>& from = sources[turn % kDriverBuffers];
                             std::vector<std::uint8_t>& to = targets[turn % kStoreBuffers];
                             std::memcpy(to.data(), from.data(), kFrameBytes);
                             from[i] = to[kFrameBytes - 1 - i];  // kept, not optimised out
                           }
                         }};
  std::vector<std::uint8_t>& target = targets[0];
  const qel::bench::RatioSummary summary =
      qel::bench::Summarise(qel::bench::TimePairs(copies, frames, kFramePairs, kFramePairs / 10));
  std::printf("Streaming thread per frame, dequeue to stored, %ux%u YUYV, against one memcpy:\n",
              kWidth, kHeight);
  qel::bench::PrintRatio("  per 8 frames", summary, 1.2);
  QelFrameInfo info{};
  info.size = sizeof info;
  const bool delivered =
      QelReceiveImageEx(0, target.data(), static_cast<int32_t>(target.size()), &info) == 1 &&
      info.bytes == static_cast<int32_t>(kFrameBytes);
  QelClose(0);
  if (!delivered) std::printf("  no frame was stored: the figure is void\n");
  return delivered;
}

// --- the command exchange --------------------------------------------------

// The tests' hidraw double answers each report at once: the reply echoes
// the command's bytes with status 0. Its clock is the tests' virtual clock,
// so that both sides pay the same for the double and nothing for a clock.
bool ExchangeRatio() {
  qel::test::FakeSysfs sysfs;
  qel::test::FakeSystem system{sysfs.root()};
  sysfs.AddUsbHidraw(0, {});
  qel::test::FakeHidraw& node = system.Node("/dev/hidraw0");
  node.descriptor = qel::test::VendorDescriptor64();
  node.answer = [](const std::vector<std::uint8_t>& written,
                   std::deque<std::vector<std::uint8_t>>& input) {
    input.push_back(written);
    input.back().back() = 0;
  };
  auto device = qel::platform::linux_hw::HardwarePlatform().OpenHidDevice(
      "/dev/hidraw0", qel::platform::HidOpenMode::kCommandChannel);
  qel::platform::HidCaps caps{};
  if (!device || !device->GetCaps(caps)) {
    std::printf("the doubles' hidraw node did not open\n");
    return false;
  }
  qel::HidChannel channel(std::move(device), caps);
  const int bareFd = Sys().open("/dev/hidraw0", O_RDWR | O_NONBLOCK | O_CLOEXEC);

  bool answered = true;
  const qel::CommandBlock command = qel::MakeCommand(qel::CommandCode::kUsbMode);
  const TimedWork library{nullptr, [&] {
                            qel::ReplyBlock reply{};
                            for (int i = 0; i < kExchangesPerSample; ++i) {
                              answered &= qel::HidExchange(&channel, command, reply);
                            }
                          }};
  // The same reports written, polled for and read, with nothing checked
  // but the sequence echo.
  const TimedWork bare{nullptr, [&] {
                         std::uint8_t output[qel::kReportLength] = {0, 0, 0xF1};
                         std::uint8_t input[qel::kReportLength - 1] = {};
                         for (int i = 0; i < kExchangesPerSample; ++i) {
                           output[1] = static_cast<std::uint8_t>(i);
                           pollfd entry{bareFd, POLLIN, 0};
                           answered &=
                               Sys().write(bareFd, output, sizeof output) == sizeof output &&
                               Sys().poll(&entry, 1, 5000) == 1 &&
                               Sys().read(bareFd, input, sizeof input) == sizeof input &&
                               input[0] == output[1];
                         }
                       }};
  const qel::bench::RatioSummary summary = qel::bench::Summarise(
      qel::bench::TimePairs(bare, library, kExchangePairs, kExchangePairs / 20));
  std::printf("\nCommand exchange on the hidraw double, against a bare write, poll and read:\n");
  qel::bench::PrintRatio("  per 200 exchanges", summary, 1.5);
  std::printf("  the library adds %.0f ns per exchange\n",
              summary.differenceNs / kExchangesPerSample);
  Sys().close(bareFd);
  if (!answered) std::printf("  an exchange failed: the figure is void\n");
  return answered;
}

}  // namespace

int main() {
  qel::platform::UseVirtualRig(false);
  const bool streamed = StreamingRatio();
  const bool exchanged = ExchangeRatio();
  return streamed && exchanged ? 0 : 1;
}
