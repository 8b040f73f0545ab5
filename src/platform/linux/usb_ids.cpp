#include "platform/linux/usb_ids.h"

#include <cstdio>

namespace qel::platform::linux_hw {

std::string PairingToken(const UsbParent& usb) {
  char token[32];
  std::snprintf(token, sizeof token, "b%03u&d%03u", static_cast<unsigned>(usb.bus),
                static_cast<unsigned>(usb.address));
  return token;
}

std::string UsbInterfaceId(const UsbParent& usb) {
  char id[96];
  std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X&MI_%02X\\B%03u&D%03u&0&00%02X",
                unsigned{usb.vendor}, unsigned{usb.product}, unsigned{usb.interfaceNumber},
                static_cast<unsigned>(usb.bus), static_cast<unsigned>(usb.address),
                unsigned{usb.interfaceNumber});
  return id;
}

}  // namespace qel::platform::linux_hw
