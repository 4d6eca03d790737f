#include "shell/progress_ticker.h"

#include <utility>

namespace keyloom::shell {

ProgressTicker::ProgressTicker(std::chrono::milliseconds interval, std::function<void()> tick)
    : interval_(interval), tick_(std::move(tick)) {
  tick_();  // the first at once, on the caller's thread, so that it always comes
  thread_ = std::thread([this] { Loop(); });
}

void ProgressTicker::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ProgressTicker::Loop() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, interval_, [this] { return stopping_; })) {
    lock.unlock();
    tick_();
    lock.lock();
  }
}

}  // namespace keyloom::shell
