// A sample grabber of our own, registered in the test process in place of
// the system's: a filter with one input pin that hands every sample to its
// callback on the upstream filter's streaming thread. It is careless as a
// filter may be: it counts no reference on the callback, and calls it for as
// long as it holds it, even as the filter is released.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>

namespace qel::test {

// What the grabbers of this process saw, for the tests to check.
struct GrabberLog {
  std::atomic<int> instances{0};
  std::atomic<int> samplesPassed{0};        // samples handed to a callback
  std::atomic<int> clearedWhileRunning{0};  // SetCallback(null) before the filter stopped
  std::atomic<int> calledAtRelease{0};      // filters released while holding a callback
  void Reset();
};
GrabberLog& CarelessGrabberLog();

// Registers the grabber's class object for CLSID_SampleGrabber while it
// lives. COM must be initialised.
class CarelessGrabberClass {
 public:
  CarelessGrabberClass();
  ~CarelessGrabberClass();
  CarelessGrabberClass(const CarelessGrabberClass&) = delete;
  CarelessGrabberClass& operator=(const CarelessGrabberClass&) = delete;
  bool registered() const { return cookie_ != 0; }

 private:
  DWORD cookie_ = 0;
};

}  // namespace qel::test
