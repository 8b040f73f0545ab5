// The camera's settings by name: one table that describes each setting and
// routes it to the export that carries it out, so that no range or rule is
// kept here that the export does not keep itself.
//
// Thread safety: the table is constant; its functions are the exports'.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "qel/qel.h"

namespace qel {

struct SettingRange {
  double min = 0.0;
  double max = 0.0;
  double step = 1.0;
};

struct SettingDef {
  const char* name;
  const char* label;
  const char* unit;
  const char* call;  // the export that carries it out
  std::int32_t kind;
  std::int32_t access;
  std::int32_t valueCount;
  unsigned devices;  // DeviceBit() of each device kind that has it
  std::span<const QelSettingChoice> choices;
  // The open camera's range; false with a reason.
  bool (*range)(std::int32_t key, std::int32_t model, SettingRange& range);
  // The camera's default; null where the library does not know it.
  bool (*defaultValue)(std::int32_t key, double& value);
  bool (*get)(std::int32_t key, double* values);        // null: write-only
  bool (*set)(std::int32_t key, const double* values);  // null: read-only
};

// One bit per camera model, and one for a device that is not of the family.
unsigned DeviceBit(std::int32_t model);

std::span<const SettingDef> SettingTable();
const SettingDef* FindSettingDef(std::string_view name);
// "led, gain, ...": every name, for a reason that lists them.
std::string SettingNames();

}  // namespace qel
