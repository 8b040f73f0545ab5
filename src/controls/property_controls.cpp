// The exported video-class controls: LED, gain on two scales, exposure,
// camera number and colour bar. The camera's firmware gives standard
// properties meanings of its own (LED as brightness, colour bar as contrast,
// camera number as hue). One table describes every control; two functions
// carry out every setter and getter.
#include <cmath>
#include <cstdint>

#include "controls/video_property.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/exports.h"
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
constexpr std::int32_t kGainScaleMax = 240;
constexpr std::int32_t kQel5GainFactor = 4;
constexpr std::int32_t kQel5RawGainMax = 4095;

struct Control {
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

constexpr Control kLed{kBrightness, false,   Zero, [](std::int32_t) { return 64; },
                       Identity,    Truncate};
constexpr Control kGainControl{
    kGain, true, Zero, [](std::int32_t) { return kGainScaleMax; }, GainToRaw, GainFromRaw};
constexpr Control kRawGain{kGain, true, Zero, RawGainMax, Identity, Truncate};
constexpr Control kExposureControl{kExposure, false,    [](std::int32_t) { return -13; },
                                   Zero,      Identity, Truncate};
constexpr Control kCameraNumber{
    kHue,     false,   [](std::int32_t) { return 1; }, [](std::int32_t) { return 2; },
    Identity, Truncate};
constexpr Control kColorBar{kContrast, false,   Zero, [](std::int32_t) { return 1; },
                            Identity,  Truncate};

// The slot of a key whose capture a control may use.
std::optional<CameraSlot> ControlSlot(std::int32_t key, const Control& control) {
  std::optional<CameraSlot> slot = CameraTable::Instance().FindSlot(key);
  if (!slot || (control.requiresHid && !slot->channel) || slot->captureIndex == -1) {
    return std::nullopt;
  }
  return slot;
}

QelBool SetControl(std::int32_t key, const Control& control, std::int32_t value) {
  const std::optional<CameraSlot> slot = ControlSlot(key, control);
  if (!slot || value < control.min(slot->model) || value > control.max(slot->model)) return 0;
  const double raw = control.toRaw(slot->model, value);
  return WriteVideoProperty(slot->captureIndex, control.property, &raw) == kPropertyWritten;
}

QelBool GetControl(std::int32_t key, const Control& control, std::int32_t* value) {
  if (value == nullptr) return 0;
  const std::optional<CameraSlot> slot = ControlSlot(key, control);
  double raw = 0.0;
  if (!slot || ReadVideoProperty(slot->captureIndex, control.property, &raw) != 0) return 0;
  *value = control.fromRaw(slot->model, raw);
  return 1;
}

// The model's raw gain bound, answered without touching the camera.
QelBool RawGainBound(std::int32_t key, std::int32_t* value, bool maximum) {
  if (value == nullptr) return 0;
  const std::optional<CameraSlot> slot = CameraTable::Instance().FindSlot(key);
  if (!slot || !slot->channel) return 0;
  if (!IsFamilyCamera(slot->model)) return 0;
  *value = maximum ? RawGainMax(slot->model) : 0;
  return 1;
}

}  // namespace
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
