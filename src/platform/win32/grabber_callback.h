// The COM object handed to the sample grabber: an ISampleGrabberCB that
// forwards every sample to the library's SampleGrabberCallback.
//
// The adapter shares the library's callback, so the callback lives as long
// as the adapter does. The adapter itself lives while anyone counts a
// reference on it: the backend's grabber wrapper holds one for as long as the
// grabber has it, since a grabber need not count one of its own.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <atomic>
#include <memory>

#include "platform/platform.h"

namespace qel::platform::win32 {

class GrabberCallbackAdapter final : public ISampleGrabberCB {
 public:
  // Starts with one reference, held by the creator.
  explicit GrabberCallbackAdapter(std::shared_ptr<SampleGrabberCallback> target)
      : target_(std::move(target)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, long length) override;

 private:
  ~GrabberCallbackAdapter() = default;

  std::atomic<ULONG> references_{1};
  const std::shared_ptr<SampleGrabberCallback> target_;
};

}  // namespace qel::platform::win32
