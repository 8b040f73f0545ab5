// vrk_SampleGrabberCB: the object the sample grabber calls with every frame
// of one capture index, on the capture framework's streaming thread.
//
// Ownership: the capture graph's build creates it, shared by the capture's
// callback table and by the platform's grabber while the callback is set;
// the teardown clears the grabber's callback and lets go of the table's
// share. Its COM-style reference counting is not used (shared ownership
// stands in for it). It shares the capture's FrameStore, so a frame being
// read by the application outlives the teardown.
#pragma once

#include <memory>

#include "capture/frame_store.h"
#include "platform/platform.h"

namespace qel {

class vrk_SampleGrabberCB final : public platform::SampleGrabberCallback {
 public:
  vrk_SampleGrabberCB(int captureIndex, std::shared_ptr<FrameStore> frames);

  platform::HResult QueryInterface(const platform::Guid& iid, void** object) override;
  unsigned long AddRef() override { return 2; }
  unsigned long Release() override { return 1; }
  platform::HResult SampleCB(double sampleTime, void* sample) override;
  platform::HResult BufferCB(double sampleTime, std::uint8_t* buffer, long length) override;

  int captureIndex() const { return captureIndex_; }

 private:
  const int captureIndex_;
  const std::shared_ptr<FrameStore> frames_;
};

}  // namespace qel
