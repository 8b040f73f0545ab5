#include "platform/linux/video_device.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/linux/sys_api.h"

namespace qel::platform::linux_hw {

std::shared_ptr<VideoDevice> VideoDevice::Open(const std::string& path) {
  const int fd = Sys().open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::shared_ptr<VideoDevice>(new VideoDevice(fd));
}

VideoDevice::~VideoDevice() { Sys().close(fd_); }

int VideoDevice::Ioctl(unsigned long request, void* argument) const {
  for (;;) {
    if (Sys().ioctl(fd_, request, argument) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

std::uint32_t NodeCapabilities(const v4l2_capability& capability) {
  return (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? capability.device_caps
                                                               : capability.capabilities;
}

bool IsStreamingCapture(const v4l2_capability& capability) {
  const std::uint32_t caps = NodeCapabilities(capability);
  constexpr std::uint32_t kNeeded = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  constexpr std::uint32_t kRefused = V4L2_CAP_VIDEO_M2M | V4L2_CAP_VIDEO_M2M_MPLANE |
                                     V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_META_CAPTURE;
  return (caps & kNeeded) == kNeeded && (caps & kRefused) == 0;
}

}  // namespace qel::platform::linux_hw
