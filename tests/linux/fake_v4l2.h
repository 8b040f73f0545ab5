// Stand-ins for V4L2 video nodes and event descriptors, installed over a
// FakeSystem's table for a test's lifetime (made after it, gone before it):
// calls on paths and descriptors of its own it answers, others it passes on.
#pragma once

#include <linux/videodev2.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fake_sysfs.h"
#include "fake_system.h"

namespace qel::test {

struct FakeFrameSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<v4l2_fract> intervals;  // discrete, in the driver's order
};

struct FakeVideoFormat {
  std::uint32_t pixelFormat = V4L2_PIX_FMT_YUYV;
  std::vector<FakeFrameSize> sizes;
  bool stepwise = false;  // sizes[0] is the smallest, sizes[1] the largest
};

// One frame the node hands out: what its buffer holds when dequeued.
struct FakeFrame {
  std::uint32_t bytesUsed = 0;
  std::uint32_t flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
  std::uint64_t timestampNs = 0;
  std::uint8_t fill = 0;
};

struct FakeControl {
  std::int32_t minimum = 0;
  std::int32_t maximum = 0;
  std::int32_t step = 1;
  std::int32_t defaultValue = 0;
  std::int32_t value = 0;
  std::uint32_t flags = 0;
  std::vector<std::uint32_t> menu;  // the indices a menu control offers
};

FakeControl Control(std::int32_t minimum, std::int32_t maximum, std::int32_t step,
                    std::int32_t value, std::uint32_t flags = 0,
                    std::vector<std::uint32_t> menu = {});

struct FakeVideoNode {
  std::uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  std::string card = "UVC Camera";
  std::string busInfo = "usb-0000:00:14.0-2";
  std::vector<FakeVideoFormat> formats;
  v4l2_pix_format current{};
  v4l2_fract timePerFrame{1, 30};
  std::uint32_t grantBuffers = 0;  // REQBUFS grants this many (0: as asked)
  int busyErrno = 0;               // S_FMT and REQBUFS fail with it
  int pollInterruptions = 0;       // the next so many polls fail with EINTR
  bool fillBuffers = true;         // a dequeued buffer is filled with its frame's byte
  std::deque<FakeFrame> frames;    // handed out in turn while streaming
  std::map<std::uint32_t, FakeControl> controls;  // written values are clamped, as drivers do
  std::vector<std::pair<std::uint32_t, std::int32_t>> written;  // S_CTRL in order
  // What happened.
  std::vector<unsigned long> requests;
  int openFlags = -1;
  bool streaming = false;
  bool unplugged = false;
  bool failurePolled = false;  // a poll has reported the unplug
};

// A camera's formats: YUYV 640x480 at 30 and 15 per second, 320x240 at 30;
// MJPG 1280x720 at 30.
std::vector<FakeVideoFormat> CameraFormats();

class FakeV4l2 {
 public:
  FakeV4l2();
  ~FakeV4l2();
  FakeV4l2(const FakeV4l2&) = delete;
  FakeV4l2& operator=(const FakeV4l2&) = delete;

  // The node at a path, to set up before use; locked with Lock() while a
  // stream may run.
  FakeVideoNode& Node(const std::string& path) { return nodes_[path]; }
  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }
  void PushFrame(const std::string& path, const FakeFrame& frame);
  void Unplug(const std::string& path);
  // Until the streaming node has handed out every pushed frame and has all
  // its buffers back: every delivery has then returned.
  void WaitDrained(const std::string& path);
  // Until a poll has reported the node's unplug to the streaming thread.
  void WaitFailurePolled(const std::string& path);

  int opened = 0;
  int closed = 0;
  int mapped = 0;
  int unmapped = 0;

  int Open(const char* path, int flags);
  int Close(int fd);
  int Ioctl(int fd, unsigned long request, void* argument);
  int Poll(pollfd* fds, nfds_t count, int timeoutMs);
  long Write(int fd, const void* buffer, std::size_t size);
  void* Mmap(std::size_t length, int fd, off_t offset);
  int Munmap(void* address, std::size_t length);
  int Eventfd();

  platform::linux_hw::SysApi previous;

  // A camera on a USB device of sysfs: its video node (video<minor>, with
  // its metadata twin at minor + 1, both here) and its HID interface
  // (hidraw<hidMinor> of system), with CameraFormats().
  FakeVideoNode& AddCamera(FakeSysfs& sysfs, FakeSystem& system, std::uint32_t minor,
                           std::uint32_t hidMinor, const UsbHidSpec& usb);

 private:
  int NodeIoctl(FakeVideoNode& node, unsigned long request, void* argument);
  bool Ready(FakeVideoNode& node);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, FakeVideoNode> nodes_;
  std::map<int, FakeVideoNode*> fds_;
  std::map<int, bool> events_;  // event descriptors: signalled
  std::map<FakeVideoNode*, std::vector<std::vector<std::uint8_t>>> buffers_;
  std::map<FakeVideoNode*, std::deque<std::uint32_t>> queued_;
  int nextFd_ = 2000;
};

}  // namespace qel::test
