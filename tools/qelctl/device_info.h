// What a camera's firmware tells about itself: the facts `qelctl info` prints
// and the viewer's /api/info sends, read by one set of calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelctl {

struct InfoItem {
  const char* label;                   // as printed: "serial number"
  const char* key;                     // as a JSON member: "serial_number"
  const char* call;                    // the library function that reads it
  std::string text;                    // the value as shown ("0x0000ABCD"); "" when the call failed
  std::optional<std::int64_t> number;  // the value of a numeric fact (a temperature)
  bool ok = false;
  std::string reason;  // the library's reason when the call failed
};

// The firmware version, both temperatures, the serial number, the USB mode
// and the recognition byte of the open camera under key, in that order.
std::vector<InfoItem> ReadDeviceInfo(std::int32_t key);

}  // namespace qelctl
