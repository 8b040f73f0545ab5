#include "frame_hub.h"

#include <utility>

namespace qelctl::view {

int PreviewScaleIndex(int scale) {
  for (std::size_t i = 0; i < kPreviewScales.size(); ++i) {
    if (kPreviewScales[i] == scale) return static_cast<int>(i);
  }
  return -1;
}

void FrameHub::SetPreviewListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void FrameHub::PublishRaw(std::shared_ptr<const RawFrame> frame, std::uint64_t dropped,
                          double arrivalSeconds) {
  std::shared_ptr<const RawFrame> previous;  // released after the lock
  {
    std::lock_guard lock(mutex_);
    state_.camera = StreamState::Camera::kStreaming;
    state_.message.clear();
    state_.sequence = frame->sequence;
    state_.dropped = dropped;
    // The rate over windows of at least a second; the first frame opens one.
    if (windowStart_ < 0.0 || arrivalSeconds < windowStart_) {
      windowStart_ = arrivalSeconds;
      windowFrames_ = 0;
    } else {
      ++windowFrames_;
      const double span = arrivalSeconds - windowStart_;
      if (span >= 1.0) {
        state_.fps = static_cast<double>(windowFrames_) / span;
        windowStart_ = arrivalSeconds;
        windowFrames_ = 0;
      }
    }
    previous = std::exchange(raw_, std::move(frame));
  }
}

void FrameHub::PublishPreview(int scaleIndex, std::shared_ptr<const PreviewFrame> preview) {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    previews_[static_cast<std::size_t>(scaleIndex)] = std::move(preview);
    ++state_.previews;
    listener = listener_;
  }
  if (listener) listener();
}

void FrameHub::NotePreviewFailure() {
  std::lock_guard lock(mutex_);
  ++state_.previewFailures;
}

void FrameHub::SetCamera(StreamState::Camera camera, const std::string& message) {
  std::lock_guard lock(mutex_);
  state_.camera = camera;
  state_.message = message;
  state_.fps = 0.0;
  windowStart_ = -1.0;
  if (camera == StreamState::Camera::kClosed) {
    state_.open.reset();
    // A new stream starts its sequence again; its old pictures go.
    raw_.reset();
    for (auto& preview : previews_) preview.reset();
    state_.sequence = 0;
    state_.dropped = 0;
  }
}

std::shared_ptr<const RawFrame> FrameHub::LatestRaw() const {
  std::lock_guard lock(mutex_);
  return raw_;
}

std::shared_ptr<const PreviewFrame> FrameHub::LatestPreview(int scaleIndex) const {
  std::lock_guard lock(mutex_);
  return previews_[static_cast<std::size_t>(scaleIndex)];
}

void FrameHub::SetOpening(bool opening) {
  std::lock_guard lock(mutex_);
  state_.opening = opening;
}

void FrameHub::SetOpen(const OpenCapture& capture) {
  std::lock_guard lock(mutex_);
  state_.open = capture;
  state_.opening = false;
}

StreamState FrameHub::State() const {
  std::lock_guard lock(mutex_);
  StreamState state = state_;
  for (int count : watchers_) state.watchers += count;
  return state;
}

void FrameHub::AddWatcher(int scaleIndex) {
  std::lock_guard lock(mutex_);
  ++watchers_[static_cast<std::size_t>(scaleIndex)];
}

void FrameHub::RemoveWatcher(int scaleIndex) {
  std::lock_guard lock(mutex_);
  --watchers_[static_cast<std::size_t>(scaleIndex)];
}

bool FrameHub::Watched(int scaleIndex) const {
  std::lock_guard lock(mutex_);
  return watchers_[static_cast<std::size_t>(scaleIndex)] > 0;
}

}  // namespace qelctl::view
