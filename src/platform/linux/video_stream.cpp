#include "platform/linux/video_stream.h"

#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include "platform/linux/sys_api.h"
#include "platform/linux/video_codes.h"
#include "platform/linux/video_device.h"

namespace qel::platform::linux_hw {

namespace {

constexpr std::uint32_t kBufferCount = 4;
constexpr double kTimeStep = 1e-7;  // the framework's time unit

struct Mapping {
  std::uint8_t* data = nullptr;
  std::size_t length = 0;
};

v4l2_buffer MmapBuffer(std::uint32_t index) {
  v4l2_buffer buffer{};
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.memory = V4L2_MEMORY_MMAP;
  buffer.index = index;
  return buffer;
}

}  // namespace

struct VideoStream::State {
  std::shared_ptr<VideoDevice> device;
  StreamSink sink;
  std::vector<Mapping> mappings;
  int stopFd = -1;
  bool streaming = false;
  std::thread thread;
  std::atomic<bool> stopping{false};
  bool detached = false;  // stopped from its own delivery: it releases itself
  std::uint64_t startNs = 0;
  double lastTime = 0.0;

  // Undoes what Start did, in reverse; every step may be missing.
  void Release() {
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (streaming) device->Ioctl(VIDIOC_STREAMOFF, &type);
    streaming = false;
    for (const Mapping& mapping : mappings) Sys().munmap(mapping.data, mapping.length);
    if (!mappings.empty()) {
      v4l2_requestbuffers request{};
      request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      request.memory = V4L2_MEMORY_MMAP;
      request.count = 0;
      device->Ioctl(VIDIOC_REQBUFS, &request);
    }
    mappings.clear();
    if (stopFd >= 0) Sys().close(stopFd);
    stopFd = -1;
  }

  // Seconds since the start: the driver's monotonic time stamp where it gives
  // one after the start, else the time now; always past the last one, as the
  // core takes an equal time for no new frame.
  double SampleTime(const v4l2_buffer& buffer) {
    const std::uint64_t stampNs =
        static_cast<std::uint64_t>(buffer.timestamp.tv_sec) * 1'000'000'000u +
        static_cast<std::uint64_t>(buffer.timestamp.tv_usec) * 1000u;
    const bool monotonic =
        (buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
    const std::uint64_t atNs = monotonic && stampNs > startNs ? stampNs : Sys().monotonicNs();
    double t = atNs > startNs ? static_cast<double>(atNs - startNs) / 1e9 : 0.0;
    if (t < lastTime + kTimeStep) t = lastTime + kTimeStep;
    lastTime = t;
    return t;
  }

  // Waits for buffers until stopped or the node goes.
  void Run() {
    for (;;) {
      pollfd fds[2] = {{device->fd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
      const int ready = Sys().poll(fds, 2, -1);
      if (stopping.load()) return;
      if (ready < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if ((fds[1].revents & POLLIN) != 0) return;
      if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
      if ((fds[0].revents & POLLIN) == 0) continue;
      v4l2_buffer buffer = MmapBuffer(0);
      if (const int error = device->Ioctl(VIDIOC_DQBUF, &buffer)) {
        if (error == EAGAIN) continue;
        break;
      }
      if (buffer.index >= mappings.size()) break;
      if ((buffer.flags & V4L2_BUF_FLAG_ERROR) == 0) {
        const Mapping& mapping = mappings[buffer.index];
        const std::size_t used = std::min<std::size_t>(buffer.bytesused, mapping.length);
        sink.deliver(SampleTime(buffer), mapping.data, static_cast<long>(used));
      }
      if (stopping.load()) return;
      v4l2_buffer requeue = MmapBuffer(buffer.index);
      if (device->Ioctl(VIDIOC_QBUF, &requeue) != 0) break;
    }
    // The node failed under the stream: it is gone.
    if (!stopping.load() && sink.lost) sink.lost();
  }
};

HResult VideoStream::Start(std::shared_ptr<VideoDevice> device, StreamSink sink,
                           std::unique_ptr<VideoStream>& stream) {
  auto state = std::make_shared<State>();
  state->device = std::move(device);
  state->sink = std::move(sink);
  v4l2_requestbuffers request{};
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  request.count = kBufferCount;
  if (const int error = state->device->Ioctl(VIDIOC_REQBUFS, &request)) return ErrnoResult(error);
  // The driver may grant another count; every granted buffer is unmapped
  // and freed again.
  auto fail = [&state](int error) {
    state->Release();
    return ErrnoResult(error);
  };
  if (request.count == 0) {
    state->mappings.resize(0);
    return kFail;
  }
  for (std::uint32_t index = 0; index < request.count; ++index) {
    v4l2_buffer buffer = MmapBuffer(index);
    if (const int error = state->device->Ioctl(VIDIOC_QUERYBUF, &buffer)) return fail(error);
    void* data = Sys().mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED,
                            state->device->fd(), static_cast<off_t>(buffer.m.offset));
    if (data == MAP_FAILED) return fail(errno);
    state->mappings.push_back({static_cast<std::uint8_t*>(data), buffer.length});
  }
  for (std::uint32_t index = 0; index < request.count; ++index) {
    v4l2_buffer buffer = MmapBuffer(index);
    if (const int error = state->device->Ioctl(VIDIOC_QBUF, &buffer)) return fail(error);
  }
  state->stopFd = Sys().eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state->stopFd < 0) return fail(errno);
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (const int error = state->device->Ioctl(VIDIOC_STREAMON, &type)) return fail(error);
  state->streaming = true;
  state->startNs = Sys().monotonicNs();
  try {
    state->thread = std::thread([keep = state] {
      keep->Run();
      if (keep->detached) keep->Release();
    });
  } catch (...) {
    return fail(EAGAIN);
  }
  stream.reset(new VideoStream(std::move(state)));
  return kOk;
}

VideoStream::~VideoStream() {
  state_->stopping.store(true);
  const std::uint64_t one = 1;
  Sys().write(state_->stopFd, &one, sizeof one);
  if (state_->thread.get_id() == std::this_thread::get_id()) {
    // Stopped from its own delivery: the thread ends when that returns,
    // holding the buffers and the node until it has given them back.
    state_->detached = true;
    state_->thread.detach();
    return;
  }
  state_->thread.join();
  state_->Release();
}

}  // namespace qel::platform::linux_hw
