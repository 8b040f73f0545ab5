// A small camera of our own for the Windows backend's tests: a source filter
// with one capture pin (IAMStreamConfig, and IKsPropertySet for its pin
// category) that streams YUY2 frames from a thread of its own while the graph
// runs, and IAMVideoProcAmp on the filter with brightness, contrast and hue.
// Created through a class factory that a test registers in its process.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <cstdint>

namespace qel::test {

// {4F0C7D51-9A1E-4C8B-A6C2-3D5E7F901A2B}
inline constexpr CLSID kTestCameraClsid = {
    0x4f0c7d51, 0x9a1e, 0x4c8b, {0xa6, 0xc2, 0x3d, 0x5e, 0x7f, 0x90, 0x1a, 0x2b}};

// The capabilities the pin offers, at 30 frames per second: YUY2 at two
// sizes and MJPG at the larger one.
struct TestCameraFormat {
  DWORD fourcc;
  int width;
  int height;
};
inline constexpr TestCameraFormat kTestCameraFormats[] = {
    {MAKEFOURCC('Y', 'U', 'Y', '2'), 320, 240},
    {MAKEFOURCC('Y', 'U', 'Y', '2'), 160, 120},
    {MAKEFOURCC('M', 'J', 'P', 'G'), 320, 240}};
inline constexpr REFERENCE_TIME kTestCameraInterval = 333333;

// What the test cameras of this process saw, for the tests to check.
struct TestCameraLog {
  std::atomic<int> instances{0};       // filters alive
  std::atomic<int> framesSent{0};      // samples the pin delivered
  std::atomic<DWORD> formatFourcc{0};  // of the last SetFormat
  std::atomic<int> formatWidth{0};
  std::atomic<int> formatHeight{0};
  std::atomic<long long> formatInterval{0};
  std::atomic<long> brightness{0};  // the VideoProcAmp values
  std::atomic<long> contrast{0};
  std::atomic<long> hue{1};
  // The source completes its move to paused later, so that the graph's Run
  // answers S_FALSE.
  std::atomic<bool> runAnswersFalse{false};
  std::atomic<bool> silent{false};  // the stream sends no frames
  // The camera is pulled out: the stream reports EC_DEVICE_LOST to the graph
  // once and sends nothing more.
  std::atomic<bool> unplugged{false};
  void Reset();
};
TestCameraLog& CameraLog();

// A new filter, as IBaseFilter with one reference.
IBaseFilter* NewTestCamera();

// Registers the camera's class object in this process (CoRegisterClassObject)
// while it lives. COM must be initialised.
class TestCameraClass {
 public:
  TestCameraClass();
  ~TestCameraClass();
  TestCameraClass(const TestCameraClass&) = delete;
  TestCameraClass& operator=(const TestCameraClass&) = delete;
  bool registered() const { return cookie_ != 0; }

 private:
  DWORD cookie_ = 0;
};

// A class factory whose CreateInstance calls make; one reference.
IClassFactory* NewClassFactory(HRESULT (*make)(REFIID iid, void** object));

// An enumerator of a filter's one pin; one reference.
IEnumPins* NewPinEnum(IPin* pin);

// Deep copy of a media type into task memory, and its release.
void CopyMediaType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from);
void ClearMediaType(AM_MEDIA_TYPE& type);

}  // namespace qel::test
