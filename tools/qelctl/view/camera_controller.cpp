#include "camera_controller.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>

#include "camera_session.h"
#include "command_support.h"
#include "frame_rate.h"
#include "http_error.h"
#include "preview_encoder.h"
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

std::string LastError() {
  char reason[512] = {};
  QelLastError(reason, sizeof reason);
  return reason;
}

void CameraController::Open(const OpenRequest& request) {
  Close();
  int width = request.width;
  int height = request.height;
  double fps = request.fps;
  const std::string format = CanonicalFormat(request.format);
  if (width == 0 || fps == 0.0) {
    // Fill in from the first listed format that matches what was given.
    bool found = false;
    try {
      for (const FormatEntry& entry : ReadFormats(request.device)) {
        if (!SameText(entry.name, format)) continue;
        if (width != 0 && (entry.width != width || entry.height != height)) continue;
        if (fps != 0.0 && std::fabs(entry.fps - fps) > 0.01) continue;
        width = entry.width;
        height = entry.height;
        if (fps == 0.0) fps = NominalRateOf(entry.fps).fps();
        found = true;
        break;
      }
    } catch (const CommandError& e) {
      throw HttpError(404, e.what());
    }
    if (!found) {
      throw HttpError(422, "device " + std::to_string(request.device) + " lists no such " + format +
                               " capture");
    }
  }
  const std::int32_t result =
      QelOpenEx(request.device, width, height, fps, format.c_str(), QEL_OPEN_FAST);
  if (result < 0) {
    const int code = QelLastErrorCode();
    const int status = code == QEL_ERROR_NO_DEVICE ? 404 : code == QEL_ERROR_BUSY ? 409 : 422;
    throw HttpError(status, LastError());
  }
  key_ = request.device;
  device_ = request.device;
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
  PreviewEncoder encoder(quality_);
  std::int32_t capacity = QelGetBufferSize(key_);
  if (capacity <= 0) capacity = width_ * height_ * 2;
  auto work = std::make_shared<RawFrame>();
  work->bytes.resize(static_cast<std::size_t>(capacity));
  QelFrameInfo info{};
  info.size = sizeof info;
  while (!stop_) {
    const std::int32_t got = QelWaitImage(
        key_, work->bytes.data(), static_cast<std::int32_t>(work->bytes.size()), &info, kWaitMs);
    if (got == 0) continue;
    if (got < 0) {
      const int code = QelLastErrorCode();
      if (code == QEL_ERROR_BUFFER_TOO_SMALL && info.bytes > 0) {
        work->bytes.resize(static_cast<std::size_t>(info.bytes));  // the same frame comes next
        continue;
      }
      hub_.SetCamera(code == QEL_ERROR_DEVICE_LOST ? StreamState::Camera::kUnplugged
                                                   : StreamState::Camera::kFailed,
                     LastError());
      return;
    }
    work->length = static_cast<std::size_t>(info.bytes);
    work->width = info.width;
    work->height = info.height;
    work->format.assign(info.formatName, strnlen(info.formatName, sizeof info.formatName));
    work->sequence = info.sequence;
    std::shared_ptr<const RawFrame> current = work;
    work = hub_.PublishRaw(work, info.dropped, Seconds());
    if (!work) {
      work = std::make_shared<RawFrame>();
      work->bytes.resize(current->bytes.size());
    }
    for (std::size_t i = 0; i < kPreviewScales.size(); ++i) {
      const int index = static_cast<int>(i);
      if (!hub_.Watched(index)) continue;
      auto preview = std::make_shared<PreviewFrame>();
      preview->sequence = current->sequence;
      std::string error;
      if (encoder.Encode(current->bytes.data(), current->length, current->width, current->height,
                         current->format, kPreviewScales[i], preview->jpeg, error)) {
        hub_.PublishPreview(index, std::move(preview));
      } else {
        hub_.NotePreviewFailure();
      }
    }
  }
}

}  // namespace qelctl::view
