// qelsrc in pipelines on the rig. Each test runs in a process of its own
// (the check library forks), so the rig starts with its default population:
// position 0 the QEL5 (rig device 1), position 1 the QEL2 (rig device 2).
#include <glib/gstdio.h>
#include <gst/app/gstappsink.h>
#include <gst/check/gstcheck.h>
#include <qel/qel.h>
#include <qel/qelsim.h>

#include <string>
#include <vector>

namespace {

constexpr int kQel2RigDevice = 2;

GstElement* Launch(const char* description) {
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description, &error);
  fail_unless(pipeline != nullptr && error == nullptr, "%s: %s", description,
              error != nullptr ? error->message : "");
  return pipeline;
}

GstAppSink* Sink(GstElement* pipeline, const char* name) {
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), name);
  gst_object_unref(sink);  // the pipeline keeps it
  return GST_APP_SINK(sink);
}

// The first error (or warning) on the bus within timeout, as "text | debug";
// "" for none.
std::string MessageWithin(GstElement* pipeline, GstClockTime timeout, int* flow = nullptr,
                          GstMessageType type = GST_MESSAGE_ERROR) {
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(bus, timeout, type);
  gst_object_unref(bus);
  if (message == nullptr) return "";
  GError* error = nullptr;
  gchar* debug = nullptr;
  const GstStructure* details = nullptr;
  if (type == GST_MESSAGE_ERROR) {
    gst_message_parse_error(message, &error, &debug);
    gst_message_parse_error_details(message, &details);
  } else {
    gst_message_parse_warning(message, &error, &debug);
  }
  if (flow != nullptr && details != nullptr) gst_structure_get_int(details, "flow-return", flow);
  std::string text = std::string(error->message) + " | " + (debug != nullptr ? debug : "");
  g_error_free(error);
  g_free(debug);
  gst_message_unref(message);
  return text;
}

void Stop(GstElement* pipeline) {
  fail_unless_equals_int(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  gst_object_unref(pipeline);
}

// Waits for the whole pipeline's EOS: every sink, the files' too, is done.
void WaitForEos(GstElement* pipeline) {
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(
      bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  fail_unless(message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS);
  gst_message_unref(message);
  gst_object_unref(bus);
}

std::vector<unsigned char> FileBytes(const std::string& path) {
  gchar* contents = nullptr;
  gsize length = 0;
  fail_unless(g_file_get_contents(path.c_str(), &contents, &length, nullptr), "%s", path.c_str());
  std::vector<unsigned char> bytes(contents, contents + length);
  g_free(contents);
  return bytes;
}

// Each frame as written to the files passes the rig's check.
void CheckFramesInFiles(const std::vector<std::string>& files, std::size_t frameBytes,
                        std::size_t frames) {
  std::size_t checked = 0;
  for (const auto& path : files) {
    const std::vector<unsigned char> bytes = FileBytes(path);
    const std::size_t step = frameBytes != 0 ? frameBytes : bytes.size();
    fail_unless(step > 0 && bytes.size() % step == 0, "%s", path.c_str());
    for (std::size_t at = 0; at < bytes.size(); at += step, ++checked) {
      int64_t counter = -1;
      fail_unless(qelsim_check_frame(bytes.data() + at, static_cast<int32_t>(step), &counter) == 1,
                  "frame %zu in %s fails the rig's check", checked, path.c_str());
    }
  }
  fail_unless_equals_int(checked, frames);
}

// Plays the pipeline until its "sink" has taken a first frame.
void PlayToFirstFrame(GstElement* pipeline) {
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstSample* first = gst_app_sink_try_pull_sample(Sink(pipeline, "sink"), 5 * GST_SECOND);
  fail_unless(first != nullptr, "no first frame");
  gst_sample_unref(first);
}

// Plays the pipeline and pulls every frame of its "sink" until EOS: count of
// them, each of the media and width asked for, with rising timestamps.
std::vector<GstClockTime> PlayFrames(GstElement* pipeline, const char* media, int width,
                                     std::size_t count) {
  fail_unless(gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE);
  GstAppSink* sink = Sink(pipeline, "sink");
  std::vector<GstClockTime> timestamps;
  while (GstSample* sample = gst_app_sink_try_pull_sample(sink, 5 * GST_SECOND)) {
    const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    int got = 0;
    fail_unless(gst_structure_has_name(caps, media));
    fail_unless(gst_structure_get_int(caps, "width", &got) && got == width);
    const GstClockTime pts = GST_BUFFER_PTS(gst_sample_get_buffer(sample));
    fail_unless(GST_CLOCK_TIME_IS_VALID(pts));
    fail_unless(timestamps.empty() || pts > timestamps.back(), "timestamp %zu does not rise",
                timestamps.size());
    timestamps.push_back(pts);
    gst_sample_unref(sample);
  }
  fail_unless(gst_app_sink_is_eos(sink));
  fail_unless_equals_int(timestamps.size(), count);
  return timestamps;
}

}  // namespace

// num-buffers, the caps asked for, rising timestamps and intact frames, also
// as written to files, for YUY2 by position and MJPG by serial; the MJPG
// frames decode.
GST_START_TEST(streams_the_mode_asked_for) {
  gchar* made = g_dir_make_tmp("qelsrc-XXXXXX", nullptr);
  fail_unless(made != nullptr);
  const std::string dir = made;
  g_free(made);
  const std::string rawFile = dir + "/frames.yuy2";
  const std::string raw_description =
      "qelsrc rig=true device=1 num-buffers=30 "
      "! video/x-raw,format=YUY2,width=328,height=204,framerate=240/1 ! tee name=t "
      "t. ! queue ! appsink name=sink sync=false t. ! queue ! filesink location=" +
      rawFile;
  GstElement* raw = Launch(raw_description.c_str());
  const std::vector<GstClockTime> rawTimes = PlayFrames(raw, "video/x-raw", 328, 30);
  // Spaced as the camera took them: 30 frames at 240 fps span about 121 ms.
  const GstClockTime span = rawTimes.back() - rawTimes.front();
  fail_unless(span > 100 * GST_MSECOND && span < 400 * GST_MSECOND,
              "30 frames span %" GST_TIME_FORMAT, GST_TIME_ARGS(span));
  WaitForEos(raw);
  Stop(raw);
  std::vector<std::string> files = {rawFile};
  CheckFramesInFiles(files, 328 * 204 * 2, 30);

  // MJPG by serial: each frame in a file of its own, and decoded.
  const std::string jpeg_description =
      "qelsrc rig=true serial=0000ABCD num-buffers=5 ! image/jpeg,width=480,height=270 "
      "! tee name=t t. ! queue ! jpegdec ! appsink name=sink sync=false "
      "t. ! queue ! multifilesink location=" +
      dir + "/frame-%d.jpg";
  GstElement* jpeg = Launch(jpeg_description.c_str());
  PlayFrames(jpeg, "video/x-raw", 480, 5);
  WaitForEos(jpeg);
  Stop(jpeg);
  files.clear();
  for (int i = 0; i < 5; ++i) files.push_back(dir + "/frame-" + std::to_string(i) + ".jpg");
  CheckFramesInFiles(files, 0, 5);
  for (const std::string& file : files) g_remove(file.c_str());
  g_remove(rawFile.c_str());
  g_rmdir(dir.c_str());
}
GST_END_TEST;

// Only what the camera lists is offered: YUY2 and MJPG with the rates people
// mean; another size or a format it lacks does not negotiate.
GST_START_TEST(offers_only_the_listed_modes) {
  GstElement* pipeline = Launch("qelsrc name=src rig=true device=1 ! fakesink");
  fail_unless(gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE);
  GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  GstPad* pad = gst_element_get_static_pad(src, "src");
  GstCaps* caps = gst_pad_query_caps(pad, nullptr);
  GstCaps* expected = gst_caps_from_string(
      "video/x-raw,format=YUY2,width=1280,height=720,framerate=60/1; "
      "image/jpeg,width=328,height=204,framerate=40/1");
  fail_unless(gst_caps_can_intersect(caps, expected));
  fail_unless(gst_caps_is_subset(expected, caps));
  GstCaps* foreign = gst_caps_from_string("video/x-raw,format=I420; video/x-h264");
  fail_if(gst_caps_can_intersect(caps, foreign));
  gst_caps_unref(foreign);
  gst_caps_unref(expected);
  gst_caps_unref(caps);
  gst_object_unref(pad);
  gst_object_unref(src);
  Stop(pipeline);

  // The webcam (position 2) has 640x480 only in YUY2 and 1280x720 only in MJPG.
  for (const char* unlisted : {"device=1 ! video/x-raw,format=YUY2,width=333,height=222",
                               "device=1 ! video/x-raw,width=328,height=204,framerate=25/1",
                               "device=2 ! video/x-raw,width=1280,height=720"}) {
    const std::string description = std::string("qelsrc rig=true ") + unlisted + " ! fakesink";
    GstElement* refused = Launch(description.c_str());
    gst_element_set_state(refused, GST_STATE_PLAYING);
    int flow = GST_FLOW_OK;
    const std::string error = MessageWithin(refused, 5 * GST_SECOND, &flow);
    fail_unless_equals_int(flow, GST_FLOW_NOT_NEGOTIATED);
    Stop(refused);
  }
}
GST_END_TEST;

// A camera that is not there is an error naming what was asked for; one
// unplugged mid-stream is an error naming the device within a second.
GST_START_TEST(missing_and_unplugged_cameras_are_errors) {
  const char* const missing[][2] = {{"device=9", "no video device at position 9"},
                                    {"serial=DEADBEEF", "serial \"DEADBEEF\""}};
  for (const auto& [property, reason] : missing) {
    const std::string description = std::string("qelsrc rig=true ") + property + " ! fakesink";
    GstElement* pipeline = Launch(description.c_str());
    fail_unless_equals_int(gst_element_set_state(pipeline, GST_STATE_PLAYING),
                           GST_STATE_CHANGE_FAILURE);
    const std::string error = MessageWithin(pipeline, 0);
    fail_unless(error.find(reason) != std::string::npos, "%s", error.c_str());
    Stop(pipeline);
  }

  GstElement* pipeline = Launch(
      "qelsrc rig=true device=1 ! video/x-raw,width=328,height=204,framerate=60/1 "
      "! appsink name=sink sync=false");
  PlayToFirstFrame(pipeline);
  fail_unless_equals_int(qelsim_remove_device(kQel2RigDevice), 0);
  const std::string error = MessageWithin(pipeline, GST_SECOND);
  fail_unless(error.find("QEL2#00C0FFEE at position 1 was unplugged") != std::string::npos, "%s",
              error.c_str());
  Stop(pipeline);
}
GST_END_TEST;

// Frames the pipeline did not take in time are reported as a QoS message
// with the count, and the next buffer is marked as a discontinuity.
GST_START_TEST(drops_are_reported) {
  GstElement* pipeline = Launch(
      "qelsrc rig=true device=1 ! video/x-raw,width=328,height=204,framerate=240/1 "
      "! appsink name=sink sync=false max-buffers=1");
  PlayToFirstFrame(pipeline);
  GstAppSink* sink = Sink(pipeline, "sink");
  g_usleep(200 * 1000);  // about 48 frames come meanwhile; one is kept
  // The two frames held in the pipeline come first, then the one after the gap.
  bool discont = false;
  for (int i = 0; i < 4; ++i) {
    GstSample* sample = gst_app_sink_try_pull_sample(sink, 5 * GST_SECOND);
    fail_unless(sample != nullptr);
    discont |= GST_BUFFER_FLAG_IS_SET(gst_sample_get_buffer(sample), GST_BUFFER_FLAG_DISCONT);
    gst_sample_unref(sample);
  }
  fail_unless(discont);
  // The counts are running totals: the last message has them all.
  GstBus* bus = gst_element_get_bus(pipeline);
  guint64 dropped = 0;
  GstClockTime wait = GST_SECOND;
  while (GstMessage* qos = gst_bus_timed_pop_filtered(bus, wait, GST_MESSAGE_QOS)) {
    GstFormat format;
    guint64 processed = 0;
    gst_message_parse_qos_stats(qos, &format, &processed, &dropped);
    fail_unless_equals_int(format, GST_FORMAT_BUFFERS);
    gst_message_unref(qos);
    wait = 0;
  }
  fail_unless(dropped >= 10, "%" G_GUINT64_FORMAT " dropped", dropped);
  gst_object_unref(bus);
  Stop(pipeline);
}
GST_END_TEST;

// Every writable setting of each model's list is a property of its kind whose
// range holds the model's own.
GST_START_TEST(settings_of_the_family_are_properties) {
  qelsim_enable(1);
  qelsim_add_camera("QEL", 0x1234);  // position 3, after the webcam
  GstElement* src = gst_element_factory_make("qelsrc", nullptr);
  fail_unless(src != nullptr);
  GObjectClass* properties = G_OBJECT_GET_CLASS(src);
  const struct {
    int position, width, height;
  } models[] = {{0, 480, 270}, {1, 328, 204}, {3, 328, 204}};
  for (const auto& model : models) {
    fail_unless(QelOpenEx(model.position, model.width, model.height, 60.0, "YUY2", QEL_OPEN_FAST) >=
                0);
    QelSetting settings[32];
    const int32_t count = QelGetSettingList(model.position, settings, 32);
    fail_unless(count > 0 && count <= 32);
    for (int32_t i = 0; i < count; ++i) {
      const QelSetting& setting = settings[i];
      if (!(setting.access & QEL_SETTING_WRITE)) continue;
      GParamSpec* spec = g_object_class_find_property(properties, setting.name);
      fail_unless(spec != nullptr, "no property %s", setting.name);
      if (setting.kind == QEL_SETTING_GROUP) {
        fail_unless(GST_IS_PARAM_SPEC_ARRAY_LIST(spec), "%s", setting.name);
        spec = GST_PARAM_SPEC_ARRAY_LIST(spec)->element_spec;
      }
      double minimum = 0, maximum = 1;
      if (G_IS_PARAM_SPEC_INT(spec)) {
        minimum = G_PARAM_SPEC_INT(spec)->minimum;
        maximum = G_PARAM_SPEC_INT(spec)->maximum;
        fail_unless(setting.kind != QEL_SETTING_REAL && setting.kind != QEL_SETTING_BOOLEAN);
      } else if (G_IS_PARAM_SPEC_DOUBLE(spec)) {
        minimum = G_PARAM_SPEC_DOUBLE(spec)->minimum;
        maximum = G_PARAM_SPEC_DOUBLE(spec)->maximum;
        fail_unless_equals_int(setting.kind, QEL_SETTING_REAL);
      } else {
        fail_unless(G_IS_PARAM_SPEC_BOOLEAN(spec) && setting.kind == QEL_SETTING_BOOLEAN);
      }
      fail_unless(minimum <= setting.minimum && maximum >= setting.maximum,
                  "%s at %d: %g..%g does not hold %g..%g", setting.name, model.position, minimum,
                  maximum, setting.minimum, setting.maximum);
    }
    QelClose(model.position);
  }
  gst_object_unref(src);
}
GST_END_TEST;

// Settings set before the start reach the camera; one changed while playing
// is applied at once, and one the camera refuses is a warning (while
// playing) or an error (at the start) with the library's reason.
GST_START_TEST(settings_reach_the_camera) {
  GstElement* pipeline = Launch(
      "qelsrc name=src rig=true shutter=500 digital-gain=<400,800,1200,1600> led=32 "
      "! video/x-raw,width=480,height=270,framerate=60/1 ! appsink name=sink sync=false");
  PlayToFirstFrame(pipeline);
  int direction = 0, output = 0;
  uint16_t gains[4] = {}, shutter = 0;
  fail_unless_equals_int(qelsim_get_firmware_state(1, &direction, &output, gains, &shutter), 0);
  fail_unless_equals_int(shutter, 500);
  // The QEL5 takes a quarter of each gain of the fixed scale.
  fail_unless(gains[0] == 100 && gains[1] == 200 && gains[2] == 300 && gains[3] == 400);

  GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  // A change while playing is written to the camera at once: the rig's
  // request log has it.
  qelsim_log_clear();
  g_object_set(src, "led", 10, nullptr);
  const int writes = qelsim_log_property_count(1);
  fail_unless(writes >= 1);
  int property = -1;
  int32_t led = 0, flags = 0;
  fail_unless_equals_int(qelsim_log_property(1, writes - 1, &property, &led, &flags), 0);
  fail_unless_equals_int(led, 10);
  g_object_set(src, "shutter", 20000, nullptr);
  const std::string warning = MessageWithin(pipeline, GST_SECOND, nullptr, GST_MESSAGE_WARNING);
  fail_unless(warning.find("20000 lines is outside 1..10000") != std::string::npos, "%s",
              warning.c_str());
  int lines = 0;
  g_object_get(src, "shutter", &lines, nullptr);
  fail_unless_equals_int(lines, 500);
  gst_object_unref(src);
  Stop(pipeline);

  GstElement* refused = Launch("qelsrc rig=true device=1 analog-gain=3 ! fakesink");
  gst_element_set_state(refused, GST_STATE_PLAYING);
  const std::string reason = MessageWithin(refused, 5 * GST_SECOND);
  fail_unless(reason.find("refused the setting analog-gain: QelSetSetting: a QEL2 has no "
                          "analog-gain setting") != std::string::npos,
              "%s", reason.c_str());
  Stop(refused);
}
GST_END_TEST;

static Suite* qelsrc_suite() {
  Suite* suite = suite_create("qelsrc");
  TCase* pipelines = tcase_create("pipelines");
  suite_add_tcase(suite, pipelines);
  tcase_add_test(pipelines, streams_the_mode_asked_for);
  tcase_add_test(pipelines, offers_only_the_listed_modes);
  tcase_add_test(pipelines, missing_and_unplugged_cameras_are_errors);
  tcase_add_test(pipelines, drops_are_reported);
  tcase_add_test(pipelines, settings_of_the_family_are_properties);
  tcase_add_test(pipelines, settings_reach_the_camera);
  return suite;
}

GST_CHECK_MAIN(qelsrc)
