// The capture side of the Windows backend against the system's filter graph,
// capture graph builder and sample grabber (Wine's, in CI), with the test
// camera as the capture device. A device enumerator of our own presents the
// camera under a plug-and-play display name.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_context.h"
#include "capture/frame_store.h"
#include "capture/sample_grabber_cb.h"
#include "platform/win32/grabber_callback.h"
#include "platform/win32/win32_platform.h"
#include "qel/qel.h"
#include "win32/careless_grabber.h"
#include "win32/fake_device_enum.h"
#include "win32/test_camera.h"

// While set, allocations of at least this many bytes fail, as on a system
// out of memory (0: none fail).
std::atomic<std::size_t> failAllocationsFrom{0};

void* operator new(std::size_t size) {
  const std::size_t limit = failAllocationsFrom.load();
  void* block = limit != 0 && size >= limit ? nullptr : std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
// Out of line, so that the compiler does not pair new[] with free.
[[gnu::noinline]] void FreeBlock(void* block) noexcept { std::free(block); }
void operator delete(void* block) noexcept { FreeBlock(block); }
void operator delete[](void* block) noexcept { FreeBlock(block); }
void operator delete(void* block, std::size_t) noexcept { FreeBlock(block); }
void operator delete[](void* block, std::size_t) noexcept { FreeBlock(block); }

namespace qel::test {
namespace {

using platform::HResult;
using platform::kOk;
using namespace std::chrono_literals;

constexpr wchar_t kPnpName[] =
    L"@device:pnp:\\\\?\\usb#vid_1d6b&pid_0102&mi_00#7&2f3e4d5c&0&0000#"
    L"{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

class CountingCallback final : public platform::SampleGrabberCallback {
 public:
  HResult QueryInterface(const platform::Guid&, void**) override { return platform::kNoInterface; }
  unsigned long AddRef() override { return 2; }
  unsigned long Release() override { return 1; }
  HResult SampleCB(double, void*) override { return kOk; }
  HResult BufferCB(double sampleTime, std::uint8_t* buffer, long length) override {
    std::lock_guard lock(mutex_);
    times_.push_back(sampleTime);
    lengths_.push_back(length);
    if (buffer != nullptr && length >= 4) {
      std::int32_t number = 0;
      std::memcpy(&number, buffer, sizeof number);
      numbers_.push_back(number);
    }
    return kOk;
  }
  std::size_t Frames() {
    std::lock_guard lock(mutex_);
    return times_.size();
  }
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (Frames() < count) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  std::vector<double> times_;
  std::vector<long> lengths_;
  std::vector<std::int32_t> numbers_;
  std::mutex mutex_;
};

class CaptureBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ASSERT_TRUE(initialised_);
    CameraLog().Reset();
    devices_ = std::make_unique<FakeDeviceEnumClass>(
        std::vector<FakeVideoDevice>{{kPnpName, L"Test Camera", &NewTestCamera}});
    ASSERT_TRUE(devices_->registered());
    // Frames flow long before a live graph's wait for completion ends.
    Capture().completionWaitMs = 10;
  }
  void TearDown() override {
    Capture().completionWaitMs = kGraphWaitMs;
    Capture().firstFrameWaitMs = kGraphWaitMs;
    devices_.reset();
    if (initialised_) CoUninitialize();
  }

  platform::Platform& backend_ = platform::win32::HardwarePlatform();
  std::unique_ptr<FakeDeviceEnumClass> devices_;
  bool initialised_ = false;
};

std::unique_ptr<platform::Pin> PinOf(platform::BaseFilter& filter, platform::PinDirection wanted) {
  std::unique_ptr<platform::EnumPins> pins;
  if (filter.EnumPins(pins) != kOk || !pins) return nullptr;
  for (std::unique_ptr<platform::Pin> pin; pins->Next(pin) == kOk && pin;) {
    platform::PinDirection direction{};
    if (pin->QueryDirection(direction) == kOk && direction == wanted) return pin;
  }
  return nullptr;
}

// The seam's calls in the order the capture-graph build makes them, each
// reaching the system's objects: enumeration, binding, format, grabber,
// connection, callback, properties, run and stop.
TEST_F(CaptureBackendTest, GraphStreamsFromTheCameraThroughTheSampleGrabberAndStops) {
  std::unique_ptr<platform::CreateDevEnum> devEnum;
  ASSERT_EQ(backend_.CreateSystemDeviceEnum(devEnum), kOk);
  std::unique_ptr<platform::EnumMoniker> monikers;
  ASSERT_EQ(devEnum->CreateVideoInputEnumerator(monikers), kOk);
  std::unique_ptr<platform::Moniker> moniker;
  ASSERT_EQ(monikers->Next(moniker), kOk);
  std::u16string displayName;
  ASSERT_EQ(moniker->GetDisplayName(displayName), kOk);
  EXPECT_EQ(backend_.WideToAnsi(displayName),
            "@device:pnp:\\\\?\\usb#vid_1d6b&pid_0102&mi_00#7&2f3e4d5c&0&0000#"
            "{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
  std::unique_ptr<platform::PropertyBag> bag;
  ASSERT_EQ(moniker->BindToStorage(bag), kOk);
  std::u16string friendlyName;
  ASSERT_EQ(bag->Read(u"FriendlyName", friendlyName), kOk);
  EXPECT_EQ(friendlyName, u"Test Camera");
  std::unique_ptr<platform::BaseFilter> camera;
  ASSERT_EQ(moniker->BindToObject(camera), kOk);
  std::unique_ptr<platform::Moniker> none;
  EXPECT_EQ(monikers->Next(none), platform::kFalse);
  EXPECT_FALSE(none);

  std::unique_ptr<platform::GraphBuilder> graph;
  ASSERT_EQ(backend_.CreateFilterGraph(graph), kOk);
  ASSERT_EQ(graph->AddFilter(*camera, u"Video Capture 0"), kOk);
  std::unique_ptr<platform::CaptureGraphBuilder> builder;
  ASSERT_EQ(backend_.CreateCaptureGraphBuilder(builder), kOk);
  ASSERT_EQ(builder->SetFiltergraph(*graph), kOk);
  std::unique_ptr<platform::StreamConfig> config;
  ASSERT_EQ(builder->FindCaptureStreamConfig(*camera, config), kOk);

  // The format round trip: the block comes back as the pin laid it out, and
  // an edited copy of one the pin offers reaches it.
  std::unique_ptr<platform::MediaType> format;
  ASSERT_EQ(config->GetFormat(format), kOk);
  platform::VideoInfoHeader video;
  ASSERT_TRUE(format->GetVideoInfo(video));
  EXPECT_EQ(video.bmiHeader.biWidth, 320);
  EXPECT_EQ(video.bmiHeader.biHeight, 240);
  EXPECT_EQ(format->subtype, platform::FourccSubtype(platform::Fourcc('Y', 'U', 'Y', '2')));
  int count = 0, capsSize = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(count, capsSize), kOk);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(capsSize, platform::kVideoStreamConfigCapsSize);
  std::vector<std::uint8_t> caps(static_cast<std::size_t>(capsSize));
  std::unique_ptr<platform::MediaType> second;
  ASSERT_EQ(config->GetStreamCaps(1, second, caps.data()), kOk);
  ASSERT_TRUE(second->GetVideoInfo(video));
  EXPECT_EQ(video.bmiHeader.biWidth, 160);
  video.AvgTimePerFrame = 500000;
  second->SetVideoInfo(video);
  ASSERT_EQ(config->SetFormat(*second), kOk);
  EXPECT_EQ(CameraLog().formatWidth, 160);
  EXPECT_EQ(CameraLog().formatHeight, 120);
  EXPECT_EQ(CameraLog().formatInterval, 500000);
  config.reset();

  std::unique_ptr<platform::BaseFilter> grabberFilter;
  ASSERT_EQ(backend_.CreateSampleGrabber(grabberFilter), kOk);
  std::unique_ptr<platform::SampleGrabber> grabber;
  ASSERT_EQ(grabberFilter->QuerySampleGrabber(grabber), kOk);
  platform::MediaType grabberType;
  grabberType.majortype = platform::kMediaTypeVideo;
  grabberType.subtype = platform::FourccSubtype(platform::Fourcc('Y', 'U', 'Y', '2'));
  grabberType.formattype = platform::kFormatVideoInfo;
  ASSERT_EQ(grabber->SetMediaType(grabberType), kOk);
  ASSERT_EQ(graph->AddFilter(*grabberFilter, u"Grabber 0"), kOk);
  {
    auto output = PinOf(*camera, platform::PinDirection::kOutput);
    auto input = PinOf(*grabberFilter, platform::PinDirection::kInput);
    ASSERT_TRUE(output && input);
    ASSERT_EQ(graph->Connect(*output, *input), kOk);
  }
  ASSERT_EQ(grabber->SetBufferSamples(false), kOk);
  ASSERT_EQ(grabber->SetOneShot(false), kOk);
  auto counting = std::make_shared<CountingCallback>();
  CountingCallback& callback = *counting;
  ASSERT_EQ(grabber->SetCallback(counting, 1), kOk);

  // Properties: the camera has brightness, contrast and hue, and no camera control.
  std::unique_ptr<platform::VideoPropertySet> amp;
  ASSERT_EQ(camera->QueryVideoProcAmp(amp), kOk);
  long min = 0, max = 0, step = 0, defaultValue = 0, flags = 0;
  ASSERT_EQ(amp->GetRange(0, min, max, step, defaultValue, flags), kOk);
  EXPECT_EQ(max, 64);
  EXPECT_NE(amp->GetRange(9, min, max, step, defaultValue, flags), kOk);
  EXPECT_EQ(amp->Set(0, 40, 2), kOk);
  long value = 0;
  EXPECT_EQ(amp->Get(0, value, flags), kOk);
  EXPECT_EQ(value, 40);
  std::unique_ptr<platform::VideoPropertySet> control;
  EXPECT_EQ(camera->QueryCameraControl(control), platform::kNoInterface);
  EXPECT_FALSE(control);

  std::unique_ptr<platform::MediaEvent> events;
  ASSERT_EQ(graph->QueryMediaEvent(events), kOk);
  std::unique_ptr<platform::MediaControl> mediaControl;
  ASSERT_EQ(graph->QueryMediaControl(mediaControl), kOk);
  ASSERT_EQ(mediaControl->Run(), kOk);
  ASSERT_TRUE(callback.WaitForFrames(5, 5s));
  {
    std::lock_guard lock(callback.mutex_);
    EXPECT_EQ(callback.lengths_.front(), 160 * 120 * 2);
    // Frames arrive in order, each with its own, later sample time.
    for (std::size_t i = 1; i < callback.times_.size(); ++i) {
      EXPECT_GT(callback.times_[i], callback.times_[i - 1]);
      EXPECT_EQ(callback.numbers_[i], callback.numbers_[i - 1] + 1);
    }
  }

  EXPECT_EQ(mediaControl->Stop(), kOk);
  const std::size_t afterStop = callback.Frames();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(callback.Frames(), afterStop);
  EXPECT_EQ(grabber->SetCallback(nullptr, 1), kOk);

  // Releasing the graph and every wrapper releases the camera.
  mediaControl.reset();
  events.reset();
  amp.reset();
  grabber.reset();
  grabberFilter.reset();
  builder.reset();
  graph.reset();
  camera.reset();
  moniker.reset();
  EXPECT_EQ(CameraLog().instances, 0);
}

// The whole library over the backend: listing, opening (graph built, format
// set, first frame), frames, a video-class control and closing.
TEST_F(CaptureBackendTest, LibraryOpensStreamsControlsAndClosesTheCamera) {
  char list[256] = "x";
  ASSERT_EQ(QelGetDevice(list, sizeof list), 1);
  EXPECT_STREQ(list, "Test Camera");

  ASSERT_EQ(QelOpen(0, 160, 120, 20.0, "YUY2"), 1);  // a camera for frames only
  EXPECT_EQ(CameraLog().formatWidth, 160);
  EXPECT_EQ(CameraLog().formatHeight, 120);
  EXPECT_EQ(CameraLog().formatInterval, 500000);
  EXPECT_EQ(QelGetBufferSize(0), 160 * 120 * 2);

  std::vector<unsigned char> frame(160 * 120 * 2);
  const auto end = std::chrono::steady_clock::now() + 3s;
  bool received = false;
  while (!received && std::chrono::steady_clock::now() < end) {
    received = QelReceiveImage(0, frame.data()) == 1;
    if (!received) std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(received);
  EXPECT_EQ(frame[100], 0x80);

  EXPECT_EQ(QelSetLed(0, 40), 1);
  int32_t level = -1;
  EXPECT_EQ(QelGetLed(0, &level), 1);
  EXPECT_EQ(level, 40);
  EXPECT_EQ(CameraLog().brightness, 40);

  QelClose(0);
  EXPECT_EQ(QelGetBufferSize(0), 0);
  const int sent = CameraLog().framesSent;
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(CameraLog().framesSent, sent);
  EXPECT_EQ(CameraLog().instances, 0);
}

// A camera pulled out while open: its driver's EC_DEVICE_LOST ends a wait.
TEST_F(CaptureBackendTest, UnpluggedCameraEndsTheWaitWithDeviceLost) {
  ASSERT_EQ(QelOpenEx(0, 160, 120, 20.0, "YUY2", QEL_OPEN_FAST), 1);
  std::vector<unsigned char> frame(160 * 120 * 2);
  QelFrameInfo info{};
  info.size = sizeof info;
  ASSERT_EQ(QelWaitImage(0, frame.data(), 160 * 120 * 2, &info, 3000), 1);
  EXPECT_EQ(info.width, 160);
  EXPECT_STREQ(info.format, "YUY2");
  CameraLog().unplugged = true;
  int32_t got = 1;
  for (int i = 0; i < 5 && got == 1; ++i) {
    got = QelWaitImage(0, frame.data(), 160 * 120 * 2, &info, 3000);
  }
  EXPECT_EQ(got, -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
  QelClose(0);
}

// Opened on a worker thread, closed on a thread with COM of its own (a UI
// thread's single-threaded apartment): afterwards neither thread's COM state
// is the library's doing. The worker is not left initialised, the closing
// thread keeps its own initialisation, and frames flow after the opening
// thread has gone.
TEST_F(CaptureBackendTest, OpenAndCloseOnDifferentThreadsLeaveEachThreadsComAsItWas) {
  HRESULT workerAfterOpen = E_FAIL;
  std::thread([&workerAfterOpen] {
    ASSERT_EQ(QelOpen(0, 160, 120, 30.0, "YUY2"), 1);
    workerAfterOpen = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(workerAfterOpen)) CoUninitialize();
  }).join();
  EXPECT_EQ(workerAfterOpen, S_OK) << "the library left the opening thread initialised";

  std::vector<unsigned char> frame(160 * 120 * 2);
  const auto end = std::chrono::steady_clock::now() + 3s;
  while (QelReceiveImage(0, frame.data()) != 1 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(frame[100], 0x80);

  HRESULT closerAfterClose = E_FAIL;
  std::thread([&closerAfterClose] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    QelClose(0);
    closerAfterClose = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(closerAfterClose)) CoUninitialize();
    CoUninitialize();
  }).join();
  EXPECT_EQ(closerAfterClose, S_FALSE) << "the closing thread lost its own initialisation";
  EXPECT_EQ(CameraLog().instances, 0);
}

// A change of subtype and size gives the camera a media type whose image
// fields agree with them (the test camera refuses any other, as a driver may).
TEST_F(CaptureBackendTest, EditedFormatAgreesWithTheSubtypeAndSizeAskedFor) {
  ASSERT_EQ(QelOpen(0, 320, 240, 30.0, "MJPG"), 1);
  EXPECT_EQ(CameraLog().formatFourcc, MAKEFOURCC('M', 'J', 'P', 'G'));
  QelClose(0);
  ASSERT_EQ(QelOpen(0, 160, 120, 30.0, "YUY2"), 1);
  EXPECT_EQ(CameraLog().formatFourcc, MAKEFOURCC('Y', 'U', 'Y', '2'));
  EXPECT_EQ(CameraLog().formatWidth, 160);
  QelClose(0);
}

// A sample grabber that counts no reference on its callback and calls it as
// long as it holds it: the callback lives while it is set, and is cleared
// after the graph stopped and before the grabber is released, on a close and
// on a build that fails after Run.
TEST_F(CaptureBackendTest, GrabberCallbackIsClearedAfterTheStopAndBeforeTheRelease) {
  CarelessGrabberClass grabberClass;
  ASSERT_TRUE(grabberClass.registered());
  ASSERT_EQ(QelOpen(0, 160, 120, 30.0, "YUY2"), 1);
  std::vector<unsigned char> frame(160 * 120 * 2);
  const auto end = std::chrono::steady_clock::now() + 3s;
  while (QelReceiveImage(0, frame.data()) != 1 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(frame[100], 0x80);
  QelClose(0);

  CameraLog().silent = true;
  Capture().firstFrameWaitMs = 50;
  EXPECT_EQ(QelOpen(0, 160, 120, 30.0, "YUY2"), -1);

  EXPECT_GT(CarelessGrabberLog().samplesPassed, 0);
  EXPECT_EQ(CarelessGrabberLog().clearedWhileRunning, 0);
  EXPECT_EQ(CarelessGrabberLog().calledAtRelease, 0);
  EXPECT_EQ(CarelessGrabberLog().instances, 0);
}

// Run may answer S_FALSE: the graph reaches the running state
// asynchronously, which is success.
TEST_F(CaptureBackendTest, RunCompletingAsynchronouslyOpensTheCamera) {
  CameraLog().runAnswersFalse = true;
  ASSERT_EQ(QelOpen(0, 160, 120, 30.0, "YUY2"), 1);
  EXPECT_GT(CameraLog().framesSent, 0);
  QelClose(0);
  EXPECT_EQ(CameraLog().instances, 0);
}

// The text a device name becomes in the ANSI code page, read back; empty
// when it holds a split character.
std::wstring FromAnsi(const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, wide.data(), units);
  return wide;
}

// Names too long for the library's buffers are cut on a character boundary
// of a double-byte ANSI code page (the suite runs this program in one).
TEST_F(CaptureBackendTest, LongNamesAreCutBetweenDoubleByteCharacters) {
  CPINFO codePage{};
  if (!GetCPInfo(CP_ACP, &codePage) || codePage.MaxCharSize < 2) {
    GTEST_SKIP() << "the ANSI code page has single-byte characters only";
  }
  const std::wstring kana(600, L'\x3042');  // two bytes each
  const std::wstring displayName = kPnpName + kana;
  devices_.reset();
  devices_ = std::make_unique<FakeDeviceEnumClass>(
      std::vector<FakeVideoDevice>{{displayName, kana, &NewTestCamera}});

  std::vector<char> list(2048);
  ASSERT_EQ(QelGetDevice(list.data(), static_cast<int32_t>(list.size())), 1);
  EXPECT_EQ(FromAnsi(list.data()), kana.substr(0, 127)) << "255 bytes hold 127 characters";

  ASSERT_EQ(QelOpen(0, 160, 120, 30.0, "YUY2"), 1);
  const std::optional<std::string> path = RunningDevicePath(0);
  QelClose(0);
  ASSERT_TRUE(path);
  EXPECT_GE(path->size(), 1022u);
  const std::wstring pathRead = FromAnsi(path->c_str());
  EXPECT_FALSE(pathRead.empty());
  EXPECT_EQ(pathRead, displayName.substr(0, pathRead.size()));
}

// A frame whose buffer cannot be allocated on the streaming thread is
// dropped; nothing is thrown into the sample grabber, and the stream goes on.
TEST(GrabberCallback, FrameThatCannotBeStoredIsDroppedWithoutAnException) {
  auto frames = std::make_shared<FrameStore>();
  auto* adapter =
      new platform::win32::GrabberCallbackAdapter(std::make_shared<vrk_SampleGrabberCB>(0, frames));
  std::vector<BYTE> small(100, 1), large(5000, 2);
  EXPECT_EQ(adapter->BufferCB(0.1, small.data(), 100), S_OK);

  failAllocationsFrom = 1000;
  HRESULT dropped = S_OK;
  EXPECT_NO_THROW(dropped = adapter->BufferCB(0.2, large.data(), 5000));
  failAllocationsFrom = 0;
  EXPECT_NE(dropped, S_OK);
  std::vector<std::uint8_t> out(5000);
  EXPECT_EQ(frames->TakeLatest(out.data()), 100) << "the frame before stays the latest";

  EXPECT_EQ(adapter->BufferCB(0.3, large.data(), 5000), S_OK);
  EXPECT_EQ(frames->TakeLatest(out.data()), 5000);
  adapter->Release();
}

}  // namespace
}  // namespace qel::test
