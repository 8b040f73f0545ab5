#include "fake_v4l2.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qel::test {

using platform::linux_hw::Sys;

namespace {

FakeV4l2* installed = nullptr;

template <std::size_t N>
void PutText(__u8 (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

std::uint32_t Bytes(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height) {
  return pixelFormat == V4L2_PIX_FMT_YUYV ? width * height * 2 : width * height / 4;
}

}  // namespace

std::vector<FakeVideoFormat> CameraFormats() {
  return {{V4L2_PIX_FMT_YUYV, {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}}, false},
          {V4L2_PIX_FMT_MJPEG, {{1280, 720, {{1, 30}}}}, false}};
}

FakeControl Control(std::int32_t minimum, std::int32_t maximum, std::int32_t step,
                    std::int32_t value, std::uint32_t flags, std::vector<std::uint32_t> menu) {
  FakeControl control;
  control.minimum = minimum;
  control.maximum = maximum;
  control.step = step;
  control.defaultValue = value;
  control.value = value;
  control.flags = flags;
  control.menu = std::move(menu);
  return control;
}

FakeV4l2::FakeV4l2() : previous(Sys()) {
  installed = this;
  platform::linux_hw::SysApi& api = Sys();
  api.open = [](const char* path, int flags) { return installed->Open(path, flags); };
  api.close = [](int fd) { return installed->Close(fd); };
  api.ioctl = [](int fd, unsigned long request, void* argument) {
    return installed->Ioctl(fd, request, argument);
  };
  api.poll = [](pollfd* fds, nfds_t count, int timeoutMs) {
    return installed->Poll(fds, count, timeoutMs);
  };
  api.write = [](int fd, const void* buffer, std::size_t size) -> ssize_t {
    return installed->Write(fd, buffer, size);
  };
  api.mmap = [](void*, std::size_t length, int, int, int fd, off_t offset) {
    return installed->Mmap(length, fd, offset);
  };
  api.munmap = [](void* address, std::size_t length) { return installed->Munmap(address, length); };
  api.eventfd = [](unsigned, int) { return installed->Eventfd(); };
  // The virtual clock is read on the streaming thread too.
  api.monotonicNs = [] {
    std::lock_guard lock(installed->mutex_);
    return installed->previous.monotonicNs();
  };
  api.sleepMs = [](std::uint32_t ms) {
    std::lock_guard lock(installed->mutex_);
    installed->previous.sleepMs(ms);
  };
}

FakeVideoNode& FakeV4l2::AddCamera(FakeSysfs& sysfs, FakeSystem& system, std::uint32_t minor,
                                   std::uint32_t hidMinor, const UsbHidSpec& usb) {
  sysfs.AddUsbVideo(minor, usb);
  sysfs.AddUsbVideo(minor + 1, usb);
  sysfs.AddUsbHidraw(hidMinor, usb);
  system.Node("/dev/hidraw" + std::to_string(hidMinor)).descriptor = VendorDescriptor64();
  FakeVideoNode& twin = Node("/dev/video" + std::to_string(minor + 1));
  twin.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  FakeVideoNode& node = Node("/dev/video" + std::to_string(minor));
  node.card = usb.productName;
  node.busInfo = "usb-0000:00:14.0-" + usb.port;
  twin.busInfo = node.busInfo;
  node.formats = CameraFormats();
  node.current = {640, 480, V4L2_PIX_FMT_YUYV, V4L2_FIELD_NONE, 1280, 640 * 480 * 2, 0, 0, 0, 0,
                  0,   0};
  return node;
}

FakeV4l2::~FakeV4l2() {
  Sys() = previous;
  installed = nullptr;
}

void FakeV4l2::PushFrame(const std::string& path, const FakeFrame& frame) {
  {
    std::lock_guard lock(mutex_);
    nodes_[path].frames.push_back(frame);
  }
  changed_.notify_all();
}

void FakeV4l2::Unplug(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    nodes_[path].unplugged = true;
  }
  changed_.notify_all();
}

void FakeV4l2::WaitDrained(const std::string& path) {
  std::unique_lock lock(mutex_);
  FakeVideoNode& node = nodes_[path];
  changed_.wait(lock, [&] {
    return !node.streaming ||
           (node.frames.empty() && queued_[&node].size() == buffers_[&node].size());
  });
}

void FakeV4l2::WaitFailurePolled(const std::string& path) {
  std::unique_lock lock(mutex_);
  FakeVideoNode& node = nodes_[path];
  changed_.wait(lock, [&] { return node.failurePolled; });
}

int FakeV4l2::Open(const char* path, int flags) {
  std::lock_guard lock(mutex_);
  const auto found = path != nullptr ? nodes_.find(path) : nodes_.end();
  if (found == nodes_.end()) return previous.open(path, flags);
  found->second.openFlags = flags;
  if (found->second.unplugged) {
    errno = ENODEV;
    return -1;
  }
  ++opened;
  fds_[nextFd_] = &found->second;
  return nextFd_++;
}

int FakeV4l2::Close(int fd) {
  std::lock_guard lock(mutex_);
  if (fds_.erase(fd) == 0 && events_.erase(fd) == 0) return previous.close(fd);
  ++closed;
  return 0;
}

int FakeV4l2::Eventfd() {
  std::lock_guard lock(mutex_);
  ++opened;
  events_[nextFd_] = false;
  return nextFd_++;
}

long FakeV4l2::Write(int fd, const void* buffer, std::size_t size) {
  {
    std::lock_guard lock(mutex_);
    const auto found = events_.find(fd);
    if (found == events_.end()) return previous.write(fd, buffer, size);
    found->second = true;
  }
  changed_.notify_all();
  return static_cast<long>(size);
}

void* FakeV4l2::Mmap(std::size_t length, int fd, off_t offset) {
  std::lock_guard lock(mutex_);
  const auto found = fds_.find(fd);
  if (found == fds_.end()) {
    errno = EBADF;
    return MAP_FAILED;
  }
  auto& buffers = buffers_[found->second];
  const auto index = static_cast<std::size_t>(offset) / 4096;
  if (index >= buffers.size() || buffers[index].size() != length) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  ++mapped;
  return buffers[index].data();
}

int FakeV4l2::Munmap(void*, std::size_t) {
  std::lock_guard lock(mutex_);
  ++unmapped;
  return 0;
}

bool FakeV4l2::Ready(FakeVideoNode& node) {
  return node.unplugged || (node.streaming && !node.frames.empty() && !queued_[&node].empty());
}

// The video node and the event descriptor, as the streaming thread polls
// them: it waits (in real time, briefly) until either is ready.
int FakeV4l2::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  std::unique_lock lock(mutex_);
  if (count == 0 || fds_.count(fds[0].fd) == 0) {
    lock.unlock();
    return previous.poll(fds, count, timeoutMs);
  }
  if (FakeVideoNode& node = *fds_[fds[0].fd]; node.pollInterruptions > 0) {
    --node.pollInterruptions;
    errno = EINTR;
    return -1;
  }
  auto ready = [&] {
    int n = 0;
    for (nfds_t i = 0; i < count; ++i) {
      fds[i].revents = 0;
      if (const auto node = fds_.find(fds[i].fd); node != fds_.end()) {
        if (node->second->unplugged) {
          fds[i].revents = POLLERR;
          node->second->failurePolled = true;
        } else if (Ready(*node->second)) {
          fds[i].revents = POLLIN;
        }
      } else if (const auto event = events_.find(fds[i].fd);
                 event != events_.end() && event->second) {
        fds[i].revents = POLLIN;
      }
      if (fds[i].revents != 0) ++n;
    }
    return n;
  };
  int n = 0;
  changed_.wait(lock, [&] { return (n = ready()) > 0; });
  changed_.notify_all();
  return n;
}

int FakeV4l2::Ioctl(int fd, unsigned long request, void* argument) {
  int result = 0;
  {
    std::lock_guard lock(mutex_);
    const auto found = fds_.find(fd);
    if (found == fds_.end()) return previous.ioctl(fd, request, argument);
    FakeVideoNode& node = *found->second;
    node.requests.push_back(request);
    if (node.unplugged) {
      errno = ENODEV;
      return -1;
    }
    result = NodeIoctl(node, request, argument);
  }
  changed_.notify_all();
  return result;
}

int FakeV4l2::NodeIoctl(FakeVideoNode& node, unsigned long request, void* argument) {
  auto fail = [](int error) {
    errno = error;
    return -1;
  };
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto* caps = static_cast<v4l2_capability*>(argument);
      *caps = {};
      PutText(caps->driver, "uvcvideo");
      PutText(caps->card, node.card);
      PutText(caps->bus_info, node.busInfo);
      caps->device_caps = node.deviceCaps;
      caps->capabilities = node.deviceCaps | V4L2_CAP_DEVICE_CAPS | V4L2_CAP_META_CAPTURE;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto* format = static_cast<v4l2_fmtdesc*>(argument);
      if (format->index >= node.formats.size()) return fail(EINVAL);
      format->pixelformat = node.formats[format->index].pixelFormat;
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto* size = static_cast<v4l2_frmsizeenum*>(argument);
      for (const FakeVideoFormat& format : node.formats) {
        if (format.pixelFormat != size->pixel_format) continue;
        if (format.stepwise) {
          if (size->index > 0) return fail(EINVAL);
          size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
          size->stepwise = {format.sizes[0].width,  format.sizes[1].width,  16,
                            format.sizes[0].height, format.sizes[1].height, 16};
          return 0;
        }
        if (size->index >= format.sizes.size()) return fail(EINVAL);
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete = {format.sizes[size->index].width, format.sizes[size->index].height};
        return 0;
      }
      return fail(EINVAL);
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
      auto* interval = static_cast<v4l2_frmivalenum*>(argument);
      for (const FakeVideoFormat& format : node.formats) {
        if (format.pixelFormat != interval->pixel_format) continue;
        for (const FakeFrameSize& size : format.sizes) {
          if (size.width != interval->width || size.height != interval->height) continue;
          if (interval->index >= size.intervals.size()) return fail(EINVAL);
          interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
          interval->discrete = size.intervals[interval->index];
          return 0;
        }
      }
      return fail(EINVAL);
    }
    case VIDIOC_G_FMT:
      static_cast<v4l2_format*>(argument)->fmt.pix = node.current;
      return 0;
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
      v4l2_pix_format& pix = static_cast<v4l2_format*>(argument)->fmt.pix;
      // Adjusted as drivers do: an unknown format becomes the first, a size
      // the nearest the format offers.
      const FakeVideoFormat* format = &node.formats.front();
      for (const FakeVideoFormat& f : node.formats) {
        if (f.pixelFormat == pix.pixelformat) format = &f;
      }
      const FakeFrameSize* nearest = &format->sizes.front();
      for (const FakeFrameSize& size : format->sizes) {
        if (std::abs(static_cast<int>(size.width) - static_cast<int>(pix.width)) <
            std::abs(static_cast<int>(nearest->width) - static_cast<int>(pix.width))) {
          nearest = &size;
        }
      }
      pix.pixelformat = format->pixelFormat;
      pix.width = nearest->width;
      pix.height = nearest->height;
      pix.sizeimage = Bytes(pix.pixelformat, pix.width, pix.height);
      if (request == VIDIOC_TRY_FMT) return 0;
      if (node.busyErrno != 0) return fail(node.busyErrno);
      node.current = pix;
      return 0;
    }
    case VIDIOC_G_PARM:
      static_cast<v4l2_streamparm*>(argument)->parm.capture.timeperframe = node.timePerFrame;
      return 0;
    case VIDIOC_S_PARM:
      node.timePerFrame = static_cast<v4l2_streamparm*>(argument)->parm.capture.timeperframe;
      return 0;
    case VIDIOC_REQBUFS: {
      auto* request = static_cast<v4l2_requestbuffers*>(argument);
      if (node.busyErrno != 0) return fail(node.busyErrno);
      if (request->count != 0 && node.grantBuffers != 0) request->count = node.grantBuffers;
      buffers_[&node].assign(request->count, std::vector<std::uint8_t>(node.current.sizeimage));
      queued_[&node].clear();
      return 0;
    }
    case VIDIOC_QUERYBUF: {
      auto* buffer = static_cast<v4l2_buffer*>(argument);
      if (buffer->index >= buffers_[&node].size()) return fail(EINVAL);
      buffer->length = static_cast<std::uint32_t>(buffers_[&node][buffer->index].size());
      buffer->m.offset = buffer->index * 4096;
      return 0;
    }
    case VIDIOC_QBUF: {
      auto* buffer = static_cast<v4l2_buffer*>(argument);
      if (buffer->index >= buffers_[&node].size()) return fail(EINVAL);
      queued_[&node].push_back(buffer->index);
      return 0;
    }
    case VIDIOC_DQBUF: {
      auto* buffer = static_cast<v4l2_buffer*>(argument);
      if (!node.streaming) return fail(EINVAL);
      if (node.frames.empty() || queued_[&node].empty()) return fail(EAGAIN);
      const FakeFrame frame = node.frames.front();
      node.frames.pop_front();
      buffer->index = queued_[&node].front();
      queued_[&node].pop_front();
      std::vector<std::uint8_t>& bytes = buffers_[&node][buffer->index];
      if (node.fillBuffers) std::fill(bytes.begin(), bytes.end(), frame.fill);
      buffer->bytesused =
          frame.bytesUsed != 0 ? frame.bytesUsed : static_cast<std::uint32_t>(bytes.size());
      buffer->flags = frame.flags;
      buffer->timestamp.tv_sec = static_cast<time_t>(frame.timestampNs / 1'000'000'000u);
      buffer->timestamp.tv_usec =
          static_cast<suseconds_t>(frame.timestampNs % 1'000'000'000u / 1000u);
      return 0;
    }
    case VIDIOC_STREAMON:
      node.streaming = true;
      return 0;
    case VIDIOC_STREAMOFF:
      node.streaming = false;
      queued_[&node].clear();
      return 0;
    case VIDIOC_QUERYCTRL: {
      auto* query = static_cast<v4l2_queryctrl*>(argument);
      const auto control = node.controls.find(query->id);
      if (control == node.controls.end()) return fail(EINVAL);
      query->minimum = control->second.minimum;
      query->maximum = control->second.maximum;
      query->step = control->second.step;
      query->default_value = control->second.defaultValue;
      query->flags = control->second.flags;
      return 0;
    }
    case VIDIOC_QUERYMENU: {
      auto* menu = static_cast<v4l2_querymenu*>(argument);
      const auto control = node.controls.find(menu->id);
      if (control == node.controls.end()) return fail(EINVAL);
      const std::vector<std::uint32_t>& items = control->second.menu;
      return std::find(items.begin(), items.end(), menu->index) != items.end() ? 0 : fail(EINVAL);
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
      auto* value = static_cast<v4l2_control*>(argument);
      const auto control = node.controls.find(value->id);
      if (control == node.controls.end()) return fail(EINVAL);
      if (request == VIDIOC_G_CTRL) {
        value->value = control->second.value;
        return 0;
      }
      node.written.emplace_back(value->id, value->value);
      control->second.value =
          std::clamp(value->value, control->second.minimum, control->second.maximum);
      return 0;
    }
    default:
      return fail(ENOTTY);
  }
}

}  // namespace qel::test
