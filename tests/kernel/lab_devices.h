// The kernel lab's devices as the tests see them: the gadget camera run as a
// child process, a uhid device made by the test itself, and the nodes the
// kernel makes for them. Run as root inside the lab's VM, with the modules
// loaded (scripts/kernel-lab/guest.sh).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qel::lab {

// Calls ready until it is true or the time is up; true when it became true.
bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit);

// /dev/hidrawN of the USB device with this serial string, if there is one.
std::optional<std::string> HidrawOfSerial(const std::string& serial);
// The sysfs directory of the USB device with this serial string.
std::optional<std::string> UsbDeviceOfSerial(const std::string& serial);
// The first line of a sysfs attribute; empty when it cannot be read.
std::string Attribute(const std::string& directory, const char* name);

// The gadget camera (gadget_camera.cpp) bound to a device controller; its
// hidraw node appears on the host side. Stopped and removed on destruction.
class GadgetCamera {
 public:
  // Starts it with these options and waits for its hidraw node.
  GadgetCamera(const std::string& serial, const std::vector<std::string>& options);
  ~GadgetCamera();
  GadgetCamera(const GadgetCamera&) = delete;
  GadgetCamera& operator=(const GadgetCamera&) = delete;

  // Empty when the node did not appear.
  const std::string& Hidraw() const { return hidraw_; }
  // The gadget's own output since it started ("ready ...", "unplugged ...").
  std::string Output();

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string text_;
  std::string hidraw_;
};

// A HID device made through /dev/uhid with the camera's report descriptor:
// a real hidraw node whose parent is no USB device.
class UhidDevice {
 public:
  UhidDevice(std::uint16_t vendor, std::uint16_t product);
  ~UhidDevice();
  UhidDevice(const UhidDevice&) = delete;
  UhidDevice& operator=(const UhidDevice&) = delete;

  // /dev/hidrawN once the kernel made it; empty otherwise.
  const std::string& Hidraw() const { return hidraw_; }

 private:
  int fd_ = -1;
  std::string hidraw_;
};

}  // namespace qel::lab
