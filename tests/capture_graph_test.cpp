#include <string>

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "capture/media_format.h"
#include "core/com_scope.h"
#include "platform/platform.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using CaptureGraph = RigTest;
using EmptyCaptureGraph = EmptyRigTest;

CaptureContext& Context(int index) { return *ContextAt(index); }

int64_t CurrentInterval(int device, int32_t* width = nullptr, int32_t* height = nullptr) {
  int32_t w = 0, h = 0;
  int64_t interval = 0;
  char subtype[16];
  qelsim_current_format(device, &w, &h, &interval, subtype, sizeof subtype);
  if (width) *width = w;
  if (height) *height = h;
  return interval;
}

TEST_F(CaptureGraph, BuildRunsTheDeviceAtItsListingPositionWithFramesFlowing) {
  ASSERT_EQ(StartRigCapture(3, 1, 1280, 720, 30.0), kBuildRunning);
  CaptureContext& context = Context(3);
  EXPECT_EQ(context.running.load(), 1);
  EXPECT_EQ(context.boundDevice, 1);
  char displayName[256];
  qelsim_get_display_name(kQel2Device, displayName, sizeof displayName);
  EXPECT_STREQ(context.devicePath, displayName);
  EXPECT_GT(context.frames->FrameLength(), 0);
  EXPECT_GT(qelsim_frames_delivered(kQel2Device), 0);
  EXPECT_EQ(StopCapture(3), kStopDone);
  EXPECT_EQ(context.running.load(), 0);
  EXPECT_FALSE(context.graphBuilder);
}

TEST_F(CaptureGraph, ZeroRequestsTakeTheLastValuesUsed) {
  ASSERT_EQ(StartRigCapture(0, 2), kBuildRunning) << "the webcam offers 640 x 480 at 30";
  EXPECT_EQ(Context(0).width, 640);
  EXPECT_EQ(Context(0).height, 480);
  EXPECT_EQ(Context(0).frameRate, 30.0);
  EXPECT_EQ(CurrentInterval(kWebcamDevice), 333333);
  StopCapture(0);

  // A build that fails after the size step still sets the last values.
  qelsim_inject_fault(-1, "SetFormat", 0, 1);
  EXPECT_EQ(StartRigCapture(0, 0, 960, 540, 60.0), kBuildFormatRefused);
  ASSERT_EQ(StartRigCapture(0, 0), kBuildRunning);
  int32_t width = 0, height = 0;
  EXPECT_EQ(CurrentInterval(kQel5Device, &width, &height), 166667);
  EXPECT_EQ(width, 960);
  EXPECT_EQ(height, 540);
}

TEST_F(CaptureGraph, FrameRateBecomesARoundedFrameInterval) {
  qelsim_add_format(kWebcamDevice, 640, 480, 400000, "YUY2", 1);
  qelsim_add_format(kWebcamDevice, 640, 480, 1333333, "YUY2", 1);
  ASSERT_EQ(StartRigCapture(0, 2, 640, 480, 25.0), kBuildRunning);
  EXPECT_EQ(CurrentInterval(kWebcamDevice), 400000);
  StopCapture(0);
  ASSERT_EQ(StartRigCapture(0, 2, 640, 480, 7.5), kBuildRunning);
  EXPECT_EQ(CurrentInterval(kWebcamDevice), 1333333);
}

TEST_F(CaptureGraph, RequestedDeviceMinusOneBindsTheFirstPlugAndPlayDevice) {
  ASSERT_EQ(StartRigCapture(0, -1, 1920, 1080, 30.0), kBuildRunning);
  EXPECT_EQ(Context(0).boundDevice, 0);
  EXPECT_EQ(StartRigCapture(1, 3), kBuildNoSuchDevice);
  EXPECT_EQ(Context(1).running.load(), 0);
}

TEST_F(CaptureGraph, PropertyProbeRecordsWhatTheCameraSupports) {
  qelsim_set_property_interfaces(kQel5Device, 1, 0);
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  const auto& supported = Context(0).propertySupported;
  EXPECT_EQ(supported[0], 1);
  EXPECT_EQ(supported[2], 1);
  EXPECT_EQ(supported[3], 0);
  EXPECT_EQ(supported[9], 1);
  EXPECT_EQ(supported[14], 0) << "no camera-control interface, no camera-control flags";
}

struct FaultCase {
  const char* operation;
  int32_t status;
};

void PrintTo(const FaultCase& fault, std::ostream* out) {
  *out << fault.operation << " -> " << fault.status;
}

class CaptureGraphFaults : public RigTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CaptureGraphFaults, EachFailingStepGivesItsStatusAndLeavesNothingBehind) {
  qelsim_inject_fault(-1, GetParam().operation, 0, -1);
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), GetParam().status);
  CaptureContext& context = Context(0);
  EXPECT_EQ(context.buildStatus.load(), GetParam().status);
  EXPECT_EQ(context.running.load(), 0);
  EXPECT_FALSE(context.graphBuilder);
  EXPECT_FALSE(context.captureFilter);
  EXPECT_FALSE(context.frames);
  EXPECT_FALSE(Capture().grabberCallbacks[0]);
}

INSTANTIATE_TEST_SUITE_P(
    AllSteps, CaptureGraphFaults,
    ::testing::Values(FaultCase{"CreateFilterGraph", 3}, FaultCase{"CreateSystemDeviceEnum", 4},
                      FaultCase{"CreateClassEnumerator", 5}, FaultCase{"GetDisplayName", 6},
                      FaultCase{"AddFilter.capture", 7}, FaultCase{"SetFiltergraph", 10},
                      FaultCase{"FindInterface", 11}, FaultCase{"SetFormat", 12},
                      FaultCase{"QueryInterface.SampleGrabber", 13}, FaultCase{"SetMediaType", 14},
                      FaultCase{"AddFilter.grabber", 15}, FaultCase{"Connect", 16},
                      FaultCase{"SetBufferSamples", 17}, FaultCase{"SetOneShot", 18},
                      FaultCase{"SetCallback", 19}, FaultCase{"QueryInterface.MediaEvent", 20},
                      FaultCase{"QueryInterface.MediaControl", 21}, FaultCase{"Run", 22},
                      FaultCase{"BindToObject", 7}, FaultCase{"CreateCaptureGraphBuilder", 10},
                      FaultCase{"GetFormat", 12}, FaultCase{"CreateSampleGrabber", 13},
                      FaultCase{"EnumPins", 16}),
    [](const auto& info) {
      std::string name = info.param.operation;
      for (char& c : name) {
        if (c == '.') c = '_';
      }
      return name;
    });

TEST_F(EmptyCaptureGraph, EmptyCategoryAndSoftwareOnlyDevices) {
  EXPECT_EQ(StartRigCapture(0, 0), kBuildNoVideoInputs);
  qelsim_add_software_source("Virtual Cam");
  EXPECT_EQ(StartRigCapture(0, 0), kBuildNoPnpDevice);
  EXPECT_EQ(Capture().cachedDeviceCount, -1) << "the failed build ended the period";
  EXPECT_EQ(qelsim_com_depth(), 0);
  // A camera plugged in later is found: the next period counts the devices.
  qelsim_add_webcam("Late Cam");
  EXPECT_EQ(StartRigCapture(0, 0, 640, 480, 30.0), kBuildRunning);
  EXPECT_EQ(Capture().cachedDeviceCount, 1);
}

TEST_F(CaptureGraph, RunAndFirstFrameFailuresAreRetriedUpToThreeAttempts) {
  qelsim_inject_fault(-1, "Run", 0, 2);
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning) << "the third attempt runs";
  StopCapture(0);

  qelsim_inject_fault(-1, "Run", 0, 3);
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunFailed);

  // Other failures are not retried: a second attempt would have succeeded.
  qelsim_inject_fault(-1, "Connect", 0, 1);
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildConnectFailed);
}

TEST_F(CaptureGraph, CameraWithoutFramesFailsAfterThreeAttemptsOfSixSeconds) {
  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_NONE);
  const uint32_t start = qelsim_now_ms();
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildNoFirstFrame);
  EXPECT_GE(qelsim_now_ms() - start, 3u * 6000u);
  EXPECT_LT(qelsim_now_ms() - start, 3u * 6000u + 500u);

  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_EMPTY);
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildNoFirstFrame);
  EXPECT_GT(qelsim_frames_delivered(kQel5Device), 0) << "empty samples did arrive";
}

// The period undoes only an initialisation it made itself: a thread whose own
// initialisation the period could not add to keeps it.
TEST_F(CaptureGraph, CapturePeriodUndoesOnlyItsOwnComInitialisation) {
  ASSERT_EQ(platform::ActivePlatform().CoInitializeEx(), platform::kOk);
  qelsim_inject_fault(-1, "CoInitializeEx", 0, 1);
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  EXPECT_EQ(StopCapture(0), kStopDone);
  EXPECT_EQ(qelsim_com_thread_depth(), 1) << "the thread's own initialisation stays";
  platform::ActivePlatform().CoUninitialize();
}

// The first-frame wait measures with the tick count's unsigned difference:
// across the counter's wrap a camera opens as anywhere else, and one that
// never delivers costs exactly three attempts of 3 s waiting and 3 s polling.
TEST_F(CaptureGraph, FirstFrameWaitAcrossTheTickWrapAndItsExactLength) {
  qelsim_set_tick_count(0xFFFFFFFFu - 1500u);
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  StopCapture(0);

  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_NONE);
  uint32_t start = qelsim_now_ms();
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildNoFirstFrame);
  const uint32_t cost = qelsim_now_ms() - start;
  EXPECT_EQ(cost, 3u * (3000u + 3002u));
  qelsim_set_tick_count(0xFFFFFFFFu - 4000u);
  start = qelsim_now_ms();
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildNoFirstFrame);
  EXPECT_EQ(qelsim_now_ms() - start, cost) << "the same across the wrap";
}

TEST_F(CaptureGraph, GrabberNeitherBuffersSamplesNorStopsAfterOne) {
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  int bufferSamples = -1, oneShot = -1;
  ASSERT_EQ(qelsim_get_grabber_settings(kQel5Device, &bufferSamples, &oneShot), 0);
  EXPECT_EQ(bufferSamples, 0);
  EXPECT_EQ(oneShot, 0);
}

// Graphs hold the multithreaded apartment while any exists; the build's own
// COM initialisation is undone before it returns.
TEST_F(CaptureGraph, GraphsHoldTheApartmentAndLeaveNoInitialisationBehind) {
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  EXPECT_EQ(qelsim_mta_usage(), 1);
  EXPECT_EQ(Capture().cachedDeviceCount, 3);
  ASSERT_EQ(StartRigCapture(1, 1, 1280, 720, 30.0), kBuildRunning);
  EXPECT_EQ(qelsim_mta_usage(), 1);
  EXPECT_EQ(qelsim_com_depth(), 0);

  EXPECT_EQ(StopCapture(0), kStopDone);
  EXPECT_EQ(qelsim_mta_usage(), 1) << "one graph still exists";
  EXPECT_EQ(Capture().cachedDeviceCount, 3);
  EXPECT_EQ(StopCapture(1), kStopDone);
  EXPECT_EQ(qelsim_mta_usage(), 0);
  EXPECT_EQ(Capture().cachedDeviceCount, -1);

  qelsim_inject_fault(-1, "SetFormat", 0, 1);
  EXPECT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildFormatRefused);
  EXPECT_EQ(qelsim_mta_usage(), 0) << "a failed build leaves no graph";
  EXPECT_EQ(qelsim_com_depth(), 0);
}

TEST_F(CaptureGraph, RunningContextIsNotBuiltAgain) {
  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  EXPECT_EQ(StartRigCapture(0, 1, 1280, 720, 30.0), kCaptureAlreadyRunning);
  EXPECT_EQ(Context(0).boundDevice, 0);
}

TEST_F(CaptureGraph, StopCaptureCodes) {
  EXPECT_EQ(StopCapture(10), kStopNotRunning);
  EXPECT_EQ(StopCapture(-1), kStopNotRunning);
  EXPECT_EQ(StopCapture(0), kStopNotRunning);

  ASSERT_EQ(StartRigCapture(0, 0, 1920, 1080, 30.0), kBuildRunning);
  qelsim_inject_fault(-1, "WaitForCompletion", 0, 1);
  EXPECT_EQ(StopCapture(0), kStopFailed);
  EXPECT_EQ(Context(0).running.load(), 1) << "nothing released";
  EXPECT_TRUE(Context(0).graphBuilder);

  qelsim_inject_fault(-1, "QueryInterface.MediaControl", 0, 1);
  EXPECT_EQ(StopCapture(0), kStopFailed);
  EXPECT_EQ(StopCapture(0), kStopDone) << "a later stop may try again";
  EXPECT_EQ(Context(0).running.load(), 0);
}

TEST(MediaFormat, NamesAndSubtypes) {
  EXPECT_TRUE(SubtypeFromName("YUY2"));
  EXPECT_TRUE(SubtypeFromName("RGB555"));
  EXPECT_FALSE(SubtypeFromName("yuy2"));
  EXPECT_FALSE(SubtypeFromName("Y16"));
  EXPECT_FALSE(SubtypeFromName(nullptr));

  char text[80];
  EXPECT_EQ(SubtypeToName(*SubtypeFromName("MJPG"), text), 0);
  EXPECT_STREQ(text, "MJPG");
  EXPECT_EQ(SubtypeToName(platform::FourccSubtype(platform::Fourcc('Y', '1', '6', ' ')), text), 0);
  EXPECT_STREQ(text, "Y16");
  platform::Guid unknown = platform::FourccSubtype(0x1F);
  EXPECT_EQ(SubtypeToName(unknown, text), 1);
  EXPECT_STREQ(text, "1F");
}

}  // namespace
}  // namespace qel::test
