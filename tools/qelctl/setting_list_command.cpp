// settings: every setting of a camera as the library describes it, with its
// value, range, unit and access; the table a user reads before get and set.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "json_writer.h"
#include "qel/qel.h"
#include "setting_text.h"
#include "settings.h"

namespace qelctl {
namespace {

const char* AccessText(const QelSetting& s) {
  return CanRead(s) && CanWrite(s) ? "read-write" : CanWrite(s) ? "write-only" : "read-only";
}

bool HasValue(const QelSetting& s) { return (s.flags & QEL_SETTING_HAS_VALUE) != 0; }

void PrintJson(const CameraSession& camera, const std::vector<QelSetting>& list) {
  Json json;
  json.BeginObject().Integer("key", camera.key()).String("device", camera.label());
  json.BeginArray("settings");
  for (const QelSetting& s : list) {
    json.BeginObject()
        .String("name", s.name)
        .String("label", s.label)
        .String("kind", SettingKindName(s.kind));
    if (HasValue(s)) {
      PutJsonValue(json, s, s.value);
    } else {
      json.Null("value");
    }
    json.Number("minimum", s.minimum).Number("maximum", s.maximum).Number("step", s.step);
    if ((s.flags & QEL_SETTING_HAS_DEFAULT) != 0) {
      json.Number("default", s.defaultValue);
    } else {
      json.Null("default");
    }
    json.String("unit", s.unit).String("access", AccessText(s));
    if (s.kind == QEL_SETTING_CHOICE) {
      json.BeginArray("choices");
      for (int i = 0; i < s.choiceCount && i < QEL_SETTING_MAX_CHOICES; ++i) {
        json.BeginObject()
            .Number("value", s.choices[i].value)
            .String("label", s.choices[i].label)
            .EndObject();
      }
      json.EndArray();
    }
    json.EndObject();
  }
  json.EndArray().EndObject().Print();
}

void PrintTable(const std::vector<QelSetting>& list) {
  std::printf("%-18s %-18s %-20s %-12s %-7s %s\n", "name", "label", "value", "range", "unit",
              "access");
  for (const QelSetting& s : list) {
    const std::string value = HasValue(s) ? FormatSettingValue(s, s.value, false) : "-";
    std::printf("%-18s %-18s %-20s %-12s %-7s %s\n", s.name, s.label, value.c_str(),
                RangeText(s).c_str(), s.unit[0] != '\0' ? s.unit : "-", AccessText(s));
  }
}

int ListSettings(const SessionOptions& options) {
  CameraSession camera(options);
  const std::vector<QelSetting> list = ReadSettingList(camera.key());
  if (JsonOutput()) {
    PrintJson(camera, list);
  } else {
    PrintTable(list);
  }
  return kExitSuccess;
}

}  // namespace

void AddSettingListCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<SessionOptions>();
  auto* command = app.add_subcommand(
      "settings", "list the settings a camera has: value, range, unit and access of each");
  AddSessionOptions(*command, *options);
  command->callback([&action, options] { action = [options] { return ListSettings(*options); }; });
}

}  // namespace qelctl
