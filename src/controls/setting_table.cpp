#include "controls/setting_table.h"

#include "controls/property_controls.h"
#include "core/camera_model.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/value_ranges.h"

namespace qel {
namespace {

namespace x = exports;

constexpr unsigned kOther = 1u << 0;
constexpr unsigned kQel = 1u << (kModelQel + 1);
constexpr unsigned kQel2 = 1u << (kModelQel2 + 1);
constexpr unsigned kQel5 = 1u << (kModelQel5 + 1);
constexpr unsigned kFamily = kQel | kQel2 | kQel5;

constexpr std::int32_t kReadWrite = QEL_SETTING_READ | QEL_SETTING_WRITE;

// --- ranges: fixed ones from value_ranges.h, the camera's own from the
// exports that answer them.

template <const IntRange& R>
bool Fixed(std::int32_t, std::int32_t, SettingRange& range) {
  range = {static_cast<double>(R.min), static_cast<double>(R.max), 1.0};
  return true;
}

bool RawGainRange(std::int32_t key, std::int32_t, SettingRange& range) {
  std::int32_t min = 0, max = 0;
  if (!x::QelXGetGainMin(key, &min) || !x::QelXGetGainMax(key, &max)) return false;
  range = {static_cast<double>(min), static_cast<double>(max), 1.0};
  return true;
}

bool ShutterRange(std::int32_t key, std::int32_t, SettingRange& range) {
  std::uint16_t min = 0, max = 0;
  if (!x::QelGetShutterMin(key, &min) || !x::QelGetShutterMax(key, &max)) return false;
  range = {static_cast<double>(min), static_cast<double>(max), 1.0};
  return true;
}

bool ShutterTimeRange(std::int32_t, std::int32_t, SettingRange& range) {
  range = {kShortestShutterTime, kLongestShutterTime, kShortestShutterTime};
  return true;
}

// The raw digital gains share one range on every model.
bool RawDigitalGainRange(std::int32_t key, std::int32_t, SettingRange& range) {
  std::uint16_t lo[4] = {}, hi[4] = {};
  if (!x::QelXGetDigitalGainMin(key, &lo[0], &lo[1], &lo[2], &lo[3]) ||
      !x::QelXGetDigitalGainMax(key, &hi[0], &hi[1], &hi[2], &hi[3])) {
    return false;
  }
  range = {static_cast<double>(lo[0]), static_cast<double>(hi[0]), 1.0};
  return true;
}

// --- defaults: only the video-class controls, whose device says.

template <VideoControl C>
bool ControlDefault(std::int32_t key, double& value) {
  std::int32_t v = 0;
  if (!VideoControlDefault(key, C, v)) return false;
  value = v;
  return true;
}

// --- values, through the exports.

auto I32(double v) { return static_cast<std::int32_t>(v); }

template <QelBool (*Get)(std::int32_t, std::int32_t*)>
bool GetInt(std::int32_t key, double* values) {
  std::int32_t v = 0;
  if (!Get(key, &v)) return false;
  values[0] = v;
  return true;
}
template <QelBool (*Set)(std::int32_t, std::int32_t)>
bool SetInt(std::int32_t key, const double* values) {
  return Set(key, I32(values[0])) != 0;
}
template <QelBool (*Get)(std::int32_t, std::uint16_t*, std::uint16_t*, std::uint16_t*,
                         std::uint16_t*)>
bool GetGains(std::int32_t key, double* values) {
  std::uint16_t g[4] = {};
  if (!Get(key, &g[0], &g[1], &g[2], &g[3])) return false;
  for (int i = 0; i < 4; ++i) values[i] = g[i];
  return true;
}
template <QelBool (*Set)(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t)>
bool SetGains(std::int32_t key, const double* values) {
  return Set(key, I32(values[0]), I32(values[1]), I32(values[2]), I32(values[3])) != 0;
}

bool GetShutter(std::int32_t key, double* values) {
  std::uint16_t lines = 0;
  if (!x::QelGetShutter(key, &lines)) return false;
  values[0] = lines;
  return true;
}
// QelSetShutter keeps its classic cut to 16 bits (65537 lines become 1); by
// name, a count beyond them is refused as outside the range the list gives.
bool SetShutter(std::int32_t key, const double* values) {
  if (values[0] < 0 || values[0] > UINT16_MAX) {
    SettingRange range;
    if (!ShutterRange(key, 0, range)) return false;
    return Fail(ErrorCode::kOutOfRange, "%d lines is outside %g..%g for this camera",
                static_cast<int>(I32(values[0])), range.min, range.max);
  }
  return x::QelSetShutter(key, I32(values[0])) != 0;
}
bool GetShutterTime(std::int32_t key, double* values) {
  return x::QelGetShutterTime(key, &values[0]) != 0;
}
bool SetShutterTime(std::int32_t key, const double* values) {
  return x::QelSetShutterTime(key, values[0]) != 0;
}
bool SetAnalogGain(std::int32_t key, const double* values) {
  // Negative gains reach the export as the huge unsigned values it refuses.
  return x::Qel5SetAnalogGain(key, static_cast<std::uint32_t>(I32(values[0]))) != 0;
}
// The GPIO exports send the low byte of what they are given, as they always
// have; by name, a value that is no byte is refused instead.
template <QelBool (*Set)(std::int32_t, std::int32_t)>
bool SetGpioByte(std::int32_t key, const double* values) {
  const std::int32_t value = I32(values[0]);
  if (value < kGpioByteRange.min || value > kGpioByteRange.max) {
    return Fail(ErrorCode::kOutOfRange, "GPIO byte %d is outside %d..%d", static_cast<int>(value),
                static_cast<int>(kGpioByteRange.min), static_cast<int>(kGpioByteRange.max));
  }
  return Set(key, value) != 0;
}

bool GetGpioInput(std::int32_t key, double* values) {
  std::uint8_t input = 0;
  if (!x::QelGPIOInput(key, &input)) return false;
  values[0] = input;
  return true;
}

constexpr QelSettingChoice kCameraNumbers[] = {{1, "Camera 1"}, {2, "Camera 2"}};

// The order is the order of the list: what a person looks for first.
const SettingDef kSettings[] = {
    {"led",
     "LED",
     "",
     "QelSetLed",
     QEL_SETTING_INTEGER,
     kReadWrite,
     1,
     kFamily,
     {},
     Fixed<kLedRange>,
     ControlDefault<VideoControl::kLed>,
     GetInt<x::QelGetLed>,
     SetInt<x::QelSetLed>},
    {"gain",
     "Gain",
     "",
     "QelSetGain",
     QEL_SETTING_INTEGER,
     kReadWrite,
     1,
     kFamily,
     {},
     Fixed<kGainScaleRange>,
     ControlDefault<VideoControl::kGain>,
     GetInt<x::QelGetGain>,
     SetInt<x::QelSetGain>},
    {"xgain",
     "Raw gain",
     "",
     "QelXSetGain",
     QEL_SETTING_INTEGER,
     kReadWrite,
     1,
     kFamily,
     {},
     RawGainRange,
     ControlDefault<VideoControl::kRawGain>,
     GetInt<x::QelXGetGain>,
     SetInt<x::QelXSetGain>},
    {"exposure",
     "Exposure",
     "log2 s",
     "QelSetExposure",
     QEL_SETTING_INTEGER,
     kReadWrite,
     1,
     kFamily | kOther,
     {},
     Fixed<kExposureRange>,
     ControlDefault<VideoControl::kExposure>,
     GetInt<x::QelGetExposure>,
     SetInt<x::QelSetExposure>},
    {"shutter",
     "Shutter",
     "lines",
     "QelSetShutter",
     QEL_SETTING_INTEGER,
     kReadWrite,
     1,
     kFamily,
     {},
     ShutterRange,
     nullptr,
     GetShutter,
     SetShutter},
    {"shutter-time",
     "Shutter time",
     "s",
     "QelSetShutterTime",
     QEL_SETTING_REAL,
     kReadWrite,
     1,
     kFamily,
     {},
     ShutterTimeRange,
     nullptr,
     GetShutterTime,
     SetShutterTime},
    {"analog-gain",
     "Analog gain",
     "",
     "Qel5SetAnalogGain",
     QEL_SETTING_INTEGER,
     kReadWrite,
     1,
     kQel5,
     {},
     Fixed<kAnalogGainRange>,
     nullptr,
     GetInt<x::Qel5GetAnalogGain>,
     SetAnalogGain},
    {"digital-gain",
     "Digital gain",
     "",
     "QelSetDigitalGain",
     QEL_SETTING_GROUP,
     kReadWrite,
     4,
     kFamily,
     {},
     Fixed<kDigitalGainScaleRange>,
     nullptr,
     GetGains<x::QelGetDigitalGain>,
     SetGains<x::QelSetDigitalGain>},
    {"xdigital-gain",
     "Raw digital gain",
     "",
     "QelXSetDigitalGain",
     QEL_SETTING_GROUP,
     kReadWrite,
     4,
     kFamily,
     {},
     RawDigitalGainRange,
     nullptr,
     GetGains<x::QelXGetDigitalGain>,
     SetGains<x::QelXSetDigitalGain>},
    {"camera-number", "Camera number", "", "QelSetCameraNo", QEL_SETTING_CHOICE, kReadWrite, 1,
     kFamily, kCameraNumbers, Fixed<kCameraNumberRange>,
     ControlDefault<VideoControl::kCameraNumber>, GetInt<x::QelGetCameraNo>,
     SetInt<x::QelSetCameraNo>},
    {"colorbar",
     "Colour bar",
     "",
     "QelSetColorBar",
     QEL_SETTING_BOOLEAN,
     kReadWrite,
     1,
     kFamily,
     {},
     Fixed<kSwitchRange>,
     ControlDefault<VideoControl::kColorBar>,
     GetInt<x::QelGetColorBar>,
     SetInt<x::QelSetColorBar>},
    {"defect-correction",
     "Defect correction",
     "",
     "QelSetPixelDefectOnOff",
     QEL_SETTING_BOOLEAN,
     kReadWrite,
     1,
     kQel2 | kQel5,
     {},
     Fixed<kSwitchRange>,
     nullptr,
     GetInt<x::QelGetPixelDefectOnOff>,
     SetInt<x::QelSetPixelDefectOnOff>},
    {"gpio-direction",
     "GPIO direction",
     "",
     "QelGPIODirection",
     QEL_SETTING_INTEGER,
     QEL_SETTING_WRITE,
     1,
     kQel,
     {},
     Fixed<kGpioByteRange>,
     nullptr,
     nullptr,
     SetGpioByte<x::QelGPIODirection>},
    {"gpio-output",
     "GPIO output",
     "",
     "QelGPIOOutput",
     QEL_SETTING_INTEGER,
     QEL_SETTING_WRITE,
     1,
     kQel,
     {},
     Fixed<kGpioByteRange>,
     nullptr,
     nullptr,
     SetGpioByte<x::QelGPIOOutput>},
    {"gpio-input",
     "GPIO input",
     "",
     "QelGPIOInput",
     QEL_SETTING_INTEGER,
     QEL_SETTING_READ,
     1,
     kQel,
     {},
     Fixed<kGpioByteRange>,
     nullptr,
     GetGpioInput,
     nullptr},
};

}  // namespace

unsigned DeviceBit(std::int32_t model) {
  return IsFamilyCamera(static_cast<CameraModel>(model)) ? 1u << (model + 1) : kOther;
}

std::span<const SettingDef> SettingTable() { return kSettings; }

const SettingDef* FindSettingDef(std::string_view name) {
  for (const SettingDef& def : kSettings) {
    if (name == def.name) return &def;
  }
  return nullptr;
}

std::string SettingNames() {
  std::string names;
  for (const SettingDef& def : kSettings) {
    if (!names.empty()) names += ", ";
    names += def.name;
  }
  return names;
}

}  // namespace qel
