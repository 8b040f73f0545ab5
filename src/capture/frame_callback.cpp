// QelSetFrameCallback: a function of the application called with every frame
// the camera's stream stores (the store's listener, capture/frame_store.h).
#include <memory>
#include <optional>

#include "capture/capture.h"
#include "capture/frame_store.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "qel/qel.h"

QelBool qel::exports::QelSetFrameCallback(int32_t key, QelFrameCallback callback, void* user) {
  const std::optional<qel::CameraSlot> slot = qel::FindOpenCamera(key);
  if (!slot) return 0;
  const std::shared_ptr<qel::FrameStore> frames = qel::RunningFrames(slot->captureIndex);
  if (!frames || !frames->SetListener(qel::FrameListener{callback, user, key})) {
    // Removing from a stream that has already ended has nothing left to do.
    if (callback == nullptr) return 1;
    return qel::Fail(qel::ErrorCode::kNoCamera, "the camera under key %d is not streaming",
                     static_cast<int>(key));
  }
  return 1;
}
