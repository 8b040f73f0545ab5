#include "setting_properties.h"

#include <gst/gst.h>

#include <cmath>
#include <string>

namespace qel_gst {
namespace {

// Writable settings of the QEL, QEL2 and QEL5 (the read-only GPIO input is
// no property); ranges are the union of the models' own.
constexpr SettingProperty kSettings[] = {
    {"led", "LED", "", QEL_SETTING_INTEGER, 1, 0, 64, 0},
    {"gain", "Gain", "", QEL_SETTING_INTEGER, 1, 0, 240, 0},
    {"xgain", "Raw gain", "", QEL_SETTING_INTEGER, 1, 0, 4095, 0},
    {"exposure", "Exposure", "log2 s", QEL_SETTING_INTEGER, 1, -13, 0, -6},
    {"shutter", "Shutter", "lines", QEL_SETTING_INTEGER, 1, 1, 65530, 1},
    {"shutter-time", "Shutter time", "s", QEL_SETTING_REAL, 1, 0.0001, 1.0, 0.0001},
    {"analog-gain", "Analog gain", "", QEL_SETTING_INTEGER, 1, 0, 15, 0},
    {"digital-gain", "Digital gain", "", QEL_SETTING_GROUP, 4, 0, 4095, 0},
    {"xdigital-gain", "Raw digital gain", "", QEL_SETTING_GROUP, 4, 0, 65535, 0},
    {"camera-number", "Camera number", "", QEL_SETTING_CHOICE, 1, 1, 2, 1},
    {"colorbar", "Colour bar", "", QEL_SETTING_BOOLEAN, 1, 0, 1, 0},
    {"defect-correction", "Defect correction", "", QEL_SETTING_BOOLEAN, 1, 0, 1, 0},
    {"gpio-direction", "GPIO direction", "", QEL_SETTING_INTEGER, 1, 0, 255, 0},
    {"gpio-output", "GPIO output", "", QEL_SETTING_INTEGER, 1, 0, 255, 0},
};

int Int(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

std::span<const SettingProperty> SettingProperties() { return kSettings; }

GParamSpec* ParamSpecOf(const SettingProperty& s, GParamFlags flags) {
  std::string blurb = s.label;
  if (s.unit[0] != '\0') blurb += std::string(" in ") + s.unit;
  if (s.kind == QEL_SETTING_GROUP) {
    // gst-inspect shows no range for an array: the blurb gives it.
    blurb += ", " + std::to_string(s.valueCount) + " values of " + std::to_string(Int(s.minimum)) +
             ".." + std::to_string(Int(s.maximum)) + " or one for all";
  }
  blurb += "; the camera's own range is checked when it is applied (unset: the camera's value)";
  // Specs keep their texts for the life of the class; these are made once.
  const char* text = g_intern_string(blurb.c_str());
  switch (s.kind) {
    case QEL_SETTING_REAL:
      return g_param_spec_double(s.name, s.label, text, s.minimum, s.maximum, s.defaultValue,
                                 flags);
    case QEL_SETTING_BOOLEAN:
      return g_param_spec_boolean(s.name, s.label, text, s.defaultValue != 0, flags);
    case QEL_SETTING_GROUP:
      return gst_param_spec_array(s.name, s.label, text,
                                  g_param_spec_int(s.name, s.label, text, Int(s.minimum),
                                                   Int(s.maximum), Int(s.defaultValue), flags),
                                  flags);
    default:
      return g_param_spec_int(s.name, s.label, text, Int(s.minimum), Int(s.maximum),
                              Int(s.defaultValue), flags);
  }
}

std::vector<double> ValuesOf(const SettingProperty& s, const GValue* value) {
  switch (s.kind) {
    case QEL_SETTING_REAL:
      return {g_value_get_double(value)};
    case QEL_SETTING_BOOLEAN:
      return {g_value_get_boolean(value) ? 1.0 : 0.0};
    case QEL_SETTING_GROUP: {
      std::vector<double> values;
      for (guint i = 0; i < gst_value_array_get_size(value); ++i) {
        const GValue* member = gst_value_array_get_value(value, i);
        if (G_VALUE_HOLDS_INT(member)) values.push_back(g_value_get_int(member));
      }
      return values;
    }
    default:
      return {static_cast<double>(g_value_get_int(value))};
  }
}

void StoreValues(const SettingProperty& s, const std::vector<double>& values, GValue* value) {
  const double first = values.empty() ? s.defaultValue : values[0];
  switch (s.kind) {
    case QEL_SETTING_REAL:
      g_value_set_double(value, first);
      break;
    case QEL_SETTING_BOOLEAN:
      g_value_set_boolean(value, first != 0);
      break;
    case QEL_SETTING_GROUP: {
      GValue array = G_VALUE_INIT;
      gst_value_array_init(&array, static_cast<guint>(values.size()));
      for (double v : values) {
        GValue member = G_VALUE_INIT;
        g_value_init(&member, G_TYPE_INT);
        g_value_set_int(&member, Int(v));
        gst_value_array_append_and_take_value(&array, &member);
      }
      g_value_copy(&array, value);
      g_value_unset(&array);
      break;
    }
    default:
      g_value_set_int(value, Int(first));
  }
}

}  // namespace qel_gst
