// get and set, and grab's --set: the camera's settings by name, as the
// library lists and describes them for the open camera. The tool keeps no
// table of its own: names, kinds, ranges and access come from the
// description.
#include <algorithm>
#include <cstdint>
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

// The description of a setting named on the command line, which must be
// readable (or writable) on this camera.
QelSetting RequireSetting(const CameraSession& camera, const std::string& name, bool write) {
  QelSetting setting{};
  if (!QelDescribeSetting(camera.key(), name.c_str(), &setting)) {
    switch (QelLastErrorCode()) {
      case QEL_ERROR_BAD_ARGUMENT:  // no camera has it: a wrong command line
        throw UsageError("no setting \"" + name + "\"; " + (write ? "settable" : "readable") +
                         " on this camera: " + SettingNames(ReadSettingList(camera.key()), write));
      case QEL_ERROR_NOT_SUPPORTED:  // another model has it
        throw CommandError(kExitFailed, LibraryReason());
      default:
        throw CallFailed("QelDescribeSetting", name);
    }
  }
  if (!(write ? CanWrite(setting) : CanRead(setting))) {
    throw UsageError(name + (write ? " can only be read" : " can only be written"));
  }
  return setting;
}

SettingValue Read(const CameraSession& camera, const QelSetting& setting) {
  SettingValue value;
  value.count = setting.valueCount;
  if (!QelGetSetting(camera.key(), setting.name, value.v, QEL_SETTING_MAX_VALUES)) {
    throw CallFailed("QelGetSetting", setting.name);
  }
  return value;
}

void PrintRow(const std::string& name, const std::string& value, const std::string& accepts) {
  std::printf("%-18s %-22s %s\n", name.c_str(), value.c_str(), accepts.c_str());
}

void PrintHeader() { PrintRow("setting", "value", "accepts"); }

// What a row of get and set shows as accepted: nothing for a read-only one.
std::string Accepts(const QelSetting& setting) {
  return CanWrite(setting) ? AcceptsText(setting) : "";
}

int GetSettings(const SessionOptions& sessionOptions, const std::vector<std::string>& names) {
  CameraSession camera(sessionOptions);
  std::vector<QelSetting> chosen;
  for (const std::string& name : names) chosen.push_back(RequireSetting(camera, name, false));
  if (names.empty()) {
    // Every readable setting this camera has, with the values just read.
    for (const QelSetting& s : ReadSettingList(camera.key())) {
      if (CanRead(s)) chosen.push_back(s);
    }
  }
  std::vector<QelSetting> rows;
  std::vector<SettingValue> values;
  std::vector<std::string> failures;
  for (const QelSetting& s : chosen) {
    try {
      SettingValue value;
      value.count = s.valueCount;
      if ((s.flags & QEL_SETTING_HAS_VALUE) != 0) {
        std::copy(s.value, s.value + QEL_SETTING_MAX_VALUES, value.v);
      } else {
        value = Read(camera, s);  // for the reason it cannot be read
      }
      rows.push_back(s);
      values.push_back(value);
    } catch (const CommandError& e) {
      failures.push_back(e.what());
    }
  }
  if (JsonOutput()) {
    Json json;
    json.BeginObject().Integer("key", camera.key()).String("device", camera.label());
    json.BeginObject("settings");
    for (std::size_t i = 0; i < rows.size(); ++i) {
      json.BeginObject(rows[i].name);
      PutJsonValue(json, rows[i], values[i].v);
      json.String("accepts", Accepts(rows[i])).EndObject();
    }
    json.EndObject();
    json.BeginArray("failures");
    for (const std::string& failure : failures) json.String(nullptr, failure);
    json.EndArray().EndObject().Print();
  } else {
    PrintHeader();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      PrintRow(rows[i].name, FormatSettingValue(rows[i], values[i].v), Accepts(rows[i]));
    }
  }
  std::fflush(stdout);
  for (const std::string& failure : failures) std::fprintf(stderr, "qelctl: %s\n", failure.c_str());
  return failures.empty() ? kExitSuccess : kExitFailed;
}

// A NAME=VALUE of the command line, checked against the camera.
struct Change {
  QelSetting setting;
  SettingValue value;
};

// Every name and value is checked against the camera's own list before any
// is changed; each is NAME=VALUE (CheckSettings).
std::vector<Change> CheckChanges(const CameraSession& camera,
                                 const std::vector<std::string>& assignments) {
  std::vector<Change> changes;
  try {
    for (const std::string& assignment : assignments) {
      const std::size_t equals = assignment.find('=');
      const QelSetting setting = RequireSetting(camera, assignment.substr(0, equals), true);
      changes.push_back({setting, ParseSettingValue(setting, assignment.substr(equals + 1))});
    }
  } catch (const CommandError& e) {
    throw CommandError(e.exitCode(), std::string(e.what()) + "; nothing was changed");
  }
  return changes;
}

void MakeChanges(const CameraSession& camera, const std::vector<Change>& changes) {
  std::string applied;
  for (const Change& change : changes) {
    const QelSetting& s = change.setting;
    if (!QelSetSetting(camera.key(), s.name, change.value.v, change.value.count)) {
      const CommandError failed = CallFailed(s.call);
      throw CommandError(
          kExitFailed,
          std::string(failed.what()) + "; " + s.name + " accepts " + AcceptsText(s) + "; " +
              (applied.empty() ? "nothing was changed" : "already changed: " + applied));
    }
    applied += (applied.empty() ? "" : ", ") + std::string(s.name) + "=" +
               FormatSettingValue(s, change.value.v);
  }
}

// What the camera now reports for a changed setting; a write-only one keeps
// the value written.
SettingValue ReadBack(const CameraSession& camera, const Change& change) {
  return CanRead(change.setting) ? Read(camera, change.setting) : change.value;
}

int SetSettings(const SessionOptions& sessionOptions, const std::vector<std::string>& assignments) {
  CheckSettings(assignments);
  CameraSession camera(sessionOptions);
  const std::vector<Change> changes = CheckChanges(camera, assignments);
  MakeChanges(camera, changes);
  if (JsonOutput()) {
    Json json;
    json.BeginObject().Integer("key", camera.key()).String("device", camera.label());
    json.BeginObject("settings");
    for (const Change& change : changes) {
      json.BeginObject(change.setting.name);
      PutJsonValue(json, change.setting, ReadBack(camera, change).v);
      json.Bool("read_back", CanRead(change.setting))
          .String("accepts", AcceptsText(change.setting))
          .EndObject();
    }
    json.EndObject().EndObject().Print();
    return kExitSuccess;
  }
  PrintHeader();
  for (const Change& change : changes) {
    const QelSetting& s = change.setting;
    PrintRow(s.name,
             FormatSettingValue(s, ReadBack(camera, change).v) + (CanRead(s) ? "" : " (written)"),
             AcceptsText(s));
  }
  return kExitSuccess;
}

struct ControlOptions {
  SessionOptions session;
  std::vector<std::string> items;
};

}  // namespace

void CheckSettings(const std::vector<std::string>& assignments) {
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw UsageError("\"" + assignment + "\" is not NAME=VALUE, such as led=32");
    }
  }
}

std::string ApplySettings(const CameraSession& camera,
                          const std::vector<std::string>& assignments) {
  const std::vector<Change> changes = CheckChanges(camera, assignments);
  MakeChanges(camera, changes);
  std::string now;
  for (const Change& change : changes) {
    now += (now.empty() ? "" : ", ") + std::string(change.setting.name) + "=" +
           FormatSettingValue(change.setting, ReadBack(camera, change).v);
  }
  return now;
}

void AddControlCommands(CLI::App& app, Action& action) {
  auto get = std::make_shared<ControlOptions>();
  auto* getCommand = app.add_subcommand(
      "get", "read settings of a camera; without names, every setting the camera has");
  AddSessionOptions(*getCommand, get->session);
  getCommand->add_option("names", get->items,
                         "settings to read, such as led exposure (settings DEVICE lists them)");
  getCommand->callback(
      [&action, get] { action = [get] { return GetSettings(get->session, get->items); }; });

  auto set = std::make_shared<ControlOptions>();
  auto* setCommand = app.add_subcommand("set", "change settings of a camera, then read them back");
  AddSessionOptions(*setCommand, set->session);
  setCommand
      ->add_option("assignments", set->items,
                   "NAME=VALUE pairs, such as led=32 exposure=-5 digital-gain=100,100,100,100 "
                   "colorbar=on (settings DEVICE lists the names and ranges)")
      ->required();
  setCommand->callback(
      [&action, set] { action = [set] { return SetSettings(set->session, set->items); }; });
}

}  // namespace qelctl
