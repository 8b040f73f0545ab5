// The exported video-class controls: LED, gain on two scales, exposure,
// camera number and colour bar. The camera's firmware gives standard
// properties meanings of its own (LED as brightness, colour bar as contrast,
// camera number as hue). One table describes every control; two functions
// carry out every setter and getter.
#include <cmath>
#include <cstdint>

#include "controls/property_controls.h"
#include "controls/video_property.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/value_ranges.h"
#include "qel/qel.h"

namespace qel {
namespace {

// Video property indices the controls use.
constexpr std::int32_t kBrightness = 0;
constexpr std::int32_t kContrast = 1;
constexpr std::int32_t kHue = 2;
constexpr std::int32_t kGain = 9;
constexpr std::int32_t kExposure = 14;

// Gain of a "QEL5" is four times finer than the fixed 0..240 scale.
constexpr std::int32_t kGainScaleMax = kGainScaleRange.max;
constexpr std::int32_t kQel5GainFactor = 4;
constexpr std::int32_t kQel5RawGainMax = 4095;

struct Control {
  const char* parameter;  // the exports' name of the value, for messages
  std::int32_t property;
  bool requiresHid;  // the gain family needs a camera of the family
  std::int32_t (*min)(std::int32_t model);
  std::int32_t (*max)(std::int32_t model);
  std::int32_t (*toRaw)(std::int32_t model, std::int32_t value);
  std::int32_t (*fromRaw)(std::int32_t model, double raw);
};

std::int32_t Zero(std::int32_t) { return 0; }
std::int32_t Identity(std::int32_t, std::int32_t value) { return value; }
std::int32_t Truncate(std::int32_t, double raw) { return static_cast<std::int32_t>(raw); }

std::int32_t GainToRaw(std::int32_t model, std::int32_t value) {
  return model == kModelQel5 ? value * kQel5GainFactor : value;
}
std::int32_t GainFromRaw(std::int32_t model, double raw) {
  if (model != kModelQel5) return static_cast<std::int32_t>(raw);
  if (raw > static_cast<double>(kGainScaleMax * kQel5GainFactor)) return kGainScaleMax;
  return static_cast<std::int32_t>(raw) / kQel5GainFactor;
}
std::int32_t RawGainMax(std::int32_t model) {
  return model == kModelQel5 ? kQel5RawGainMax : kGainScaleMax;
}

std::int32_t LedMax(std::int32_t) { return kLedRange.max; }
std::int32_t GainScaleMax(std::int32_t) { return kGainScaleMax; }
std::int32_t ExposureMin(std::int32_t) { return kExposureRange.min; }
std::int32_t ExposureMax(std::int32_t) { return kExposureRange.max; }
std::int32_t CameraNumberMin(std::int32_t) { return kCameraNumberRange.min; }
std::int32_t CameraNumberMax(std::int32_t) { return kCameraNumberRange.max; }
std::int32_t SwitchMax(std::int32_t) { return kSwitchRange.max; }

// parameter, property, requiresHid, min, max, toRaw, fromRaw
constexpr Control kLed{"level", kBrightness, false, Zero, LedMax, Identity, Truncate};
constexpr Control kGainControl{"gain", kGain, true, Zero, GainScaleMax, GainToRaw, GainFromRaw};
constexpr Control kRawGain{"gain", kGain, true, Zero, RawGainMax, Identity, Truncate};
constexpr Control kExposureControl{"exposure",  kExposure, false,   ExposureMin,
                                   ExposureMax, Identity,  Truncate};
constexpr Control kCameraNumber{"number",        kHue,     false,   CameraNumberMin,
                                CameraNumberMax, Identity, Truncate};
constexpr Control kColorBar{"on", kContrast, false, Zero, SwitchMax, Identity, Truncate};

bool NotFamily(std::int32_t key) {
  return Fail(ErrorCode::kNotSupported, "the device under key %d is not a camera of the family",
              static_cast<int>(key));
}

// A property call that failed without a reason of the property layer's own
// met a capture that no longer runs.
bool NotStreaming(std::int32_t key) {
  return Fail(ErrorCode::kNoCamera, "the camera under key %d is not streaming",
              static_cast<int>(key));
}

// The slot of a key whose capture a control may use.
std::optional<CameraSlot> ControlSlot(std::int32_t key, const Control& control) {
  std::optional<CameraSlot> slot = FindOpenCamera(key);
  if (!slot) return std::nullopt;
  if (control.requiresHid && !slot->channel) {
    NotFamily(key);
    return std::nullopt;
  }
  if (slot->captureIndex == -1) {
    NotStreaming(key);
    return std::nullopt;
  }
  return slot;
}

QelBool SetControl(std::int32_t key, const Control& control, std::int32_t value) {
  const std::optional<CameraSlot> slot = ControlSlot(key, control);
  if (!slot) return 0;
  const std::int32_t min = control.min(slot->model);
  const std::int32_t max = control.max(slot->model);
  if (value < min || value > max) {
    return Fail(ErrorCode::kOutOfRange, "%s %d is outside %d..%d for a %s", control.parameter,
                static_cast<int>(value), static_cast<int>(min), static_cast<int>(max),
                ModelText(slot->model));
  }
  const double raw = control.toRaw(slot->model, value);
  const std::int32_t result = WriteVideoProperty(slot->captureIndex, control.property, &raw);
  if (result == kPropertyWritten) return 1;
  return result == kPropertyNotRunning
             ? NotStreaming(key)
             : Fail(ErrorCode::kPlatform, "the property write failed with code %d",
                    static_cast<int>(result));
}

QelBool GetControl(std::int32_t key, const Control& control, std::int32_t* value) {
  if (value == nullptr) return Fail(ErrorCode::kBadArgument, "%s is NULL", control.parameter);
  const std::optional<CameraSlot> slot = ControlSlot(key, control);
  double raw = 0.0;
  if (!slot) return 0;
  // A failure the property layer did not explain is a capture that stopped.
  if (ReadVideoProperty(slot->captureIndex, control.property, &raw) != 0) return NotStreaming(key);
  *value = control.fromRaw(slot->model, raw);
  return 1;
}

// The model's raw gain bound, answered without touching the camera.
QelBool RawGainBound(std::int32_t key, std::int32_t* value, bool maximum) {
  if (value == nullptr) return Fail(ErrorCode::kBadArgument, "gain is NULL");
  const std::optional<CameraSlot> slot = FindOpenCamera(key);
  if (!slot) return 0;
  if (!slot->channel || !IsFamilyCamera(slot->model)) return NotFamily(key);
  *value = maximum ? RawGainMax(slot->model) : 0;
  return 1;
}

const Control& ControlOf(VideoControl which) {
  switch (which) {
    case VideoControl::kLed:
      return kLed;
    case VideoControl::kGain:
      return kGainControl;
    case VideoControl::kRawGain:
      return kRawGain;
    case VideoControl::kExposure:
      return kExposureControl;
    case VideoControl::kCameraNumber:
      return kCameraNumber;
    case VideoControl::kColorBar:
      break;
  }
  return kColorBar;
}

}  // namespace

bool VideoControlDefault(std::int32_t key, VideoControl which, std::int32_t& value) {
  const Control& control = ControlOf(which);
  const std::optional<CameraSlot> slot = ControlSlot(key, control);
  double raw = 0.0;
  if (!slot || ReadVideoPropertyDefault(slot->captureIndex, control.property, &raw) != 0) {
    return false;
  }
  value = control.fromRaw(slot->model, raw);
  return true;
}

}  // namespace qel

using qel::GetControl;
using qel::SetControl;

QelBool qel::exports::QelSetLed(int32_t key, int32_t level) {
  return SetControl(key, qel::kLed, level);
}
QelBool qel::exports::QelGetLed(int32_t key, int32_t* level) {
  return GetControl(key, qel::kLed, level);
}
QelBool qel::exports::QelSetGain(int32_t key, int32_t gain) {
  return SetControl(key, qel::kGainControl, gain);
}
QelBool qel::exports::QelGetGain(int32_t key, int32_t* gain) {
  return GetControl(key, qel::kGainControl, gain);
}
QelBool qel::exports::QelXSetGain(int32_t key, int32_t gain) {
  return SetControl(key, qel::kRawGain, gain);
}
QelBool qel::exports::QelXGetGain(int32_t key, int32_t* gain) {
  return GetControl(key, qel::kRawGain, gain);
}
QelBool qel::exports::QelXGetGainMax(int32_t key, int32_t* gain) {
  return qel::RawGainBound(key, gain, true);
}
QelBool qel::exports::QelXGetGainMin(int32_t key, int32_t* gain) {
  return qel::RawGainBound(key, gain, false);
}
QelBool qel::exports::QelSetExposure(int32_t key, int32_t exposure) {
  return SetControl(key, qel::kExposureControl, exposure);
}
QelBool qel::exports::QelGetExposure(int32_t key, int32_t* exposure) {
  return GetControl(key, qel::kExposureControl, exposure);
}
QelBool qel::exports::QelSetCameraNo(int32_t key, int32_t number) {
  if (!SetControl(key, qel::kCameraNumber, number)) return 0;
  // The slot may have been closed meanwhile; the camera took the number all the same.
  qel::CameraTable::Instance().SetCameraNumber(key, number);
  return 1;
}
QelBool qel::exports::QelGetCameraNo(int32_t key, int32_t* number) {
  return GetControl(key, qel::kCameraNumber, number);
}
QelBool qel::exports::QelSetColorBar(int32_t key, int32_t on) {
  return SetControl(key, qel::kColorBar, on);
}
QelBool qel::exports::QelGetColorBar(int32_t key, int32_t* on) {
  return GetControl(key, qel::kColorBar, on);
}
