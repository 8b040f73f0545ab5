// QelGetSettingList, QelDescribeSetting, QelGetSetting and QelSetSetting:
// the settings table (setting_table.h) applied to an open camera.
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "controls/setting_table.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"

namespace qel {
namespace {

template <std::size_t N>
void CopyText(char (&field)[N], const char* text) {
  std::strncpy(field, text, N - 1);
  field[N - 1] = '\0';
}

bool Has(const SettingDef& def, std::int32_t model) {
  return (def.devices & DeviceBit(model)) != 0;
}

// The setting of that name on the camera, or none with the reason.
const SettingDef* SettingOf(std::int32_t model, const char* name) {
  if (name == nullptr) return (Fail(ErrorCode::kBadArgument, "name is NULL"), nullptr);
  const SettingDef* def = FindSettingDef(name);
  if (def == nullptr) {
    Fail(ErrorCode::kBadArgument, "no setting is named \"%.40s\"; the settings are %s", name,
         SettingNames().c_str());
    return nullptr;
  }
  if (!Has(*def, model)) {
    Fail(ErrorCode::kNotSupported, "a %s has no %s setting", ModelText(CameraModel(model)),
         def->name);
    return nullptr;
  }
  return def;
}

// Fills out from the table and the camera. A default or value that cannot
// be read is left out; a range that cannot be read fails the description.
bool Describe(const SettingDef& def, std::int32_t key, std::int32_t model, QelSetting& out) {
  out = {};
  CopyText(out.name, def.name);
  CopyText(out.label, def.label);
  CopyText(out.unit, def.unit);
  CopyText(out.call, def.call);
  out.kind = def.kind;
  out.access = def.access;
  out.valueCount = def.valueCount;
  SettingRange range;
  if (!def.range(key, model, range)) return false;
  out.minimum = range.min;
  out.maximum = range.max;
  out.step = range.step;
  out.choiceCount = static_cast<std::int32_t>(def.choices.size());
  for (std::size_t i = 0; i < def.choices.size() && i < QEL_SETTING_MAX_CHOICES; ++i) {
    out.choices[i] = def.choices[i];
  }
  // What cannot be read here is only left out: its reason is not the
  // description's.
  if (def.defaultValue != nullptr) {
    if (def.defaultValue(key, out.defaultValue)) {
      out.flags |= QEL_SETTING_HAS_DEFAULT;
    } else {
      ClearFailure();
    }
  }
  if (def.get != nullptr) {
    if (def.get(key, out.value)) {
      out.flags |= QEL_SETTING_HAS_VALUE;
    } else {
      ClearFailure();
    }
  }
  return true;
}

std::optional<std::int32_t> ModelOf(std::int32_t key) {
  const std::optional<CameraSlot> slot = FindOpenCamera(key);
  if (!slot) return std::nullopt;
  return slot->model;
}

bool WholeNumber(double value) {
  return std::isfinite(value) && std::trunc(value) == value && value >= INT32_MIN &&
         value <= INT32_MAX;
}

}  // namespace
}  // namespace qel

int32_t qel::exports::QelGetSettingList(int32_t key, QelSetting* settings, int32_t capacity) {
  if (capacity < 0 || (settings == nullptr && capacity > 0)) {
    return (Fail(ErrorCode::kBadArgument, "settings is NULL or capacity %d is negative",
                 static_cast<int>(capacity)),
            -1);
  }
  const std::optional<std::int32_t> model = ModelOf(key);
  if (!model) return -1;
  std::int32_t count = 0;
  for (const SettingDef& def : SettingTable()) {
    if (!Has(def, *model)) continue;
    if (count < capacity && !Describe(def, key, *model, settings[count])) return -1;
    ++count;
  }
  return count;
}

QelBool qel::exports::QelDescribeSetting(int32_t key, const char* name, QelSetting* setting) {
  if (setting == nullptr) return Fail(ErrorCode::kBadArgument, "setting is NULL");
  const std::optional<std::int32_t> model = ModelOf(key);
  if (!model) return 0;
  const SettingDef* def = SettingOf(*model, name);
  return def != nullptr && Describe(*def, key, *model, *setting);
}

QelBool qel::exports::QelGetSetting(int32_t key, const char* name, double* values, int32_t count) {
  const std::optional<std::int32_t> model = ModelOf(key);
  if (!model) return 0;
  const SettingDef* def = SettingOf(*model, name);
  if (def == nullptr) return 0;
  if (def->get == nullptr) {
    return Fail(ErrorCode::kNotSupported, "%s can only be written", def->name);
  }
  if (values == nullptr || count < def->valueCount) {
    return Fail(ErrorCode::kBadArgument, "%s has %d value(s); values has room for %d", def->name,
                static_cast<int>(def->valueCount), values == nullptr ? 0 : static_cast<int>(count));
  }
  return def->get(key, values);
}

QelBool qel::exports::QelSetSetting(int32_t key, const char* name, const double* values,
                                    int32_t count) {
  const std::optional<std::int32_t> model = ModelOf(key);
  if (!model) return 0;
  const SettingDef* def = SettingOf(*model, name);
  if (def == nullptr) return 0;
  if (def->set == nullptr) return Fail(ErrorCode::kNotSupported, "%s can only be read", def->name);
  if (values == nullptr || (count != 1 && count != def->valueCount)) {
    return Fail(ErrorCode::kBadArgument, "%s takes 1%s value(s), not %d", def->name,
                def->valueCount > 1 ? (" or " + std::to_string(def->valueCount)).c_str() : "",
                values == nullptr ? 0 : static_cast<int>(count));
  }
  double given[QEL_SETTING_MAX_VALUES] = {};
  for (std::int32_t i = 0; i < def->valueCount; ++i) {
    given[i] = values[count == 1 ? 0 : i];
    if (def->kind != QEL_SETTING_REAL && !WholeNumber(given[i])) {
      return Fail(ErrorCode::kBadArgument, "%s takes whole numbers, not %g", def->name, given[i]);
    }
  }
  return def->set(key, given);
}
