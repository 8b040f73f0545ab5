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
#include "json_writer.h"
#include "qel/qel.h"
#include "settings.h"

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
  // The camera's own range, for settings whose range depends on the camera;
  // null: min..max is the range.
  void (*bounds)(std::int32_t key, std::int64_t& min, std::int64_t& max);
  const char* unit;  // after the camera's range: " lines", " each"
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

void RawGainBounds(std::int32_t key, std::int64_t& min, std::int64_t& max) {
  std::int32_t lo = 0, hi = 0;
  Check(QelXGetGainMin(key, &lo), "QelXGetGainMin");
  Check(QelXGetGainMax(key, &hi), "QelXGetGainMax");
  min = lo;
  max = hi;
}

void ShutterBounds(std::int32_t key, std::int64_t& min, std::int64_t& max) {
  std::uint16_t lo = 0, hi = 0;
  Check(QelGetShutterMin(key, &lo), "QelGetShutterMin");
  Check(QelGetShutterMax(key, &hi), "QelGetShutterMax");
  min = lo;
  max = hi;
}

void RawDigitalGainBounds(std::int32_t key, std::int64_t& min, std::int64_t& max) {
  std::uint16_t lo[4] = {}, hi[4] = {};
  Check(QelXGetDigitalGainMin(key, &lo[0], &lo[1], &lo[2], &lo[3]), "QelXGetDigitalGainMin");
  Check(QelXGetDigitalGainMax(key, &hi[0], &hi[1], &hi[2], &hi[3]), "QelXGetDigitalGainMax");
  min = lo[0];
  max = hi[0];
}

const Setting kSettings[] = {
    {"led", "0..64", kFamily, Kind::kInteger, 0, 64, QELCTL_GET_INT(QelGetLed),
     QELCTL_SET_INT(QelSetLed), nullptr, ""},
    {"gain", "0..240", kFamily, Kind::kInteger, 0, 240, QELCTL_GET_INT(QelGetGain),
     QELCTL_SET_INT(QelSetGain), nullptr, ""},
    {"xgain", "the camera's raw gain range", kFamily, Kind::kInteger, 0, INT32_MAX,
     QELCTL_GET_INT(QelXGetGain), QELCTL_SET_INT(QelXSetGain), RawGainBounds, ""},
    {"exposure", "-13..0", kEveryDevice, Kind::kInteger, -13, 0, QELCTL_GET_INT(QelGetExposure),
     QELCTL_SET_INT(QelSetExposure), nullptr, ""},
    {"camera-number", "1 or 2", kFamily, Kind::kInteger, 1, 2, QELCTL_GET_INT(QelGetCameraNo),
     QELCTL_SET_INT(QelSetCameraNo), nullptr, ""},
    {"colorbar", "on or off", kFamily, Kind::kSwitch, 0, 1, QELCTL_GET_INT(QelGetColorBar),
     QELCTL_SET_INT(QelSetColorBar), nullptr, ""},
    {"defect-correction", "on or off", kModel1 | kModel2, Kind::kSwitch, 0, 1,
     QELCTL_GET_INT(QelGetPixelDefectOnOff), QELCTL_SET_INT(QelSetPixelDefectOnOff), nullptr, ""},
    {"shutter", "lines, the camera's shutter range", kFamily, Kind::kInteger, 0, 0xFFFF,
     [](std::int32_t key, Value& v) {
       std::uint16_t lines = 0;
       Check(QelGetShutter(key, &lines), "QelGetShutter");
       v.n[0] = lines;
     },
     QELCTL_SET_INT(QelSetShutter), ShutterBounds, " lines"},
    {"shutter-time", "0.0001..1 s", kFamily, Kind::kSeconds, 0, 0,
     [](std::int32_t key, Value& v) {
       Check(QelGetShutterTime(key, &v.seconds), "QelGetShutterTime");
     },
     [](std::int32_t key, const Value& v) {
       Check(QelSetShutterTime(key, v.seconds), "QelSetShutterTime");
     },
     nullptr, ""},
    {"analog-gain", "0..15", kModel2, Kind::kInteger, 0, 15, QELCTL_GET_INT(Qel5GetAnalogGain),
     [](std::int32_t key, const Value& v) {
       Check(Qel5SetAnalogGain(key, static_cast<std::uint32_t>(v.n[0])), "Qel5SetAnalogGain");
     },
     nullptr, ""},
    {"digital-gain", "0..4095 each", kFamily, Kind::kFourGains, 0, 4095,
     QELCTL_GET_GAINS(QelGetDigitalGain), QELCTL_SET_GAINS(QelSetDigitalGain), nullptr, ""},
    {"xdigital-gain", "the camera's raw digital gain range", kFamily, Kind::kFourGains, 0, 0xFFFF,
     QELCTL_GET_GAINS(QelXGetDigitalGain), QELCTL_SET_GAINS(QelXSetDigitalGain),
     RawDigitalGainBounds, " each"},
    {"gpio-direction", "0x00..0xFF", kModel0, Kind::kByte, 0, 0xFF, nullptr,
     QELCTL_SET_INT(QelGPIODirection), nullptr, ""},
    {"gpio-output", "0x00..0xFF", kModel0, Kind::kByte, 0, 0xFF, nullptr,
     QELCTL_SET_INT(QelGPIOOutput), nullptr, ""},
    {"gpio-input", "", kModel0, Kind::kByte, 0, 0xFF,
     [](std::int32_t key, Value& v) {
       std::uint8_t input = 0;
       Check(QelGPIOInput(key, &input), "QelGPIOInput");
       v.n[0] = input;
     },
     nullptr, nullptr, ""},
};

// The range of the shutter time in seconds, which the library checks.
constexpr double kShortestShutterTime = 0.0001;
constexpr double kLongestShutterTime = 1.0;

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

// What a setting's value must be, for messages.
std::string Expected(const Setting& setting) {
  return std::string(setting.bounds != nullptr ? "an integer (" : "an integer in ") +
         setting.accepts + (setting.bounds != nullptr ? ")" : "");
}

Value ParseValue(const Setting& setting, const std::string& text) {
  Value value;
  const std::string what = setting.name;
  switch (setting.kind) {
    case Kind::kInteger:
    case Kind::kByte:
      value.n[0] = ParseInteger(text, setting.min, setting.max, what, Expected(setting));
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
        value.n[i] = ParseInteger(parts[parts.size() == 1 ? 0 : i], setting.min, setting.max, what,
                                  Expected(setting));
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
  if (setting.bounds == nullptr) return setting.accepts;
  try {
    std::int64_t min = 0, max = 0;
    setting.bounds(key, min, max);
    return RangeText(min, max, setting.unit);
  } catch (const CommandError&) {
    return setting.accepts;
  }
}

bool AppliesTo(const Setting& setting, const CameraSession& camera) {
  return (setting.appliesTo & BitOfModel(camera.model())) != 0;
}

// Why a value cannot go to this camera, or "" when it can.
std::string Unacceptable(const Setting& setting, const Value& value, const CameraSession& camera) {
  if (setting.kind == Kind::kSeconds) {
    if (value.seconds < kShortestShutterTime || value.seconds > kLongestShutterTime) {
      return std::string(setting.name) + " accepts " + setting.accepts;
    }
    return "";
  }
  if (setting.bounds == nullptr) return "";
  std::int64_t min = 0, max = 0;
  try {
    setting.bounds(camera.key(), min, max);
  } catch (const CommandError&) {
    return "";  // the library will say
  }
  const int count = setting.kind == Kind::kFourGains ? 4 : 1;
  for (int i = 0; i < count; ++i) {
    if (value.n[i] < min || value.n[i] > max) {
      return std::string(setting.name) + " accepts " + RangeText(min, max, setting.unit) +
             " on this camera";
    }
  }
  return "";
}

// Why a setting may have been refused on this camera.
std::string RefusalHint(const Setting& setting, const CameraSession& camera) {
  if (!AppliesTo(setting, camera)) {
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

// The value as JSON: numbers, a switch as true/false, four gains as an array.
void PutJsonValue(Json& json, const Setting& setting, const Value& value) {
  switch (setting.kind) {
    case Kind::kSwitch:
      json.Bool("value", value.n[0] != 0);
      break;
    case Kind::kSeconds:
      json.Number("value", value.seconds);
      break;
    case Kind::kFourGains:
      json.BeginArray("value");
      for (std::int64_t gain : value.n) json.Integer(nullptr, gain);
      json.EndArray();
      break;
    default:
      json.Integer("value", value.n[0]);
  }
}

int GetSettings(const SessionOptions& sessionOptions, const std::vector<std::string>& names) {
  std::vector<const Setting*> chosen;
  for (const std::string& name : names) chosen.push_back(&RequireSetting(name, false));

  CameraSession camera(sessionOptions);
  const bool everything = chosen.empty();
  if (everything) {
    // Every readable setting of this kind of camera.
    for (const Setting& s : kSettings) {
      if (s.get != nullptr && AppliesTo(s, camera)) chosen.push_back(&s);
    }
  }
  struct Row {
    const Setting* setting;
    Value value;
    std::string accepts;
  };
  std::vector<Row> rows;
  std::vector<std::string> failures;
  for (const Setting* s : chosen) {
    Value value;
    try {
      s->get(camera.key(), value);
      rows.push_back({s, value, s->set != nullptr ? Accepts(*s, camera.key()) : ""});
    } catch (const CommandError& e) {
      // A device outside the family offers only some of the video-class
      // settings: what it does not have is left out, unless asked for.
      if (!(camera.captureOnly() && everything)) failures.push_back(e.what());
    }
  }
  if (JsonOutput()) {
    Json json;
    json.BeginObject().Integer("key", camera.key()).String("device", camera.label());
    json.BeginObject("settings");
    for (const Row& row : rows) {
      json.BeginObject(row.setting->name);
      PutJsonValue(json, *row.setting, row.value);
      json.String("accepts", row.accepts).EndObject();
    }
    json.EndObject();
    json.BeginArray("failures");
    for (const std::string& failure : failures) json.String(nullptr, failure);
    json.EndArray().EndObject().Print();
  } else {
    PrintHeader();
    for (const Row& row : rows) {
      PrintRow(row.setting->name, FormatValue(*row.setting, row.value), row.accepts);
    }
  }
  std::fflush(stdout);
  for (const std::string& failure : failures) std::fprintf(stderr, "qelctl: %s\n", failure.c_str());
  return failures.empty() ? kExitSuccess : kExitFailed;
}

// A checked NAME=VALUE.
struct Change {
  const Setting* setting;
  Value value;
};

// Everything the command line can tell is checked before the camera is
// opened.
std::vector<Change> ParseChanges(const std::vector<std::string>& assignments) {
  std::vector<Change> changes;
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
      throw UsageError("\"" + assignment + "\" is not NAME=VALUE, such as led=32");
    }
    const Setting& setting = RequireSetting(assignment.substr(0, equals), true);
    changes.push_back({&setting, ParseValue(setting, assignment.substr(equals + 1))});
  }
  return changes;
}

// Checks what the camera tells before anything is changed, then makes the
// changes in order.
void MakeChanges(const CameraSession& camera, const std::vector<Change>& changes) {
  for (const Change& change : changes) {
    if (!AppliesTo(*change.setting, camera)) {
      throw CommandError(kExitFailed,
                         RefusalHint(*change.setting, camera) + "; nothing was changed");
    }
    const std::string why = Unacceptable(*change.setting, change.value, camera);
    if (!why.empty()) throw UsageError(why + "; nothing was changed");
  }
  std::string applied;
  for (const Change& change : changes) {
    try {
      change.setting->set(camera.key(), change.value);
    } catch (const CommandError& e) {
      throw CommandError(
          kExitFailed,
          std::string(e.what()) + "; " + RefusalHint(*change.setting, camera) + "; " +
              (applied.empty() ? "nothing was changed" : "already changed: " + applied));
    }
    applied += (applied.empty() ? "" : ", ") + std::string(change.setting->name) + "=" +
               FormatValue(*change.setting, change.value);
  }
}

// What the camera now reports for a changed setting; a write-only one keeps
// the value written.
Value ReadBack(const CameraSession& camera, const Change& change) {
  if (change.setting->get == nullptr) return change.value;
  Value value;
  change.setting->get(camera.key(), value);
  return value;
}

int SetSettings(const SessionOptions& sessionOptions, const std::vector<std::string>& assignments) {
  const std::vector<Change> changes = ParseChanges(assignments);
  CameraSession camera(sessionOptions);
  MakeChanges(camera, changes);
  if (JsonOutput()) {
    Json json;
    json.BeginObject().Integer("key", camera.key()).String("device", camera.label());
    json.BeginObject("settings");
    for (const Change& change : changes) {
      json.BeginObject(change.setting->name);
      PutJsonValue(json, *change.setting, ReadBack(camera, change));
      json.Bool("read_back", change.setting->get != nullptr)
          .String("accepts", Accepts(*change.setting, camera.key()))
          .EndObject();
    }
    json.EndObject().EndObject().Print();
    return kExitSuccess;
  }
  PrintHeader();
  for (const Change& change : changes) {
    const Setting& s = *change.setting;
    PrintRow(s.name,
             FormatValue(s, ReadBack(camera, change)) + (s.get == nullptr ? " (written)" : ""),
             Accepts(s, camera.key()));
  }
  return kExitSuccess;
}

struct ControlOptions {
  SessionOptions session;
  std::vector<std::string> items;
};

}  // namespace

void CheckSettings(const std::vector<std::string>& assignments) { ParseChanges(assignments); }

std::string ApplySettings(const CameraSession& camera,
                          const std::vector<std::string>& assignments) {
  const std::vector<Change> changes = ParseChanges(assignments);
  MakeChanges(camera, changes);
  std::string now;
  for (const Change& change : changes) {
    now += (now.empty() ? "" : ", ") + std::string(change.setting->name) + "=" +
           FormatValue(*change.setting, ReadBack(camera, change));
  }
  return now;
}

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
