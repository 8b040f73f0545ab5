// The backend against the system's own device enumerator: on a system
// without cameras (Wine's, in CI) the library lists nothing and a capture
// graph finds no video inputs; a filter registered in the video-input
// category is listed under a software display name and binds to the class
// object registered in this process.
//
// These tests change or depend on the registered video inputs of the whole
// system (the Wine prefix), so CTest runs them one at a time.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "capture/media_format.h"
#include "platform/win32/win32_platform.h"
#include "qel/qel.h"
#include "win32/test_camera.h"

namespace qel::test {
namespace {

using platform::kOk;

TEST(EmptySystem, NothingIsListedAndACaptureGraphFindsNoVideoInputs) {
  char list[64] = "unchanged";
  EXPECT_EQ(QelGetDevice(list, sizeof list), 0);
  EXPECT_STREQ(list, "");
  std::snprintf(list, sizeof list, "unchanged");
  EXPECT_EQ(QelGetDeviceWithSerialNo(list, sizeof list), 0);
  EXPECT_STREQ(list, "");

  { EXPECT_EQ(StartCapture(0, 0, 0, 0, 0.0, *SubtypeFromName("YUY2")), kBuildNoVideoInputs); }
  EXPECT_EQ(QelOpen(0, 640, 480, 30.0, "YUY2"), -1);
  EXPECT_EQ(StopCapture(0), kStopNotRunning);
}

class RegisteredFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    initialised_ = true;
    CameraLog().Reset();
    cameraClass_ = std::make_unique<TestCameraClass>();
    ASSERT_TRUE(cameraClass_->registered());
    ASSERT_TRUE(
        SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFilterMapper2, reinterpret_cast<void**>(&mapper_))));
    instance_ = L"qel-test-camera-" + std::to_wstring(GetCurrentProcessId());
    REGFILTER2 filter{};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    ASSERT_TRUE(SUCCEEDED(mapper_->RegisterFilter(kTestCameraClsid, L"QEL Test Camera", nullptr,
                                                  &CLSID_VideoInputDeviceCategory,
                                                  instance_.c_str(), &filter)));
    registered_ = true;
  }
  void TearDown() override {
    if (registered_) {
      mapper_->UnregisterFilter(&CLSID_VideoInputDeviceCategory, instance_.c_str(),
                                kTestCameraClsid);
    }
    if (mapper_ != nullptr) mapper_->Release();
    cameraClass_.reset();
    if (initialised_) CoUninitialize();
  }

  IFilterMapper2* mapper_ = nullptr;
  std::unique_ptr<TestCameraClass> cameraClass_;
  std::wstring instance_;
  bool registered_ = false;
  bool initialised_ = false;
};

TEST_F(RegisteredFilterTest, IsListedUnderASoftwareNameAndBindsToTheProcessClass) {
  platform::Platform& backend = platform::win32::HardwarePlatform();
  std::unique_ptr<platform::CreateDevEnum> devEnum;
  ASSERT_EQ(backend.CreateSystemDeviceEnum(devEnum), kOk);
  std::unique_ptr<platform::EnumMoniker> monikers;
  ASSERT_EQ(devEnum->CreateVideoInputEnumerator(monikers), kOk);

  const std::string instance(instance_.begin(), instance_.end());
  std::unique_ptr<platform::Moniker> ours;
  for (std::unique_ptr<platform::Moniker> moniker; monikers->Next(moniker) == kOk && moniker;) {
    std::unique_ptr<platform::PropertyBag> bag;
    std::u16string name;
    if (moniker->BindToStorage(bag) == kOk && bag->Read(u"FriendlyName", name) == kOk &&
        name == u"QEL Test Camera") {
      ours = std::move(moniker);
      break;
    }
  }
  ASSERT_TRUE(ours);
  std::u16string displayName;
  ASSERT_EQ(ours->GetDisplayName(displayName), kOk);
  EXPECT_EQ(backend.WideToAnsi(displayName),
            "@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\" + instance);

  std::unique_ptr<platform::BaseFilter> filter;
  ASSERT_EQ(ours->BindToObject(filter), kOk);
  EXPECT_EQ(CameraLog().instances, 1);
  std::unique_ptr<platform::VideoPropertySet> amp;
  EXPECT_EQ(filter->QueryVideoProcAmp(amp), kOk);
  amp.reset();
  filter.reset();
  EXPECT_EQ(CameraLog().instances, 0);

  // A software source is not listed, and a graph build finds no
  // plug-and-play device.
  char list[64] = "unchanged";
  EXPECT_EQ(QelGetDevice(list, sizeof list), 0);
  EXPECT_EQ(StartCapture(0, -1, 0, 0, 0.0, *SubtypeFromName("YUY2")), kBuildNoPnpDevice);
}

}  // namespace
}  // namespace qel::test
