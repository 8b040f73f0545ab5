#include "platform/linux/hid_shim.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/hidraw_device.h"
#include "platform/linux/sys_api.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/usb_ids.h"

namespace qel::platform::linux_hw {

namespace {

constexpr const char* kHidrawClass = "hidraw";
constexpr std::string_view kDevDirectory = "/dev/";
// The fixed part of the other platform's interface detail record (x64): the
// core sizes the record by it.
constexpr std::uint32_t kDetailRecordHeader = 8;

thread_local std::string openFailure;

// The USB device each hidraw minor was paired by, as the calling thread last
// asked for its parent's ID: the core pairs a node by that ID, then opens it
// by its path, and the open must reach the device that was paired.
struct PairedDevice {
  std::uint32_t minor = 0;
  UsbParent usb;
};
thread_local std::vector<PairedDevice> pairedDevices;

void RememberPairing(std::uint32_t minor, const UsbParent& usb) {
  for (PairedDevice& paired : pairedDevices) {
    if (paired.minor == minor) {
      paired.usb = usb;
      return;
    }
  }
  pairedDevices.push_back({minor, usb});
}

const UsbParent* PairingOf(std::uint32_t minor) {
  for (const PairedDevice& paired : pairedDevices) {
    if (paired.minor == minor) return &paired.usb;
  }
  return nullptr;
}

bool SameUsbDevice(const UsbParent& a, const UsbParent& b) {
  return a.bus == b.bus && a.address == b.address && a.vendor == b.vendor &&
         a.product == b.product && a.interfaceNumber == b.interfaceNumber;
}

std::string DevicePath(const ClassNode& node) { return std::string(kDevDirectory) + node.devName; }

class HidrawInterfaceSet final : public HidInterfaceSet {
 public:
  explicit HidrawInterfaceSet(std::vector<ClassNode> nodes) : nodes_(std::move(nodes)) {}

  bool EnumDeviceInfo(std::uint32_t member, std::uint32_t& devInst) override {
    if (member >= nodes_.size()) return false;
    devInst = nodes_[member].number + 1;
    return true;
  }

  bool EnumDeviceInterface(std::uint32_t member) override { return member < nodes_.size(); }

  std::uint32_t DeviceInterfaceDetailSize(std::uint32_t member) override {
    if (member >= nodes_.size() || nodes_[member].devName.empty()) return 0;
    return kDetailRecordHeader + static_cast<std::uint32_t>(DevicePath(nodes_[member]).size()) + 1;
  }

  // The whole path or nothing: a cut path would name another node or none.
  bool GetDeviceInterfacePath(std::uint32_t member, std::uint32_t recordSize, char* path,
                              std::uint32_t pathSize) override {
    if (path == nullptr || member >= nodes_.size() || nodes_[member].devName.empty()) return false;
    const std::string full = DevicePath(nodes_[member]);
    if (recordSize < kDetailRecordHeader + full.size() + 1 || full.size() >= pathSize) {
      return false;
    }
    std::memcpy(path, full.c_str(), full.size() + 1);
    return true;
  }

 private:
  std::vector<ClassNode> nodes_;
};

// The node a devInst stands for, and its USB parent.
std::optional<UsbParent> UsbParentOf(std::uint32_t devInst) {
  if (devInst == 0) return std::nullopt;
  const std::optional<ClassNode> node = FindClassNode(kHidrawClass, "hidraw", devInst - 1);
  if (!node) return std::nullopt;
  return FindUsbParent(node->directory);
}

// The class node of a device path /dev/hidrawN, if sysfs has it under that name.
std::optional<ClassNode> NodeOfPath(std::string_view path) {
  if (!path.starts_with(kDevDirectory)) return std::nullopt;
  const std::string_view name = path.substr(kDevDirectory.size());
  constexpr std::string_view kPrefix = "hidraw";
  if (!name.starts_with(kPrefix) || name.size() == kPrefix.size()) return std::nullopt;
  std::uint32_t number = 0;
  for (char c : name.substr(kPrefix.size())) {
    if (c < '0' || c > '9' || number > 0xFFFFFF) return std::nullopt;
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
  }
  std::optional<ClassNode> node = FindClassNode(kHidrawClass, "hidraw", number);
  if (!node || node->devName != name) return std::nullopt;
  return node;
}

// The open node is the USB device sysfs names: a minor freed by an unplug and
// taken by another device between the walk and the open is not the camera.
bool IsSameDevice(int fd, const UsbParent& usb) {
  hidraw_devinfo info{};
  if (Sys().ioctl(fd, HIDIOCGRAWINFO, &info) < 0) return false;
  return info.bustype == BUS_USB && static_cast<std::uint16_t>(info.vendor) == usb.vendor &&
         static_cast<std::uint16_t>(info.product) == usb.product;
}

}  // namespace

std::unique_ptr<HidInterfaceSet> OpenHidInterfaceSet() {
  std::optional<std::vector<ClassNode>> nodes = ListClassNodes(kHidrawClass, "hidraw");
  if (!nodes) return nullptr;
  return std::make_unique<HidrawInterfaceSet>(std::move(*nodes));
}

std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) {
  if ((devInst & kUsbInterfaceFlag) != 0 || !UsbParentOf(devInst)) return kCrNoSuchDevnode;
  parent = devInst | kUsbInterfaceFlag;
  return kCrSuccess;
}

std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size) {
  if ((devInst & kUsbInterfaceFlag) == 0) return kCrNoSuchDevnode;
  const std::optional<UsbParent> usb = UsbParentOf(devInst & ~kUsbInterfaceFlag);
  if (!usb) return kCrNoSuchDevnode;
  const std::string id = UsbInterfaceId(*usb);
  if (buffer == nullptr || id.size() >= size) return kCrBufferSmall;
  RememberPairing((devInst & ~kUsbInterfaceFlag) - 1, *usb);
  std::memcpy(buffer, id.c_str(), id.size() + 1);
  return kCrSuccess;
}

std::unique_ptr<HidDevice> OpenHidDevice(const char* path, HidOpenMode mode) {
  openFailure.clear();
  if (path == nullptr) return nullptr;
  const std::optional<ClassNode> node = NodeOfPath(path);
  if (!node) return nullptr;
  const bool channel = mode == HidOpenMode::kCommandChannel;
  // The query reads only the descriptor, which needs no write access.
  const int flags = channel ? O_RDWR | O_NONBLOCK | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
  const int fd = Sys().open(path, flags);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) {
      openFailure = "no permission to open " + std::string(path) +
                    " (the camera's udev rule, 70-qel-camera.rules, grants it)";
    }
    return nullptr;
  }
  // Read after the open, so that the descriptor and sysfs describe the
  // device the node is now; both must be the one that was paired.
  const std::optional<UsbParent> usb = FindUsbParent(node->directory);
  const UsbParent* paired = PairingOf(node->number);
  if (!usb || (paired != nullptr && !SameUsbDevice(*usb, *paired)) || !IsSameDevice(fd, *usb)) {
    Sys().close(fd);
    return nullptr;
  }
  return std::make_unique<HidrawDevice>(fd, mode, usb->serial);
}

std::string TakeHidOpenFailure() {
  std::string failure = std::move(openFailure);
  openFailure.clear();
  return failure;
}

}  // namespace qel::platform::linux_hw
