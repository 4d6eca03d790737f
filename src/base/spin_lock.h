// A lock for critical sections of a few instructions that two threads take very often.
//
// Taking and giving back a SpinLock is one atomic exchange and one store; a system mutex costs a
// call into the threads library each way, which shows when a run takes a lock three times a hit for
// a million hits. A thread that finds the lock taken yields its time slice until the lock is free,
// so a holder that loses the processor is not spun against. It suits only sections that hold it
// briefly and never wait for anything while they do.
#pragma once

#include <atomic>
#include <thread>

namespace keyloom::base {

class SpinLock {
 public:
  void lock() {
    while (taken_.exchange(true, std::memory_order_acquire)) {
      while (taken_.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
  }
  bool try_lock() { return !taken_.exchange(true, std::memory_order_acquire); }
  void unlock() { taken_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> taken_{false};
};

}  // namespace keyloom::base
