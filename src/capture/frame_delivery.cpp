// Handing the latest frame to the application: QelReceiveImage never waits,
// copies a frame only when one arrived since the last it handed out, and
// corrects the copy's defective pixels while the camera's correction is on.
#include <memory>
#include <mutex>
#include <optional>

#include "capture/capture.h"
#include "capture/frame_store.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "hid/defect_correction.h"
#include "qel/qel.h"

QelBool qel::exports::QelReceiveImage(int32_t key, unsigned char* buffer) {
  if (key == qel::kNoKey || buffer == nullptr) return 0;
  const std::optional<qel::CameraSlot> slot = qel::CameraTable::Instance().FindSlot(key);
  if (!slot || slot->captureIndex == -1) return 0;
  const std::shared_ptr<qel::FrameStore> frames = qel::RunningFrames(slot->captureIndex);
  if (!frames) return 0;
  const std::int64_t length = frames->TakeLatest(buffer);
  if (length < 0) return 0;
  if (slot->sizeIndex != -1 && slot->defectCorrection == 1) {
    qel::CorrectDefectPixels(*slot, slot->sizeIndex, buffer, static_cast<std::size_t>(length));
  }
  return 1;
}

int32_t qel::exports::QelGetBufferSize(int32_t key) {
  if (key == qel::kNoKey) return 0;
  const std::optional<qel::CameraSlot> slot = qel::CameraTable::Instance().FindSlot(key);
  if (!slot) return 0;
  const std::shared_ptr<qel::FrameStore> frames = qel::RunningFrames(slot->captureIndex);
  return frames ? frames->FrameLength() : 0;
}
