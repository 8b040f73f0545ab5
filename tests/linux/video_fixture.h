// The exports on the Linux backend over stand-in sysfs, hidraw and V4L2
// nodes: a camera is a USB device with a video node and a HID interface.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_sysfs.h"
#include "fake_system.h"
#include "fake_v4l2.h"

namespace qel::test {

class LinuxVideoTest : public ::testing::Test {
 protected:
  LinuxVideoTest();
  ~LinuxVideoTest() override;

  // A camera on a USB device: its video node (video<minor>, with its
  // metadata twin at minor + 1) and its HID interface (hidraw<hidMinor>).
  FakeVideoNode& AddCamera(std::uint32_t minor, std::uint32_t hidMinor, const UsbHidSpec& usb);
  // QelGetDevice's (or QelGetDeviceWithSerialNo's) listing and count.
  std::string List(bool withSerial, int* count = nullptr);

  FakeSysfs sysfs;
  FakeSystem system{sysfs.root()};
  FakeV4l2 v4l2;

 private:
  bool rigWasChosen_;
};

}  // namespace qel::test
