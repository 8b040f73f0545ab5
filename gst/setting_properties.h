// The camera's writable settings as element properties. Properties exist
// before any camera is known, so each carries the widest range over the
// family (the settings list of each model, which a test holds them to); the
// opened camera's own range is the library's to check when a value is
// applied. A property that was never set leaves the camera's value alone.
#pragma once

#include <glib-object.h>
#include <qel/qel.h>

#include <span>
#include <vector>

namespace qel_gst {

struct SettingProperty {
  const char* name;    // the setting's name, as QelSetSetting takes it
  const char* label;   // the property's nick
  const char* unit;    // "" for none
  int32_t kind;        // QEL_SETTING_INTEGER ... QEL_SETTING_GROUP
  int32_t valueCount;  // 1, or a group's size
  double minimum;      // the widest range over the family
  double maximum;
  double defaultValue;  // shown as the property's default
};

std::span<const SettingProperty> SettingProperties();

// The property's GParamSpec: an int, a double, a boolean, or an array of ints for
// a group ("<400,800,1200,1600>", or one value for every member).
GParamSpec* ParamSpecOf(const SettingProperty& setting, GParamFlags flags);

// A property value as the values QelSetSetting takes.
std::vector<double> ValuesOf(const SettingProperty& setting, const GValue* value);
// Values as read or stored, into a property value of the GParamSpec's type.
void StoreValues(const SettingProperty& setting, const std::vector<double>& values, GValue* value);

}  // namespace qel_gst
