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
  sysfs.AddUsbVideo(minor, usb);
  sysfs.AddUsbVideo(minor + 1, usb);
  sysfs.AddUsbHidraw(hidMinor, usb);
  system.Node("/dev/hidraw" + std::to_string(hidMinor)).descriptor = VendorDescriptor64();
  FakeVideoNode& twin = v4l2.Node("/dev/video" + std::to_string(minor + 1));
  twin.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  FakeVideoNode& node = v4l2.Node("/dev/video" + std::to_string(minor));
  node.card = usb.productName;
  node.busInfo = "usb-0000:00:14.0-" + usb.port;
  twin.busInfo = node.busInfo;
  node.formats = CameraFormats();
  node.current = {640, 480, V4L2_PIX_FMT_YUYV, V4L2_FIELD_NONE, 1280, 640 * 480 * 2, 0, 0, 0, 0,
                  0,   0};
  return node;
}

std::string LinuxVideoTest::List(bool withSerial, int* count) {
  char list[512] = {};
  const int n =
      withSerial ? QelGetDeviceWithSerialNo(list, sizeof list) : QelGetDevice(list, sizeof list);
  if (count != nullptr) *count = n;
  return list;
}

}  // namespace qel::test
