// An open V4L2 node, shared by the objects that use it (the capture filter,
// its stream configuration and property sets, the streaming runner) and
// closed with the last of them.
#pragma once

#include <linux/videodev2.h>

#include <memory>
#include <string>

namespace qel::platform::linux_hw {

class VideoDevice {
 public:
  // Opened for streaming without blocking and never inherited; none, with
  // errno set, when the node cannot be opened.
  static std::shared_ptr<VideoDevice> Open(const std::string& path);
  ~VideoDevice();
  VideoDevice(const VideoDevice&) = delete;
  VideoDevice& operator=(const VideoDevice&) = delete;

  int fd() const { return fd_; }
  // The ioctl, repeated while a signal interrupts it: 0, or the errno value.
  int Ioctl(unsigned long request, void* argument) const;

 private:
  explicit VideoDevice(int fd) : fd_(fd) {}
  int fd_;
};

// The capabilities of the node itself (device_caps where the driver gives
// them, else those of the whole device).
std::uint32_t NodeCapabilities(const v4l2_capability& capability);
// A node that captures video by streaming: not a metadata twin, a
// memory-to-memory converter or an output.
bool IsStreamingCapture(const v4l2_capability& capability);

// The text of a fixed-size, possibly unterminated, field of a V4L2 record.
template <std::size_t N>
std::string FieldText(const __u8 (&field)[N]) {
  std::size_t length = 0;
  while (length < N && field[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace qel::platform::linux_hw
