// The meeting point of the viewer's frame thread and its picture clients: the
// latest frame as received, its preview JPEGs (one per scale some client
// watches), and what the page shows about the stream. The frame thread
// publishes; readers take shared pointers to immutable frames, so nobody
// waits for anybody beyond a short lock, and a reader that falls behind
// simply finds a newer frame next time.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qelctl::view {

// Preview scales a client may ask for: full size, half, quarter.
inline constexpr std::array<int, 3> kPreviewScales = {1, 2, 4};
// The index of scale in kPreviewScales, or -1.
int PreviewScaleIndex(int scale);

// One frame as the camera delivered it.
struct RawFrame {
  std::vector<std::uint8_t> bytes;
  std::size_t length = 0;  // bytes in use (bytes keeps its capacity between frames)
  int width = 0;
  int height = 0;
  std::string format;  // "YUY2", "MJPG", ...
  std::uint64_t sequence = 0;
};

// One preview picture: a JPEG image of the frame with this sequence, either
// encoded (jpeg) or an MJPG frame as delivered (source).
struct PreviewFrame {
  std::string jpeg;
  std::shared_ptr<const RawFrame> source;
  std::uint64_t sequence = 0;

  const std::uint8_t* data() const {
    return source ? source->bytes.data() : reinterpret_cast<const std::uint8_t*>(jpeg.data());
  }
  std::size_t size() const { return source ? source->length : jpeg.size(); }
};

// The capture of the open camera.
struct OpenCapture {
  std::int32_t device = -1;
  std::string format;
  int width = 0;
  int height = 0;
  double fps = 0.0;         // as opened
  bool framesOnly = false;  // a device outside the family: frames, no settings
};

// What the page shows about the stream.
struct StreamState {
  enum class Camera { kClosed, kStreaming, kUnplugged, kFailed };
  Camera camera = Camera::kClosed;
  std::optional<OpenCapture> open;  // the open camera, if any
  bool opening = false;             // an open is under way
  std::string message;              // why the stream stopped, for kUnplugged and kFailed
  std::uint64_t sequence = 0;
  std::uint64_t dropped = 0;   // frames the library overwrote before the viewer took them
  double fps = 0.0;            // measured over the last second or so
  std::uint64_t previews = 0;  // preview pictures made (one per frame and watched scale)
  std::uint64_t previewFailures = 0;
  int watchers = 0;  // picture clients connected
};

class FrameHub {
 public:
  // Called (on the frame thread) after each new preview is published; the
  // server uses it to wake its picture clients. Set before frames flow.
  void SetPreviewListener(std::function<void()> listener);

  // ---- the frame thread's side
  // Stores frame as the latest.
  void PublishRaw(std::shared_ptr<const RawFrame> frame, std::uint64_t dropped,
                  double arrivalSeconds);
  void PublishPreview(int scaleIndex, std::shared_ptr<const PreviewFrame> preview);
  void NotePreviewFailure();
  // The camera stopped (unplugged, failed) or was closed, with the reason.
  void SetCamera(StreamState::Camera camera, const std::string& message = "");

  // ---- the camera thread's side
  // An open has started (true) or failed (false).
  void SetOpening(bool opening);
  // The camera is open with this capture; its frames may start.
  void SetOpen(const OpenCapture& capture);

  // ---- the readers' side
  std::shared_ptr<const RawFrame> LatestRaw() const;
  std::shared_ptr<const PreviewFrame> LatestPreview(int scaleIndex) const;
  StreamState State() const;
  // Picture clients register the scale they watch, so that the frame thread
  // encodes only the scales somebody watches.
  void AddWatcher(int scaleIndex);
  void RemoveWatcher(int scaleIndex);
  // Whether anybody watches scale (index).
  bool Watched(int scaleIndex) const;

 private:
  mutable std::mutex mutex_;
  std::function<void()> listener_;
  std::shared_ptr<const RawFrame> raw_;
  std::array<std::shared_ptr<const PreviewFrame>, kPreviewScales.size()> previews_;
  std::array<int, kPreviewScales.size()> watchers_{};
  StreamState state_;
  // Arrival times for the measured rate.
  double windowStart_ = -1.0;
  std::uint64_t windowFrames_ = 0;
};

}  // namespace qelctl::view
