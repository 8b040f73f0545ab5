#include "platform/virtual/device_enum.h"

#include <vector>

#include "platform/virtual/capture_filter.h"
#include "platform/virtual/rig.h"
#include "platform/virtual/rig_codes.h"
#include "platform/virtual/text.h"

namespace qel::sim {

using platform::HResult;
using platform::kFail;
using platform::kOk;

namespace {

class VirtualPropertyBag : public platform::PropertyBag {
 public:
  explicit VirtualPropertyBag(DevicePtr device) : device_(std::move(device)) {}

  HResult Read(std::u16string_view name, std::u16string& value) override {
    std::lock_guard lock(Rig::Instance().mutex);
    if (name == u"FriendlyName") {
      value = Utf8ToUtf16(device_->friendlyName);
      return kOk;
    }
    if (name == u"DevicePath" && device_->displayName.starts_with("@device:pnp:")) {
      value = Utf8ToUtf16(device_->displayName.substr(12));
      return kOk;
    }
    return platform::kInvalidArg;
  }

 private:
  DevicePtr device_;
};

class VirtualMoniker : public platform::Moniker {
 public:
  explicit VirtualMoniker(DevicePtr device) : device_(std::move(device)) {}

  HResult GetDisplayName(std::u16string& name) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("GetDisplayName", device_->id)) return kFail;
    name = Utf8ToUtf16(device_->displayName);
    return kOk;
  }

  HResult BindToStorage(std::unique_ptr<platform::PropertyBag>& bag) override {
    if (Rig::Instance().Fault("BindToStorage", device_->id)) return kFail;
    bag = std::make_unique<VirtualPropertyBag>(device_);
    return kOk;
  }

  HResult BindToObject(std::unique_ptr<platform::BaseFilter>& filter) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("BindToObject", device_->id)) return kFail;
    if (device_->removed) return kDeviceGone;
    filter = MakeCaptureFilter(device_);
    return kOk;
  }

 private:
  DevicePtr device_;
};

class VirtualEnumMoniker : public platform::EnumMoniker {
 public:
  explicit VirtualEnumMoniker(std::vector<DevicePtr> devices) : devices_(std::move(devices)) {}

  HResult Next(std::unique_ptr<platform::Moniker>& moniker) override {
    if (Rig::Instance().Fault("Next", -1)) return kFail;
    if (next_ >= devices_.size()) return platform::kFalse;
    moniker = std::make_unique<VirtualMoniker>(devices_[next_++]);
    return kOk;
  }

 private:
  std::vector<DevicePtr> devices_;  // the category as it was when enumerated
  std::size_t next_ = 0;
};

class VirtualDevEnum : public platform::CreateDevEnum {
 public:
  HResult CreateVideoInputEnumerator(std::unique_ptr<platform::EnumMoniker>& monikers) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("CreateClassEnumerator", -1)) return kFail;
    std::vector<DevicePtr> video;
    for (const DevicePtr& d : rig.devices) {
      if (!d->removed && d->IsVideo()) video.push_back(d);
    }
    if (video.empty()) return platform::kFalse;
    monikers = std::make_unique<VirtualEnumMoniker>(std::move(video));
    return kOk;
  }
};

}  // namespace

std::unique_ptr<platform::CreateDevEnum> MakeSystemDeviceEnum() {
  return std::make_unique<VirtualDevEnum>();
}

}  // namespace qel::sim
