#include "platform/virtual/video_properties.h"

#include "platform/virtual/rig.h"
#include "platform/virtual/rig_codes.h"

namespace qel::sim {

using platform::HResult;

namespace {

class VirtualPropertySet : public platform::VideoPropertySet {
 public:
  VirtualPropertySet(DevicePtr device, int firstIndex)
      : device_(std::move(device)), firstIndex_(firstIndex) {}

  HResult GetRange(long property, long& min, long& max, long& step, long& defaultValue,
                   long& capsFlags) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("GetRange", device_->id)) return platform::kFail;
    const PropertyState* p = Find(property);
    if (p == nullptr) return kPropIdUnsupported;
    min = p->min;
    max = p->max;
    step = p->step;
    defaultValue = p->defaultValue;
    capsFlags = p->capsFlags;
    return platform::kOk;
  }

  HResult Get(long property, long& value, long& flags) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("Get", device_->id)) return platform::kFail;
    const PropertyState* p = Find(property);
    if (p == nullptr) return kPropIdUnsupported;
    value = p->value;
    flags = p->flags;
    return platform::kOk;
  }

  HResult Set(long property, long value, long flags) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    bool inRange = property >= 0 && property < Count();
    if (inRange) {
      rig.log.AddProperty(device_->id, firstIndex_ + static_cast<int>(property),
                          static_cast<std::int32_t>(value), static_cast<std::int32_t>(flags));
    }
    if (rig.FaultLocked("Set", device_->id)) return platform::kFail;
    PropertyState* p = Find(property);
    if (p == nullptr) return kPropIdUnsupported;
    if (value < p->min || value > p->max) return platform::kInvalidArg;
    p->value = static_cast<std::int32_t>(value);
    p->flags = static_cast<std::int32_t>(flags);
    return platform::kOk;
  }

 private:
  int Count() const { return firstIndex_ == 0 ? 10 : 7; }

  // The supported property of that number on a present device, or null.
  PropertyState* Find(long property) {
    if (device_->removed || property < 0 || property >= Count()) return nullptr;
    PropertyState& p = device_->properties[firstIndex_ + property];
    return p.supported ? &p : nullptr;
  }

  DevicePtr device_;
  int firstIndex_;
};

}  // namespace

std::unique_ptr<platform::VideoPropertySet> MakeVideoPropertySet(DevicePtr device, int firstIndex) {
  return std::make_unique<VirtualPropertySet>(std::move(device), firstIndex);
}

}  // namespace qel::sim
