#include "video_fixture.h"

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "core/camera_table.h"
#include "platform/linux/linux_platform.h"
#include "qel/qel.h"

namespace qel::test {

// The tests reach the backend through the exports: the hardware platform,
// whatever the process had chosen before.
LinuxVideoTest::LinuxVideoTest() : rigWasChosen_(platform::VirtualRigActive()) {
  platform::UseVirtualRig(false);
}

LinuxVideoTest::~LinuxVideoTest() {
  for (int index = 0; index < kCaptureContexts; ++index) StopCapture(index);
  CameraTable::Instance().ResetForTesting();
  platform::UseVirtualRig(rigWasChosen_);
}

FakeVideoNode& LinuxVideoTest::AddCamera(std::uint32_t minor, std::uint32_t hidMinor,
                                         const UsbHidSpec& usb) {
  return v4l2.AddCamera(sysfs, system, minor, hidMinor, usb);
}

std::string LinuxVideoTest::List(bool withSerial, int* count) {
  char list[512] = {};
  const int n =
      withSerial ? QelGetDeviceWithSerialNo(list, sizeof list) : QelGetDevice(list, sizeof list);
  if (count != nullptr) *count = n;
  return list;
}

}  // namespace qel::test
