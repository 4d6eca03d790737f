// The pause gate as a named manual-reset event "Pause:" + the decimal main window handle. Only this
// process opens and closes its gate, so it also keeps the gate's state in memory: a run passes an
// open gate without a call to the system (under Wine every such call is a round trip to the
// server), and waits on the event only while the gate is closed.
#pragma once

#include <windows.h>

#include <atomic>

#include "engine/pause_gate.h"

namespace keyloom::engine {

class EventPauseGate final : public PauseGate {
 public:
  // Created closed, then opened at once. `event_` is null when the event could not be created;
  // every wait then fails, which ends a run at its next pause point instead of hanging it.
  explicit EventPauseGate(HWND window);
  EventPauseGate(const EventPauseGate&) = delete;
  EventPauseGate& operator=(const EventPauseGate&) = delete;
  ~EventPauseGate() override;

  void Open() override;
  void Close() override;
  bool Wait() override;
  bool IsOpen(int milliseconds) override;

 private:
  HANDLE event_ = nullptr;
  std::atomic<bool> open_{false};
};

}  // namespace keyloom::engine
