// The rig's capture side through the platform seam: enumeration, a graph
// built by hand, formats, streaming on the virtual clock, faults.
#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/rig_fixture.h"
#include "support/rig_graph.h"

namespace qel::test {
namespace {

using RigCapture = ComRigTest;

TEST_F(RigCapture, EnumeratesInOrderWithPlugAndPlayNamesAndPairingPrefixes) {
  Monikers m = Enumerate();
  ASSERT_EQ(m.names.size(), 4u);
  EXPECT_EQ(m.names[0].find("@device:pnp"), std::string::npos) << "the software source";
  EXPECT_TRUE(m.names[0].starts_with("@device:sw:"));
  std::vector<std::string> friendly;
  for (std::size_t i = 0; i < m.all.size(); ++i) {
    std::unique_ptr<platform::PropertyBag> bag;
    ASSERT_EQ(m.all[i]->BindToStorage(bag), kOk);
    std::u16string name;
    ASSERT_EQ(bag->Read(u"FriendlyName", name), kOk);
    friendly.push_back(ActivePlatform().WideToAnsi(name));
    if (i > 0) {
      EXPECT_TRUE(m.names[i].starts_with("@device:pnp:\\\\?\\usb#vid_")) << m.names[i];
    }
    char rigName[1024];
    ASSERT_EQ(qelsim_get_display_name(qelsim_device_id(static_cast<int>(i)), rigName, 1024), 0);
    EXPECT_EQ(m.names[i], rigName);
  }
  for (int position : {4, -1, INT_MIN}) EXPECT_EQ(qelsim_device_id(position), -1) << position;
  EXPECT_EQ(friendly,
            (std::vector<std::string>{"Screen Capture", "QEL5", "QEL2", "USB Camera, HD"}));
  // Each camera its own "6&xxxxxxxx" instance part.
  EXPECT_NE(m.names[1].substr(m.names[1].find("#6&"), 12),
            m.names[2].substr(m.names[2].find("#6&"), 12));

  qelsim_reset(0);
  std::unique_ptr<platform::CreateDevEnum> devEnum;
  ASSERT_EQ(ActivePlatform().CreateSystemDeviceEnum(devEnum), kOk);
  std::unique_ptr<platform::EnumMoniker> monikers;
  EXPECT_EQ(devEnum->CreateVideoInputEnumerator(monikers), platform::kFalse);
  EXPECT_FALSE(monikers);
}

TEST_F(RigCapture, StreamsPatternFramesPacedByTheVirtualClock) {
  Graph g;
  ASSERT_EQ(g.Build(1, 1920, 1080, 333333, kYuy2, kYuy2), kOk);
  ASSERT_EQ(g.control->Run(), kOk);
  EXPECT_TRUE(g.recorder->Frames().empty()) << "nothing before the clock moves";

  qelsim_advance_ms(1);   // frame 0 is due at the start
  qelsim_advance_ms(33);  // frame 1 is due at 33.3 ms
  qelsim_advance_ms(1);
  qelsim_advance_ms(1000);  // only the latest of the frames due is delivered
  auto frames = g.recorder->Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].time, 0.0);
  EXPECT_DOUBLE_EQ(frames[1].time, 0.0333333);
  EXPECT_EQ(frames[2].counter, 31);  // 1035 ms / 33.3333 ms
  EXPECT_DOUBLE_EQ(frames[2].time, 31 * 0.0333333);
  for (const auto& f : frames) {
    EXPECT_TRUE(f.intact);
    EXPECT_EQ(f.length, 1920 * 1080 * 2);
  }
  EXPECT_EQ(qelsim_frames_delivered(kQel5Device), 3);

  // The wait of a running graph lasts its whole time-out and lets frames flow.
  std::uint32_t before = qelsim_now_ms();
  long code = 0;
  EXPECT_EQ(g.events->WaitForCompletion(3000, code), platform::kAbort);
  EXPECT_EQ(qelsim_now_ms() - before, 3000u);
  EXPECT_EQ(g.recorder->Frames().size(), 4u);

  EXPECT_EQ(g.control->Stop(), kOk);
  qelsim_advance_ms(1000);
  EXPECT_EQ(g.recorder->Frames().size(), 4u) << "no frame after Stop";
  EXPECT_EQ(g.events->WaitForCompletion(3000, code), platform::kWrongState);
  EXPECT_EQ(qelsim_now_ms() - before, 4000u) << "a stopped graph answers at once";
}

TEST_F(RigCapture, FrameLengthsFollowTheSubtypeAndTheFrameMode) {
  Graph g;
  ASSERT_EQ(g.Build(2, 656, 408, 166667, kMjpg, kMjpg), kOk);
  ASSERT_EQ(g.control->Run(), kOk);
  qelsim_advance_ms(1);
  qelsim_set_frame_mode(kQel2Device, QELSIM_FRAMES_EMPTY);
  qelsim_advance_ms(20);
  qelsim_set_frame_mode(kQel2Device, QELSIM_FRAMES_VARYING);
  for (int i = 0; i < 6; ++i) qelsim_advance_ms(20);
  qelsim_set_frame_mode(kQel2Device, QELSIM_FRAMES_CHECK_PATTERN);
  qelsim_advance_ms(20);
  qelsim_set_frame_mode(kQel2Device, QELSIM_FRAMES_NONE);
  qelsim_advance_ms(100);

  auto frames = g.recorder->Frames();
  ASSERT_EQ(frames.size(), 9u);
  // A picture: a JPEG image, shorter than the nominal length.
  EXPECT_GT(frames[0].length, 1000);
  EXPECT_LT(frames[0].length, 656 * 408 / 4);
  EXPECT_TRUE(frames[0].intact);
  EXPECT_EQ(frames[1].length, 0);
  std::vector<long> varying;
  for (std::size_t i = 2; i < 8; ++i) {
    EXPECT_TRUE(frames[i].intact);
    varying.push_back(frames[i].length);
  }
  EXPECT_NE(*std::min_element(varying.begin(), varying.end()),
            *std::max_element(varying.begin(), varying.end()));
  EXPECT_EQ(frames[8].length, 656 * 408 / 4) << "the check pattern has the nominal length";
  EXPECT_TRUE(frames[8].intact);
  EXPECT_EQ(qelsim_frames_delivered(kQel2Device), 9);
}

TEST_F(RigCapture, SetFormatAcceptsOnlyOfferedFormats) {
  Graph g;
  // Within 0.1% of an offered interval: accepted, and the stream runs at it.
  ASSERT_EQ(g.Build(2, 1280, 720, 333400, kYuy2, kYuy2), kOk);
  std::int32_t w = 0, h = 0;
  std::int64_t interval = 0;
  char subtype[8];
  ASSERT_EQ(qelsim_current_format(kQel2Device, &w, &h, &interval, subtype, sizeof subtype), 0);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 720);
  EXPECT_EQ(interval, 333400);
  EXPECT_STREQ(subtype, "YUY2");
  std::unique_ptr<MediaType> current;
  ASSERT_EQ(g.config->GetFormat(current), kOk);
  platform::VideoInfoHeader vih;
  ASSERT_TRUE(current->GetVideoInfo(vih));
  EXPECT_EQ(vih.AvgTimePerFrame, 333400);
  EXPECT_EQ(vih.bmiHeader.biCompression, platform::Fourcc('Y', 'U', 'Y', '2'));
  EXPECT_EQ(vih.bmiHeader.biSizeImage, 1280u * 720 * 2);

  struct Refused {
    std::int32_t width, height;
    std::int64_t interval;
    Guid subtype;
  };
  for (const Refused& r : {Refused{640, 480, 333333, kYuy2}, Refused{1280, 720, 333700, kYuy2},
                           Refused{1280, 720, 333333, platform::FourccSubtype(0x34363248)}}) {
    Graph refused;
    EXPECT_NE(refused.Build(2, r.width, r.height, r.interval, r.subtype, r.subtype), kOk);
  }
  ASSERT_EQ(qelsim_current_format(kQel2Device, &w, &h, &interval, nullptr, 0), 0);
  EXPECT_EQ(interval, 333400) << "a refused format leaves the pin as it was";
}

TEST_F(RigCapture, ConnectNeedsTheGrabberToAcceptThePinSubtype) {
  Graph g;
  EXPECT_EQ(g.Build(1, 1920, 1080, 333333, kMjpg, kYuy2), static_cast<HResult>(0x80040207));
  Graph ok;
  EXPECT_EQ(ok.Build(1, 1920, 1080, 333333, kMjpg, kMjpg), kOk);
}

TEST_F(RigCapture, StreamCapabilitiesListTheModelFormats) {
  Graph g;
  ASSERT_EQ(g.Build(2, 1280, 720, 166667, kYuy2, kYuy2), kOk);
  int count = 0, size = 0;
  ASSERT_EQ(g.config->GetNumberOfCapabilities(count, size), kOk);
  EXPECT_EQ(count, 24);
  EXPECT_EQ(size, 128);
  std::vector<std::int64_t> intervals;
  unsigned char caps[128];
  for (int i = 0; i < 12; ++i) {
    std::unique_ptr<MediaType> type;
    ASSERT_EQ(g.config->GetStreamCaps(i, type, caps), kOk);
    EXPECT_TRUE(type->subtype == kYuy2);
    platform::VideoInfoHeader vih;
    ASSERT_TRUE(type->GetVideoInfo(vih));
    intervals.push_back(vih.AvgTimePerFrame);
  }
  EXPECT_EQ(intervals, (std::vector<std::int64_t>{166667, 333333, 1000000, 2000000, 83333, 166667,
                                                  333333, 666667, 41667, 83333, 166667, 250000}));
  std::unique_ptr<MediaType> type;
  EXPECT_EQ(g.config->GetStreamCaps(24, type, caps), platform::kFalse);
  EXPECT_EQ(g.config->GetStreamCaps(0, type, nullptr), platform::kPointer);

  qelsim_add_format(kQel2Device, 320, 240, 333333, "RGB24", 0);
  ASSERT_EQ(g.config->GetStreamCaps(24, type, caps), kOk);
  EXPECT_TRUE(type->formattype == platform::kFormatVideoInfo2);
}

TEST_F(RigCapture, ReleasingARunningGraphStopsItsStream) {
  auto g = std::make_unique<Graph>();
  ASSERT_EQ(g->Build(3, 640, 480, 333333, kYuy2, kYuy2), kOk);
  ASSERT_EQ(g->control->Run(), kOk);
  qelsim_advance_ms(1);
  // Every interface of the graph goes; the graph's stream with the last one.
  g.reset();
  qelsim_advance_ms(1000);
  EXPECT_EQ(qelsim_frames_delivered(kWebcamDevice), 1);

  // A removed device stops delivering, and the graph can still be released.
  Graph h;
  ASSERT_EQ(h.Build(3, 640, 480, 333333, kYuy2, kYuy2), kOk);
  ASSERT_EQ(h.control->Run(), kOk);
  qelsim_advance_ms(1);
  ASSERT_EQ(qelsim_remove_device(kWebcamDevice), 0);
  qelsim_advance_ms(1000);
  EXPECT_EQ(h.recorder->Frames().size(), 1u);
}

TEST_F(RigCapture, FaultsSkipThenFailTheirCount) {
  ASSERT_EQ(qelsim_inject_fault(-1, "NoSuchOperation", 0, 1), -1);
  ASSERT_EQ(qelsim_inject_fault(99, "Run", 0, 1), -1);
  ASSERT_EQ(qelsim_inject_fault(kQel2Device, "Run", 1, 2), 0);
  Graph qel5, qel2;
  ASSERT_EQ(qel5.Build(1, 1920, 1080, 333333, kYuy2, kYuy2), kOk);
  ASSERT_EQ(qel2.Build(2, 1280, 720, 333333, kYuy2, kYuy2), kOk);
  EXPECT_EQ(qel5.control->Run(), kOk) << "another device's fault";
  EXPECT_EQ(qel2.control->Run(), kOk) << "skipped";
  qel2.control->Stop();
  EXPECT_NE(qel2.control->Run(), kOk);
  EXPECT_NE(qel2.control->Run(), kOk);
  EXPECT_EQ(qel2.control->Run(), kOk) << "count used up";

  // A failing Stop leaves the stream running; the wait then times out.
  qelsim_inject_fault(-1, "Stop", 0, 1);
  long code;
  EXPECT_NE(qel2.control->Stop(), kOk);
  EXPECT_EQ(qel2.events->WaitForCompletion(3000, code), platform::kAbort);
  EXPECT_EQ(qel2.control->Stop(), kOk);
  EXPECT_EQ(qel2.events->WaitForCompletion(3000, code), platform::kWrongState);
  qelsim_inject_fault(-1, "WaitForCompletion", 0, -1);
  EXPECT_EQ(qel2.events->WaitForCompletion(3000, code), platform::kAbort);

  qelsim_inject_fault(-1, "CreateFilterGraph", 0, -1);
  Graph none;
  EXPECT_NE(none.Build(1, 1920, 1080, 333333, kYuy2, kYuy2), kOk);
}

TEST_F(RigCapture, ComIsCountedPerThreadAndRequiredForObjects) {
  platform::Platform& p = ActivePlatform();
  EXPECT_EQ(qelsim_com_depth(), 1);
  EXPECT_EQ(p.CoInitializeEx(), platform::kFalse);
  EXPECT_EQ(qelsim_com_depth(), 2);
  p.CoUninitialize();
  p.CoUninitialize();
  EXPECT_EQ(qelsim_com_depth(), 0);
  p.CoUninitialize();  // unbalanced: no effect
  EXPECT_EQ(qelsim_com_depth(), 0);
  std::unique_ptr<platform::GraphBuilder> graph;
  EXPECT_NE(p.CreateFilterGraph(graph), kOk);
  qelsim_inject_fault(-1, "CoInitializeEx", 0, 1);
  EXPECT_NE(p.CoInitializeEx(), kOk);
  EXPECT_EQ(qelsim_com_depth(), 0);
  EXPECT_EQ(p.CoInitializeEx(), kOk);  // balanced by TearDown
  EXPECT_EQ(p.WideToAnsi(u"Cam\u00e9ra \U0001F4F7"), "Cam?ra ?");
}

}  // namespace
}  // namespace qel::test
