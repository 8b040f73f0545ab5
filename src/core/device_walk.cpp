#include "core/device_walk.h"

namespace qel {

using platform::kOk;

std::u16string NumberedFilterName(std::string_view prefix, int number) {
  const std::string text = std::string(prefix) + " " + std::to_string(number);
  return std::u16string(text.begin(), text.end());
}

std::u16string CaptureFilterName(int number) { return NumberedFilterName("Video Capture", number); }

PnpDeviceWalk::Start PnpDeviceWalk::Begin() {
  platform::Platform& platform = platform::ActivePlatform();
  if (platform.CreateSystemDeviceEnum(deviceEnum_) != kOk || !deviceEnum_) {
    return Start::kNoDeviceEnumerator;
  }
  if (deviceEnum_->CreateVideoInputEnumerator(monikers_) != kOk || !monikers_) {
    return Start::kNoVideoInputs;
  }
  return Start::kReady;
}

PnpDeviceWalk::Step PnpDeviceWalk::Next(Device& device) {
  device.moniker.reset();  // each device is released before the next is asked for
  if (!monikers_) return Step::kEnd;
  for (;;) {
    if (turnLimit_ != kNoTurnLimit && turn_ >= turnLimit_) return Step::kEnd;
    const int turn = turn_++;
    std::unique_ptr<platform::Moniker> moniker;
    if (monikers_->Next(moniker) != kOk || !moniker) {
      if (turnLimit_ == kNoTurnLimit) return Step::kEnd;
      continue;
    }
    if (moniker->GetDisplayName(lastDisplayName_) != kOk) return Step::kNoDisplayName;
    if (lastDisplayName_.find(kPnpMarker) == std::u16string::npos) continue;
    device.moniker = std::move(moniker);
    device.displayName = lastDisplayName_;
    device.position = position_++;
    device.turn = turn;
    return Step::kDevice;
  }
}

}  // namespace qel
