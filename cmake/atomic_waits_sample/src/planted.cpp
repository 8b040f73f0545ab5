// A sample for the atomic-wait check's own test: each line below marked
// "refused" must be reported, and no other (nine in all).
#include <atomic>
#include <condition_variable>
#include <latch>  // refused
#include <mutex>
#include <semaphore>  // refused
#include <thread>

std::atomic<int> ready{0};
std::atomic_flag raised;
std::condition_variable changed;
std::mutex mutex;

void Planted() {
  std::barrier<> meeting(2);            // refused
  std::counting_semaphore<4> slots(0);  // refused
  ready.wait(0);                        // refused
  ready.notify_all();                   // refused
  raised.notify_one();                  // refused
  std::atomic_wait(&ready, 0);          // refused
  std::jthread worker([] {});           // refused
  std::unique_lock lock(mutex);         // a condition variable's wait is fine,
  changed.wait(lock, [] { return ready.load() > 0; });
  changed.notify_all();
  // and so is a mention in a comment: std::latch, ready.wait(0)
}
