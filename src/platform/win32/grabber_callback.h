// The COM object handed to the sample grabber: an ISampleGrabberCB that
// forwards every sample to the library's SampleGrabberCallback.
//
// The grabber counts references on this object, not on the library's
// callback, which is borrowed: the library keeps it alive until the graph
// holding the grabber is released, and so until the grabber stops calling.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <atomic>

#include "platform/platform.h"

namespace qel::platform::win32 {

class GrabberCallbackAdapter final : public ISampleGrabberCB {
 public:
  // Starts with one reference, held by the creator.
  explicit GrabberCallbackAdapter(SampleGrabberCallback* target) : target_(target) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, long length) override;

 private:
  ~GrabberCallbackAdapter() = default;

  std::atomic<ULONG> references_{1};
  SampleGrabberCallback* const target_;
};

}  // namespace qel::platform::win32
