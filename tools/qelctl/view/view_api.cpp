#include "view_api.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "camera_session.h"
#include "command_support.h"
#include "device_info.h"
#include "frame_rate.h"
#include "http_error.h"
#include "image_writer.h"
#include "json_writer.h"
#include "preview_encoder.h"
#include "qel/qel.h"
#include "qel/qel.hpp"
#include "qel/qelsim.h"
#include "setting_text.h"

namespace qelctl::view {
namespace {

Reply JsonReply(const Json& json) { return Reply{200, "application/json", json.text(), ""}; }

std::string Text(const char* field, std::size_t size) {
  return std::string(field, strnlen(field, size));
}

const char* CameraName(StreamState::Camera camera) {
  switch (camera) {
    case StreamState::Camera::kStreaming:
      return "streaming";
    case StreamState::Camera::kUnplugged:
      return "unplugged";
    case StreamState::Camera::kFailed:
      return "failed";
    default:
      return "closed";
  }
}

void WriteSetting(Json& json, const QelSetting& s) {
  json.BeginObject()
      .String("name", Text(s.name, sizeof s.name))
      .String("label", Text(s.label, sizeof s.label))
      .String("unit", Text(s.unit, sizeof s.unit))
      .String("call", Text(s.call, sizeof s.call))
      .String("kind", SettingKindName(s.kind))
      .Bool("readable", (s.access & QEL_SETTING_READ) != 0)
      .Bool("writable", (s.access & QEL_SETTING_WRITE) != 0)
      .Number("minimum", s.minimum)
      .Number("maximum", s.maximum)
      .Number("step", s.step);
  if (s.flags & QEL_SETTING_HAS_DEFAULT) {
    json.Number("default", s.defaultValue);
  } else {
    json.Null("default");
  }
  if (s.flags & QEL_SETTING_HAS_VALUE) {
    json.BeginArray("value");
    const int count = s.valueCount < 1 ? 1 : std::min(s.valueCount, QEL_SETTING_MAX_VALUES);
    for (int i = 0; i < count; ++i) json.Number(nullptr, s.value[i]);
    json.EndArray();
  } else {
    json.Null("value");
  }
  json.BeginArray("choices");
  for (int i = 0; i < std::min(s.choiceCount, QEL_SETTING_MAX_CHOICES); ++i) {
    json.BeginObject()
        .Number("value", s.choices[i].value)
        .String("label", Text(s.choices[i].label, sizeof s.choices[i].label))
        .EndObject();
  }
  json.EndArray().EndObject();
}

// The status of a failed settings call.
int SettingStatus() {
  switch (QelLastErrorCode()) {
    case QEL_ERROR_NO_CAMERA:
      return 409;
    case QEL_ERROR_DEVICE_LOST:
      return 410;
    case QEL_ERROR_TIMEOUT:
      return 504;
    default:
      return 422;
  }
}

}  // namespace

Reply ViewApi::Handle(bool post, const Query& query) {
  const std::string& path = query.path();
  // Each route: whether it changes state (POST only) and its work.
  const struct {
    const char* path;
    bool post;
    bool rigOnly;
    std::function<Reply()> run;
  } routes[] = {
      {"/api/devices", false, false, [&] { return Devices(); }},
      {"/api/formats", false, false, [&] { return Formats(query); }},
      {"/api/settings", false, false, [&] { return Settings(); }},
      {"/api/info", false, false, [&] { return Info(); }},
      {"/api/snapshot", false, false, [&] { return Snapshot(query); }},
      {"/api/open", true, false, [&] { return OpenCamera(query); }},
      {"/api/close", true, false,
       [&] {
         camera_.Close();
         return Status();
       }},
      {"/api/setting", true, false, [&] { return SetSetting(query); }},
      {"/api/rig/unplug", true, true, [&] { return Unplug(query); }},
      {"/api/rig/replug", true, true, [&] { return Replug(); }},
  };
  for (const auto& route : routes) {
    if (path != route.path || (route.rigOnly && !rig_)) continue;
    if (route.post != post) {
      throw HttpError(
          405, route.post ? path + " changes state: use POST" : path + " only reads: use GET");
    }
    return route.run();
  }
  throw HttpError(404, "no route " + path.substr(0, 64));
}

Reply ViewApi::Devices() {
  std::vector<qel::Device> devices;
  try {
    devices = qel::ListDevices();
  } catch (const qel::Error& e) {
    throw HttpError(503, e.what());
  }
  Json json;
  json.BeginObject().BeginArray("devices");
  for (const qel::Device& device : devices) {
    json.BeginObject().Integer("key", device.position).String("name", device.name);
    if (!device.serialText.empty()) {
      json.String("serial", device.serialText);
    } else {
      json.Null("serial");
    }
    json.Bool("open", camera_.open() && camera_.key() == device.position);
    json.EndObject();
  }
  json.EndArray().EndObject();
  return JsonReply(json);
}

Reply ViewApi::Formats(const Query& query) {
  const auto device = static_cast<std::int32_t>(query.Integer("device", 0, 1023));
  std::vector<FormatEntry> formats;
  try {
    formats = ReadFormats(device);
  } catch (const CommandError& e) {
    throw HttpError(404, e.what());
  }
  Json json;
  json.BeginObject().Integer("device", device).BeginArray("formats");
  for (const FormatEntry& f : formats) {
    json.BeginObject()
        .Integer("index", f.index)
        .String("format", f.name)
        .Integer("width", f.width)
        .Integer("height", f.height)
        .Number("fps", NominalRateOf(f.fps).fps())
        .String("rate", NominalRateOf(f.fps).text)
        .EndObject();
  }
  json.EndArray().EndObject();
  return JsonReply(json);
}

Reply ViewApi::Status() const {
  const StreamState state = hub_.State();
  Json json;
  json.BeginObject();
  // A camera being opened, or open with its first frame still to come, is starting.
  const char* camera = CameraName(state.camera);
  if (state.opening || (state.open && state.camera == StreamState::Camera::kClosed)) {
    camera = "starting";
  }
  json.String("camera", camera)
      .String("message", state.message)
      .Bool("open", state.open.has_value());
  if (state.open) {
    json.Integer("device", state.open->device)
        .String("format", state.open->format)
        .Integer("width", state.open->width)
        .Integer("height", state.open->height)
        .String("rate", NominalRateOf(state.open->fps).text)
        .Bool("frames_only", state.open->framesOnly);
  }
  json.Integer("sequence", static_cast<std::int64_t>(state.sequence))
      .Integer("dropped", static_cast<std::int64_t>(state.dropped))
      .Number("fps", state.fps)
      .Integer("previews", static_cast<std::int64_t>(state.previews))
      .Integer("preview_failures", static_cast<std::int64_t>(state.previewFailures))
      .Integer("watchers", state.watchers)
      .String("encoder", PreviewEncoder::Name())
      .Bool("rig", rig_)
      .EndObject();
  return JsonReply(json);
}

Reply ViewApi::OpenCamera(const Query& query) {
  OpenRequest request;
  request.device = static_cast<std::int32_t>(query.Integer("device", 0, 1023));
  request.format = query.Text("format", "YUY2");
  if (request.format.empty() || request.format.size() >= QEL_FORMAT_NAME_SIZE) {
    throw HttpError(400, "the parameter format must name a capture format");
  }
  request.width = static_cast<int>(query.Integer("width", 1, 65535, 0));
  request.height = static_cast<int>(query.Integer("height", 1, 65535, 0));
  if ((request.width == 0) != (request.height == 0)) {
    throw HttpError(400, "give width and height together");
  }
  request.fps = query.Number("rate", 0.0);
  if (request.fps < 0.0 || request.fps > 10000.0) {
    throw HttpError(400, "the parameter rate must be in 0..10000 (0: the listed rate)");
  }
  camera_.Open(request);
  return Status();
}

std::int32_t ViewApi::OpenKey() const {
  if (!camera_.open()) throw HttpError(409, "no camera is open");
  return camera_.key();
}

Reply ViewApi::Settings() {
  const std::int32_t key = OpenKey();
  std::vector<QelSetting> settings;
  try {
    settings = ReadSettingList(key);
  } catch (const CommandError&) {
    throw HttpError(SettingStatus(), LibraryReason());  // the library's reason alone
  }
  Json json;
  json.BeginObject().BeginArray("settings");
  for (const QelSetting& setting : settings) WriteSetting(json, setting);
  json.EndArray().EndObject();
  return JsonReply(json);
}

Reply ViewApi::SetSetting(const Query& query) {
  const std::int32_t key = OpenKey();
  const std::string name = query.Text("name");
  if (name.empty() || name.size() >= QEL_SETTING_NAME_SIZE) {
    throw HttpError(400, "the parameter name must name a setting");
  }
  // One value, or a group's values separated by commas.
  const std::vector<double> values = query.Numbers("value", QEL_SETTING_MAX_VALUES);
  if (!QelSetSetting(key, name.c_str(), values.data(), static_cast<std::int32_t>(values.size()))) {
    throw HttpError(QelLastErrorCode() == QEL_ERROR_BAD_ARGUMENT ? 400 : SettingStatus(),
                    LibraryReason());
  }
  QelSetting setting{};
  if (!QelDescribeSetting(key, name.c_str(), &setting)) {
    throw HttpError(SettingStatus(), LibraryReason());
  }
  Json json;
  WriteSetting(json, setting);
  return JsonReply(json);
}

Reply ViewApi::Info() {
  const std::int32_t key = OpenKey();
  Json out;
  out.BeginObject()
      .String("library", LibraryVersionNumber())
      .Bool("frames_only", camera_.framesOnly());
  if (camera_.framesOnly()) {
    // No command channel: nothing more to ask the device.
    out.EndObject();
    return JsonReply(out);
  }
  // Each call that fails shows as null, its reason among the failures.
  std::vector<std::string> failures;
  for (const InfoItem& item : ReadDeviceInfo(key)) {
    if (!item.ok) {
      out.Null(item.key);
      failures.push_back(item.reason);
    } else if (item.number) {
      out.Integer(item.key, *item.number);
    } else {
      out.String(item.key, item.text);
    }
  }
  out.BeginArray("failures");
  for (const std::string& failure : failures) out.String(nullptr, failure);
  out.EndArray().EndObject();
  return JsonReply(out);
}

Reply ViewApi::Snapshot(const Query& query) {
  const std::string kind = query.Text("kind", "png");
  if (kind != "png" && kind != "jpeg" && kind != "raw") {
    throw HttpError(400, "the parameter kind is png, jpeg or raw");
  }
  OpenKey();
  const std::shared_ptr<const RawFrame> frame = hub_.LatestRaw();
  if (!frame) throw HttpError(409, "no frame has arrived yet");
  const std::string stem = "frame-" + std::to_string(frame->sequence);
  const bool mjpg = frame->format == "MJPG";
  Reply reply;
  std::string error;
  if (kind == "raw") {
    reply.contentType = mjpg ? "image/jpeg" : "application/octet-stream";
    reply.body.assign(reinterpret_cast<const char*>(frame->bytes.data()), frame->length);
    reply.filename = stem + "-" + std::to_string(frame->width) + "x" +
                     std::to_string(frame->height) + "." + Lower(frame->format);
    return reply;
  }
  if (kind == "jpeg") {
    // MJPG as delivered; YUY2 encoded at full size.
    PreviewEncoder encoder(90);
    if (!encoder.Encode(frame->bytes.data(), frame->length, frame->width, frame->height,
                        frame->format, 1, reply.body, error)) {
      throw HttpError(422, error);
    }
    reply.contentType = "image/jpeg";
    reply.filename = stem + ".jpg";
    return reply;
  }
  std::vector<std::uint8_t> rgb;
  int width = frame->width;
  int height = frame->height;
  const bool decoded =
      FrameToRgb(frame->bytes.data(), frame->length, frame->format, width, height, rgb, error);
  std::vector<std::uint8_t> png;
  if (!decoded || !EncodePng(rgb.data(), width, height, png, error)) throw HttpError(422, error);
  reply.contentType = "image/png";
  reply.body.assign(png.begin(), png.end());
  reply.filename = stem + ".png";
  return reply;
}

Reply ViewApi::Unplug(const Query& query) {
  const auto position = query.Integer("device", 0, 1023);
  const std::vector<qel::Device> devices = qel::ListDevices();
  if (static_cast<std::size_t>(position) >= devices.size()) {
    throw HttpError(404, "no device " + std::to_string(position));
  }
  // The listing holds the rig's plug-and-play devices in the rig's order.
  int listed = -1;
  int id = -1;
  for (int at = 0; at < qelsim_device_count() && id < 0; ++at) {
    const int candidate = qelsim_device_id(at);
    char display[512] = {};
    if (qelsim_get_display_name(candidate, display, sizeof display) < 0) continue;
    if (std::strncmp(display, "@device:pnp:", 12) == 0 && ++listed == position) id = candidate;
  }
  if (id < 0 || qelsim_remove_device(id) < 0) {
    throw HttpError(404, "the rig has no device " + std::to_string(position));
  }
  const qel::Device& device = devices[static_cast<std::size_t>(position)];
  const std::size_t hash = device.serialText.find('#');
  unplugged_.push_back(
      Unplugged{device.name, hash != std::string::npos ? device.serialText.substr(hash + 1) : ""});
  Json json;
  json.BeginObject().String("unplugged", device.listed()).EndObject();
  return JsonReply(json);
}

Reply ViewApi::Replug() {
  if (unplugged_.empty()) throw HttpError(409, "no device was unplugged");
  const Unplugged device = unplugged_.back();
  unplugged_.pop_back();
  const int id =
      device.serial.empty()
          ? qelsim_add_webcam(device.name.c_str())
          : qelsim_add_camera(device.name.c_str(), static_cast<std::uint32_t>(std::strtoul(
                                                       device.serial.c_str(), nullptr, 16)));
  if (id < 0) throw HttpError(500, "the rig did not add " + device.name);
  Json json;
  json.BeginObject().String("replugged", device.name).EndObject();
  return JsonReply(json);
}

}  // namespace qelctl::view
