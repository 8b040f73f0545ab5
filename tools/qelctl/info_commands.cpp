// info and register: what the camera's firmware tells about itself, and raw
// register access.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "device_info.h"
#include "json_writer.h"
#include "qel/qel.h"

namespace qelctl {
namespace {

// Device information, line by line; a failed call shows "-" and is
// remembered. With --json the lines become one object.
class InfoPrinter {
 public:
  InfoPrinter() { json_.BeginObject(); }

  void Line(const char* label, const char* key, bool ok, const char* call,
            const std::string& value) {
    if (!JsonOutput()) std::printf("%-15s %s\n", label, ok ? value.c_str() : "-");
    if (ok) {
      json_.String(key, value);
    } else {
      json_.Null(key);
      failures_.push_back(call);
    }
  }
  Json& json() { return json_; }

  int Finish() {
    if (JsonOutput()) {
      json_.BeginArray("failures");
      for (const std::string& call : failures_) json_.String(nullptr, call + " failed");
      json_.EndArray().EndObject().Print();
    }
    std::fflush(stdout);
    for (const std::string& call : failures_)
      std::fprintf(stderr, "qelctl: %s failed\n", call.c_str());
    return failures_.empty() ? kExitSuccess : kExitFailed;
  }

 private:
  Json json_;
  std::vector<std::string> failures_;
};

int ShowInfo(const SessionOptions& options) {
  CameraSession camera(options);
  const std::int32_t key = camera.key();
  InfoPrinter out;
  out.json().Integer("key", key).String("device", camera.label());
  if (!JsonOutput()) std::printf("%-15s key %d, %s\n", "device", key, camera.label().c_str());
  if (camera.captureOnly()) {
    // A device outside the family has no command channel: nothing more to
    // ask it.
    out.json().Bool("frames_only", true);
    if (!JsonOutput()) std::printf("%-15s frames only (no command channel)\n", "kind");
    return out.Finish();
  }
  out.json().Bool("frames_only", false);

  for (const InfoItem& item : ReadDeviceInfo(key)) {
    out.Line(item.label, item.key, item.ok, item.call, item.text);
  }
  return out.Finish();
}

struct RegisterOptions {
  SessionOptions session;
  std::string address;
  std::string value;
  bool word = false;
};

std::uint32_t ReadRegister(std::int32_t key, std::int32_t address, bool word) {
  if (word) {
    std::uint16_t value = 0;
    if (!QelGetRegisterW(key, address, &value)) throw CallFailed("QelGetRegisterW");
    return value;
  }
  std::uint8_t value = 0;
  if (!QelGetRegister(key, address, &value)) throw CallFailed("QelGetRegister");
  return value;
}

int AccessRegister(const RegisterOptions& options) {
  // The library sends only the low bits of address and value; anything
  // wider would silently name another register or value.
  const auto address =
      static_cast<std::int32_t>(ParseInteger(options.address, 0, 0xFFFF, "the register address"));
  const bool write = !options.value.empty();
  const std::int64_t valueMax = options.word ? 0xFFFF : 0xFF;
  const auto value = write ? static_cast<std::int32_t>(
                                 ParseInteger(options.value, 0, valueMax, "the register value"))
                           : 0;
  const int digits = options.word ? 4 : 2;

  CameraSession camera(options.session);
  const std::int32_t key = camera.key();
  if (write) {
    const QelBool ok =
        options.word ? QelSetRegisterW(key, address, value) : QelSetRegister(key, address, value);
    if (!ok) throw CallFailed(options.word ? "QelSetRegisterW" : "QelSetRegister");
  }
  const std::uint32_t now = ReadRegister(key, address, options.word);
  if (JsonOutput()) {
    Json json;
    json.BeginObject()
        .Integer("key", key)
        .String("device", camera.label())
        .Integer("address", address)
        .Integer("bits", options.word ? 16 : 8)
        .Integer("value", now);
    if (write) {
      json.Integer("written", value);
    } else {
      json.Null("written");
    }
    json.EndObject().Print();
    return kExitSuccess;
  }
  std::printf("register %s (%d-bit): %s (%u)", Hex(static_cast<std::uint32_t>(address), 4).c_str(),
              options.word ? 16 : 8, Hex(now, digits).c_str(), now);
  if (write)
    std::printf(" after writing %s", Hex(static_cast<std::uint32_t>(value), digits).c_str());
  std::printf("\n");
  return kExitSuccess;
}

}  // namespace

void AddInfoCommands(CLI::App& app, Action& action) {
  auto info = std::make_shared<SessionOptions>();
  auto* infoCommand = app.add_subcommand(
      "info",
      "show the firmware version, temperatures, serial number, USB mode and recognition "
      "byte of a camera");
  AddSessionOptions(*infoCommand, *info);
  infoCommand->callback([&action, info] { action = [info] { return ShowInfo(*info); }; });

  auto reg = std::make_shared<RegisterOptions>();
  auto* regCommand =
      app.add_subcommand("register", "read a camera register, or write it and read it back");
  AddSessionOptions(*regCommand, reg->session);
  regCommand->add_option("address", reg->address, "register address 0..0xFFFF")->required();
  regCommand->add_option("value", reg->value, "value to write (0..0xFF, or 0..0xFFFF with --word)");
  regCommand->add_flag("-w,--word", reg->word, "a 16-bit register (default 8-bit)");
  regCommand->callback([&action, reg] { action = [reg] { return AccessRegister(*reg); }; });
}

}  // namespace qelctl
