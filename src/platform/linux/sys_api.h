// The system functions the Linux backend calls, as one table of function
// pointers. The backend calls them only through Sys(), so that a test can put
// stand-ins for the device nodes, the clock and the sysfs tree in place of
// the system's. Errors are reported as the system reports them: -1 (or
// MAP_FAILED) with errno set; a stand-in sets errno the same way.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qel::platform::linux_hw {

struct SysApi {
  int (*open)(const char* path, int flags);
  int (*close)(int fd);
  int (*ioctl)(int fd, unsigned long request, void* argument);
  ssize_t (*read)(int fd, void* buffer, std::size_t size);
  ssize_t (*write)(int fd, const void* buffer, std::size_t size);
  int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
  void* (*mmap)(void* address, std::size_t length, int protection, int flags, int fd, off_t offset);
  int (*munmap)(void* address, std::size_t length);
  int (*eventfd)(unsigned initialValue, int flags);
  int (*fstat)(int fd, struct stat* status);
  // CLOCK_MONOTONIC in nanoseconds: every deadline of the backend is kept on
  // it, so that a test's clock bounds every wait.
  std::uint64_t (*monotonicNs)();
  void (*sleepMs)(std::uint32_t ms);
  // Where sysfs is mounted ("/sys"); device classes and USB attributes are
  // read from files below it.
  std::string sysfsRoot;
};

// The system's functions.
const SysApi& SystemSysApi();

// The table in use: the system's unless a test replaced entries. Replace
// entries only while no object of the backend exists.
SysApi& Sys();

}  // namespace qel::platform::linux_hw
