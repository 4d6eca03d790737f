// The pause gate of a run: open means "run", closed means "pause". The worker waits at it after
// each root and before each subkey; only the Pause button closes it. On Windows it is a named
// manual-reset event ("Pause:" + the main window's handle, so every running instance has its own);
// natively and in tests a portable gate with the same behaviour.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

namespace keyloom::engine {

class PauseGate {
 public:
  virtual ~PauseGate() = default;
  virtual void Open() = 0;
  virtual void Close() = 0;
  // Waits without limit until the gate is open. False when the wait itself failed.
  virtual bool Wait() = 0;
  // Whether the gate opens within `milliseconds` (the Pause button tests it with 2 ms).
  virtual bool IsOpen(int milliseconds) = 0;
};

class PortablePauseGate final : public PauseGate {
 public:
  void Open() override;
  void Close() override;
  bool Wait() override;
  bool IsOpen(int milliseconds) override;

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

}  // namespace keyloom::engine
