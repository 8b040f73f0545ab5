// Reading sysfs below the table's root: a device class's nodes, their
// attributes, and the USB interface and device each node hangs under.
//
// The kernel links /sys/class/<class>/<node> to the node's place in the
// device tree, whose ancestors are the drivers' devices: for a USB camera
// .../usb1/1-2 (the USB device) / 1-2:1.2 (an interface) / ... / <node>.
// Walking up the resolved path from a node finds both, whatever lies between
// (the HID device of a hidraw node, nothing for a video node).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qel::platform::linux_hw {

// sysfs's root as the table gives it, and a path below it.
std::filesystem::path SysfsPath(const std::string& relative);

// An attribute's text without its trailing newline; none when the file
// cannot be read.
std::optional<std::string> ReadAttribute(const std::filesystem::path& directory, const char* name);
// An attribute as a number in the given base; none when absent or not one.
std::optional<std::uint32_t> ReadNumber(const std::filesystem::path& directory, const char* name,
                                        int base);

// The path with every link resolved; none when it does not exist.
std::optional<std::filesystem::path> Canonical(const std::filesystem::path& path);

// A node of a device class (/sys/class/hidraw/hidraw3): its name, the number
// its name ends in, and its device file's name from the node's uevent
// (DEVNAME=hidraw3).
struct ClassNode {
  std::string name;
  std::uint32_t number = 0;
  std::filesystem::path directory;
  std::string devName;
};

// The nodes of a class whose names are prefix followed by a number, in the
// order of their numbers; none when the class directory cannot be read.
std::optional<std::vector<ClassNode>> ListClassNodes(const char* className, const char* prefix);
// One node of a class by its number, if it exists now.
std::optional<ClassNode> FindClassNode(const char* className, const char* prefix,
                                       std::uint32_t number);

// The USB interface and device above a class node.
struct UsbParent {
  std::filesystem::path interfaceDirectory;  // .../1-2/1-2:1.2
  std::filesystem::path deviceDirectory;     // .../1-2
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint8_t interfaceNumber = 0;
  std::uint32_t bus = 0;
  std::uint32_t address = 0;  // devnum
  std::string portPath;       // the device directory's name, "1-2.3"
  std::string serial;         // empty when the device has no serial string
  std::string productName;    // empty when the device has no product string
};

// None for a node that is not under a USB interface (I2C, Bluetooth, uhid).
std::optional<UsbParent> FindUsbParent(const std::filesystem::path& classNode);

}  // namespace qel::platform::linux_hw
