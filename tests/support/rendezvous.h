// Lets a fixed number of threads start a step together: each one arrives and
// waits until all have arrived. Built on a mutex and a condition variable on
// purpose: the standard library's latch, barrier and semaphores wait on
// atomics, which the mingw-w64 runtime does without a futex, and under Wine
// such a wait now and then never wakes.
#pragma once

#include <condition_variable>
#include <mutex>

namespace qel::test {

class Rendezvous {
 public:
  explicit Rendezvous(int parties) : waiting_(parties) {}

  void ArriveAndWait() {
    std::unique_lock lock(mutex_);
    if (--waiting_ <= 0) {
      allArrived_.notify_all();
      return;
    }
    allArrived_.wait(lock, [this] { return waiting_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable allArrived_;
  int waiting_;
};

}  // namespace qel::test
