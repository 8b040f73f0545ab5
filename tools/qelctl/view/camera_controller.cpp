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
  hub_.SetOpening(true);
  try {
    capture_ = OpenAsAsked(request);
  } catch (...) {
    hub_.SetOpening(false);
    throw;
  }
  hub_.SetOpen(capture_);
  stop_ = false;
  frames_ = std::thread([this] { Run(); });
}

OpenCapture CameraController::OpenAsAsked(const OpenRequest& request) {
  OpenCapture capture{request.device, CanonicalFormat(request.format), request.width,
                      request.height, request.fps};
  if (capture.width == 0 || capture.fps == 0.0) {
    // Fill in from the first listed format that matches what was given.
    std::optional<CaptureSize> listed;
    try {
      listed = FirstListedCapture(request.device, capture.format,
                                  CaptureSize{capture.width, capture.height, capture.fps});
    } catch (const CommandError& e) {
      throw HttpError(404, e.what());
    }
    if (!listed) {
      throw HttpError(422, "device " + std::to_string(request.device) + " lists no such " +
                               capture.format + " capture");
    }
    capture.width = listed->width;
    capture.height = listed->height;
    capture.fps = listed->fps;
  }
  const std::int32_t result = QelOpenEx(capture.device, capture.width, capture.height, capture.fps,
                                        capture.format.c_str(), QEL_OPEN_FAST);
  if (result < 0) {
    const int code = QelLastErrorCode();
    const int status = code == QEL_ERROR_NO_DEVICE ? 404 : code == QEL_ERROR_BUSY ? 409 : 422;
    throw HttpError(status, LibraryReason());
  }
  capture.framesOnly = result == 1;
  return capture;
}

void CameraController::Close() {
  if (!open()) return;
  stop_ = true;
  frames_.join();
  QelClose(capture_.device);
  capture_ = OpenCapture{};
  hub_.SetCamera(StreamState::Camera::kClosed);
}

void CameraController::Run() {
  FramePipeline pipeline(hub_, quality_);
  const std::int32_t key = capture_.device;
  std::int32_t capacity = QelGetBufferSize(key);
  if (capacity <= 0) capacity = capture_.width * capture_.height * 2;
  QelFrameInfo info{};
  info.size = sizeof info;
  while (!stop_) {
    RawFrame& frame = pipeline.Buffer(static_cast<std::size_t>(capacity));
    const std::int32_t got = QelWaitImage(
        key, frame.bytes.data(), static_cast<std::int32_t>(frame.bytes.size()), &info, kWaitMs);
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
