// A setting's values as the command line writes and shows them, following
// the library's description of the setting (QelSetting): its kind, range,
// unit and access. No library call is made here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "json_writer.h"
#include "qel/qel.h"

namespace qelctl {

// A setting's value: count values (a group's valueCount, else 1).
struct SettingValue {
  double v[QEL_SETTING_MAX_VALUES] = {};
  int count = 1;
};

// "led, gain, ...": the names in the list that can be written (or read).
std::string SettingNames(const std::vector<QelSetting>& list, bool writable);

// "integer", "real", "boolean", "choice" or "group", as JSON output names a kind.
const char* SettingKindName(std::int32_t kind);
bool CanRead(const QelSetting& setting);
bool CanWrite(const QelSetting& setting);

// The range without the unit, as the settings listing shows it: "0..64",
// "on or off", "1 or 2", "0x00..0xFF", "0.0001..1".
std::string RangeText(const QelSetting& setting);
// What a value must be, with the unit: "1..10000 lines", "0..4095 each".
std::string AcceptsText(const QelSetting& setting);

// Parses a value as the command line writes it: integers in decimal or 0x
// hexadecimal, on/off, seconds, one or valueCount comma-separated members of
// a group. Throws a usage error for a value outside the camera's range.
SettingValue ParseSettingValue(const QelSetting& setting, const std::string& text);

// The value as the command line writes it ("on", "0x0A", "300,400,500,600",
// "0.001"); with its unit when withUnit ("0.001 s", "500 lines").
std::string FormatSettingValue(const QelSetting& setting, const double* values,
                               bool withUnit = true);

// The value as JSON under "value": a boolean, a number, or a group's array.
void PutJsonValue(Json& json, const QelSetting& setting, const double* values);

}  // namespace qelctl
