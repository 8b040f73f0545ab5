// A sysfs tree in a temporary directory, with the kernel's layout and real
// symbolic links: class/hidraw/hidrawN points into devices/, under a USB
// device and interface or under a non-USB bus.
#pragma once

#include <cstdint>
#include <string>

namespace qel::test {

struct UsbHidSpec {
  std::string port = "1-2";  // the USB device's directory name
  std::uint32_t bus = 1;
  std::uint32_t address = 5;
  std::uint16_t vendor = 0x1d6b;
  std::uint16_t product = 0x0102;
  std::uint32_t interfaceNumber = 2;
  std::string serial = "0000ABCD";  // empty: no serial attribute
  std::string productName = "QEL5";
};

class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  const std::string& root() const { return root_; }

  void AddUsbHidraw(std::uint32_t minor, const UsbHidSpec& usb);
  // A hidraw node on I2C, with no USB device above it.
  void AddI2cHidraw(std::uint32_t minor);
  // A video node under a USB interface of the device (0: the camera's video
  // control interface), or under a platform device with no USB above it.
  void AddUsbVideo(std::uint32_t minor, const UsbHidSpec& usb, std::uint32_t interfaceNumber = 0);
  void AddPlatformVideo(std::uint32_t minor);
  // The node's class link goes, as when its device is unplugged.
  void RemoveHidraw(std::uint32_t minor);

 private:
  void Link(std::uint32_t minor, const std::string& nodeDirectory);
  void LinkVideo(std::uint32_t minor, const std::string& classDirectory);
  std::string UsbDevice(const UsbHidSpec& usb);

  std::string root_;
  int devices_ = 0;
};

}  // namespace qel::test
