#include "platform/linux/video_stream_config.h"

#include <linux/videodev2.h>

#include <numeric>
#include <vector>

#include "platform/linux/video_codes.h"
#include "platform/linux/video_device.h"
#include "platform/linux/video_formats.h"

namespace qel::platform::linux_hw {

namespace {

v4l2_format CaptureFormat() {
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  return format;
}

class VideoStreamConfig final : public StreamConfig {
 public:
  explicit VideoStreamConfig(std::shared_ptr<VideoDevice> device) : device_(std::move(device)) {}

  HResult GetFormat(std::unique_ptr<MediaType>& type) override {
    type.reset();
    v4l2_format format = CaptureFormat();
    if (const int error = device_->Ioctl(VIDIOC_G_FMT, &format)) return ErrnoResult(error);
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    std::int64_t interval = 0;
    if (device_->Ioctl(VIDIOC_G_PARM, &parm) == 0) {
      interval = IntervalUnits(parm.parm.capture.timeperframe.numerator,
                               parm.parm.capture.timeperframe.denominator);
    }
    const v4l2_pix_format& pix = format.fmt.pix;
    type = std::make_unique<MediaType>(
        MakeVideoType(pix.pixelformat, pix.width, pix.height, pix.sizeimage, interval));
    return kOk;
  }

  // The node must take the format as asked: a driver that would adjust it
  // (another size, another pixel format) refuses it, and the node is left
  // as it was. The image size and bit count asked are not the node's to
  // take; it works them out itself.
  HResult SetFormat(const MediaType& type) override {
    VideoInfoHeader video;
    const std::optional<std::uint32_t> pixelFormat = PixelFormatOfSubtype(type.subtype);
    if (!type.GetVideoInfo(video) || !pixelFormat || video.bmiHeader.biWidth <= 0 ||
        video.bmiHeader.biHeight == 0 || video.AvgTimePerFrame <= 0) {
      return kInvalidMediaType;
    }
    const auto width = static_cast<std::uint32_t>(video.bmiHeader.biWidth);
    const auto height = static_cast<std::uint32_t>(
        video.bmiHeader.biHeight < 0 ? -static_cast<std::int64_t>(video.bmiHeader.biHeight)
                                     : video.bmiHeader.biHeight);
    VideoCapability::Fraction perFrame;
    if (!IntervalOffered(*pixelFormat, width, height, video.AvgTimePerFrame, perFrame)) {
      return kInvalidMediaType;
    }
    v4l2_format format = CaptureFormat();
    format.fmt.pix.pixelformat = *pixelFormat;
    format.fmt.pix.width = width;
    format.fmt.pix.height = height;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (const int error = device_->Ioctl(VIDIOC_TRY_FMT, &format)) return ErrnoResult(error);
    if (format.fmt.pix.pixelformat != *pixelFormat || format.fmt.pix.width != width ||
        format.fmt.pix.height != height) {
      return kInvalidMediaType;
    }
    if (const int error = device_->Ioctl(VIDIOC_S_FMT, &format)) return ErrnoResult(error);
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = perFrame.numerator;
    parm.parm.capture.timeperframe.denominator = perFrame.denominator;
    if (const int error = device_->Ioctl(VIDIOC_S_PARM, &parm)) return ErrnoResult(error);
    return kOk;
  }

  HResult GetNumberOfCapabilities(int& count, int& capsSize) override {
    Refresh();
    count = static_cast<int>(capabilities_.size());
    capsSize = kVideoStreamConfigCapsSize;
    return kOk;
  }

  HResult GetStreamCaps(int index, std::unique_ptr<MediaType>& type, void* caps) override {
    type.reset();
    if (caps == nullptr) return kPointer;
    if (capabilities_.empty()) Refresh();
    if (index < 0) return kInvalidArg;
    if (static_cast<std::size_t>(index) >= capabilities_.size()) return kFalse;
    const VideoCapability& capability = capabilities_[static_cast<std::size_t>(index)];
    type = std::make_unique<MediaType>(MakeVideoType(capability.pixelFormat, capability.width,
                                                     capability.height, capability.sizeImage,
                                                     capability.defaultInterval));
    WriteStreamConfigCaps(capability, caps);
    return kOk;
  }

 private:
  void Refresh() { capabilities_ = ListCapabilities(*device_); }

  // Whether the node offers the interval for the format at that size, and
  // the fraction to set it with: a listed interval as the driver lists it,
  // any other as 100 ns units over 10^7, reduced. An interval outside the
  // size's range is refused, as the driver would pick another rate silently.
  bool IntervalOffered(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height,
                       std::int64_t interval, VideoCapability::Fraction& perFrame) {
    const std::int64_t divisor = std::gcd(interval, std::int64_t{10'000'000});
    perFrame = {static_cast<std::uint32_t>(interval / divisor),
                static_cast<std::uint32_t>(10'000'000 / divisor)};
    if (interval > UINT32_MAX) return false;
    Refresh();
    for (const VideoCapability& capability : capabilities_) {
      if (capability.pixelFormat != pixelFormat || capability.width != width ||
          capability.height != height) {
        continue;
      }
      for (const VideoCapability::Fraction& listed : capability.listed) {
        if (IntervalUnits(listed.numerator, listed.denominator) == interval) perFrame = listed;
      }
      return capability.minInterval == 0 ||
             (interval >= capability.minInterval && interval <= capability.maxInterval);
    }
    return true;  // a size inside a stepwise range: the trial decides
  }

  std::shared_ptr<VideoDevice> device_;
  std::vector<VideoCapability> capabilities_;
};

}  // namespace

std::unique_ptr<StreamConfig> MakeVideoStreamConfig(std::shared_ptr<VideoDevice> device) {
  return std::make_unique<VideoStreamConfig>(std::move(device));
}

Guid CurrentSubtype(const VideoDevice& device) {
  v4l2_format format = CaptureFormat();
  if (device.Ioctl(VIDIOC_G_FMT, &format) != 0) return kGuidNull;
  return SubtypeOfPixelFormat(format.fmt.pix.pixelformat);
}

}  // namespace qel::platform::linux_hw
