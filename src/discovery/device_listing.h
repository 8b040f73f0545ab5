// The list of video-input devices: positions are the keys cameras are
// opened with. Only plug-and-play devices count, in the platform's order.
#pragma once

#include <cstdint>
#include <string>

namespace qel {

// DiscoveryStatus of EnumerateVideoDevice.
enum DiscoveryStatus : std::int32_t {
  kDeviceFound = 0,
  kDiscoveryNoFilterGraph = 3,
  kDiscoveryNoDeviceEnumerator = 4,
  kDiscoveryNoVideoInputs = 5,
  kDiscoveryNoDisplayName = 6,
  kDiscoveryAddFilterFailed = 7,
  kDiscoveryNoSuchDevice = 9,
};

inline constexpr std::size_t kFriendlyNameSize = 256;
inline constexpr std::size_t kDisplayNameSize = 1024;

// Finds the plug-and-play device at position and delivers its friendly name
// (256 bytes) and, when displayName is given, its display name (1024 bytes).
std::int32_t EnumerateVideoDevice(std::int32_t position, char (&friendlyName)[kFriendlyNameSize],
                                  char (*displayName)[kDisplayNameSize]);

// The listing of QelGetDevice (withSerial false) or QelGetDeviceWithSerialNo
// as a buffer of size bytes would hold it: the count, or -1 when it does not
// fit, with listing holding the entries that did (their number in
// *entriesListed when given). Needs no buffer of that size: the size only
// decides what fits. A camera of the family whose serial cannot be read is
// listed without it; the first such camera's reason, where the platform
// gives one, goes to *serialFailure.
std::int32_t ListDevices(std::string& listing, std::int32_t size, bool withSerial,
                         std::int32_t* entriesListed = nullptr,
                         std::string* serialFailure = nullptr);

}  // namespace qel
