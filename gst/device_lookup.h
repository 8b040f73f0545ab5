// Finding the camera the element's properties name, through the library's
// listing, and reading its formats. Each failure comes with a sentence for
// GStreamer's error message, ending in the library's own reason.
#pragma once

#include <qel/qel.h>

#include <optional>
#include <string>
#include <vector>

namespace qel_gst {

struct Device {
  int position = -1;  // the key it opens under
  std::string name;   // as listed, with the serial of a camera of the family
};

// The device listed under serial (its whole listed text, "QEL5#0000ABCD", or
// the part after '#'), or, when serial is empty, the one at position.
std::optional<Device> FindDevice(int position, const std::string& serial, std::string& why);

// Every capture format of the device at position; nothing, with why, on failure.
std::optional<std::vector<QelFormatEx>> FormatsOf(const Device& device, std::string& why);

// The calling thread's last failure as the library words it.
std::string LastError();

}  // namespace qel_gst
