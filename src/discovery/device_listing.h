// The list of video-input devices: positions are the keys cameras are
// opened with. Only plug-and-play devices count, in the platform's order.
#pragma once

#include <cstdint>

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

}  // namespace qel
