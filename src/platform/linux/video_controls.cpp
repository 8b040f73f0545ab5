#include "platform/linux/video_controls.h"

#include <linux/videodev2.h>

#include <cmath>
#include <limits>

#include "platform/linux/video_codes.h"
#include "platform/linux/video_device.h"

namespace qel::platform::linux_hw {

namespace {

enum class Units { kRaw, kArcSeconds, kExposure };

struct ControlMap {
  std::uint32_t id;      // 0: no control answers to the property
  std::uint32_t autoId;  // the automatic companion, 0 for none
  Units units;
};

constexpr long kFlagAuto = 1;
constexpr long kFlagManual = 2;
constexpr long kArcSecondsPerDegree = 3600;

// By property number: the processing amplifier's 0..9, then the camera
// control's 0..6.
constexpr ControlMap kVideoProcAmp[] = {
    {V4L2_CID_BRIGHTNESS, 0, Units::kRaw},
    {V4L2_CID_CONTRAST, 0, Units::kRaw},
    {V4L2_CID_HUE, V4L2_CID_HUE_AUTO, Units::kRaw},
    {V4L2_CID_SATURATION, 0, Units::kRaw},
    {V4L2_CID_SHARPNESS, 0, Units::kRaw},
    {V4L2_CID_GAMMA, 0, Units::kRaw},
    {0, 0, Units::kRaw},  // colour enable: no control
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE, Units::kRaw},
    {V4L2_CID_BACKLIGHT_COMPENSATION, 0, Units::kRaw},
    {V4L2_CID_GAIN, V4L2_CID_AUTOGAIN, Units::kRaw},
};
constexpr ControlMap kCameraControl[] = {
    {V4L2_CID_PAN_ABSOLUTE, 0, Units::kArcSeconds},
    {V4L2_CID_TILT_ABSOLUTE, 0, Units::kArcSeconds},
    {0, 0, Units::kRaw},  // roll: no control
    {V4L2_CID_ZOOM_ABSOLUTE, 0, Units::kRaw},
    {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, Units::kExposure},
    {V4L2_CID_IRIS_ABSOLUTE, 0, Units::kRaw},
    {V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, Units::kRaw},
};

// Exposure settings -13..0 in 100 us units: round(10000 * 2^n).
constexpr std::int32_t kExposureUnits[] = {1,   2,   5,   10,   20,   39,   78,
                                           156, 313, 625, 1250, 2500, 5000, 10000};
constexpr long kExposureFirst = -13;
constexpr long kExposureLast = 0;

long FromControl(Units units, std::int32_t value) {
  switch (units) {
    case Units::kArcSeconds:
      return value / kArcSecondsPerDegree;
    case Units::kExposure:
      return ExposureFromControl(value);
    case Units::kRaw:
      break;
  }
  return value;
}

std::int32_t ToControl(Units units, long value) {
  switch (units) {
    case Units::kArcSeconds:
      return static_cast<std::int32_t>(value * kArcSecondsPerDegree);
    case Units::kExposure:
      return ExposureToControl(value);
    case Units::kRaw:
      break;
  }
  return static_cast<std::int32_t>(value);
}

class VideoPropertySetOnNode final : public VideoPropertySet {
 public:
  VideoPropertySetOnNode(std::shared_ptr<VideoDevice> device, PropertyFamily family)
      : device_(std::move(device)), family_(family) {}

  HResult GetRange(long property, long& min, long& max, long& step, long& defaultValue,
                   long& capsFlags) override {
    const ControlMap* map = Find(property);
    v4l2_queryctrl query{};
    if (map == nullptr || !Query(map->id, query)) return kPropIdUnsupported;
    min = FromControl(map->units, query.minimum);
    max = FromControl(map->units, query.maximum);
    defaultValue = FromControl(map->units, query.default_value);
    step = map->units == Units::kRaw ? query.step : 1;
    v4l2_queryctrl companion{};
    capsFlags = kFlagManual | (map->autoId != 0 && Query(map->autoId, companion) ? kFlagAuto : 0);
    return kOk;
  }

  HResult Get(long property, long& value, long& flags) override {
    const ControlMap* map = Find(property);
    v4l2_queryctrl query{};
    if (map == nullptr || !Query(map->id, query)) return kPropIdUnsupported;
    v4l2_control control{map->id, 0};
    if (const int error = device_->Ioctl(VIDIOC_G_CTRL, &control)) return ErrnoResult(error);
    value = FromControl(map->units, control.value);
    flags = AutoOn(*map) ? kFlagAuto : kFlagManual;
    return kOk;
  }

  // The node's driver would clamp a value out of range without a word; the
  // framework refuses it, and so is it refused here. Manual switches the
  // automatic companion off before the value is written; Auto switches it
  // on and writes no value.
  HResult Set(long property, long value, long flags) override {
    const ControlMap* map = Find(property);
    v4l2_queryctrl query{};
    if (map == nullptr || !Query(map->id, query)) return kPropIdUnsupported;
    v4l2_queryctrl companion{};
    const bool hasAuto = map->autoId != 0 && Query(map->autoId, companion);
    if ((flags & kFlagAuto) != 0) {
      if (!hasAuto) return kInvalidArg;
      return SetControl(map->autoId, AutoValue(*map, true));
    }
    if (value < FromControl(map->units, query.minimum) ||
        value > FromControl(map->units, query.maximum)) {
      return kInvalidArg;
    }
    if (hasAuto) {
      if (const HResult off = SetControl(map->autoId, AutoValue(*map, false)); off != kOk) {
        return off;
      }
    }
    return SetControl(map->id, ToControl(map->units, value));
  }

 private:
  const ControlMap* Find(long property) const {
    if (family_ == PropertyFamily::kVideoProcAmp) {
      if (property < 0 || property >= static_cast<long>(std::size(kVideoProcAmp))) return nullptr;
      const ControlMap* map = &kVideoProcAmp[property];
      return map->id != 0 ? map : nullptr;
    }
    if (property < 0 || property >= static_cast<long>(std::size(kCameraControl))) return nullptr;
    const ControlMap* map = &kCameraControl[property];
    return map->id != 0 ? map : nullptr;
  }

  // Whether the node has the control, enabled.
  bool Query(std::uint32_t id, v4l2_queryctrl& query) const {
    query = {};
    query.id = id;
    return device_->Ioctl(VIDIOC_QUERYCTRL, &query) == 0 &&
           (query.flags & V4L2_CTRL_FLAG_DISABLED) == 0;
  }

  // The companion's setting for automatic (on) or manual (off). Exposure's
  // is a menu: automatic is aperture priority where the node offers it (as
  // cameras of this kind do), else full automatic.
  std::int32_t AutoValue(const ControlMap& map, bool on) const {
    if (map.autoId != V4L2_CID_EXPOSURE_AUTO) return on ? 1 : 0;
    if (!on) return V4L2_EXPOSURE_MANUAL;
    v4l2_querymenu menu{};
    menu.id = V4L2_CID_EXPOSURE_AUTO;
    menu.index = V4L2_EXPOSURE_APERTURE_PRIORITY;
    return device_->Ioctl(VIDIOC_QUERYMENU, &menu) == 0 ? V4L2_EXPOSURE_APERTURE_PRIORITY
                                                        : V4L2_EXPOSURE_AUTO;
  }

  bool AutoOn(const ControlMap& map) const {
    v4l2_queryctrl companion{};
    if (map.autoId == 0 || !Query(map.autoId, companion)) return false;
    v4l2_control control{map.autoId, 0};
    if (device_->Ioctl(VIDIOC_G_CTRL, &control) != 0) return false;
    return map.autoId == V4L2_CID_EXPOSURE_AUTO ? control.value != V4L2_EXPOSURE_MANUAL
                                                : control.value != 0;
  }

  HResult SetControl(std::uint32_t id, std::int32_t value) const {
    v4l2_control control{id, value};
    const int error = device_->Ioctl(VIDIOC_S_CTRL, &control);
    return error == 0 ? kOk : ErrnoResult(error);
  }

  std::shared_ptr<VideoDevice> device_;
  PropertyFamily family_;
};

}  // namespace

std::unique_ptr<VideoPropertySet> MakeVideoPropertySet(std::shared_ptr<VideoDevice> device,
                                                       PropertyFamily family) {
  return std::make_unique<VideoPropertySetOnNode>(std::move(device), family);
}

std::int32_t ExposureToControl(long log2Seconds) {
  if (log2Seconds >= kExposureFirst && log2Seconds <= kExposureLast) {
    return kExposureUnits[log2Seconds - kExposureFirst];
  }
  if (log2Seconds < kExposureFirst) return 1;
  const double units = std::ldexp(10000.0, static_cast<int>(std::min(log2Seconds, 30L)));
  return units >= std::numeric_limits<std::int32_t>::max()
             ? std::numeric_limits<std::int32_t>::max()
             : static_cast<std::int32_t>(units);
}

// The setting whose units lie nearest on the logarithmic scale.
long ExposureFromControl(std::int32_t units) {
  if (units <= 1) return kExposureFirst;
  const double exact = std::log2(units / 10000.0);
  long best = std::lround(exact);
  double bestDistance = std::numeric_limits<double>::max();
  for (long n = best - 1; n <= best + 1; ++n) {
    const double distance = std::fabs(std::log2(static_cast<double>(ExposureToControl(n))) -
                                      std::log2(static_cast<double>(units)));
    if (n >= kExposureFirst && distance < bestDistance) {
      bestDistance = distance;
      best = n;
    }
  }
  return best;
}

}  // namespace qel::platform::linux_hw
