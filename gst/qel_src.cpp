// qelsrc. The element finds its camera when it starts (READY to PAUSED),
// offers the camera's YUY2 and MJPG formats as caps, opens the camera in the
// mode the caps negotiated, and then pushes each new frame in a buffer of its
// own pool, stamped with the running time at which it was captured.
//
// Threads: properties are set under the object lock and read once, at start.
// The device and its formats are written under the object lock too, since
// caps queries may come from any thread. Settings may be set from any thread
// at any time: they are kept under their own mutex and go straight to the
// open camera (`openKey`). Everything else belongs to the streaming thread
// between start() and stop(), but for `unlocked`, which unlock() sets from
// another thread to end a wait.
#include "qel_src.h"

#include <qel/qel.h>
#include <qel/qelsim.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture_clock.h"
#include "device_lookup.h"
#include "format_caps.h"
#include "setting_properties.h"

GST_DEBUG_CATEGORY_STATIC(qel_src_debug);
#define GST_CAT_DEFAULT qel_src_debug

namespace {

enum { kPropDevice = 1, kPropSerial, kPropRig, kPropFirstSetting };

// A wait for a frame is cut into slices this long, so that unlock() and a
// state change are answered promptly.
constexpr int32_t kWaitSliceMs = 100;

struct SrcState {
  // Properties, under the object lock.
  int devicePosition = 0;
  std::string serial;
  bool rig = false;

  // From start() to stop().
  qel_gst::Device device;
  std::vector<QelFormatEx> formats;
  // While a mode is open.
  std::optional<qel_gst::Mode> mode;
  GstBufferPool* pool = nullptr;  // owned
  qel_gst::CaptureClock clock;
  guint64 pushed = 0;
  guint64 dropped = 0;

  std::atomic<bool> unlocked{false};

  // The settings set as properties, by their index in SettingProperties();
  // none for one never set. Guarded by settingsMutex, which also serialises
  // applying them to the camera, so that the latest value is the one left.
  std::mutex settingsMutex;
  std::vector<std::optional<std::vector<double>>> settings =
      std::vector<std::optional<std::vector<double>>>(qel_gst::SettingProperties().size());
  // The key of the open camera, -1 when none: set properties go straight to it.
  std::atomic<int> openKey{-1};
  // One frame's duration while a mode is open, else 0: the latency, which
  // queries from any thread read.
  std::atomic<GstClockTime> frameDuration{0};
};

}  // namespace

struct _GstQelSrc {
  GstPushSrc parent;
  SrcState* state;  // owned; made in init, freed in finalize
};

G_DEFINE_TYPE(GstQelSrc, gst_qel_src, GST_TYPE_PUSH_SRC)

namespace {

SrcState& StateOf(gpointer self) { return *GST_QEL_SRC(self)->state; }

void CloseMode(GstQelSrc* self) {
  SrcState& s = *self->state;
  s.openKey = -1;
  s.frameDuration = 0;
  if (s.mode) {
    QelClose(s.device.position);
    s.mode.reset();
  }
  if (s.pool != nullptr) {
    gst_buffer_pool_set_active(s.pool, FALSE);
    gst_object_unref(s.pool);
    s.pool = nullptr;
  }
}

// A pool of frame-sized buffers; QelWaitImage writes each frame straight
// into one, which is the frame's only copy on its way downstream. It starts
// with one buffer, so that a pipeline that returns each buffer before the
// next frame keeps writing into the same, cache-warm memory, and grows as
// downstream holds more.
GstBufferPool* MakePool(GstCaps* caps, std::size_t frameBytes) {
  GstBufferPool* pool = gst_buffer_pool_new();
  GstStructure* config = gst_buffer_pool_get_config(pool);
  gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(frameBytes), 1, 0);
  if (!gst_buffer_pool_set_config(pool, config) || !gst_buffer_pool_set_active(pool, TRUE)) {
    gst_object_unref(pool);
    return nullptr;
  }
  return pool;
}

bool SameMode(const qel_gst::Mode& a, const qel_gst::Mode& b) {
  return a.format == b.format && a.width == b.width && a.height == b.height &&
         a.rateNumerator == b.rateNumerator && a.rateDenominator == b.rateDenominator;
}

GstClockTime RunningTimeNow(GstElement* element) {
  GstClock* clock = gst_element_get_clock(element);
  if (clock == nullptr) return GST_CLOCK_TIME_NONE;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(element);
  return now > base ? now - base : 0;
}

void ReportDrops(GstQelSrc* self, const QelFrameInfo& info, GstBuffer* buffer,
                 GstClockTime receivedAt) {
  SrcState& s = *self->state;
  if (info.dropped <= s.dropped) return;
  const guint64 lost = info.dropped - s.dropped;
  s.dropped = info.dropped;
  GST_WARNING_OBJECT(self,
                     "%" G_GUINT64_FORMAT " frame(s) dropped (%" G_GUINT64_FORMAT
                     " since the stream started)",
                     lost, s.dropped);
  GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  GstMessage* qos = gst_message_new_qos(GST_OBJECT(self), TRUE, receivedAt, GST_CLOCK_TIME_NONE,
                                        GST_BUFFER_PTS(buffer), GST_BUFFER_DURATION(buffer));
  gst_message_set_qos_stats(qos, GST_FORMAT_BUFFERS, s.pushed, s.dropped);
  gst_element_post_message(GST_ELEMENT(self), qos);
}

// ---- settings ----

const qel_gst::SettingProperty* SettingOf(guint id) {
  const auto settings = qel_gst::SettingProperties();
  return id >= kPropFirstSetting && id - kPropFirstSetting < settings.size()
             ? &settings[id - kPropFirstSetting]
             : nullptr;
}

// A setting changed while the camera is open is applied at once; one the
// camera refuses is a warning with the library's reason, and is not kept.
void SetSetting(GstQelSrc* self, guint id, const GValue* value) {
  SrcState& s = StateOf(self);
  const qel_gst::SettingProperty& setting = *SettingOf(id);
  std::vector<double> values = qel_gst::ValuesOf(setting, value);
  std::lock_guard<std::mutex> lock(s.settingsMutex);
  const int key = s.openKey;
  if (key >= 0 &&
      !QelSetSetting(key, setting.name, values.data(), static_cast<int32_t>(values.size()))) {
    const std::string why = qel_gst::LastError();
    GST_ELEMENT_WARNING(
        self, RESOURCE, SETTINGS,
        ("%s refused %s, keeping its value: %s", s.device.name.c_str(), setting.name, why.c_str()),
        (nullptr));
    return;
  }
  s.settings[id - kPropFirstSetting] = std::move(values);
}

// The open camera's value, else the one set, else the property's default.
void GetSetting(GstQelSrc* self, guint id, GValue* value) {
  SrcState& s = StateOf(self);
  const qel_gst::SettingProperty& setting = *SettingOf(id);
  std::vector<double> values(QEL_SETTING_MAX_VALUES);
  std::lock_guard<std::mutex> lock(s.settingsMutex);
  const int key = s.openKey;
  if (key >= 0 && QelGetSetting(key, setting.name, values.data(), setting.valueCount)) {
    values.resize(setting.valueCount);
  } else if (const auto& set = s.settings[id - kPropFirstSetting]) {
    values = *set;
  } else {
    values.assign(1, setting.defaultValue);
  }
  qel_gst::StoreValues(setting, values, value);
}

// Applies every setting set so far to the camera just opened; a refusal is
// an error with the library's reason (the camera's own range, a setting its
// model lacks).
bool ApplySettings(GstQelSrc* self) {
  SrcState& s = StateOf(self);
  const auto settings = qel_gst::SettingProperties();
  std::lock_guard<std::mutex> lock(s.settingsMutex);
  for (std::size_t i = 0; i < settings.size(); ++i) {
    const auto& values = s.settings[i];
    if (!values) continue;
    if (!QelSetSetting(s.device.position, settings[i].name, values->data(),
                       static_cast<int32_t>(values->size()))) {
      const std::string why = qel_gst::LastError();
      GST_ELEMENT_ERROR(
          self, RESOURCE, SETTINGS,
          ("%s refused the setting %s: %s", s.device.name.c_str(), settings[i].name, why.c_str()),
          (nullptr));
      return false;
    }
  }
  s.openKey = s.device.position;
  return true;
}

// ---- GObject ----

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
  GstQelSrc* self = GST_QEL_SRC(object);
  SrcState& s = StateOf(self);
  if (SettingOf(id) != nullptr) {
    SetSetting(self, id, value);
    return;
  }
  GST_OBJECT_LOCK(self);
  if (GST_STATE(self) > GST_STATE_READY) {
    GST_OBJECT_UNLOCK(self);
    GST_WARNING_OBJECT(self, "%s is kept: it changes only before the element starts",
                       g_param_spec_get_name(spec));
    return;
  }
  switch (id) {
    case kPropDevice:
      s.devicePosition = g_value_get_int(value);
      break;
    case kPropSerial: {
      const char* serial = g_value_get_string(value);
      s.serial = serial != nullptr ? serial : "";
      break;
    }
    case kPropRig:
      s.rig = g_value_get_boolean(value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
  }
  GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
  GstQelSrc* self = GST_QEL_SRC(object);
  SrcState& s = StateOf(self);
  if (SettingOf(id) != nullptr) {
    GetSetting(self, id, value);
    return;
  }
  GST_OBJECT_LOCK(self);
  switch (id) {
    case kPropDevice:
      g_value_set_int(value, s.devicePosition);
      break;
    case kPropSerial:
      g_value_set_string(value, s.serial.empty() ? nullptr : s.serial.c_str());
      break;
    case kPropRig:
      g_value_set_boolean(value, s.rig);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
  }
  GST_OBJECT_UNLOCK(self);
}

void Finalize(GObject* object) {
  GstQelSrc* self = GST_QEL_SRC(object);
  CloseMode(self);
  delete self->state;
  self->state = nullptr;
  G_OBJECT_CLASS(gst_qel_src_parent_class)->finalize(object);
}

// ---- GstBaseSrc ----

gboolean Start(GstBaseSrc* base) {
  GstQelSrc* self = GST_QEL_SRC(base);
  SrcState& s = StateOf(self);
  GST_OBJECT_LOCK(self);
  const int position = s.devicePosition;
  const std::string serial = s.serial;
  const bool rig = s.rig;
  GST_OBJECT_UNLOCK(self);

  // The platform is chosen before the listing, and so before any open.
  if (rig) qelsim_enable(1);
  std::string why;
  std::optional<qel_gst::Device> device = qel_gst::FindDevice(position, serial, why);
  if (!device) {
    GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No camera found: %s", why.c_str()), (nullptr));
    return FALSE;
  }
  std::optional<std::vector<QelFormatEx>> formats = qel_gst::FormatsOf(*device, why);
  if (!formats) {
    GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("%s", why.c_str()), (nullptr));
    return FALSE;
  }
  GST_INFO_OBJECT(self, "%s at position %d lists %zu format(s)", device->name.c_str(),
                  device->position, formats->size());
  GST_OBJECT_LOCK(self);
  s.device = *device;
  s.formats = std::move(*formats);
  GST_OBJECT_UNLOCK(self);
  s.clock.Reset();
  s.pushed = 0;
  s.dropped = 0;
  return TRUE;
}

gboolean Stop(GstBaseSrc* base) {
  GstQelSrc* self = GST_QEL_SRC(base);
  CloseMode(self);
  SrcState& s = StateOf(self);
  GST_OBJECT_LOCK(self);
  s.device = qel_gst::Device{};
  s.formats.clear();
  GST_OBJECT_UNLOCK(self);
  return TRUE;
}

GstCaps* GetCaps(GstBaseSrc* base, GstCaps* filter) {
  SrcState& s = StateOf(base);
  GST_OBJECT_LOCK(base);
  const bool started = s.device.position >= 0;
  const std::vector<QelFormatEx> formats = s.formats;
  GST_OBJECT_UNLOCK(base);
  // Before start() the camera is unknown: anything the template allows.
  GstCaps* caps = started ? qel_gst::CapsOfFormats(formats)
                          : gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
  if (filter != nullptr) {
    GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    caps = both;
  }
  return caps;
}

gboolean SetCaps(GstBaseSrc* base, GstCaps* caps) {
  GstQelSrc* self = GST_QEL_SRC(base);
  SrcState& s = StateOf(self);
  std::optional<qel_gst::Mode> mode = qel_gst::ModeOfCaps(caps, s.formats);
  if (!mode) {
    GST_WARNING_OBJECT(self, "%s does not list %" GST_PTR_FORMAT, s.device.name.c_str(), caps);
    return FALSE;
  }
  if (s.mode && SameMode(*s.mode, *mode)) return TRUE;
  CloseMode(self);
  const int32_t opened = QelOpenEx(s.device.position, mode->width, mode->height, mode->frameRate,
                                   mode->format.c_str(), QEL_OPEN_FAST);
  if (opened < 0) {
    const std::string why = qel_gst::LastError();
    GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ,
                      ("Could not open %s at position %d as %s %dx%d at %d/%d fps: %s",
                       s.device.name.c_str(), s.device.position, mode->format.c_str(), mode->width,
                       mode->height, mode->rateNumerator, mode->rateDenominator, why.c_str()),
                      (nullptr));
    return FALSE;
  }
  s.mode = mode;
  s.dropped = 0;  // the library counts drops per stream
  if (!ApplySettings(self)) {
    CloseMode(self);
    return FALSE;
  }
  s.pool = MakePool(caps, mode->FrameBytes());
  if (s.pool == nullptr) {
    CloseMode(self);
    GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("Could not make the frame buffers"),
                      (nullptr));
    return FALSE;
  }
  s.clock.Reset();
  s.frameDuration = mode->FrameDuration();
  GST_INFO_OBJECT(self, "opened %s as %s %dx%d at %d/%d fps", s.device.name.c_str(),
                  mode->format.c_str(), mode->width, mode->height, mode->rateNumerator,
                  mode->rateDenominator);
  return TRUE;
}

gboolean Query(GstBaseSrc* base, GstQuery* query) {
  const GstClockTime frame = StateOf(base).frameDuration;
  if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY && frame != 0 && GST_CLOCK_TIME_IS_VALID(frame)) {
    // A frame is pushed once it is whole, a frame's time after its capture
    // began; the library keeps only the latest, so a frame's time is also
    // the most it can be held.
    gst_query_set_latency(query, TRUE, frame, frame);
    return TRUE;
  }
  return GST_BASE_SRC_CLASS(gst_qel_src_parent_class)->query(base, query);
}

// The only wait is in QelWaitImage (the pool has no upper bound, so taking
// a buffer never waits): the flag ends it within one slice.
gboolean Unlock(GstBaseSrc* base) {
  StateOf(base).unlocked = true;
  return TRUE;
}

gboolean UnlockStop(GstBaseSrc* base) {
  StateOf(base).unlocked = false;
  return TRUE;
}

// ---- GstPushSrc ----

GstFlowReturn Create(GstPushSrc* push, GstBuffer** out) {
  GstQelSrc* self = GST_QEL_SRC(push);
  SrcState& s = StateOf(self);
  if (!s.mode || s.pool == nullptr) return GST_FLOW_NOT_NEGOTIATED;
  GstBuffer* buffer = nullptr;
  GstFlowReturn flow = gst_buffer_pool_acquire_buffer(s.pool, &buffer, nullptr);
  if (flow != GST_FLOW_OK) return flow;

  QelFrameInfo info = {};
  info.size = sizeof info;
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  for (;;) {
    if (s.unlocked) {
      flow = GST_FLOW_FLUSHING;
      break;
    }
    const int32_t got = QelWaitImage(s.device.position, map.data, static_cast<int32_t>(map.size),
                                     &info, kWaitSliceMs);
    if (got == 1) break;
    if (got == 0) continue;
    if (QelLastErrorCode() == QEL_ERROR_BUFFER_TOO_SMALL && info.bytes > 0) {
      // A long MJPG frame: it waits in the library for a buffer that fits.
      gst_buffer_unmap(buffer, &map);
      gst_buffer_unref(buffer);
      buffer = gst_buffer_new_allocate(nullptr, static_cast<gsize>(info.bytes), nullptr);
      gst_buffer_map(buffer, &map, GST_MAP_WRITE);
      continue;
    }
    const bool unplugged = QelLastErrorCode() == QEL_ERROR_DEVICE_LOST;
    const std::string why = qel_gst::LastError();
    GST_ELEMENT_ERROR(self, RESOURCE, READ,
                      ("%s at position %d %s: %s", s.device.name.c_str(), s.device.position,
                       unplugged ? "was unplugged" : "stopped delivering frames", why.c_str()),
                      (nullptr));
    flow = GST_FLOW_ERROR;
    break;
  }
  gst_buffer_unmap(buffer, &map);
  if (flow != GST_FLOW_OK) {
    gst_buffer_unref(buffer);
    return flow;
  }
  gst_buffer_set_size(buffer, info.bytes);

  const GstClockTime receivedAt = RunningTimeNow(GST_ELEMENT(self));
  if (GST_CLOCK_TIME_IS_VALID(receivedAt)) {
    GST_BUFFER_PTS(buffer) = s.clock.TimestampOf(info.sampleTime, receivedAt);
  }
  GST_BUFFER_DURATION(buffer) = s.mode->FrameDuration();
  GST_BUFFER_OFFSET(buffer) = s.pushed;
  GST_BUFFER_OFFSET_END(buffer) = s.pushed + 1;
  if (s.pushed == 0) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  ++s.pushed;
  ReportDrops(self, info, buffer, receivedAt);
  *out = buffer;
  return GST_FLOW_OK;
}

}  // namespace

static void gst_qel_src_class_init(GstQelSrcClass* klass) {
  GObjectClass* object = G_OBJECT_CLASS(klass);
  GstElementClass* element = GST_ELEMENT_CLASS(klass);
  GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
  GstPushSrcClass* push = GST_PUSH_SRC_CLASS(klass);
  GST_DEBUG_CATEGORY_INIT(qel_src_debug, "qelsrc", 0, "QEL camera source");

  object->set_property = SetProperty;
  object->get_property = GetProperty;
  object->finalize = Finalize;
  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                              GST_PARAM_MUTABLE_READY);
  g_object_class_install_property(
      object, kPropDevice,
      g_param_spec_int("device", "Device",
                       "The device's position in the library's listing (used when no serial "
                       "is given)",
                       0, G_MAXINT, 0, flags));
  g_object_class_install_property(
      object, kPropSerial,
      g_param_spec_string("serial", "Serial",
                          "The camera's listed serial text (\"QEL5#0000ABCD\" or \"0000ABCD\"); "
                          "chooses the camera over device",
                          nullptr, flags));
  g_object_class_install_property(
      object, kPropRig,
      g_param_spec_boolean("rig", "Rig",
                           "Use the library's virtual cameras instead of attached ones", FALSE,
                           flags));
  const auto settingFlags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                     GST_PARAM_MUTABLE_PLAYING);
  guint id = kPropFirstSetting;
  for (const qel_gst::SettingProperty& setting : qel_gst::SettingProperties()) {
    g_object_class_install_property(object, id++, qel_gst::ParamSpecOf(setting, settingFlags));
  }

  gst_element_class_set_static_metadata(element, "QEL camera source", "Source/Video",
                                        "Frames of a QEL USB industrial camera or other video "
                                        "device, through the qel library",
                                        "qel maintainers <maintainers@qel-camera.org>");
  GstCaps* caps = qel_gst::TemplateCaps();
  gst_element_class_add_pad_template(
      element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
  gst_caps_unref(caps);

  base->start = Start;
  base->stop = Stop;
  base->get_caps = GetCaps;
  base->set_caps = SetCaps;
  base->query = Query;
  base->unlock = Unlock;
  base->unlock_stop = UnlockStop;
  push->create = Create;
}

static void gst_qel_src_init(GstQelSrc* self) {
  self->state = new SrcState;
  gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}
