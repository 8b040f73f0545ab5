#include "platform/virtual/stream_config.h"

#include <cstdlib>

#include "platform/virtual/media_formats.h"
#include "platform/virtual/rig.h"
#include "platform/virtual/rig_codes.h"

namespace qel::sim {

using platform::HResult;
using platform::kFail;
using platform::kOk;

namespace {

class VirtualStreamConfig : public platform::StreamConfig {
 public:
  explicit VirtualStreamConfig(DevicePtr device) : device_(std::move(device)) {}

  HResult GetFormat(std::unique_ptr<platform::MediaType>& type) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("GetFormat", device_->id) || device_->removed) return kFail;
    const Capability* current = device_->CurrentFormat();
    if (current == nullptr) return kFail;
    type = std::make_unique<platform::MediaType>(MakeMediaType(*current, false));
    return kOk;
  }

  HResult SetFormat(const platform::MediaType& type) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("SetFormat", device_->id) || device_->removed) return kFail;
    if (device_->activeStream != nullptr) return platform::kWrongState;
    std::int32_t width, height;
    std::int64_t interval;
    if (!(type.majortype == platform::kMediaTypeVideo) ||
        !ReadVideoHeader(type, width, height, interval)) {
      return kInvalidMediaType;
    }
    for (const Capability& cap : device_->caps) {
      if (cap.subtype == type.subtype && cap.width == width && cap.height == height &&
          IntervalMatches(interval, cap.interval)) {
        Capability chosen = cap;
        chosen.interval = interval;  // the stream runs at the requested interval
        device_->current = chosen;
        return kOk;
      }
    }
    return kInvalidMediaType;
  }

  HResult GetNumberOfCapabilities(int& count, int& capsSize) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("GetNumberOfCapabilities", device_->id) || device_->removed) return kFail;
    count = static_cast<int>(device_->caps.size());
    capsSize = device_->capsStructureSize;
    return kOk;
  }

  HResult GetStreamCaps(int index, std::unique_ptr<platform::MediaType>& type,
                        void* caps) override {
    if (caps == nullptr) return platform::kPointer;
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("GetStreamCaps", device_->id) || device_->removed) return kFail;
    if (index < 0) return platform::kInvalidArg;
    if (static_cast<std::size_t>(index) >= device_->caps.size()) return platform::kFalse;
    const Capability& cap = device_->caps[static_cast<std::size_t>(index)];
    type = std::make_unique<platform::MediaType>(MakeMediaType(cap, !cap.videoInfo));
    WriteStreamCaps(cap, caps);
    return kOk;
  }

 private:
  DevicePtr device_;
};

}  // namespace

bool IntervalMatches(std::int64_t requested, std::int64_t capability) {
  if (requested <= 0 || capability <= 0) return false;
  return std::llabs(requested - capability) * 1000 <= capability;
}

std::unique_ptr<platform::StreamConfig> MakeStreamConfig(DevicePtr device) {
  return std::make_unique<VirtualStreamConfig>(std::move(device));
}

}  // namespace qel::sim
