// get and set: the camera's settings, those carried as video-class
// properties (LED, gain, exposure, camera number, colour bar) and those sent
// over the command channel (shutter, digital and analog gain, GPIO), plus the
// library's own defect correction switch.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "qel/qel.h"

namespace qelctl {
namespace {

// Which cameras a setting applies to: one bit per camera model, and one for
// devices opened for frames only.
constexpr unsigned kCaptureOnly = 1u << 0;
constexpr unsigned kModel0 = 1u << 1;
constexpr unsigned kModel1 = 1u << 2;
constexpr unsigned kModel2 = 1u << 3;
constexpr unsigned kFamily = kModel0 | kModel1 | kModel2;
constexpr unsigned kEveryDevice = kFamily | kCaptureOnly;

unsigned BitOfModel(int model) { return model < 0 ? kCaptureOnly : 1u << (model + 1); }

// How a setting's value is written on the command line and shown.
enum class Kind {
  kInteger,    // decimal or 0x hexadecimal
  kSwitch,     // on or off
  kSeconds,    // a decimal number of seconds
  kByte,       // 0..0xFF, shown in hexadecimal
  kFourGains,  // one value for all four gains, or four separated by commas
};

struct Value {
  std::int64_t n[4] = {};
  double seconds = 0.0;
};

struct Setting {
  const char* name;
  const char* accepts;  // what the library accepts, for help and failures
  unsigned appliesTo;
  Kind kind;
  std::int64_t min;  // what the tool lets through to the library
  std::int64_t max;
  void (*get)(std::int32_t key, Value& value);        // null: cannot be read
  void (*set)(std::int32_t key, const Value& value);  // null: cannot be written
  std::string (*range)(std::int32_t key);             // null: accepts says it all
};

auto I32(std::int64_t v) { return static_cast<std::int32_t>(v); }

void Check(QelBool ok, const char* call) {
  if (!ok) throw CallFailed(call);
}

// Each getter reads one value over the library call named in it.
template <QelBool(QEL_CALL* Call)(std::int32_t, std::int32_t*)>
void GetInt(std::int32_t key, Value& value, const char* name) {
  std::int32_t v = 0;
  Check(Call(key, &v), name);
  value.n[0] = v;
}

#define QELCTL_GET_INT(call) [](std::int32_t key, Value& v) { GetInt<call>(key, v, #call); }
#define QELCTL_SET_INT(call) \
  [](std::int32_t key, const Value& v) { Check(call(key, I32(v.n[0])), #call); }
#define QELCTL_GET_GAINS(call)                           \
  [](std::int32_t key, Value& v) {                       \
    std::uint16_t g[4] = {};                             \
    Check(call(key, &g[0], &g[1], &g[2], &g[3]), #call); \
    for (int i = 0; i < 4; ++i) v.n[i] = g[i];           \
  }
#define QELCTL_SET_GAINS(call)                                                   \
  [](std::int32_t key, const Value& v) {                                         \
    Check(call(key, I32(v.n[0]), I32(v.n[1]), I32(v.n[2]), I32(v.n[3])), #call); \
  }

std::string RangeText(std::int64_t min, std::int64_t max, const char* unit = "") {
  return std::to_string(min) + ".." + std::to_string(max) + unit;
}

const Setting kSettings[] = {
    {"led", "0..64", kEveryDevice, Kind::kInteger, INT32_MIN, INT32_MAX, QELCTL_GET_INT(QelGetLed),
     QELCTL_SET_INT(QelSetLed), nullptr},
    {"gain", "0..240", kFamily, Kind::kInteger, INT32_MIN, INT32_MAX, QELCTL_GET_INT(QelGetGain),
     QELCTL_SET_INT(QelSetGain), nullptr},
    {"xgain", "the camera's raw gain range", kFamily, Kind::kInteger, INT32_MIN, INT32_MAX,
     QELCTL_GET_INT(QelXGetGain), QELCTL_SET_INT(QelXSetGain),
     [](std::int32_t key) {
       std::int32_t min = 0, max = 0;
       Check(QelXGetGainMin(key, &min), "QelXGetGainMin");
       Check(QelXGetGainMax(key, &max), "QelXGetGainMax");
       return RangeText(min, max);
     }},
    {"exposure", "-13..0", kEveryDevice, Kind::kInteger, INT32_MIN, INT32_MAX,
     QELCTL_GET_INT(QelGetExposure), QELCTL_SET_INT(QelSetExposure), nullptr},
    {"camera-number", "1 or 2", kEveryDevice, Kind::kInteger, INT32_MIN, INT32_MAX,
     QELCTL_GET_INT(QelGetCameraNo), QELCTL_SET_INT(QelSetCameraNo), nullptr},
    {"colorbar", "on or off", kEveryDevice, Kind::kSwitch, 0, 1, QELCTL_GET_INT(QelGetColorBar),
     QELCTL_SET_INT(QelSetColorBar), nullptr},
    {"defect-correction", "on or off", kModel1 | kModel2, Kind::kSwitch, 0, 1,
     QELCTL_GET_INT(QelGetPixelDefectOnOff), QELCTL_SET_INT(QelSetPixelDefectOnOff), nullptr},
    {"shutter", "lines, the camera's shutter range", kFamily, Kind::kInteger, 0, 0xFFFF,
     [](std::int32_t key, Value& v) {
       std::uint16_t lines = 0;
       Check(QelGetShutter(key, &lines), "QelGetShutter");
       v.n[0] = lines;
     },
     QELCTL_SET_INT(QelSetShutter),
     [](std::int32_t key) {
       std::uint16_t min = 0, max = 0;
       Check(QelGetShutterMin(key, &min), "QelGetShutterMin");
       Check(QelGetShutterMax(key, &max), "QelGetShutterMax");
       return RangeText(min, max, " lines");
     }},
    {"shutter-time", "0.0001..1 s", kFamily, Kind::kSeconds, 0, 0,
     [](std::int32_t key, Value& v) {
       Check(QelGetShutterTime(key, &v.seconds), "QelGetShutterTime");
     },
     [](std::int32_t key, const Value& v) {
       Check(QelSetShutterTime(key, v.seconds), "QelSetShutterTime");
     },
     nullptr},
    {"analog-gain", "0..15", kModel2, Kind::kInteger, 0, UINT32_MAX,
     QELCTL_GET_INT(Qel5GetAnalogGain),
     [](std::int32_t key, const Value& v) {
       Check(Qel5SetAnalogGain(key, static_cast<std::uint32_t>(v.n[0])), "Qel5SetAnalogGain");
     },
     nullptr},
    {"digital-gain", "0..4095 each", kFamily, Kind::kFourGains, 0, 0xFFFF,
     QELCTL_GET_GAINS(QelGetDigitalGain), QELCTL_SET_GAINS(QelSetDigitalGain), nullptr},
    {"xdigital-gain", "the camera's raw digital gain range", kFamily, Kind::kFourGains, 0, 0xFFFF,
     QELCTL_GET_GAINS(QelXGetDigitalGain), QELCTL_SET_GAINS(QelXSetDigitalGain),
     [](std::int32_t key) {
       std::uint16_t min[4] = {}, max[4] = {};
       Check(QelXGetDigitalGainMin(key, &min[0], &min[1], &min[2], &min[3]),
             "QelXGetDigitalGainMin");
       Check(QelXGetDigitalGainMax(key, &max[0], &max[1], &max[2], &max[3]),
             "QelXGetDigitalGainMax");
       return RangeText(min[0], max[0], " each");
     }},
    {"gpio-direction", "0x00..0xFF", kModel0, Kind::kByte, 0, 0xFF, nullptr,
     QELCTL_SET_INT(QelGPIODirection), nullptr},
    {"gpio-output", "0x00..0xFF", kModel0, Kind::kByte, 0, 0xFF, nullptr,
     QELCTL_SET_INT(QelGPIOOutput), nullptr},
    {"gpio-input", "", kModel0, Kind::kByte, 0, 0xFF,
     [](std::int32_t key, Value& v) {
       std::uint8_t input = 0;
       Check(QelGPIOInput(key, &input), "QelGPIOInput");
       v.n[0] = input;
     },
     nullptr, nullptr},
};

bool Can(const Setting& s, bool write) { return write ? s.set != nullptr : s.get != nullptr; }

const Setting* FindSetting(const std::string& name) {
  for (const Setting& s : kSettings) {
    if (name == s.name) return &s;
  }
  return nullptr;
}

std::string SettingNames(bool writable) {
  std::string names;
  for (const Setting& s : kSettings) {
    if (!Can(s, writable)) continue;
    if (!names.empty()) names += ", ";
    names += s.name;
  }
  return names;
}

const Setting& RequireSetting(const std::string& name, bool writable) {
  const Setting* setting = FindSetting(name);
  if (setting == nullptr) {
    throw UsageError("no setting \"" + name + "\"; " + (writable ? "settable" : "readable") + ": " +
                     SettingNames(writable));
  }
  if (!Can(*setting, writable)) {
    throw UsageError(name + (writable ? " can only be read" : " can only be written"));
  }
  return *setting;
}

Value ParseValue(const Setting& setting, const std::string& text) {
  Value value;
  const std::string what = setting.name;
  switch (setting.kind) {
    case Kind::kInteger:
    case Kind::kByte:
      value.n[0] = ParseInteger(text, setting.min, setting.max, what);
      break;
    case Kind::kSwitch:
      value.n[0] = ParseSwitch(text, what) ? 1 : 0;
      break;
    case Kind::kSeconds:
      value.seconds = ParseNumber(text, what);
      break;
    case Kind::kFourGains: {
      std::vector<std::string> parts;
      std::size_t start = 0;
      for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos;
           start = comma + 1) {
        parts.push_back(text.substr(start, comma - start));
      }
      parts.push_back(text.substr(start));
      if (parts.size() != 1 && parts.size() != 4) {
        throw UsageError(what + " takes one value for all four gains or four separated by commas");
      }
      for (std::size_t i = 0; i < 4; ++i) {
        value.n[i] = ParseInteger(parts[parts.size() == 1 ? 0 : i], setting.min, setting.max, what);
      }
      break;
    }
  }
  return value;
}

std::string FormatValue(const Setting& setting, const Value& value) {
  char text[64];
  switch (setting.kind) {
    case Kind::kInteger:
      return std::to_string(value.n[0]);
    case Kind::kSwitch:
      return value.n[0] == 1 ? "on" : value.n[0] == 0 ? "off" : std::to_string(value.n[0]);
    case Kind::kSeconds:
      std::snprintf(text, sizeof text, "%.9g s", value.seconds);
      return text;
    case Kind::kByte:
      return Hex(static_cast<std::uint32_t>(value.n[0]), 2);
    case Kind::kFourGains:
      std::snprintf(text, sizeof text, "%lld,%lld,%lld,%lld", static_cast<long long>(value.n[0]),
                    static_cast<long long>(value.n[1]), static_cast<long long>(value.n[2]),
                    static_cast<long long>(value.n[3]));
      return text;
  }
  return "";
}

// What the setting accepts on this camera; the camera's own range when the
// library can tell it.
std::string Accepts(const Setting& setting, std::int32_t key) {
  if (setting.range == nullptr) return setting.accepts;
  try {
    return setting.range(key);
  } catch (const CommandError&) {
    return setting.accepts;
  }
}

// Why a setting may have been refused on this camera.
std::string RefusalHint(const Setting& setting, const CameraSession& camera) {
  if ((setting.appliesTo & BitOfModel(camera.model())) == 0) {
    switch (setting.appliesTo) {
      case kModel0:
        return std::string(setting.name) + " works on QEL cameras only";
      case kModel2:
        return std::string(setting.name) + " works on QEL5 cameras only";
      case kModel1 | kModel2:
        return std::string(setting.name) + " works on QEL2 and QEL5 cameras only";
      default:
        return std::string(setting.name) + " needs a camera of the family";
    }
  }
  return std::string(setting.name) + " accepts " + Accepts(setting, camera.key());
}

void PrintRow(const std::string& name, const std::string& value, const std::string& accepts) {
  std::printf("%-18s %-22s %s\n", name.c_str(), value.c_str(), accepts.c_str());
}

void PrintHeader() { PrintRow("setting", "value", "accepts"); }

int GetSettings(const SessionOptions& sessionOptions, const std::vector<std::string>& names) {
  std::vector<const Setting*> chosen;
  for (const std::string& name : names) chosen.push_back(&RequireSetting(name, false));

  CameraSession camera(sessionOptions);
  if (chosen.empty()) {
    // Every readable setting of this kind of camera.
    for (const Setting& s : kSettings) {
      if (s.get != nullptr && (s.appliesTo & BitOfModel(camera.model())) != 0) {
        chosen.push_back(&s);
      }
    }
  }
  PrintHeader();
  std::vector<std::string> failures;
  for (const Setting* s : chosen) {
    Value value;
    try {
      s->get(camera.key(), value);
      PrintRow(s->name, FormatValue(*s, value), s->set != nullptr ? Accepts(*s, camera.key()) : "");
    } catch (const CommandError& e) {
      PrintRow(s->name, "-", "");
      failures.push_back(e.what());
    }
  }
  std::fflush(stdout);
  for (const std::string& failure : failures) std::fprintf(stderr, "qelctl: %s\n", failure.c_str());
  return failures.empty() ? kExitSuccess : kExitFailed;
}

int SetSettings(const SessionOptions& sessionOptions, const std::vector<std::string>& assignments) {
  struct Change {
    const Setting* setting;
    Value value;
  };
  // Everything is checked before the camera is opened.
  std::vector<Change> changes;
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
      throw UsageError("\"" + assignment + "\" is not NAME=VALUE, such as led=32");
    }
    const Setting& setting = RequireSetting(assignment.substr(0, equals), true);
    changes.push_back({&setting, ParseValue(setting, assignment.substr(equals + 1))});
  }

  CameraSession camera(sessionOptions);
  for (const Change& change : changes) {
    try {
      change.setting->set(camera.key(), change.value);
    } catch (const CommandError& e) {
      throw CommandError(kExitFailed,
                         std::string(e.what()) + "; " + RefusalHint(*change.setting, camera));
    }
  }
  // Read back what the camera now reports.
  PrintHeader();
  for (const Change& change : changes) {
    const Setting& s = *change.setting;
    if (s.get == nullptr) {
      PrintRow(s.name, FormatValue(s, change.value) + " (written)", Accepts(s, camera.key()));
      continue;
    }
    Value value;
    s.get(camera.key(), value);
    PrintRow(s.name, FormatValue(s, value), Accepts(s, camera.key()));
  }
  return kExitSuccess;
}

struct ControlOptions {
  SessionOptions session;
  std::vector<std::string> items;
};

}  // namespace

void AddControlCommands(CLI::App& app, Action& action) {
  auto get = std::make_shared<ControlOptions>();
  auto* getCommand = app.add_subcommand(
      "get", "read settings of a camera; without names, every setting of its kind of camera");
  AddSessionOptions(*getCommand, get->session);
  getCommand->add_option("names", get->items, "settings to read: " + SettingNames(false));
  getCommand->callback(
      [&action, get] { action = [get] { return GetSettings(get->session, get->items); }; });

  auto set = std::make_shared<ControlOptions>();
  auto* setCommand = app.add_subcommand("set", "change settings of a camera, then read them back");
  AddSessionOptions(*setCommand, set->session);
  setCommand
      ->add_option("assignments", set->items,
                   "NAME=VALUE pairs, such as led=32 exposure=-5 digital-gain=100,100,100,100; "
                   "settable: " +
                       SettingNames(true))
      ->required();
  setCommand->callback(
      [&action, set] { action = [set] { return SetSettings(set->session, set->items); }; });
}

}  // namespace qelctl
