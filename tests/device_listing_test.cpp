#include <cstring>
#include <string>

#include "core/camera_table.h"
#include "core/listing_size.h"
#include "discovery/device_listing.h"
#include "platform/platform.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

std::string List(int32_t size, int32_t* count, bool withSerial = false) {
  std::string buffer(static_cast<std::size_t>(size > 0 ? size : 1), '\x7f');
  *count = withSerial ? QelGetDeviceWithSerialNo(buffer.data(), size)
                      : QelGetDevice(buffer.data(), size);
  return buffer.c_str();
}

using DeviceListing = RigTest;
using EmptyDeviceListing = EmptyRigTest;

TEST_F(DeviceListing, NamesPlugAndPlayDevicesInOrderWithCommasReplaced) {
  int32_t count = 0;
  EXPECT_EQ(List(300, &count), "QEL5,QEL2,USB Camera- HD");
  EXPECT_EQ(count, 3);
  EXPECT_EQ(ListBufferSize().load(), 300);
}

TEST_F(DeviceListing, AppendsSerialTextsToCamerasOfTheFamily) {
  int32_t count = 0;
  EXPECT_EQ(List(1024, &count, true), "QEL5#0000ABCD,QEL2#00C0FFEE,USB Camera- HD");
  EXPECT_EQ(count, 3);
}

TEST_F(DeviceListing, CameraWhoseSerialCannotBeReadIsListedByBareName) {
  qelsim_set_usb_serial(kQel5Device, nullptr);
  qelsim_set_hid_parent_id(kQel2Device, "USB\\VID_1F3A&PID_5005&MI_02\\6&onlyone");
  int32_t count = 0;
  EXPECT_EQ(List(1024, &count, true), "QEL5,QEL2,USB Camera- HD");
  EXPECT_EQ(count, 3);
}

TEST_F(EmptyDeviceListing, OnlyTheFamilyGetsSerialTexts) {
  qelsim_add_camera("QEL7", 0x1234);  // answers like a camera, but is not one of the family
  qelsim_add_camera("QEL", 0x77);
  char list[64];
  ASSERT_EQ(QelGetDeviceWithSerialNo(list, sizeof list), 2);
  EXPECT_STREQ(list, "QEL7,QEL#00000077");
}

TEST_F(DeviceListing, SerialTextIsCutAtEightCharacters) {
  qelsim_set_usb_serial(kQel5Device, "0000ABCD99");
  qelsim_set_usb_serial(kQel2Device, "12AB");
  int32_t count = 0;
  EXPECT_EQ(List(1024, &count, true), "QEL5#0000ABCD,QEL2#12AB,USB Camera- HD");
}

TEST_F(EmptyDeviceListing, BufferKeepsOneByteInReserve) {
  qelsim_add_camera("QEL5", 1);
  int32_t count = 0;
  EXPECT_EQ(List(6, &count), "QEL5");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(List(5, &count), "");
  EXPECT_EQ(count, -1);
  EXPECT_EQ(ListBufferSize().load(), 6) << "a listing that did not fit leaves the size alone";

  qelsim_reset(0);
  qelsim_add_camera("QEL2", 1);
  qelsim_add_camera("QEL5", 2);
  EXPECT_EQ(List(11, &count), "QEL2,QEL5");
  EXPECT_EQ(count, 2);
  EXPECT_EQ(List(10, &count), "QEL2,");
  EXPECT_EQ(count, -1);
}

TEST_F(EmptyDeviceListing, SoftwareSourcesTakeNoPosition) {
  qelsim_add_webcam("Cam A");
  qelsim_add_software_source("Virtual Cam");
  qelsim_add_webcam("Cam B");
  int32_t count = 0;
  EXPECT_EQ(List(100, &count), "Cam A,Cam B");
  char name[kFriendlyNameSize];
  EXPECT_EQ(EnumerateVideoDevice(1, name, nullptr), kDeviceFound);
  EXPECT_STREQ(name, "Cam B");
  EXPECT_EQ(EnumerateVideoDevice(2, name, nullptr), kDiscoveryNoSuchDevice);
}

TEST_F(EmptyDeviceListing, NoDevicesGiveTheEmptyListAndStoreTheSize) {
  int32_t count = -5;
  EXPECT_EQ(List(77, &count), "");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ListBufferSize().load(), 77);
  char name[kFriendlyNameSize];
  EXPECT_EQ(EnumerateVideoDevice(0, name, nullptr), kDiscoveryNoVideoInputs);
}

TEST_F(DeviceListing, NullOrEmptyBuffersAreNeverWritten) {
  EXPECT_EQ(QelGetDevice(nullptr, 100), -1);
  EXPECT_EQ(QelGetDeviceWithSerialNo(nullptr, 100), -1);
  char byte = 'x';
  EXPECT_EQ(QelGetDevice(&byte, 0), -1);
  EXPECT_EQ(QelGetDevice(&byte, -4), -1);
  EXPECT_EQ(byte, 'x');
}

TEST_F(DeviceListing, PlatformFailuresEndTheListingWithTheDevicesSoFar) {
  qelsim_inject_fault(-1, "CreateFilterGraph", 0, 1);
  int32_t count = -5;
  EXPECT_EQ(List(100, &count), "");
  EXPECT_EQ(count, 0) << "a failure at position 0 is the empty list, not -1";

  qelsim_inject_fault(-1, "AddFilter.capture", 1, 1);
  EXPECT_EQ(List(100, &count), "QEL5");
  EXPECT_EQ(count, 1);

  char name[kFriendlyNameSize];
  qelsim_inject_fault(-1, "CreateSystemDeviceEnum", 0, 1);
  EXPECT_EQ(EnumerateVideoDevice(0, name, nullptr), kDiscoveryNoDeviceEnumerator);
  qelsim_inject_fault(-1, "GetDisplayName", 0, 1);
  EXPECT_EQ(EnumerateVideoDevice(0, name, nullptr), kDiscoveryNoDisplayName);
  qelsim_inject_fault(-1, "CreateClassEnumerator", 0, 1);
  EXPECT_EQ(EnumerateVideoDevice(0, name, nullptr), kDiscoveryNoVideoInputs);
}

// A name that cannot be read is listed empty and keeps its position; long
// names are cut to what their buffers hold.
TEST_F(DeviceListing, UnreadableNamesKeepTheirPositionAndLongNamesAreCut) {
  qelsim_inject_fault(-1, "BindToStorage", 2, 1);  // the QEL2's, in the walk to position 1
  int32_t count = 0;
  EXPECT_EQ(List(100, &count), "QEL5,,USB Camera- HD");
  EXPECT_EQ(count, 3);

  qelsim_reset(0);
  const int webcam = qelsim_add_webcam(std::string(300, 'N').c_str());
  const std::string longPath = "@device:pnp:\\\\?\\usb#" + std::string(1100, 'p');
  ASSERT_EQ(qelsim_set_display_name(webcam, longPath.c_str()), 0);
  char name[kFriendlyNameSize];
  char displayName[kDisplayNameSize];
  ASSERT_EQ(EnumerateVideoDevice(0, name, &displayName), kDeviceFound);
  EXPECT_EQ(std::string(name), std::string(255, 'N'));
  EXPECT_EQ(std::string(displayName), longPath.substr(0, 1023));
}

// Each call undoes every initialisation it made, also when the thread had
// initialised COM itself and the call's initialisation was only counted.
TEST_F(DeviceListing, ListingBalancesItsOwnComInitialisation) {
  int32_t count = 0;
  List(100, &count);
  EXPECT_EQ(qelsim_com_depth(), 0);
  ASSERT_EQ(platform::ActivePlatform().CoInitializeEx(), platform::kOk);
  List(100, &count);
  char formats[512];
  EXPECT_TRUE(QelGetFormat(0, formats, sizeof formats));
  EXPECT_EQ(qelsim_com_thread_depth(), 1) << "only the thread's own";
  platform::ActivePlatform().CoUninitialize();
}

}  // namespace
}  // namespace qel::test
