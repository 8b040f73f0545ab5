#include "frame_pipeline.h"

#include <atomic>

namespace qelctl::view {
namespace {

// Enough for the latest frame, the latest previews and a client or two
// still sending older ones; beyond that a buffer is made for one frame.
constexpr std::size_t kPoolSize = 6;

}  // namespace

RawFrame& FramePipeline::Buffer(std::size_t capacity) {
  if (!next_) {
    for (const auto& buffer : pool_) {
      // Held by the pool alone: no reader has it, and none can get it any
      // more. The fence orders the readers' last use before the reuse.
      if (buffer.use_count() == 1) {
        std::atomic_thread_fence(std::memory_order_acquire);
        next_ = buffer;
        break;
      }
    }
    if (!next_) {
      next_ = std::make_shared<RawFrame>();
      if (pool_.size() < kPoolSize) pool_.push_back(next_);
    }
  }
  if (next_->bytes.size() < capacity) next_->bytes.resize(capacity);
  return *next_;
}

void FramePipeline::Publish(std::uint64_t dropped, double arrivalSeconds) {
  const std::shared_ptr<const RawFrame> frame = std::move(next_);  // leaves next_ empty
  hub_.PublishRaw(frame, dropped, arrivalSeconds);
  for (std::size_t i = 0; i < kPreviewScales.size(); ++i) {
    const int index = static_cast<int>(i);
    if (!hub_.Watched(index)) continue;
    auto preview = std::make_shared<PreviewFrame>();
    preview->sequence = frame->sequence;
    if (frame->format == "MJPG" && kPreviewScales[i] == 1) {
      preview->source = frame;  // as delivered
    } else {
      std::string error;
      if (!encoder_.Encode(frame->bytes.data(), frame->length, frame->width, frame->height,
                           frame->format, kPreviewScales[i], preview->jpeg, error)) {
        hub_.NotePreviewFailure();
        continue;
      }
    }
    hub_.PublishPreview(index, std::move(preview));
  }
}

}  // namespace qelctl::view
