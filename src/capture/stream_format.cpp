// QelGetStreamFormat: what the camera's running stream delivers.
#include <cstring>
#include <optional>

#include "capture/capture.h"
#include "capture/open_stream.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "qel/qel.h"

QelBool qel::exports::QelGetStreamFormat(int32_t key, int32_t* width, int32_t* height,
                                         double* frameRate, char* format, int32_t formatSize) {
  const std::optional<qel::CameraSlot> slot = qel::FindOpenCamera(key);
  if (!slot) return 0;
  std::optional<qel::RunningFormat> running = qel::RunningStreamFormat(slot->captureIndex);
  if (!qel::StillOpen(*slot)) running.reset();  // another camera's stream at the position
  if (!running) {
    return qel::Fail(qel::ErrorCode::kNoCamera, "the camera under key %d is not streaming",
                     static_cast<int>(key));
  }
  if (format != nullptr) {
    const std::size_t length = strnlen(running->format, sizeof running->format);
    if (formatSize < 0 || static_cast<std::size_t>(formatSize) <= length) {
      return qel::Fail(qel::ErrorCode::kBufferTooSmall,
                       "the format name \"%s\" needs %d bytes, formatSize is %d", running->format,
                       static_cast<int>(length + 1), formatSize);
    }
    std::memcpy(format, running->format, length + 1);
  }
  if (width != nullptr) *width = running->width;
  if (height != nullptr) *height = running->height;
  if (frameRate != nullptr) *frameRate = running->frameRate;
  return 1;
}
