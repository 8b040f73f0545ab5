#include "platform/linux/video_nodes.h"

#include <cstdio>

#include "platform/linux/usb_ids.h"
#include "platform/linux/utf_text.h"
#include "platform/linux/video_device.h"

namespace qel::platform::linux_hw {

namespace {

// The interface class GUID of video capture devices, as the other platform
// ends a device's interface path with it.
constexpr char kCaptureInterfaceSuffix[] = "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

std::vector<VideoNode> ListVideoNodes() {
  std::vector<VideoNode> nodes;
  const std::optional<std::vector<ClassNode>> classNodes = ListClassNodes("video4linux", "video");
  if (!classNodes) return nodes;
  for (const ClassNode& classNode : *classNodes) {
    if (classNode.devName.empty()) continue;
    VideoNode node;
    node.devicePath = "/dev/" + classNode.devName;
    node.minor = classNode.number;
    const std::shared_ptr<VideoDevice> device = VideoDevice::Open(node.devicePath);
    if (!device) continue;
    v4l2_capability capability{};
    if (device->Ioctl(VIDIOC_QUERYCAP, &capability) != 0 || !IsStreamingCapture(capability)) {
      continue;
    }
    node.card = FieldText(capability.card);
    node.busInfo = FieldText(capability.bus_info);
    node.nodeName = ReadAttribute(classNode.directory, "name").value_or(classNode.name);
    node.usb = FindUsbParent(classNode.directory);
    nodes.push_back(std::move(node));
  }
  return nodes;
}

std::u16string VideoDisplayName(const VideoNode& node) {
  char name[160];
  if (node.usb) {
    const UsbParent& usb = *node.usb;
    std::snprintf(name, sizeof name, "@device:pnp:\\\\?\\usb#vid_%04x&pid_%04x&mi_%02x#%s&0&0000%s",
                  unsigned{usb.vendor}, unsigned{usb.product}, unsigned{usb.interfaceNumber},
                  PairingToken(usb).c_str(), kCaptureInterfaceSuffix);
  } else {
    std::snprintf(name, sizeof name, "@device:pnp:\\\\?\\v4l#n%04u&x000&0&0000%s",
                  static_cast<unsigned>(node.minor), kCaptureInterfaceSuffix);
  }
  return Ascii(name);
}

std::u16string VideoFriendlyName(const VideoNode& node) {
  if (node.usb && !node.usb->productName.empty()) return Utf8ToUtf16(node.usb->productName);
  if (!node.card.empty()) return Utf8ToUtf16(node.card);
  return Utf8ToUtf16(node.nodeName);
}

}  // namespace qel::platform::linux_hw
