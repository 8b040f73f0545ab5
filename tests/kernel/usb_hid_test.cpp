// The Linux backend's HID half against the kernel's real usbhid and hidraw
// drivers: a gadget camera on dummy_hcd answers with the rig's firmware, a
// uhid device claims USB without being one. Nothing pairs with a video node
// here (the gadget has none), so the command families run through the core's
// exchange on the backend's hidraw handle, built as the exports build them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/last_error.h"
#include "discovery/hid_discovery.h"
#include "firmware/rewrite_record.h"
#include "hid/command_frame.h"
#include "hid/data_block.h"
#include "hid/defect_table.h"
#include "hid/hid_channel.h"
#include "hid/memory_commands.h"
#include "lab_devices.h"
#include "platform/hresult.h"
#include "platform/linux/linux_platform.h"

namespace qel::lab {
namespace {

using platform::HidOpenMode;
using Ms = std::chrono::milliseconds;

constexpr const char* kSerial = "0000ABCD";
constexpr std::uint16_t kUhidVendor = 0x1D6B;
constexpr std::uint16_t kUhidProduct = 0x0105;

platform::Platform& Hardware() { return platform::linux_hw::HardwarePlatform(); }

// The camera's command channel over the node, as the core opens it.
std::shared_ptr<HidChannel> OpenChannel(const std::string& node) {
  std::unique_ptr<platform::HidDevice> device =
      Hardware().OpenHidDevice(node.c_str(), HidOpenMode::kCommandChannel);
  platform::HidCaps caps{};
  if (!device || !device->GetCaps(caps)) return nullptr;
  return std::make_shared<HidChannel>(std::move(device), caps);
}

class UsbHidLab : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gadget = new GadgetCamera(kSerial, {"--model", "QEL5", "--udc", "dummy_udc.0"});
    uhid = new UhidDevice(kUhidVendor, kUhidProduct);
  }
  static void TearDownTestSuite() {
    delete uhid;
    delete gadget;
  }
  void SetUp() override {
    ASSERT_FALSE(gadget->Hidraw().empty())
        << "the gadget's hidraw node did not appear: " << gadget->Output();
    ASSERT_FALSE(uhid->Hidraw().empty()) << "the uhid device's hidraw node did not appear";
  }
  // A slot that is no open camera: only RunCommand's use of the channel.
  CameraSlot Slot() {
    CameraSlot slot;
    slot.channel = OpenChannel(gadget->Hidraw());
    return slot;
  }

  static GadgetCamera* gadget;
  static UhidDevice* uhid;
};
GadgetCamera* UsbHidLab::gadget = nullptr;
UhidDevice* UsbHidLab::uhid = nullptr;

// The member of the interface set whose device path is node.
std::uint32_t DevInstOf(platform::HidInterfaceSet& set, const std::string& node) {
  for (std::uint32_t member = 0;; ++member) {
    std::uint32_t devInst = 0;
    if (!set.EnumDeviceInfo(member, devInst)) return 0;
    char path[256] = {};
    const std::uint32_t record = set.DeviceInterfaceDetailSize(member);
    if (set.GetDeviceInterfacePath(member, record, path, sizeof path) && node == path) {
      return devInst;
    }
  }
}

TEST_F(UsbHidLab, InterfaceIsFoundByItsUsbParentWithSerialAndReportLengths) {
  const std::optional<std::string> usb = UsbDeviceOfSerial(kSerial);
  ASSERT_TRUE(usb);
  char expected[64];
  std::snprintf(expected, sizeof expected, "USB\\VID_1D6B&PID_0104&MI_00\\B%03d&D%03d&0&0000",
                std::stoi(Attribute(*usb, "busnum")), std::stoi(Attribute(*usb, "devnum")));

  std::unique_ptr<platform::HidInterfaceSet> set = Hardware().GetHidInterfaceSet();
  ASSERT_TRUE(set);
  const std::uint32_t devInst = DevInstOf(*set, gadget->Hidraw());
  ASSERT_NE(devInst, 0u);
  std::uint32_t parent = 0;
  ASSERT_EQ(Hardware().GetParentDevInst(devInst, parent), platform::kCrSuccess);
  char id[128] = {};
  ASSERT_EQ(Hardware().GetDeviceId(parent, id, sizeof id), platform::kCrSuccess);
  EXPECT_STREQ(id, expected);

  // The core's walk finds the interface by that parent: the name a video
  // function of the same USB device is listed under carries its prefix.
  const std::optional<std::string> prefix = InstancePrefix(id);
  ASSERT_TRUE(prefix);
  const std::string name = "@device:pnp:\\\\?\\usb#vid_1d6b&pid_0104&mi_01#" + *prefix +
                           "&0&0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
  char serial[9] = {};
  ASSERT_TRUE(ReadControlSerial(name.c_str(), serial));
  EXPECT_STREQ(serial, kSerial);

  // The report lengths come from the descriptor the kernel hands over.
  std::unique_ptr<platform::HidDevice> device =
      Hardware().OpenHidDevice(gadget->Hidraw().c_str(), HidOpenMode::kSerialQuery);
  ASSERT_TRUE(device);
  platform::HidCaps caps{};
  ASSERT_TRUE(device->GetCaps(caps));
  EXPECT_EQ(caps.inputReportByteLength, 65);
  EXPECT_EQ(caps.outputReportByteLength, 65);
  EXPECT_EQ(caps.usagePage, 0xFF00);
}

TEST_F(UsbHidLab, UhidDeviceClaimingUsbPairsWithNothing) {
  std::unique_ptr<platform::HidInterfaceSet> set = Hardware().GetHidInterfaceSet();
  ASSERT_TRUE(set);
  const std::uint32_t devInst = DevInstOf(*set, uhid->Hidraw());
  ASSERT_NE(devInst, 0u);
  std::uint32_t parent = 0;
  EXPECT_EQ(Hardware().GetParentDevInst(devInst, parent), platform::kCrNoSuchDevnode);
  EXPECT_FALSE(Hardware().OpenHidDevice(uhid->Hidraw().c_str(), HidOpenMode::kCommandChannel));
  // Every name pairs with the gadget alone.
  char serial[9] = {};
  EXPECT_FALSE(ReadControlSerial("@device:pnp:\\\\?\\usb#vid_1d6b&pid_0105#x", serial));
}

TEST_F(UsbHidLab, RegistersGainsAndShutterTravelBothWays) {
  const CameraSlot slot = Slot();
  ASSERT_TRUE(slot.channel);
  ReplyBlock reply{};
  // 8- and 16-bit registers (QelSetRegister, QelSetRegisterW and their getters).
  CommandBlock set8 = MakeCommand(CommandCode::kSetRegister);
  PutReportBE16(set8, 3, 0x1234);
  PutReportByte(set8, 5, 0xA5);
  ASSERT_TRUE(RunCommand(slot, set8, reply)) << LastErrorText();
  CommandBlock get8 = MakeCommand(CommandCode::kGetRegister);
  PutReportBE16(get8, 3, 0x1234);
  ASSERT_TRUE(RunCommand(slot, get8, reply));
  EXPECT_EQ(ReplyByte(reply, 5), 0xA5);
  // The analog gain is 16-bit register 0x000D (Qel5SetAnalogGain).
  CommandBlock set16 = MakeCommand(CommandCode::kSetRegisterW);
  PutReportBE16(set16, 3, 0x000D);
  PutReportBE16(set16, 5, 0x0321);
  ASSERT_TRUE(RunCommand(slot, set16, reply));
  CommandBlock get16 = MakeCommand(CommandCode::kGetRegisterW);
  PutReportBE16(get16, 3, 0x000D);
  ASSERT_TRUE(RunCommand(slot, get16, reply));
  EXPECT_EQ(ReplyBE16(reply, 5), 0x0321);

  // Digital gains: four big-endian 16-bit fields.
  CommandBlock gains = MakeCommand(CommandCode::kSetDigitalGain);
  for (int i = 0; i < 4; ++i) PutReportBE16(gains, 3 + 2 * i, 0x0100 + i);
  ASSERT_TRUE(RunCommand(slot, gains, reply));
  ASSERT_TRUE(RunCommand(slot, MakeCommand(CommandCode::kGetDigitalGain), reply));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ReplyBE16(reply, 3 + 2 * i), 0x0100 + i) << i;

  // Shutter lines.
  CommandBlock shutter = MakeCommand(CommandCode::kSetShutter);
  PutReportBE16(shutter, 3, 777);
  ASSERT_TRUE(RunCommand(slot, shutter, reply));
  ASSERT_TRUE(RunCommand(slot, MakeCommand(CommandCode::kGetShutter), reply));
  EXPECT_EQ(ReplyBE16(reply, 3), 777);
}

TEST_F(UsbHidLab, DeviceInformationAndDefectTablesInTheDataBlock) {
  const CameraSlot slot = Slot();
  ASSERT_TRUE(slot.channel);
  ReplyBlock reply{};
  ASSERT_TRUE(RunCommand(slot, MakeCommand(CommandCode::kVersion), reply));
  EXPECT_STREQ(reinterpret_cast<const char*>(reply.data() + 1), "QEL FW 2.05");
  ASSERT_TRUE(RunCommand(slot, MakeCommand(CommandCode::kGetSerialNo), reply));
  EXPECT_EQ(ReplyBE32(reply, 3), 0xABCDu);

  // A defect point written into the block (22 chunks read, block 7 erased,
  // 22 written) is there when the block is read again.
  DataBlock block;
  ASSERT_TRUE(ReadDataBlock(slot.channel.get(), block)) << LastErrorText();
  EXPECT_EQ(block.bytes[3], 0xCD);  // the serial number, big-endian
  const std::size_t table = DefectTableOffset(1, 2);
  EXPECT_EQ(ReadDefectPoint(block, table, 0).x, kEmptyCoordinate);
  WriteDefectPoint(block, table, 19, QelDefectPoint{1234, 567});
  ASSERT_TRUE(CommitDataBlock(slot.channel.get(), block)) << LastErrorText();
  DataBlock again;
  ASSERT_TRUE(ReadDataBlock(slot.channel.get(), again));
  EXPECT_EQ(ReadDefectPoint(again, table, 19).x, 1234);
  EXPECT_EQ(ReadDefectPoint(again, table, 19).y, 567);
  EXPECT_EQ(again.bytes, block.bytes);
}

TEST_F(UsbHidLab, FirmwareRewriteWritesAndVerifiesASmallImage) {
  const CameraSlot slot = Slot();
  ASSERT_TRUE(slot.channel);
  // Three and a half chunks; the thread pads the image to whole chunks.
  constexpr std::uint32_t kSize = 196;
  auto image = std::make_unique<std::vector<std::uint8_t>>(kSize + 64, 0);
  for (std::uint32_t i = 0; i < kSize; ++i) (*image)[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const std::vector<std::uint8_t> expected(image->begin(), image->begin() + 56);

  // As QelSoftRewrite does: erase the blocks the image takes, then run the
  // rewrite thread's body on the filled record (here on this thread).
  ASSERT_TRUE(EraseMemoryBlocks(slot.channel.get(), 0, 0));
  RewriteRecord& record = Rewrite();
  {
    std::lock_guard lock(record.lock);
    record.busy = true;
    record.channel = slot.channel;
    record.image = std::move(image);
    record.imageSize = kSize;
    record.state = kRewriteStarted;
  }
  const auto start = std::chrono::steady_clock::now();
  RewriteThread(record);
  std::printf(
      "rewrite of %u bytes: %lld ms\n", kSize,
      static_cast<long long>(
          std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count()));
  std::lock_guard lock(record.lock);
  EXPECT_EQ(record.state, kRewriteFinished) << record.failure;
  EXPECT_FALSE(record.busy);
  std::uint8_t chunk[56];
  ASSERT_TRUE(ReadMemoryChunk(slot.channel.get(), 0, chunk));
  EXPECT_EQ(std::vector<std::uint8_t>(chunk, chunk + 56), expected);
}

// A second camera, of another model, that is unplugged (its controller
// unbound) after it took a request and before it answers.
TEST(UsbHidUnplug, CameraUnpluggedMidCommandFailsFastAsDeviceLost) {
  GadgetCamera camera("0000ABCF", {"--model", "QEL2", "--udc", "dummy_udc.1", "--unplug-on", "10"});
  ASSERT_FALSE(camera.Hidraw().empty()) << camera.Output();
  CameraSlot slot;
  slot.channel = OpenChannel(camera.Hidraw());
  ASSERT_TRUE(slot.channel);
  ReplyBlock reply{};
  ASSERT_TRUE(RunCommand(slot, MakeCommand(CommandCode::kVersion), reply));

  CommandBlock temperature = MakeCommand(CommandCode::kTemperature);
  PutReportByte(temperature, 3, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunCommand(slot, temperature, reply));
  const auto took = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(LastErrorCode(), ErrorCode::kDeviceLost) << LastErrorText();
  EXPECT_LT(took.count(), 2000) << "the exchange waited for a camera that is gone";
  EXPECT_TRUE(WaitUntil(
      [&] { return camera.Output().find("unplugged at command 0x10") != std::string::npos; },
      Ms(5000)))
      << camera.Output();
  // Later commands fail at once, without the deadline.
  const auto again = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunCommand(slot, MakeCommand(CommandCode::kVersion), reply));
  EXPECT_LT(std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - again).count(), 500);
  std::printf("unplug noticed after %lld ms\n", static_cast<long long>(took.count()));
}

}  // namespace
}  // namespace qel::lab
