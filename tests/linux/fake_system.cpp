#include "fake_system.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qel::test {

using platform::linux_hw::Sys;
using platform::linux_hw::SystemSysApi;

namespace {

FakeSystem* installed = nullptr;

}  // namespace

std::vector<std::uint8_t> VendorDescriptor64() {
  return {0x06, 0x00, 0xFF,                                      // Usage Page (vendor 0xFF00)
          0x09, 0x01,                                            // Usage 1
          0xA1, 0x01,                                            // Collection (application)
          0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40,  // 64 bytes
          0x09, 0x01, 0x81, 0x02,                                // Input
          0x09, 0x01, 0x91, 0x02,                                // Output
          0xC0};
}

FakeSystem::FakeSystem(const std::string& sysfsRoot) {
  installed = this;
  platform::linux_hw::SysApi& api = Sys();
  api.open = [](const char* path, int flags) { return installed->Open(path, flags); };
  api.close = [](int fd) { return installed->Close(fd); };
  api.ioctl = [](int fd, unsigned long request, void* argument) {
    return installed->Ioctl(fd, request, argument);
  };
  api.read = [](int fd, void* buffer, std::size_t size) -> ssize_t {
    return installed->Read(fd, buffer, size);
  };
  api.write = [](int fd, const void* buffer, std::size_t size) -> ssize_t {
    return installed->Write(fd, buffer, size);
  };
  api.poll = [](pollfd* fds, nfds_t count, int timeoutMs) {
    return installed->Poll(fds, count, timeoutMs);
  };
  api.monotonicNs = [] { return installed->nowNs; };
  api.sleepMs = [](std::uint32_t ms) { installed->nowNs += std::uint64_t{ms} * 1'000'000; };
  api.sysfsRoot = sysfsRoot;
}

FakeSystem::~FakeSystem() {
  Sys() = SystemSysApi();
  installed = nullptr;
}

FakeHidraw* FakeSystem::At(int fd) {
  const auto found = fds_.find(fd);
  return found == fds_.end() ? nullptr : found->second;
}

int FakeSystem::Open(const char* path, int flags) {
  const auto found = nodes_.find(path);
  if (found == nodes_.end()) {
    errno = ENOENT;
    return -1;
  }
  FakeHidraw& node = found->second;
  node.openFlags = flags;
  if (node.openErrno != 0) {
    errno = node.openErrno;
    return -1;
  }
  ++opened;
  fds_[nextFd_] = &node;
  return nextFd_++;
}

int FakeSystem::Close(int fd) {
  if (fds_.erase(fd) == 0) {
    errno = EBADF;
    return -1;
  }
  ++closed;
  return 0;
}

int FakeSystem::Ioctl(int fd, unsigned long request, void* argument) {
  FakeHidraw* node = At(fd);
  if (node == nullptr) {
    errno = EBADF;
    return -1;
  }
  if (request == HIDIOCGRDESCSIZE) {
    *static_cast<int*>(argument) = static_cast<int>(node->descriptor.size());
    return 0;
  }
  if (request == HIDIOCGRDESC) {
    auto* descriptor = static_cast<hidraw_report_descriptor*>(argument);
    const std::size_t size = std::min<std::size_t>(descriptor->size, node->descriptor.size());
    std::memcpy(descriptor->value, node->descriptor.data(), size);
    return 0;
  }
  if (request == HIDIOCGRAWINFO) {
    auto* info = static_cast<hidraw_devinfo*>(argument);
    info->bustype = node->bustype;
    info->vendor = static_cast<__s16>(node->vendor);
    info->product = static_cast<__s16>(node->product);
    return 0;
  }
  errno = EINVAL;
  return -1;
}

long FakeSystem::Read(int fd, void* buffer, std::size_t size) {
  FakeHidraw* node = At(fd);
  if (node == nullptr || node->unplugged) {
    errno = node == nullptr ? EBADF : EIO;
    return -1;
  }
  if (node->input.empty()) {
    errno = EAGAIN;
    return -1;
  }
  std::vector<std::uint8_t> report = std::move(node->input.front());
  node->input.pop_front();
  if (!node->numberedReports) report.erase(report.begin());
  std::size_t length = std::min(size, report.size());
  length -= std::min(length, node->shortReadBy);
  std::memcpy(buffer, report.data(), length);
  return static_cast<long>(length);
}

long FakeSystem::Write(int fd, const void* buffer, std::size_t size) {
  FakeHidraw* node = At(fd);
  if (node == nullptr || node->unplugged) {
    errno = node == nullptr ? EBADF : ENODEV;
    return -1;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  node->writes.emplace_back(bytes, bytes + size);
  if (node->answerWrites) node->input.push_back(node->writes.back());
  if (node->answer) node->answer(node->writes.back(), node->input);
  return static_cast<long>(size);
}

// One node per call, as the backend polls. Nothing ready: the whole time-out
// passes on the virtual clock.
int FakeSystem::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  FakeHidraw* node = count == 1 ? At(fds[0].fd) : nullptr;
  if (node == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (node->eintrOnce > 0) {
    --node->eintrOnce;
    nowNs += 1'000'000;
    errno = EINTR;
    return -1;
  }
  fds[0].revents = 0;
  if (node->unplugged) {
    fds[0].revents = POLLHUP | POLLERR;
  } else if ((fds[0].events & POLLIN) && !node->input.empty()) {
    fds[0].revents = POLLIN;
  } else if (fds[0].events & POLLOUT) {
    fds[0].revents = POLLOUT;
  }
  if (fds[0].revents != 0) return 1;
  nowNs += std::uint64_t(std::max(timeoutMs, 0)) * 1'000'000;
  return 0;
}

}  // namespace qel::test
