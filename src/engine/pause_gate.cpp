#include "engine/pause_gate.h"

#include <chrono>

namespace keyloom::engine {

void PortablePauseGate::Open() {
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  opened_.notify_all();
}

void PortablePauseGate::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

bool PortablePauseGate::Wait() {
  std::unique_lock lock(mutex_);
  opened_.wait(lock, [this] { return open_; });
  return true;
}

bool PortablePauseGate::IsOpen(int milliseconds) {
  std::unique_lock lock(mutex_);
  return opened_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return open_; });
}

}  // namespace keyloom::engine
