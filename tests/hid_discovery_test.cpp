#include "discovery/hid_discovery.h"
#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "hid/command_report.h"
#include "hid/hid_channel.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using HidDiscovery = RigTest;

// The serial number the camera behind a channel reports over it.
uint32_t SerialOver(HidChannel& channel) {
  ReplyBlock reply{};
  if (!channel.Exchange(MakeCommand(CommandCode::kGetSerialNo), reply)) return 0;
  return ReplyBE32(reply, 3);
}

TEST(InstancePrefixTest, LoweredTailUpToTheSecondAmpersand) {
  EXPECT_EQ(InstancePrefix("USB\\VID_1234&PID_5678&MI_02\\6&2A1B3C4D&0&0002"), "6&2a1b3c4d");
  EXPECT_EQ(InstancePrefix("ROOT\\X\\7&AB&C"), "7&ab");
  EXPECT_FALSE(InstancePrefix("USB\\VID_1234&PID_5678\\6&2A1B3C4D"));
  EXPECT_FALSE(InstancePrefix("6&2A1B3C4D&0&0002"));
  EXPECT_FALSE(InstancePrefix(""));
}

TEST_F(HidDiscovery, EachCameraPairsWithItsOwnInterface) {
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  ASSERT_EQ(StartRigCapture(1, 1, 1280, 720, 30.0), kBuildRunning);
  auto qel5 = OpenControlInterface(0);
  auto qel2 = OpenControlInterface(1);
  ASSERT_TRUE(qel5);
  ASSERT_TRUE(qel2);
  EXPECT_EQ(SerialOver(*qel5), 0x0000ABCDu);
  EXPECT_EQ(SerialOver(*qel2), 0x00C0FFEEu);
  EXPECT_EQ(qel5->InputReportLength(), 65);
}

TEST_F(HidDiscovery, UnopenableFirstInterfaceIsPassedOver) {
  qelsim_add_hid_interface(kQel5Device, 1, QELSIM_HID_UNOPENABLE);
  qelsim_add_hid_interface(kQel5Device, 1, QELSIM_HID_NO_CAPS);
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  auto channel = OpenControlInterface(0);
  ASSERT_TRUE(channel);
  EXPECT_EQ(SerialOver(*channel), 0x0000ABCDu);

  char serial[9];
  EXPECT_TRUE(ReadControlSerial(ContextAt(0)->devicePath, serial));
  EXPECT_STREQ(serial, "0000ABCD");
}

TEST_F(HidDiscovery, NothingPairsWithoutAUsableParentOrWithoutACapture) {
  ASSERT_EQ(StartRigCapture(0, 2, 640, 480, 30.0), kBuildRunning);
  EXPECT_FALSE(OpenControlInterface(0)) << "a webcam has no control interface";
  EXPECT_FALSE(OpenControlInterface(1)) << "capture index 1 is not running";
  EXPECT_FALSE(OpenControlInterface(10));

  qelsim_set_hid_parent_id(kQel5Device, "USB\\VID_1F3A&PID_5005&MI_02\\6&2A1B3C4D");
  char serial[9] = "unset";
  char displayName[1024];
  qelsim_get_display_name(kQel5Device, displayName, sizeof displayName);
  EXPECT_FALSE(ReadControlSerial(displayName, serial));
  EXPECT_STREQ(serial, "unset");
  EXPECT_FALSE(ReadControlSerial(nullptr, serial));
}

TEST_F(HidDiscovery, PlatformFailuresDuringTheWalk) {
  char displayName[1024];
  qelsim_get_display_name(kQel5Device, displayName, sizeof displayName);
  char serial[9];
  qelsim_inject_fault(-1, "SetupDiGetClassDevs", 0, 1);
  EXPECT_FALSE(ReadControlSerial(displayName, serial));
  qelsim_inject_fault(-1, "EnumDeviceInterfaces", 0, 1);
  EXPECT_FALSE(ReadControlSerial(displayName, serial)) << "fatal at a matching index";
  qelsim_set_hid_flags(kQel5Device, 0, QELSIM_HID_NO_SERIAL);
  EXPECT_FALSE(ReadControlSerial(displayName, serial));
  qelsim_set_hid_flags(kQel5Device, 0, 0);
  EXPECT_TRUE(ReadControlSerial(displayName, serial));
}

}  // namespace
}  // namespace qel::test
