#include "camera_controller.h"

#include <chrono>
#include <cstring>
#include <memory>

#include "camera_session.h"
#include "command_support.h"
#include "frame_pipeline.h"
#include "http_error.h"
#include "qel/qel.h"

namespace qelctl::view {
namespace {

// How long one wait for a frame lasts: the frame thread notices a stop
// within it.
constexpr std::int32_t kWaitMs = 100;

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void CameraController::Open(const OpenRequest& request) {
  Close();
  int width = request.width;
  int height = request.height;
  double fps = request.fps;
  const std::string format = CanonicalFormat(request.format);
  if (width == 0 || fps == 0.0) {
    // Fill in from the first listed format that matches what was given.
    std::optional<CaptureSize> listed;
    try {
      listed = FirstListedCapture(request.device, format, CaptureSize{width, height, fps});
    } catch (const CommandError& e) {
      throw HttpError(404, e.what());
    }
    if (!listed) {
      throw HttpError(422, "device " + std::to_string(request.device) + " lists no such " + format +
                               " capture");
    }
    width = listed->width;
    height = listed->height;
    fps = listed->fps;
  }
  const std::int32_t result =
      QelOpenEx(request.device, width, height, fps, format.c_str(), QEL_OPEN_FAST);
  if (result < 0) {
    const int code = QelLastErrorCode();
    const int status = code == QEL_ERROR_NO_DEVICE ? 404 : code == QEL_ERROR_BUSY ? 409 : 422;
    throw HttpError(status, LibraryReason());
  }
  key_ = request.device;
  framesOnly_ = result == 1;
  width_ = width;
  height_ = height;
  fps_ = fps;
  format_ = format;
  stop_ = false;
  frames_ = std::thread([this] { Run(); });
}

void CameraController::Close() {
  if (key_ < 0) return;
  stop_ = true;
  frames_.join();
  QelClose(key_);
  key_ = -1;
  hub_.SetCamera(StreamState::Camera::kClosed);
}

void CameraController::Run() {
  FramePipeline pipeline(hub_, quality_);
  std::int32_t capacity = QelGetBufferSize(key_);
  if (capacity <= 0) capacity = width_ * height_ * 2;
  QelFrameInfo info{};
  info.size = sizeof info;
  while (!stop_) {
    RawFrame& frame = pipeline.Buffer(static_cast<std::size_t>(capacity));
    const std::int32_t got = QelWaitImage(
        key_, frame.bytes.data(), static_cast<std::int32_t>(frame.bytes.size()), &info, kWaitMs);
    if (got == 0) continue;
    if (got < 0) {
      const int code = QelLastErrorCode();
      if (code == QEL_ERROR_BUFFER_TOO_SMALL && info.bytes > capacity) {
        capacity = info.bytes;  // the same frame comes next
        continue;
      }
      hub_.SetCamera(code == QEL_ERROR_DEVICE_LOST ? StreamState::Camera::kUnplugged
                                                   : StreamState::Camera::kFailed,
                     LibraryReason());
      return;
    }
    frame.length = static_cast<std::size_t>(info.bytes);
    frame.width = info.width;
    frame.height = info.height;
    frame.format.assign(info.formatName, strnlen(info.formatName, sizeof info.formatName));
    frame.sequence = info.sequence;
    pipeline.Publish(info.dropped, Seconds());
  }
}

}  // namespace qelctl::view
