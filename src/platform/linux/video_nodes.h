// The video capture nodes of sysfs's video4linux class, with the names the
// core lists and pairs them by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/sysfs.h"

namespace qel::platform::linux_hw {

struct VideoNode {
  std::string devicePath;  // /dev/video0
  std::uint32_t minor = 0;
  std::string nodeName;  // sysfs's "name" of the node
  std::string card;      // QUERYCAP's card and bus_info at listing time
  std::string busInfo;
  std::optional<UsbParent> usb;  // none for a node off USB
};

// The nodes that capture by streaming, in the order of their numbers. Each
// is opened once to ask its capabilities; one that cannot be opened is left
// out, as it could not be bound either.
std::vector<VideoNode> ListVideoNodes();

// The display name in the form the core needs: a plug-and-play device whose
// name holds the USB device's pairing token, so that the camera's HID
// interface pairs with it and with no other node. A node off USB gets a
// token no HID parent ID can produce.
std::u16string VideoDisplayName(const VideoNode& node);

// The USB product string, else the driver's card name, else sysfs's name of
// the node.
std::u16string VideoFriendlyName(const VideoNode& node);

}  // namespace qel::platform::linux_hw
