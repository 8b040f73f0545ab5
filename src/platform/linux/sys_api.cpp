#include "platform/linux/sys_api.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace qel::platform::linux_hw {

namespace {

int SystemOpen(const char* path, int flags) { return ::open(path, flags); }
int SystemIoctl(int fd, unsigned long request, void* argument) {
  return ::ioctl(fd, request, argument);
}
int SystemFstat(int fd, struct stat* status) { return ::fstat(fd, status); }

std::uint64_t SystemMonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

// The whole pause, even when a signal interrupts it.
void SystemSleepMs(std::uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

SysApi MakeSystemApi() {
  SysApi api;
  api.open = &SystemOpen;
  api.close = &::close;
  api.ioctl = &SystemIoctl;
  api.read = &::read;
  api.write = &::write;
  api.poll = &::poll;
  api.mmap = &::mmap;
  api.munmap = &::munmap;
  api.eventfd = &::eventfd;
  api.fstat = &SystemFstat;
  api.monotonicNs = &SystemMonotonicNs;
  api.sleepMs = &SystemSleepMs;
  api.sysfsRoot = "/sys";
  return api;
}

}  // namespace

const SysApi& SystemSysApi() {
  static const SysApi api = MakeSystemApi();
  return api;
}

SysApi& Sys() {
  static SysApi api = SystemSysApi();
  return api;
}

}  // namespace qel::platform::linux_hw
