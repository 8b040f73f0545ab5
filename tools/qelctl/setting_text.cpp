#include "setting_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "command_support.h"

namespace qelctl {
namespace {

// An integer setting over a whole byte is a bit mask (the GPIO lines):
// written and shown in hexadecimal.
bool IsByte(const QelSetting& s) {
  return s.kind == QEL_SETTING_INTEGER && s.minimum == 0 && s.maximum == 0xFF;
}

bool IsWhole(const QelSetting& s) { return s.kind != QEL_SETTING_REAL; }

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string Member(const QelSetting& s, double value) {
  return IsByte(s) ? Hex(static_cast<std::uint32_t>(value), 2) : Number(value);
}

std::string WithUnit(const QelSetting& s, std::string text) {
  return s.unit[0] == '\0' ? text : text + " " + s.unit;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
    parts.push_back(text.substr(start, comma - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

double ParseMember(const QelSetting& s, const std::string& text) {
  if (!IsWhole(s)) return ParseNumber(text, s.name);
  // The syntax is checked here, the camera's range by the caller, which
  // names the range as the camera gives it.
  return static_cast<double>(
      ParseInteger(text, INT32_MIN, INT32_MAX, s.name, "an integer in " + AcceptsText(s)));
}

bool Allowed(const QelSetting& s, double value) {
  if (s.kind == QEL_SETTING_CHOICE) {
    for (int i = 0; i < s.choiceCount && i < QEL_SETTING_MAX_CHOICES; ++i) {
      if (s.choices[i].value == value) return true;
    }
    return false;
  }
  return value >= s.minimum && value <= s.maximum;
}

}  // namespace

const char* SettingKindName(std::int32_t kind) {
  switch (kind) {
    case QEL_SETTING_INTEGER:
      return "integer";
    case QEL_SETTING_REAL:
      return "real";
    case QEL_SETTING_BOOLEAN:
      return "boolean";
    case QEL_SETTING_CHOICE:
      return "choice";
    case QEL_SETTING_GROUP:
      return "group";
  }
  return "unknown";
}

bool CanRead(const QelSetting& s) { return (s.access & QEL_SETTING_READ) != 0; }
bool CanWrite(const QelSetting& s) { return (s.access & QEL_SETTING_WRITE) != 0; }

std::string SettingNames(const std::vector<QelSetting>& list, bool writable) {
  std::string names;
  for (const QelSetting& s : list) {
    if (!(writable ? CanWrite(s) : CanRead(s))) continue;
    names += (names.empty() ? "" : ", ") + std::string(s.name);
  }
  return names;
}

std::string RangeText(const QelSetting& s) {
  if (s.kind == QEL_SETTING_BOOLEAN) return "on or off";
  if (s.kind == QEL_SETTING_CHOICE) {
    std::string text;
    const int count = std::min<int>(s.choiceCount, QEL_SETTING_MAX_CHOICES);
    for (int i = 0; i < count; ++i) {
      text += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + Number(s.choices[i].value);
    }
    return text;
  }
  return Member(s, s.minimum) + ".." + Member(s, s.maximum);
}

std::string AcceptsText(const QelSetting& s) {
  return WithUnit(s, RangeText(s)) + (s.kind == QEL_SETTING_GROUP ? " each" : "");
}

SettingValue ParseSettingValue(const QelSetting& s, const std::string& text) {
  SettingValue value;
  if (s.kind == QEL_SETTING_BOOLEAN) {
    value.v[0] = ParseSwitch(text, s.name) ? 1 : 0;
    return value;
  }
  std::vector<std::string> parts{text};
  if (s.kind == QEL_SETTING_GROUP) {
    parts = SplitCommas(text);
    const int members = std::min<int>(s.valueCount, QEL_SETTING_MAX_VALUES);
    if (parts.size() != 1 && parts.size() != static_cast<std::size_t>(members)) {
      throw UsageError(std::string(s.name) + " takes one value for all " + std::to_string(members) +
                       " or " + std::to_string(members) + " separated by commas");
    }
    value.count = members;
  }
  for (int i = 0; i < value.count; ++i) {
    value.v[i] = ParseMember(s, parts[parts.size() == 1 ? 0 : i]);
    if (!Allowed(s, value.v[i])) {
      throw UsageError(std::string(s.name) + " accepts " + AcceptsText(s) + " on this camera");
    }
  }
  return value;
}

std::string FormatSettingValue(const QelSetting& s, const double* values, bool withUnit) {
  std::string text;
  if (s.kind == QEL_SETTING_BOOLEAN) {
    text = values[0] == 1 ? "on" : values[0] == 0 ? "off" : Number(values[0]);
  } else {
    const int count =
        s.kind == QEL_SETTING_GROUP ? std::min<int>(s.valueCount, QEL_SETTING_MAX_VALUES) : 1;
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += ',';
      text += Member(s, values[i]);
    }
  }
  return withUnit ? WithUnit(s, text) : text;
}

void PutJsonValue(Json& json, const QelSetting& s, const double* values) {
  switch (s.kind) {
    case QEL_SETTING_BOOLEAN:
      json.Bool("value", values[0] != 0);
      break;
    case QEL_SETTING_REAL:
      json.Number("value", values[0]);
      break;
    case QEL_SETTING_GROUP:
      json.BeginArray("value");
      for (int i = 0; i < std::min<int>(s.valueCount, QEL_SETTING_MAX_VALUES); ++i) {
        json.Integer(nullptr, static_cast<std::int64_t>(values[i]));
      }
      json.EndArray();
      break;
    default:
      json.Integer("value", static_cast<std::int64_t>(values[0]));
  }
}

}  // namespace qelctl
