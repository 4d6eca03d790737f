// A lock for critical sections of a few instructions that two threads take very often.
//
// Taking and giving back a SpinLock is one atomic exchange and one store; a system mutex costs a
// call into the threads library each way, which shows when a run takes a lock three times a hit for
// a million hits. A thread that finds the lock taken yields its time slice, so that a holder that
// lost its processor runs again; after a few yields it sleeps instead, since a yield does not let a
// holder of lower priority run. It suits only sections that hold the lock briefly and never wait
// for anything while they do.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace keyloom::base {

class SpinLock {
 public:
  void lock() {
    int waits = 0;
    while (taken_.exchange(true, std::memory_order_acquire)) {
      do {
        Wait(++waits);
      } while (taken_.load(std::memory_order_relaxed));
    }
  }
  bool try_lock() { return !taken_.exchange(true, std::memory_order_acquire); }
  void unlock() { taken_.store(false, std::memory_order_release); }

 private:
  static constexpr int kYieldsBeforeSleeping = 16;

  static void Wait(int waits) {
    if (waits <= kYieldsBeforeSleeping) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::atomic<bool> taken_{false};
};

}  // namespace keyloom::base
