#include "base/spin_lock.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace keyloom::base {
namespace {

// Threads that each add to one shared count under the lock, holding it now and then long enough
// that the others must wait past their yields and sleep, lose no addition.
TEST(SpinLockTest, ThreadsThatTakeItInTurnLoseNoUpdate) {
  SpinLock lock;
  long long count = 0;
  constexpr int kThreads = 4;
  constexpr int kAdds = 100000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&lock, &count, t] {
      for (int i = 0; i < kAdds; ++i) {
        std::lock_guard<SpinLock> hold(lock);
        const long long seen = count;
        if (i % 20000 == t) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        count = seen + 1;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(count, static_cast<long long>(kThreads) * kAdds);
  ASSERT_TRUE(lock.try_lock());
  EXPECT_FALSE(lock.try_lock());
  lock.unlock();
}

}  // namespace
}  // namespace keyloom::base
