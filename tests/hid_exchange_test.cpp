#include <array>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "capture/capture_graph.h"
#include "core/last_error.h"
#include "discovery/hid_discovery.h"
#include "hid/command_report.h"
#include "hid/data_block.h"
#include "hid/hid_channel.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

class HidExchangeTest : public RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
    channel = OpenControlInterface(0);
    ASSERT_TRUE(channel);
    qelsim_log_clear();
  }

  bool Exchange(CommandCode code, ReplyBlock* reply = nullptr) {
    ReplyBlock ignored{};
    return HidExchange(channel.get(), MakeCommand(code), reply ? *reply : ignored);
  }
  uint8_t SentSequence(int index) {
    unsigned char report[65] = {};
    qelsim_log_report(kQel5Device, index, report, sizeof report);
    return report[1];
  }

  std::shared_ptr<HidChannel> channel;
};

TEST_F(HidExchangeTest, RequestCarriesSequenceCodeAndArgumentsAndReplyEchoesThem) {
  CommandSequence().store(7);
  CommandBlock command = MakeCommand(CommandCode::kSetRegisterW);
  PutReportBE16(command, 3, 0x1234);
  PutReportBE16(command, 5, 0xABCD);
  ReplyBlock reply{};
  ASSERT_TRUE(HidExchange(channel.get(), command, reply));
  EXPECT_EQ(ReportHex(kQel5Device, 0, 0, 8), "00 07 F4 12 34 AB CD 00");
  EXPECT_EQ(reply[0], 0xF4);
  EXPECT_TRUE(ReplyStatusOk(reply));
  EXPECT_EQ(CommandSequence().load(), 8);
}

TEST_F(HidExchangeTest, SequenceWrapsAfter256WrittenExchanges) {
  CommandSequence().store(0);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(Exchange(CommandCode::kUsbMode));
  EXPECT_EQ(SentSequence(255), 255);
  EXPECT_EQ(CommandSequence().load(), 0);
  ASSERT_TRUE(Exchange(CommandCode::kUsbMode));
  EXPECT_EQ(SentSequence(256), 0);
}

TEST_F(HidExchangeTest, FailedWriteLeavesTheSequenceForTheNextRequest) {
  CommandSequence().store(40);
  qelsim_inject_fault(kQel5Device, "WriteFile", 0, 1);
  EXPECT_FALSE(Exchange(CommandCode::kUsbMode));
  EXPECT_EQ(CommandSequence().load(), 40);
  ASSERT_TRUE(Exchange(CommandCode::kUsbMode));
  EXPECT_EQ(SentSequence(0), 40);
}

TEST_F(HidExchangeTest, StaleAndForeignRepliesAreSkipped) {
  // Stale replies echo the code but carry an older sequence number and no
  // data: only the value shows which reply the caller got.
  qelsim_set_device_bytes(kQel5Device, 0x5A, 0x02, 0);
  qelsim_firmware_fault(kQel5Device, 0xF1, QELSIM_FW_STALE, 3, 0, 1);
  qelsim_firmware_fault(kQel5Device, 0xF0, QELSIM_FW_FOREIGN, 2, 0, 1);
  ReplyBlock reply{};
  ASSERT_TRUE(Exchange(CommandCode::kUsbMode, &reply));
  EXPECT_EQ(reply[0], 0xF1);
  EXPECT_EQ(ReplyByte(reply, 3), 0x02);
  ASSERT_TRUE(Exchange(CommandCode::kCameraRecognition, &reply));
  EXPECT_EQ(reply[0], 0xF0);
  EXPECT_EQ(ReplyByte(reply, 3), 0x5A);
}

TEST_F(HidExchangeTest, SilentCameraTimesOutAfterFiveSecondsAndAdvancesTheSequence) {
  CommandSequence().store(9);
  qelsim_firmware_fault(kQel5Device, 0xF1, QELSIM_FW_SILENT, 0, 0, 1);
  const uint32_t start = qelsim_now_ms();
  EXPECT_FALSE(Exchange(CommandCode::kUsbMode));
  const uint32_t waited = qelsim_now_ms() - start;
  EXPECT_GE(waited, 5000u);
  EXPECT_LT(waited, 5100u);
  EXPECT_EQ(CommandSequence().load(), 10);
}

// A camera the platform reports gone ends the exchange at once with the
// device-lost reason: unplugged before it could answer, then before the
// next request.
TEST_F(HidExchangeTest, UnpluggedCameraEndsTheExchangeAtOnce) {
  qelsim_firmware_fault(kQel5Device, 0x32, QELSIM_FW_UNPLUG, 0, 0, 1);
  for (const char* gone : {"while the reply was awaited", "before the request"}) {
    ClearFailure();  // outside an export the first reason recorded stays
    const uint32_t start = qelsim_now_ms();
    EXPECT_FALSE(Exchange(CommandCode::kSetShutter)) << gone;
    EXPECT_LT(qelsim_now_ms() - start, 100u) << gone;
    EXPECT_EQ(LastErrorCode(), ErrorCode::kDeviceLost) << gone;
  }
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 1) << "the request taken before the unplug";
}

TEST_F(HidExchangeTest, TimeOutHoldsAcrossTheTickCounterWrap) {
  qelsim_set_tick_count(0xFFFFFFFFu - 1000u);
  qelsim_firmware_fault(kQel5Device, 0xF1, QELSIM_FW_SILENT, 0, 0, 1);
  EXPECT_FALSE(Exchange(CommandCode::kUsbMode));
  EXPECT_LT(qelsim_now_ms(), 4200u) << "ended 5 s after the write, past the wrap";
}

TEST_F(HidExchangeTest, NonZeroStatusStillCompletesTheExchange) {
  qelsim_firmware_fault(kQel5Device, 0xF0, QELSIM_FW_STATUS, 1, 0, 1);
  ReplyBlock reply{};
  ASSERT_TRUE(Exchange(CommandCode::kCameraRecognition, &reply));
  EXPECT_FALSE(ReplyStatusOk(reply));
}

TEST_F(HidExchangeTest, ClosedOrMissingChannelSendsNothing) {
  ReplyBlock reply{};
  EXPECT_FALSE(HidExchange(nullptr, MakeCommand(CommandCode::kUsbMode), reply));
  channel->Close();
  EXPECT_FALSE(Exchange(CommandCode::kUsbMode));
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 0);
}

TEST_F(HidExchangeTest, InterfaceWithShortReportsIsRefused) {
  // Input reports too short for the status byte, output reports too short
  // for a memory write's data: the discovery passes over such an interface,
  // and a channel on it all the same sends nothing.
  for (const auto& [input, output] : {std::pair{9, 65}, std::pair{65, 9}, std::pair{65, 64}}) {
    qelsim_set_hid_report_lengths(kQel5Device, input, output);
    EXPECT_FALSE(OpenControlInterface(0)) << input << "/" << output;
    auto set = platform::ActivePlatform().GetHidInterfaceSet();
    ASSERT_TRUE(set && set->EnumDeviceInterface(0));
    char path[256] = {};
    ASSERT_TRUE(
        set->GetDeviceInterfacePath(0, set->DeviceInterfaceDetailSize(0), path, sizeof path));
    platform::HidCaps caps;
    caps.inputReportByteLength = static_cast<std::uint16_t>(input);
    caps.outputReportByteLength = static_cast<std::uint16_t>(output);
    auto device =
        platform::ActivePlatform().OpenHidDevice(path, platform::HidOpenMode::kCommandChannel);
    ASSERT_TRUE(device);
    HidChannel shortChannel(std::move(device), caps);
    DataBlock block;
    EXPECT_FALSE(CommitDataBlock(&shortChannel, block)) << input << "/" << output;
  }
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 0);
  qelsim_set_hid_report_lengths(kQel5Device, 65, 65);
  EXPECT_TRUE(Exchange(CommandCode::kUsbMode)) << "the channel opened before keeps its lengths";
}

TEST_F(HidExchangeTest, LongInputReportsCarryTheStatusInByte64) {
  qelsim_set_hid_report_lengths(kQel5Device, 80, 65);
  auto longChannel = OpenControlInterface(0);
  ASSERT_TRUE(longChannel);
  ReplyBlock reply{};
  ASSERT_TRUE(HidExchange(longChannel.get(), MakeCommand(CommandCode::kCameraRecognition), reply));
  EXPECT_TRUE(ReplyStatusOk(reply));
  EXPECT_EQ(ReplyByte(reply, 3), 0x5A);
  qelsim_firmware_fault(kQel5Device, 0xF0, QELSIM_FW_STATUS, 1, 0, 1);
  ASSERT_TRUE(HidExchange(longChannel.get(), MakeCommand(CommandCode::kCameraRecognition), reply));
  EXPECT_FALSE(ReplyStatusOk(reply)) << "a refusal reads as a refusal";
}

TEST_F(HidExchangeTest, ConcurrentExchangesEachGetTheirOwnReply) {
  for (int address = 0; address < 4; ++address) {
    qelsim_set_register(kQel5Device, 16, address, 0x1000 + address);
  }
  std::atomic<int> wrong{0}, failed{0};
  std::vector<std::thread> threads;
  for (int address = 0; address < 4; ++address) {
    threads.emplace_back([&, address] {
      for (int i = 0; i < 100; ++i) {
        CommandBlock command = MakeCommand(CommandCode::kGetRegisterW);
        PutReportBE16(command, 3, static_cast<uint32_t>(address));
        ReplyBlock reply{};
        if (!HidExchange(channel.get(), command, reply)) {
          ++failed;
        } else if (ReplyBE16(reply, 5) != 0x1000 + address) {
          ++wrong;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 400);
}

TEST_F(HidExchangeTest, DataBlockIsReadInTwentyTwoChunks) {
  DataBlock block;
  ASSERT_TRUE(ReadDataBlock(channel.get(), block));
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 22);
  EXPECT_EQ(ReportHex(kQel5Device, 21, 2, 4), "21 07 04 98") << "0x070000 + 21 * 56";
  EXPECT_EQ(block.bytes[2], 0xAB);
  EXPECT_EQ(block.bytes[3], 0xCD);
  EXPECT_EQ(block.bytes[16], 0xFF) << "defect tables empty";

  qelsim_firmware_fault(kQel5Device, 0x21, QELSIM_FW_STATUS, 1, 21, 1);
  EXPECT_FALSE(ReadDataBlock(channel.get(), block)) << "22nd chunk fails";
  qelsim_firmware_fault(kQel5Device, 0x21, QELSIM_FW_BAD_ECHO, 0, 3, 1);
  EXPECT_FALSE(ReadDataBlock(channel.get(), block)) << "address echo mismatch";
}

TEST_F(HidExchangeTest, CommitErasesBlockSevenAndWritesTheWholeBlock) {
  DataBlock block;
  for (std::size_t i = 0; i < block.bytes.size(); ++i) block.bytes[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(CommitDataBlock(channel.get(), block));
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 23);
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 3), "22 07 07");
  EXPECT_EQ(ReportHex(kQel5Device, 1, 2, 4), "20 07 00 00");
  std::array<unsigned char, 1232> memory{};
  qelsim_read_memory(kQel5Device, 0x070000, memory.data(), memory.size());
  EXPECT_TRUE(std::equal(memory.begin(), memory.end(), block.bytes.begin()));

  qelsim_log_clear();
  qelsim_firmware_fault(kQel5Device, 0x22, QELSIM_FW_STATUS, 1, 0, 1);
  EXPECT_FALSE(CommitDataBlock(channel.get(), block));
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 1) << "a refused erase writes nothing";

  qelsim_log_clear();
  qelsim_firmware_fault(kQel5Device, 0x20, QELSIM_FW_STATUS, 1, 4, 1);
  EXPECT_FALSE(CommitDataBlock(channel.get(), block));
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 6) << "erase and chunks up to the failing one";
}

}  // namespace
}  // namespace qel::test
