// The HID half of the Linux platform as the core's discovery walks it: the
// interface set, the parents and their IDs, and the opening of a paired node.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "discovery/hid_discovery.h"
#include "fake_sysfs.h"
#include "fake_system.h"
#include "platform/linux/hid_shim.h"
#include "platform/linux/linux_platform.h"

namespace qel::test {
namespace {

using platform::HidOpenMode;
using platform::Platform;
using platform::linux_hw::HardwarePlatform;

// A camera's video device as the capture side names it.
std::string DisplayName(const std::string& token) {
  return "@device:pnp:\\\\?\\usb#vid_1d6b&pid_0102&mi_00#" + token +
         "&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
}

class HidrawDiscoveryTest : public ::testing::Test {
 protected:
  FakeSysfs sysfs;
  FakeSystem system{sysfs.root()};
  Platform& platform = HardwarePlatform();

  // The parent ID of a member of a fresh set, empty when it has none.
  std::string ParentId(std::uint32_t devInst) {
    std::uint32_t parent = 0;
    if (platform.GetParentDevInst(devInst, parent) != platform::kCrSuccess) return "";
    char id[200] = {};
    if (platform.GetDeviceId(parent, id, sizeof id) != platform::kCrSuccess) return "";
    return id;
  }

  // Whether the core pairs a HID node with a video device of this name.
  bool Pairs(std::uint32_t devInst, const std::string& displayName) {
    const std::optional<std::string> prefix = InstancePrefix(ParentId(devInst));
    return prefix && displayName.find(*prefix) != std::string::npos;
  }
};

TEST_F(HidrawDiscoveryTest, SetListsNodesByMinorWithTheirDevicePaths) {
  sysfs.AddUsbHidraw(10, {});
  sysfs.AddI2cHidraw(2);
  sysfs.AddUsbHidraw(3, {.port = "1-4", .address = 9});
  auto set = platform.GetHidInterfaceSet();
  ASSERT_TRUE(set);
  std::vector<std::uint32_t> devInsts;
  std::uint32_t devInst = 0;
  for (std::uint32_t member = 0; set->EnumDeviceInfo(member, devInst); ++member) {
    devInsts.push_back(devInst);
  }
  EXPECT_EQ(devInsts, (std::vector<std::uint32_t>{3, 4, 11}));  // minor + 1, 10 after 3
  EXPECT_FALSE(set->EnumDeviceInterface(3));

  ASSERT_TRUE(set->EnumDeviceInterface(2));
  const std::uint32_t recordSize = set->DeviceInterfaceDetailSize(2);
  EXPECT_EQ(recordSize, 8u + sizeof "/dev/hidraw10");
  char path[32] = {};
  ASSERT_TRUE(set->GetDeviceInterfacePath(2, recordSize, path, sizeof path));
  EXPECT_STREQ(path, "/dev/hidraw10");
  // A path is given whole or not at all.
  EXPECT_FALSE(set->GetDeviceInterfacePath(2, recordSize, path, 13));

  // Without the class directory there is no set.
  std::filesystem::remove_all(std::filesystem::path(sysfs.root()) / "class/hidraw");
  EXPECT_FALSE(platform.GetHidInterfaceSet());
}

TEST_F(HidrawDiscoveryTest, CamerasPairOnlyWithTheirOwnVideoDevice) {
  sysfs.AddUsbHidraw(0, {.port = "1-2", .address = 5});
  sysfs.AddUsbHidraw(1, {.port = "1-2.3", .address = 50, .interfaceNumber = 1});
  sysfs.AddUsbHidraw(2, {.port = "1-3",
                         .address = 7,
                         .vendor = 0x046d,
                         .product = 0xc077,
                         .interfaceNumber = 0,
                         .serial = "",
                         .productName = "USB Mouse"});
  sysfs.AddI2cHidraw(3);

  EXPECT_EQ(ParentId(1), "USB\\VID_1D6B&PID_0102&MI_02\\B001&D005&0&0002");
  EXPECT_EQ(ParentId(2), "USB\\VID_1D6B&PID_0102&MI_01\\B001&D050&0&0001");
  EXPECT_EQ(ParentId(4), "");  // not USB: no parent
  const std::string onPort12 = DisplayName("b001&d005");
  const std::string onPort123 = DisplayName("b001&d050");
  EXPECT_TRUE(Pairs(1, onPort12));
  EXPECT_FALSE(Pairs(1, onPort123));
  EXPECT_TRUE(Pairs(2, onPort123));
  EXPECT_FALSE(Pairs(2, onPort12));
  EXPECT_FALSE(Pairs(3, onPort12));
  EXPECT_FALSE(Pairs(3, onPort123));

  // A buffer too small for the ID gets none.
  std::uint32_t parent = 0;
  ASSERT_EQ(platform.GetParentDevInst(1, parent), platform::kCrSuccess);
  char small[20] = {};
  EXPECT_EQ(platform.GetDeviceId(parent, small, sizeof small), platform::linux_hw::kCrBufferSmall);
  EXPECT_EQ(platform.GetDeviceId(1, small, sizeof small), platform::kCrNoSuchDevnode);
}

TEST_F(HidrawDiscoveryTest, OpenFlagsAndTheSerialQuery) {
  sysfs.AddUsbHidraw(0, {.serial = "0000ABCD"});
  FakeHidraw& node = system.Node("/dev/hidraw0");
  node.descriptor = VendorDescriptor64();
  {
    auto channel = platform.OpenHidDevice("/dev/hidraw0", HidOpenMode::kCommandChannel);
    ASSERT_TRUE(channel);
    EXPECT_EQ(node.openFlags, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  auto query = platform.OpenHidDevice("/dev/hidraw0", HidOpenMode::kSerialQuery);
  ASSERT_TRUE(query);
  EXPECT_EQ(node.openFlags, O_RDONLY | O_CLOEXEC);
  platform::HidCaps caps;
  ASSERT_TRUE(query->GetCaps(caps));
  EXPECT_EQ(caps.inputReportByteLength, 65);
  char16_t serial[9] = {};
  ASSERT_TRUE(query->GetSerialNumberString(serial, sizeof serial));
  EXPECT_EQ(std::u16string(serial), u"0000ABCD");
  EXPECT_FALSE(query->GetSerialNumberString(serial, sizeof serial - 1));  // no room for the end
  // The query moves no reports.
  std::uint8_t report[65] = {};
  EXPECT_FALSE(query->Write(report, sizeof report, 10));
  EXPECT_FALSE(query->Read(report, sizeof report, 10));
  EXPECT_TRUE(node.writes.empty());
  query.reset();
  EXPECT_EQ(system.opened, 2);
  EXPECT_EQ(system.closed, 2);
}

TEST_F(HidrawDiscoveryTest, NodeThatIsNoLongerThePairedDeviceIsRefused) {
  sysfs.AddUsbHidraw(0, {.address = 5});
  system.Node("/dev/hidraw0").descriptor = VendorDescriptor64();
  ASSERT_FALSE(ParentId(1).empty());
  // Between the pairing and the open the camera goes and its minor is
  // given to another device.
  sysfs.RemoveHidraw(0);
  sysfs.AddUsbHidraw(0, {.port = "1-4", .address = 6});
  EXPECT_FALSE(platform.OpenHidDevice("/dev/hidraw0", HidOpenMode::kCommandChannel));

  // The open node is not the device sysfs names, or not on USB.
  ASSERT_FALSE(ParentId(1).empty());
  system.Node("/dev/hidraw0").vendor = 0x046d;
  EXPECT_FALSE(platform.OpenHidDevice("/dev/hidraw0", HidOpenMode::kCommandChannel));
  system.Node("/dev/hidraw0").vendor = 0x1d6b;
  system.Node("/dev/hidraw0").bustype = 0x18;  // I2C
  EXPECT_FALSE(platform.OpenHidDevice("/dev/hidraw0", HidOpenMode::kCommandChannel));
  EXPECT_EQ(system.opened, system.closed);
  system.Node("/dev/hidraw0").bustype = 3;
  EXPECT_TRUE(platform.OpenHidDevice("/dev/hidraw0", HidOpenMode::kCommandChannel));
  // Paths that name no hidraw node of sysfs are not opened at all.
  EXPECT_FALSE(platform.OpenHidDevice("/dev/hidraw1", HidOpenMode::kCommandChannel));
  EXPECT_FALSE(platform.OpenHidDevice("/tmp/hidraw0", HidOpenMode::kCommandChannel));
  EXPECT_FALSE(platform.OpenHidDevice(nullptr, HidOpenMode::kCommandChannel));
}

TEST_F(HidrawDiscoveryTest, RefusedPermissionIsExplained) {
  sysfs.AddUsbHidraw(3, {});
  system.Node("/dev/hidraw3").openErrno = EACCES;
  EXPECT_FALSE(platform.OpenHidDevice("/dev/hidraw3", HidOpenMode::kSerialQuery));
  const std::string why = platform.TakeHidOpenFailure();
  EXPECT_NE(why.find("no permission to open /dev/hidraw3"), std::string::npos) << why;
  EXPECT_NE(why.find("udev rule"), std::string::npos) << why;
  EXPECT_EQ(platform.TakeHidOpenFailure(), "");  // read once

  system.Node("/dev/hidraw3").openErrno = ENOENT;
  EXPECT_FALSE(platform.OpenHidDevice("/dev/hidraw3", HidOpenMode::kSerialQuery));
  EXPECT_EQ(platform.TakeHidOpenFailure(), "");
}

}  // namespace
}  // namespace qel::test
