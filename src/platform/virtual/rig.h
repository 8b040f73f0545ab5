// The process-wide state of the virtual camera rig: the devices in the order
// of the platform's enumeration, injected faults, the request log, the clock
// and the running streams, all guarded by one mutex. The mutex is never held
// while the library's code runs (the grabber callback) or while a thread is
// joined.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/virtual/device.h"
#include "platform/virtual/fault_table.h"
#include "platform/virtual/request_log.h"

namespace qel::sim {

struct StreamCore;

class Rig {
 public:
  static Rig& Instance();

  std::mutex mutex;
  // Signalled on every change a waiter may wait for: a clock advance, a
  // delivered frame, a stopped stream, a queued HID report.
  std::condition_variable changed;

  // Devices in the order of addition; foreign HID devices among them (they
  // are not video devices).
  std::vector<DevicePtr> devices;
  int nextId = 0;
  std::uint32_t nextInterfaceSerial = 1;
  FaultTable faults;
  RequestLog log;

  // Clock. The virtual clock counts milliseconds since the reset in
  // virtualElapsed; the tick count is that plus tickOffset, wrapping.
  bool virtualTime = false;
  std::uint64_t virtualElapsed = 0;
  std::uint32_t tickOffset = 0;
  std::chrono::steady_clock::time_point realEpoch = std::chrono::steady_clock::now();

  std::vector<std::shared_ptr<StreamCore>> streams;  // running streams

  // Gates: a closed gate holds the calls of its operation (on its device, or
  // any for -1) until it is opened, so that a test can keep a call of the
  // library in progress. waiting counts the calls held.
  struct Gate {
    int device;
    std::string operation;
    int waiting = 0;
  };
  std::vector<Gate> gates;
  // Waits while a gate of operation for device is closed; the rig mutex is
  // released while waiting.
  void PassGateLocked(std::unique_lock<std::mutex>& lock, std::string_view operation, int device);

  // Present device by id, or null. Rig mutex held.
  DevicePtr FindLocked(int id) const;
  // Unplugs the device: it leaves the enumeration and its open handles fail.
  // Rig mutex held; the caller keeps device alive until the lock is released.
  void RemoveLocked(const DevicePtr& device);
  // Counts a call of operation concerning device (-1: none) against the
  // injected faults; true when it is to fail. Rig mutex held / not held.
  bool FaultLocked(std::string_view operation, int device) { return faults.Hit(operation, device); }
  bool Fault(std::string_view operation, int device) {
    std::lock_guard lock(mutex);
    return faults.Hit(operation, device);
  }

 private:
  Rig() = default;
};

}  // namespace qel::sim
