#include "device_lookup.h"

#include <strings.h>
#include <qel/qel.hpp>

namespace qel_gst {
namespace {

bool NamesSerial(const std::string& listed, const std::string& serial) {
  if (strcasecmp(listed.c_str(), serial.c_str()) == 0) return true;
  const std::size_t hash = listed.find('#');
  return hash != std::string::npos && strcasecmp(listed.c_str() + hash + 1, serial.c_str()) == 0;
}

}  // namespace

std::string LastError() {
  char text[512] = "";
  QelLastError(text, sizeof text);
  return text[0] != '\0' ? text : "no reason given";
}

std::optional<Device> FindDevice(int position, const std::string& serial, std::string& why) {
  std::vector<qel::Device> devices;
  try {
    devices = qel::ListDevices();
  } catch (const qel::Error& e) {
    why = std::string("the devices could not be listed: ") + e.what();
    return std::nullopt;
  }
  if (!serial.empty()) {
    for (const qel::Device& device : devices) {
      if (NamesSerial(device.listed(), serial)) {
        return Device{device.position, device.listed()};
      }
    }
    why = "no camera is listed with the serial \"" + serial + "\" (" +
          std::to_string(devices.size()) + " device(s) listed)";
    return std::nullopt;
  }
  if (position < 0 || static_cast<std::size_t>(position) >= devices.size()) {
    why = "no video device at position " + std::to_string(position) + " (" +
          std::to_string(devices.size()) + " device(s) listed)";
    return std::nullopt;
  }
  return Device{position, devices[static_cast<std::size_t>(position)].listed()};
}

std::optional<std::vector<QelFormatEx>> FormatsOf(const Device& device, std::string& why) {
  try {
    return qel::Formats(device.position);
  } catch (const qel::Error& e) {
    why = "the formats of " + device.name + " could not be read: " + e.what();
    return std::nullopt;
  }
}

}  // namespace qel_gst
