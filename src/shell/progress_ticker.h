// Calls a function at once (on the caller's thread) and then once every interval on a thread of
// its own until it is stopped: a progress line moves on even while the run waits on one slow key.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace keyloom::shell {

class ProgressTicker {
 public:
  ProgressTicker(std::chrono::milliseconds interval, std::function<void()> tick);
  ~ProgressTicker() { Stop(); }
  ProgressTicker(const ProgressTicker&) = delete;
  ProgressTicker& operator=(const ProgressTicker&) = delete;

  // Returns once the thread has ended: no tick runs afterwards.
  void Stop();

 private:
  void Loop();

  std::chrono::milliseconds interval_;
  std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace keyloom::shell
