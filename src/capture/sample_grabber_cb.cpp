#include "capture/sample_grabber_cb.h"

#include <utility>

namespace qel {

using platform::HResult;

vrk_SampleGrabberCB::vrk_SampleGrabberCB(int captureIndex, std::shared_ptr<FrameStore> frames)
    : captureIndex_(captureIndex), frames_(std::move(frames)) {}

HResult vrk_SampleGrabberCB::QueryInterface(const platform::Guid& iid, void** object) {
  if (object == nullptr) return platform::kPointer;
  if (iid == platform::kIidSampleGrabberCB || iid == platform::kIidUnknown) {
    *object = this;  // no reference is added: the object does not count them
    return platform::kOk;
  }
  return platform::kNoInterface;
}

HResult vrk_SampleGrabberCB::SampleCB(double, void*) { return platform::kOk; }

HResult vrk_SampleGrabberCB::BufferCB(double sampleTime, std::uint8_t* buffer, long length) {
  // Only an empty frame before the first real one is refused; the stream
  // itself never fails.
  return frames_->Deliver(sampleTime, buffer, length) ? platform::kOk : platform::kFalse;
}

}  // namespace qel
