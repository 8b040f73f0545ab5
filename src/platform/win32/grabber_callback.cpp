#include "platform/win32/grabber_callback.h"

namespace qel::platform::win32 {

HRESULT STDMETHODCALLTYPE GrabberCallbackAdapter::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  // Answered here: the library's callback is no COM object, so its own answer
  // (a pointer to itself) must never reach the grabber.
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) {
    *object = static_cast<ISampleGrabberCB*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE GrabberCallbackAdapter::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE GrabberCallbackAdapter::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE GrabberCallbackAdapter::SampleCB(double sampleTime,
                                                           IMediaSample* sample) {
  return target_->SampleCB(sampleTime, sample);
}

HRESULT STDMETHODCALLTYPE GrabberCallbackAdapter::BufferCB(double sampleTime, BYTE* buffer,
                                                           long length) {
  return target_->BufferCB(sampleTime, buffer, length);
}

}  // namespace qel::platform::win32
