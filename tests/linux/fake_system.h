// Stand-ins for the system calls of the Linux backend: a virtual clock and
// hidraw nodes, installed in the backend's table for a test's lifetime.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/sys_api.h"

namespace qel::test {

// One hidraw node. Input reports are queued whole (byte 0 the report ID, 0
// for a device without numbered reports); a read of a device without
// numbered reports hands them without that byte, as hidraw does.
struct FakeHidraw {
  std::vector<std::uint8_t> descriptor;
  bool numberedReports = false;
  std::deque<std::vector<std::uint8_t>> input;
  std::vector<std::vector<std::uint8_t>> writes;
  bool answerWrites = false;  // each written report comes back as input
  // Answers each written report by queuing input reports (a firmware).
  std::function<void(const std::vector<std::uint8_t>& written,
                     std::deque<std::vector<std::uint8_t>>& input)>
      answer;
  bool unplugged = false;  // poll hangs up, transfers fail as hidraw's do
  std::size_t shortReadBy = 0;
  std::uint32_t bustype = 3;  // BUS_USB
  std::uint16_t vendor = 0x1d6b;
  std::uint16_t product = 0x0102;
  int openErrno = 0;  // the open fails with it
  int openFlags = -1;
  int eintrOnce = 0;  // the next so many polls are interrupted
};

// The camera's descriptor shape: vendor page, 64-byte input and output
// reports without IDs.
std::vector<std::uint8_t> VendorDescriptor64();

class FakeSystem {
 public:
  explicit FakeSystem(const std::string& sysfsRoot);
  ~FakeSystem();
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  FakeHidraw& Node(const std::string& path) { return nodes_[path]; }
  std::uint64_t nowNs = 1'000'000'000;
  int opened = 0;
  int closed = 0;

  // The table's entries call these through the installed instance.
  int Open(const char* path, int flags);
  int Close(int fd);
  int Ioctl(int fd, unsigned long request, void* argument);
  long Read(int fd, void* buffer, std::size_t size);
  long Write(int fd, const void* buffer, std::size_t size);
  int Poll(pollfd* fds, nfds_t count, int timeoutMs);

 private:
  FakeHidraw* At(int fd);

  std::map<std::string, FakeHidraw> nodes_;
  std::map<int, FakeHidraw*> fds_;
  int nextFd_ = 1000;
};

}  // namespace qel::test
