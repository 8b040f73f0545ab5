// QelSetFrameCallback: a function of the application called with every frame
// the camera's stream stores (the store's listener, capture/frame_store.h).
#include <memory>
#include <optional>

#include "capture/capture.h"
#include "capture/frame_store.h"
#include "capture/open_stream.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "qel/qel.h"

QelBool qel::exports::QelSetFrameCallback(int32_t key, QelFrameCallback callback, void* user) {
  const std::optional<qel::OpenStream> stream = qel::FindOpenStream(key);
  if (!stream) return 0;
  const std::shared_ptr<qel::FrameStore>& frames = stream->frames;
  // An unplug the graph has reported but no call has taken yet ends the
  // stream here, so that a new callback is refused for the true reason.
  if (frames && callback != nullptr) qel::PollDeviceLost(stream->slot.captureIndex);
  if (frames && frames->SetListener(qel::FrameListener{callback, user, key})) return 1;
  // Removing from a stream that has already ended has nothing left to do.
  if (callback == nullptr) return 1;
  if (frames && frames->Ended() == qel::StreamEnd::kDeviceLost) {
    return qel::Fail(qel::ErrorCode::kDeviceLost, "the camera under key %d was unplugged",
                     static_cast<int>(key));
  }
  return qel::Fail(qel::ErrorCode::kNoCamera, "the camera under key %d is not streaming",
                   static_cast<int>(key));
}
