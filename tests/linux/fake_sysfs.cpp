#include "fake_sysfs.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace qel::test {

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << '\n';
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

}  // namespace

FakeSysfs::FakeSysfs() {
  std::string pattern = (fs::temp_directory_path() / "qel-sysfs-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  root_ = pattern;
  fs::create_directories(fs::path(root_) / "class/hidraw");
  fs::create_directories(fs::path(root_) / "devices");
}

FakeSysfs::~FakeSysfs() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void FakeSysfs::AddUsbHidraw(std::uint32_t minor, const UsbHidSpec& usb) {
  const fs::path device = UsbDevice(usb);
  const fs::path interface = device / (usb.port + ":1." + std::to_string(usb.interfaceNumber));
  char number[4];
  std::snprintf(number, sizeof number, "%02x", usb.interfaceNumber);
  Write(interface / "bInterfaceNumber", number);
  const std::string hid =
      "0003:" + Hex4(usb.vendor) + ":" + Hex4(usb.product) + "." + std::to_string(++devices_);
  Link(minor, (interface / hid / "hidraw").string());
}

void FakeSysfs::AddI2cHidraw(std::uint32_t minor) {
  Link(minor,
       (fs::path(root_) / "devices/platform/i2c-1/i2c-ELAN0001:00/0018:04F3:3147.0009/hidraw")
           .string());
}

std::string FakeSysfs::UsbDevice(const UsbHidSpec& usb) {
  const fs::path device = fs::path(root_) / "devices/pci0000:00/0000:00:14.0" /
                          ("usb" + std::to_string(usb.bus)) / usb.port;
  Write(device / "idVendor", Hex4(usb.vendor));
  Write(device / "idProduct", Hex4(usb.product));
  Write(device / "busnum", std::to_string(usb.bus));
  Write(device / "devnum", std::to_string(usb.address));
  if (!usb.serial.empty()) Write(device / "serial", usb.serial);
  if (!usb.productName.empty()) Write(device / "product", usb.productName);
  return device.string();
}

void FakeSysfs::AddUsbVideo(std::uint32_t minor, const UsbHidSpec& usb,
                            std::uint32_t interfaceNumber) {
  const fs::path interface =
      fs::path(UsbDevice(usb)) / (usb.port + ":1." + std::to_string(interfaceNumber));
  char number[4];
  std::snprintf(number, sizeof number, "%02x", interfaceNumber);
  Write(interface / "bInterfaceNumber", number);
  LinkVideo(minor, (interface / "video4linux").string());
}

void FakeSysfs::AddPlatformVideo(std::uint32_t minor) {
  LinkVideo(minor, (fs::path(root_) / "devices/platform/vivid.0/video4linux").string());
}

void FakeSysfs::LinkVideo(std::uint32_t minor, const std::string& classDirectory) {
  const std::string name = "video" + std::to_string(minor);
  const fs::path node = fs::path(classDirectory) / name;
  Write(node / "uevent", "MAJOR=81\nMINOR=" + std::to_string(minor) + "\nDEVNAME=" + name);
  Write(node / "name", "node " + name);
  const fs::path link = fs::path(root_) / "class/video4linux" / name;
  fs::create_directories(link.parent_path());
  fs::remove(link);
  fs::create_directory_symlink(fs::relative(node, link.parent_path()), link);
}

void FakeSysfs::RemoveHidraw(std::uint32_t minor) {
  fs::remove(fs::path(root_) / "class/hidraw" / ("hidraw" + std::to_string(minor)));
}

void FakeSysfs::Link(std::uint32_t minor, const std::string& classDirectory) {
  const std::string name = "hidraw" + std::to_string(minor);
  const fs::path node = fs::path(classDirectory) / name;
  Write(node / "uevent", "MAJOR=241\nMINOR=" + std::to_string(minor) + "\nDEVNAME=" + name);
  const fs::path link = fs::path(root_) / "class/hidraw" / name;
  fs::remove(link);
  fs::create_directory_symlink(fs::relative(node, link.parent_path()), link);
}

}  // namespace qel::test
