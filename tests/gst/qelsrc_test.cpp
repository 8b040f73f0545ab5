// qelsrc in pipelines on the rig. Each test runs in a process of its own
// (the check library forks), so the rig starts with its default population:
// position 0 the QEL5 (rig device 1), position 1 the QEL2 (rig device 2).
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

// The first error on the bus within timeout, as "text | debug"; "" for none.
std::string ErrorWithin(GstElement* pipeline, GstClockTime timeout, int* flow = nullptr) {
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(bus, timeout, GST_MESSAGE_ERROR);
  gst_object_unref(bus);
  if (message == nullptr) return "";
  GError* error = nullptr;
  gchar* debug = nullptr;
  gst_message_parse_error(message, &error, &debug);
  const GstStructure* details = nullptr;
  gst_message_parse_error_details(message, &details);
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

// Pulls every sample until EOS, checking each frame's caps and its bytes with
// the rig's check.
std::vector<GstClockTime> PullCheckedFrames(GstAppSink* sink, const char* media, int width) {
  std::vector<GstClockTime> timestamps;
  while (GstSample* sample = gst_app_sink_try_pull_sample(sink, 5 * GST_SECOND)) {
    const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    int got = 0;
    fail_unless(gst_structure_has_name(caps, media));
    fail_unless(gst_structure_get_int(caps, "width", &got) && got == width);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    fail_unless(gst_buffer_map(buffer, &map, GST_MAP_READ));
    int64_t counter = -1;
    fail_unless(qelsim_check_frame(map.data, static_cast<int32_t>(map.size), &counter) == 1,
                "frame %zu fails the rig's check", timestamps.size());
    gst_buffer_unmap(buffer, &map);
    timestamps.push_back(GST_BUFFER_PTS(buffer));
    gst_sample_unref(sample);
  }
  fail_unless(gst_app_sink_is_eos(sink));
  return timestamps;
}

void CheckRising(const std::vector<GstClockTime>& timestamps) {
  for (std::size_t i = 0; i < timestamps.size(); ++i) {
    fail_unless(GST_CLOCK_TIME_IS_VALID(timestamps[i]));
    if (i > 0) fail_unless(timestamps[i] > timestamps[i - 1], "timestamp %zu does not rise", i);
  }
}

}  // namespace

// num-buffers, the caps asked for, intact frames with rising timestamps, for
// YUY2 by position and MJPG by serial; the MJPG frames decode.
GST_START_TEST(streams_the_mode_asked_for) {
  GstElement* raw = Launch(
      "qelsrc rig=true device=1 num-buffers=30 "
      "! video/x-raw,format=YUY2,width=328,height=204,framerate=240/1 "
      "! appsink name=sink sync=false");
  fail_unless(gst_element_set_state(raw, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE);
  const std::vector<GstClockTime> rawTimes =
      PullCheckedFrames(Sink(raw, "sink"), "video/x-raw", 328);
  fail_unless_equals_int(rawTimes.size(), 30);
  CheckRising(rawTimes);
  // Spaced as the camera took them: 30 frames at 240 fps span about 121 ms.
  const GstClockTime span = rawTimes.back() - rawTimes.front();
  fail_unless(span > 100 * GST_MSECOND && span < 400 * GST_MSECOND,
              "30 frames span %" GST_TIME_FORMAT, GST_TIME_ARGS(span));
  Stop(raw);

  GstElement* jpeg = Launch(
      "qelsrc rig=true serial=0000ABCD num-buffers=5 ! image/jpeg,width=480,height=270 "
      "! tee name=t t. ! queue ! appsink name=sink sync=false "
      "t. ! queue ! jpegdec ! appsink name=decoded sync=false");
  fail_unless(gst_element_set_state(jpeg, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE);
  const std::vector<GstClockTime> jpegTimes =
      PullCheckedFrames(Sink(jpeg, "sink"), "image/jpeg", 480);
  fail_unless_equals_int(jpegTimes.size(), 5);
  CheckRising(jpegTimes);
  GstSample* decoded = gst_app_sink_try_pull_sample(Sink(jpeg, "decoded"), 5 * GST_SECOND);
  fail_unless(decoded != nullptr, "no MJPG frame decoded");
  int width = 0;
  gst_structure_get_int(gst_caps_get_structure(gst_sample_get_caps(decoded), 0), "width", &width);
  fail_unless_equals_int(width, 480);
  gst_sample_unref(decoded);
  Stop(jpeg);
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
    const std::string error = ErrorWithin(refused, 5 * GST_SECOND, &flow);
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
    const std::string error = ErrorWithin(pipeline, 0);
    fail_unless(error.find(reason) != std::string::npos, "%s", error.c_str());
    Stop(pipeline);
  }

  GstElement* pipeline = Launch(
      "qelsrc rig=true device=1 ! video/x-raw,width=328,height=204,framerate=60/1 "
      "! appsink name=sink sync=false");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstSample* first = gst_app_sink_try_pull_sample(Sink(pipeline, "sink"), 5 * GST_SECOND);
  fail_unless(first != nullptr);
  gst_sample_unref(first);
  fail_unless_equals_int(qelsim_remove_device(kQel2RigDevice), 0);
  const std::string error = ErrorWithin(pipeline, GST_SECOND);
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
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstAppSink* sink = Sink(pipeline, "sink");
  GstSample* sample = gst_app_sink_try_pull_sample(sink, 5 * GST_SECOND);
  fail_unless(sample != nullptr);
  gst_sample_unref(sample);
  g_usleep(200 * 1000);  // about 48 frames come meanwhile; one is kept
  bool discont = false;
  for (int i = 0; i < 3 && !discont; ++i) {
    sample = gst_app_sink_try_pull_sample(sink, 5 * GST_SECOND);
    fail_unless(sample != nullptr);
    discont = GST_BUFFER_FLAG_IS_SET(gst_sample_get_buffer(sample), GST_BUFFER_FLAG_DISCONT);
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

static Suite* qelsrc_suite() {
  Suite* suite = suite_create("qelsrc");
  TCase* pipelines = tcase_create("pipelines");
  suite_add_tcase(suite, pipelines);
  tcase_add_test(pipelines, streams_the_mode_asked_for);
  tcase_add_test(pipelines, offers_only_the_listed_modes);
  tcase_add_test(pipelines, missing_and_unplugged_cameras_are_errors);
  tcase_add_test(pipelines, drops_are_reported);
  return suite;
}

GST_CHECK_MAIN(qelsrc)
