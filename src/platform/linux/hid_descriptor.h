// The report descriptor of a HID device, read for what the library needs of
// it: the longest input, output and feature report, and the usage of the
// first top-level collection.
//
// Report lengths are counted as the HID class driver of the other platform
// counts them, the report-ID byte always included (a device whose 64-byte
// reports carry no ID has reports of 65 bytes), because the core sizes its
// report buffers by them and puts the ID in byte 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace qel::platform::linux_hw {

struct HidDescription {
  HidCaps caps;
  // The device numbers its reports (a Report ID item appears), so that every
  // report it sends starts with its ID.
  bool numberedReports = false;
};

// False for a malformed descriptor: an item cut short, an End Collection or
// Pop without its opening item, a collection left open, a report ID of 0, a
// report too long to count, or no top-level collection at all.
bool ParseHidDescriptor(const std::uint8_t* bytes, std::size_t size, HidDescription& description);

}  // namespace qel::platform::linux_hw
