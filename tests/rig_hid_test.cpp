// The rig's HID side through the platform seam: the interface walk and its
// pairing text, handles, report routing, time-outs, faults and the log.
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/virtual/request_log.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using platform::ActivePlatform;
using platform::HidOpenMode;

struct Interface {
  std::string parentId;  // empty when the parent cannot be had
  std::string path;      // empty without detail
};

std::vector<Interface> Walk() {
  platform::Platform& p = ActivePlatform();
  std::vector<Interface> out;
  auto set = p.GetHidInterfaceSet();
  if (!set) return out;
  std::uint32_t devInst = 0;
  for (std::uint32_t m = 0; set->EnumDeviceInfo(m, devInst); ++m) {
    Interface i;
    std::uint32_t parent = 0;
    char id[200];
    if (p.GetParentDevInst(devInst, parent) == platform::kCrSuccess &&
        p.GetDeviceId(parent, id, sizeof id) == platform::kCrSuccess) {
      i.parentId = id;
    }
    std::uint32_t size = set->DeviceInterfaceDetailSize(m);
    std::vector<char> path(size);
    if (set->EnumDeviceInterface(m) && size > 0 &&
        set->GetDeviceInterfacePath(m, size, path.data(), size)) {
      i.path = path.data();
    }
    out.push_back(i);
  }
  return out;
}

std::string DisplayName(int device) {
  char name[1024];
  return qelsim_get_display_name(device, name, sizeof name) == 0 ? name : "";
}

// The lowered tail of a parent ID up to its second '&'.
std::string Prefix(std::string id) {
  for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string tail = id.substr(id.rfind('\\') + 1);
  return tail.substr(0, tail.find('&', tail.find('&') + 1));
}

std::vector<std::uint8_t> Command(std::uint8_t sequence, std::uint8_t code) {
  std::vector<std::uint8_t> report(65, 0);
  report[1] = sequence;
  report[2] = code;
  return report;
}

class RigHid : public RigTest {
 protected:
  std::unique_ptr<platform::HidDevice> Open(int member) {
    return ActivePlatform().OpenHidDevice(Walk()[member].path.c_str(),
                                          HidOpenMode::kCommandChannel);
  }
};

TEST_F(RigHid, EachCameraInterfacePairsWithItsOwnVideoDevice) {
  qelsim_add_foreign_hid("USB\\VID_0F0F&PID_0001\\5&1234ABCD&0&1");
  std::vector<Interface> walk = Walk();
  ASSERT_EQ(walk.size(), 3u);
  EXPECT_EQ(walk[0].parentId.find("USB\\VID_1F3A&PID_5005&MI_02\\6&"), 0u) << walk[0].parentId;
  std::string qel5 = Prefix(walk[0].parentId), qel2 = Prefix(walk[1].parentId);
  EXPECT_EQ(qel5.size(), 10u);
  EXPECT_NE(DisplayName(kQel5Device).find(qel5), std::string::npos);
  EXPECT_EQ(DisplayName(kQel2Device).find(qel5), std::string::npos);
  EXPECT_NE(DisplayName(kQel2Device).find(qel2), std::string::npos);
  EXPECT_EQ(DisplayName(kWebcamDevice).find(qel2), std::string::npos);
  EXPECT_NE(walk[0].path, walk[1].path);
  EXPECT_EQ(walk[0].path.find("\\\\?\\hid#vid_1f3a&pid_5005&mi_02#7&"), 0u) << walk[0].path;
  EXPECT_EQ(walk[2].parentId, "USB\\VID_0F0F&PID_0001\\5&1234ABCD&0&1");

  auto qel5Handle = Open(0);
  ASSERT_TRUE(qel5Handle);
  platform::HidCaps caps;
  ASSERT_TRUE(qel5Handle->GetCaps(caps));
  EXPECT_EQ(caps.inputReportByteLength, 65);
  EXPECT_EQ(caps.outputReportByteLength, 65);
  char16_t serial[64];
  ASSERT_TRUE(qel5Handle->GetSerialNumberString(serial, sizeof serial));
  EXPECT_EQ(std::u16string(serial), u"0000ABCD");
  EXPECT_FALSE(ActivePlatform().OpenHidDevice("\\\\?\\hid#nothing", HidOpenMode::kSerialQuery));
}

TEST_F(RigHid, InterfaceFlagsBreakTheirStepOfTheWalk) {
  EXPECT_EQ(qelsim_add_hid_interface(kQel5Device, 1, QELSIM_HID_UNOPENABLE), 0);
  EXPECT_EQ(qelsim_add_hid_interface(kQel5Device, 0, QELSIM_HID_NO_PARENT), 2);
  qelsim_set_hid_flags(kQel2Device, 0, QELSIM_HID_NO_DETAIL | QELSIM_HID_NO_CAPS);
  std::vector<Interface> walk = Walk();
  ASSERT_EQ(walk.size(), 4u);
  EXPECT_FALSE(ActivePlatform().OpenHidDevice(walk[0].path.c_str(), HidOpenMode::kSerialQuery));
  EXPECT_TRUE(walk[2].parentId.empty());
  EXPECT_TRUE(walk[3].path.empty());
  qelsim_set_hid_flags(kQel2Device, 0, QELSIM_HID_NO_CAPS | QELSIM_HID_NO_SERIAL);
  auto handle = Open(3);
  ASSERT_TRUE(handle);
  platform::HidCaps caps;
  char16_t serial[16];
  EXPECT_FALSE(handle->GetCaps(caps));
  EXPECT_FALSE(handle->GetSerialNumberString(serial, sizeof serial));
}

TEST_F(RigHid, TextsAreCutToTheCallersBuffer) {
  auto set = ActivePlatform().GetHidInterfaceSet();
  std::uint32_t devInst = 0, parent = 0;
  ASSERT_TRUE(set->EnumDeviceInfo(0, devInst));
  ASSERT_EQ(ActivePlatform().GetParentDevInst(devInst, parent), platform::kCrSuccess);
  char id[12];
  std::memset(id, 'x', sizeof id);
  EXPECT_NE(ActivePlatform().GetDeviceId(parent, id, 8), platform::kCrSuccess);
  EXPECT_EQ(id[7], '\0');
  EXPECT_EQ(id[8], 'x');
  EXPECT_NE(ActivePlatform().GetDeviceId(parent, nullptr, 200), platform::kCrSuccess);

  std::uint32_t size = set->DeviceInterfaceDetailSize(0);
  std::vector<char> path(size);
  EXPECT_FALSE(
      set->GetDeviceInterfacePath(0, size, path.data(), size - 5));  // no room for the terminator
  EXPECT_FALSE(set->GetDeviceInterfacePath(0, size - 1, path.data(), size));

  qelsim_set_usb_serial(kQel5Device, "0123456789");
  auto handle = Open(0);
  char16_t serial[6];
  serial[5] = u'x';
  ASSERT_TRUE(handle->GetSerialNumberString(serial, 8));  // four characters and the terminator
  EXPECT_EQ(std::u16string(serial), u"012");
  EXPECT_EQ(serial[5], u'x');
  EXPECT_FALSE(handle->GetSerialNumberString(serial, 1));
}

TEST_F(RigHid, RepliesReachEveryOpenHandleOfTheInterface) {
  auto a = Open(0);
  auto b = Open(0);
  auto other = Open(1);
  ASSERT_TRUE(a && b && other);
  auto request = Command(7, 0xE0);  // GetSerialNo
  ASSERT_TRUE(a->Write(request.data(), 65, 5000));
  std::uint8_t reply[65];
  for (auto* handle : {a.get(), b.get()}) {
    ASSERT_TRUE(handle->Read(reply, sizeof reply, 100));
    EXPECT_EQ(reply[1], 7);
    EXPECT_EQ(reply[2], 0xE0);
    EXPECT_EQ(reply[3] << 24 | reply[4] << 16 | reply[5] << 8 | reply[6], 0x0000ABCD);
  }
  std::uint32_t before = qelsim_now_ms();
  EXPECT_FALSE(other->Read(reply, sizeof reply, 250)) << "another camera's interface";
  EXPECT_EQ(qelsim_now_ms() - before, 250u) << "an empty read waits its time-out";

  // The log has the report as written, by device.
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 1);
  EXPECT_EQ(qelsim_log_report_count(kQel2Device), 0);
  EXPECT_EQ(ReportHex(kQel5Device, 0, 0, 3), "00 07 E0");
  EXPECT_EQ(qelsim_log_report(-1, 1, reply, sizeof reply), -1);

  // A queue keeps the newest 64 replies; a closed handle's queue goes with it.
  for (int i = 0; i < 70; ++i) {
    auto r = Command(static_cast<std::uint8_t>(i), 0xF0);
    ASSERT_TRUE(a->Write(r.data(), 65, 5000));
  }
  b.reset();
  ASSERT_TRUE(a->Read(reply, sizeof reply, 0));
  EXPECT_EQ(reply[1], 6);
  EXPECT_FALSE(a->Read(reply, 64, 0)) << "a buffer shorter than the report";
  int left = 1;
  while (a->Read(reply, sizeof reply, 0)) ++left;
  EXPECT_EQ(left, 64);
}

TEST_F(RigHid, WritesAndReadsFailAsInjected) {
  auto handle = Open(0);
  auto request = Command(1, 0xF0);
  EXPECT_FALSE(handle->Write(request.data(), 64, 5000)) << "not the output report length";
  qelsim_set_hid_report_lengths(kQel5Device, 65, 64);
  EXPECT_TRUE(handle->Write(request.data(), 64, 5000));
  qelsim_set_hid_report_lengths(kQel5Device, 65, 65);

  qelsim_inject_fault(kQel5Device, "WriteFile", 1, 1);
  EXPECT_TRUE(handle->Write(request.data(), 65, 5000));
  EXPECT_FALSE(handle->Write(request.data(), 65, 5000));
  EXPECT_TRUE(handle->Write(request.data(), 65, 5000));
  EXPECT_EQ(qelsim_log_report_count(-1), 3) << "a failed write is not logged";

  qelsim_inject_fault(-1, "ReadFile", 0, 1);
  std::uint8_t reply[65];
  EXPECT_FALSE(handle->Read(reply, sizeof reply, 0));
  EXPECT_TRUE(handle->Read(reply, sizeof reply, 0));

  qelsim_firmware_fault(kQel5Device, 0xF0, QELSIM_FW_SILENT, 0, 0, 1);
  while (handle->Read(reply, sizeof reply, 0)) {
  }
  EXPECT_TRUE(handle->Write(request.data(), 65, 5000));
  EXPECT_FALSE(handle->Read(reply, sizeof reply, 0));

  qelsim_inject_fault(-1, "SetupDiGetClassDevs", 0, 1);
  EXPECT_FALSE(ActivePlatform().GetHidInterfaceSet());
  qelsim_inject_fault(kQel2Device, "CreateFile", 0, -1);
  EXPECT_TRUE(Open(0));
  EXPECT_FALSE(Open(1));
}

TEST_F(RigHid, HeldRequestWaitsUntilReleased) {
  auto handle = Open(0);
  ASSERT_EQ(qelsim_hold_firmware(kQel5Device, 0xF0, 1), 0);
  auto other = Command(1, 0xF1), caught = Command(2, 0xF0);
  ASSERT_TRUE(handle->Write(caught.data(), 65, 5000)) << "the one skipped";
  ASSERT_TRUE(handle->Write(other.data(), 65, 5000)) << "another code";
  EXPECT_EQ(qelsim_firmware_held(kQel5Device), 0);
  std::thread writer([&] { EXPECT_TRUE(handle->Write(caught.data(), 65, 5000)); });
  while (qelsim_firmware_held(kQel5Device) == 0) std::this_thread::yield();
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 2) << "held before the log and the firmware";
  ASSERT_EQ(qelsim_release_firmware(kQel5Device), 0);
  writer.join();
  EXPECT_EQ(qelsim_firmware_held(kQel5Device), 0);
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), 3);
  ASSERT_TRUE(handle->Write(caught.data(), 65, 5000)) << "released: no hold left";

  // Removing the camera fails a held write.
  qelsim_hold_firmware(kQel5Device, -1, 0);
  std::thread removed([&] { EXPECT_FALSE(handle->Write(other.data(), 65, 5000)); });
  while (qelsim_firmware_held(kQel5Device) == 0) std::this_thread::yield();
  qelsim_remove_device(kQel5Device);
  removed.join();
}

TEST_F(RigHid, RemovedCameraFailsItsOpenHandle) {
  auto handle = Open(1);
  ASSERT_EQ(qelsim_remove_device(kQel2Device), 0);
  auto request = Command(1, 0xF0);
  EXPECT_FALSE(handle->Write(request.data(), 65, 5000));
  EXPECT_EQ(Walk().size(), 1u);
  EXPECT_EQ(qelsim_device_count(), 3);
}

}  // namespace
}  // namespace qel::test

TEST(RigRequestLog, KeepsTheLatestEntriesOnly) {
  qel::sim::RequestLog log;
  const std::size_t total = qel::sim::RequestLog::kMaxEntries + 5;
  for (std::size_t i = 0; i < total; ++i) {
    const std::uint8_t byte = static_cast<std::uint8_t>(i);
    log.AddReport(static_cast<int>(i % 2), &byte, 1);
    log.AddProperty(0, 0, static_cast<std::int32_t>(i), 2);
  }
  EXPECT_EQ(log.ReportCount(-1), static_cast<int>(qel::sim::RequestLog::kMaxEntries));
  ASSERT_NE(log.Report(-1, 0), nullptr);
  EXPECT_EQ(log.Report(-1, 0)->bytes[0], 5) << "the five oldest dropped out";
  EXPECT_EQ(log.Report(1, 0)->bytes[0], 5);
  EXPECT_EQ(log.Property(0, 0)->value, 5);
  EXPECT_EQ(log.Property(0, static_cast<int>(qel::sim::RequestLog::kMaxEntries)), nullptr);
}
