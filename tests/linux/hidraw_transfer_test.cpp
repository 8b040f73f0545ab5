// Reports over an open hidraw node: the ID byte, short reads, the deadline
// on the virtual clock, an unplug, and the core's exchange over the node.
#include <gtest/gtest.h>

#include <vector>

#include "core/last_error.h"
#include "fake_sysfs.h"
#include "fake_system.h"
#include "hid/command_report.h"
#include "hid/hid_channel.h"
#include "platform/linux/linux_platform.h"

namespace qel::test {
namespace {

using platform::HidDevice;
using platform::HidOpenMode;

constexpr std::uint64_t kMs = 1'000'000;

std::vector<std::uint8_t> Report(std::uint8_t id, std::uint8_t first, std::size_t length) {
  std::vector<std::uint8_t> report(length, 0);
  report[0] = id;
  report[1] = first;
  report[length - 1] = 0xEE;
  return report;
}

class HidrawTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sysfs.AddUsbHidraw(0, {});
    node.descriptor = VendorDescriptor64();
  }
  std::unique_ptr<HidDevice> Open() {
    return platform::linux_hw::HardwarePlatform().OpenHidDevice("/dev/hidraw0",
                                                                HidOpenMode::kCommandChannel);
  }

  FakeSysfs sysfs;
  FakeSystem system{sysfs.root()};
  FakeHidraw& node = system.Node("/dev/hidraw0");
};

TEST_F(HidrawTransferTest, ReportsCarryTheirIdByteAndMustBeWhole) {
  auto device = Open();
  ASSERT_TRUE(device);
  std::vector<std::uint8_t> report(65, 0xAA);
  // The node hands the report without its ID byte; the read puts 0 back.
  node.input.push_back(Report(0, 0x11, 65));
  ASSERT_TRUE(device->Read(report.data(), 65, 100));
  EXPECT_EQ(report, Report(0, 0x11, 65));
  // A short report is no report.
  node.input.push_back(Report(0, 0x12, 65));
  node.shortReadBy = 1;
  EXPECT_FALSE(device->Read(report.data(), 65, 100));
  EXPECT_FALSE(device->DeviceGone());
  node.shortReadBy = 0;
  // A write sends the whole report, ID byte included.
  ASSERT_TRUE(device->Write(Report(0, 0x13, 65).data(), 65, 100));
  ASSERT_EQ(node.writes.size(), 1u);
  EXPECT_EQ(node.writes[0], Report(0, 0x13, 65));

  // A device that numbers its reports hands them with their ID.
  node.descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85,
                     0x07, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0xC0};
  node.numberedReports = true;
  auto numbered = Open();
  ASSERT_TRUE(numbered);
  node.input.push_back(Report(7, 0x21, 65));
  ASSERT_TRUE(numbered->Read(report.data(), 65, 100));
  EXPECT_EQ(report, Report(7, 0x21, 65));
}

TEST_F(HidrawTransferTest, ReadWaitsExactlyItsTimeOnTheClockThroughInterruptions) {
  auto device = Open();
  ASSERT_TRUE(device);
  std::uint8_t report[65];
  node.eintrOnce = 3;  // each interruption costs 1 ms, which the wait takes off
  const std::uint64_t start = system.nowNs;
  EXPECT_FALSE(device->Read(report, sizeof report, 5000));
  EXPECT_EQ(system.nowNs - start, 5000 * kMs);
  EXPECT_FALSE(device->DeviceGone());
}

TEST_F(HidrawTransferTest, UnpluggedNodeIsGoneAtOnce) {
  auto device = Open();
  ASSERT_TRUE(device);
  node.unplugged = true;
  std::uint8_t report[65] = {};
  const std::uint64_t start = system.nowNs;
  EXPECT_FALSE(device->Read(report, sizeof report, 5000));
  EXPECT_TRUE(device->DeviceGone());
  EXPECT_FALSE(device->Write(report, sizeof report, 5000));
  EXPECT_TRUE(device->DeviceGone());
  EXPECT_EQ(system.nowNs, start);
}

TEST_F(HidrawTransferTest, CoreExchangeRunsOverTheNodeAndEndsAtOnceOnUnplug) {
  auto device = Open();
  ASSERT_TRUE(device);
  platform::HidCaps caps;
  ASSERT_TRUE(device->GetCaps(caps));
  HidChannel channel(std::move(device), caps);
  node.answerWrites = true;  // the reply echoes the request
  CommandBlock command{};
  command[0] = 0x42;
  ReplyBlock reply{};
  ASSERT_TRUE(channel.Exchange(command, reply));
  ASSERT_EQ(node.writes.size(), 1u);
  EXPECT_EQ(node.writes[0].size(), 65u);
  EXPECT_EQ(node.writes[0][2], 0x42);
  EXPECT_EQ(reply[0], 0x42);

  // A silent camera: the exchange's whole deadline (and the core's 1 ms
  // pause after a read that got nothing), then a time-out.
  node.answerWrites = false;
  std::uint64_t start = system.nowNs;
  EXPECT_FALSE(channel.Exchange(command, reply));
  EXPECT_EQ(LastErrorCode(), ErrorCode::kTimeout);
  EXPECT_GE(system.nowNs - start, kReplyTimeoutMs * kMs);
  EXPECT_LE(system.nowNs - start, (kReplyTimeoutMs + 1) * kMs);

  ClearFailure();
  node.unplugged = true;
  start = system.nowNs;
  EXPECT_FALSE(channel.Exchange(command, reply));
  EXPECT_EQ(LastErrorCode(), ErrorCode::kDeviceLost);
  EXPECT_EQ(system.nowNs, start);
}

}  // namespace
}  // namespace qel::test
