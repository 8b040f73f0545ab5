#include "device_lookup.h"

#include <strings.h>

#include <cstdio>
#include <sstream>

namespace qel_gst {
namespace {

// The listing with serials; grows the buffer until it fits.
std::optional<std::vector<std::string>> ListDevices(std::string& why) {
  std::vector<char> text(4096);
  for (;;) {
    const int32_t count = QelGetDeviceWithSerialNo(text.data(), static_cast<int32_t>(text.size()));
    if (count >= 0) {
      std::vector<std::string> names;
      if (count == 0) return names;
      std::istringstream entries(text.data());
      for (std::string name; std::getline(entries, name, ',');) names.push_back(name);
      return names;
    }
    if (QelLastErrorCode() != QEL_ERROR_BUFFER_TOO_SMALL || text.size() >= (1u << 24)) {
      why = "the devices could not be listed: " + LastError();
      return std::nullopt;
    }
    text.resize(text.size() * 4);
  }
}

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
  const std::optional<std::vector<std::string>> names = ListDevices(why);
  if (!names) return std::nullopt;
  if (!serial.empty()) {
    for (std::size_t i = 0; i < names->size(); ++i) {
      if (NamesSerial((*names)[i], serial)) return Device{static_cast<int>(i), (*names)[i]};
    }
    why = "no camera is listed with the serial \"" + serial + "\" (" +
          std::to_string(names->size()) + " device(s) listed)";
    return std::nullopt;
  }
  if (position < 0 || static_cast<std::size_t>(position) >= names->size()) {
    why = "no video device at position " + std::to_string(position) + " (" +
          std::to_string(names->size()) + " device(s) listed)";
    return std::nullopt;
  }
  return Device{position, (*names)[position]};
}

std::optional<std::vector<QelFormatEx>> FormatsOf(const Device& device, std::string& why) {
  const int32_t count = QelGetFormatListEx(device.position, nullptr, 0);
  std::vector<QelFormatEx> formats(count > 0 ? count : 0);
  const int32_t filled =
      count < 0 ? -1 : QelGetFormatListEx(device.position, formats.data(), count);
  if (filled < 0) {
    why = "the formats of " + device.name + " could not be read: " + LastError();
    return std::nullopt;
  }
  // A device that changed its list between the calls keeps what was filled.
  if (filled < count) formats.resize(filled);
  return formats;
}

}  // namespace qel_gst
