// The one walk over the video-input devices that gives them their positions.
//
// Only plug-and-play devices (display name containing "@device:pnp") take a
// position, in the platform's enumeration order. The device listing, the
// capture graph and the format listing all walk with this class, so listing
// position n, the device a graph opens for key n and format index n are
// always the same device.
//
// Thread safety: an instance belongs to one call on one thread; the walk
// holds the platform's enumerator objects for as long as it lives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qel {

inline constexpr std::u16string_view kPnpMarker = u"@device:pnp";

// The name a device's filter is added to a filter graph under:
// "Video Capture <number>".
std::u16string CaptureFilterName(int number);
// The platform's name for a filter of the library numbered as above, e.g.
// "Grabber 3".
std::u16string NumberedFilterName(std::string_view prefix, int number);

class PnpDeviceWalk {
 public:
  static constexpr int kNoTurnLimit = -1;

  // With a turn limit only that many moniker requests are made, and a failed
  // request uses up its turn; without one the first failed request ends the
  // walk.
  explicit PnpDeviceWalk(int turnLimit = kNoTurnLimit) : turnLimit_(turnLimit) {}

  enum class Start { kReady, kNoDeviceEnumerator, kNoVideoInputs };
  // Creates the system device enumerator and the video-input category's
  // enumerator (an empty category answers S_FALSE: kNoVideoInputs).
  Start Begin();

  struct Device {
    std::unique_ptr<platform::Moniker> moniker;
    std::u16string displayName;
    std::int32_t position = 0;  // among plug-and-play devices
    int turn = 0;               // moniker requests made before this device's
  };
  enum class Step { kDevice, kEnd, kNoDisplayName };
  // Moves to the next plug-and-play device.
  Step Next(Device& device);

  // The display name of the last moniker examined, plug-and-play or not.
  const std::u16string& LastDisplayName() const { return lastDisplayName_; }
  // Plug-and-play devices passed so far.
  std::int32_t DevicesSeen() const { return position_; }

 private:
  const int turnLimit_;
  int turn_ = 0;
  std::int32_t position_ = 0;
  std::u16string lastDisplayName_;
  std::unique_ptr<platform::CreateDevEnum> deviceEnum_;
  std::unique_ptr<platform::EnumMoniker> monikers_;
};

}  // namespace qel
