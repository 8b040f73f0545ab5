#include "device_info.h"

#include "camera_session.h"
#include "command_support.h"
#include "qel/qel.h"

namespace qelctl {
namespace {

InfoItem Read(const char* label, const char* key, const char* call, bool ok, std::string text) {
  InfoItem item{label, key, call, "", std::nullopt, ok, ""};
  if (ok) {
    item.text = std::move(text);
  } else {
    item.reason = LibraryReason();
  }
  return item;
}

}  // namespace

std::vector<InfoItem> ReadDeviceInfo(std::int32_t key) {
  std::vector<InfoItem> items;
  char version[64] = {};
  const bool haveVersion = QelVersion(key, version, sizeof version);
  items.push_back(Read("firmware", "firmware", "QelVersion", haveVersion, version));
  for (std::int32_t type : {1, 2}) {
    std::int32_t temperature = 0;
    const bool ok = QelTemperature(key, type, &temperature);
    items.push_back(Read(type == 1 ? "temperature 1" : "temperature 2",
                         type == 1 ? "temperature_1" : "temperature_2", "QelTemperature", ok,
                         std::to_string(temperature)));
    if (ok) items.back().number = temperature;
  }
  std::uint32_t serial = 0;
  const bool haveSerial = QelGetSerialNo(key, &serial);
  items.push_back(
      Read("serial number", "serial_number", "QelGetSerialNo", haveSerial, Hex(serial, 8)));
  std::uint8_t usbMode = 0;
  const bool haveMode = QelUSBMode(key, &usbMode);
  items.push_back(Read("USB mode", "usb_mode", "QelUSBMode", haveMode, Hex(usbMode, 2)));
  std::uint8_t recognition = 0;
  const bool haveRecognition = QelCameraRecognition(key, &recognition);
  items.push_back(Read("recognition", "recognition", "QelCameraRecognition", haveRecognition,
                       Hex(recognition, 2)));
  return items;
}

}  // namespace qelctl
