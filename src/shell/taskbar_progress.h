// What the taskbar button shows of the window's long work (a run, an export, the take-back of a
// run): a run's total is unknown, so it shows as going on without an end (indeterminate); work
// whose total is known shows how far it has got; work that waits (paused, or for an answer)
// shows as paused; work that ended with failures leaves the button in the error state until the
// window is activated, so that a user who looked elsewhere learns of them. Otherwise nothing.
//
// The window says what happens (TaskbarProgress); the choice of what that shows is one function
// (ChooseTaskbar); a TaskbarButton shows it, and hears of a change only.
#pragma once

#include <cstdint>

namespace keyloom::shell {

enum class TaskbarState : std::uint8_t { kNone, kIndeterminate, kNormal, kPaused, kError };

struct TaskbarShow {
  TaskbarState state = TaskbarState::kNone;
  std::uint64_t done = 0;  // the bar's value, of `total` (kNormal, kPaused, kError)
  std::uint64_t total = 0;
  bool operator==(const TaskbarShow&) const = default;
};

struct TaskbarFacts {
  bool busy = false;           // work is going
  bool waiting = false;        // it is paused or waits for the user's answer
  std::int64_t done = 0;       // how far it has got, of `total`
  std::int64_t total = -1;     // negative: unknown (a run)
  bool failed_unseen = false;  // the last work ended with failures; not activated since
};

TaskbarShow ChooseTaskbar(const TaskbarFacts& facts);

// The button itself; the Windows adapter talks to the shell.
class TaskbarButton {
 public:
  virtual ~TaskbarButton() = default;
  virtual void Show(const TaskbarShow& show) = 0;
};

// The GUI thread's account of its long work. Only one piece of work goes at a time.
class TaskbarProgress {
 public:
  explicit TaskbarProgress(TaskbarButton& button) : button_(button) {}

  // Work starts; a total of -1 when it is unknown. A former error state goes.
  void Started(std::int64_t total = -1);
  // How far it has got, and its total when that became known on the way.
  void Advanced(std::int64_t done, std::int64_t total);
  void Waiting(bool waiting);
  // Work ended; with failures the error state stays until Activated.
  void Ended(bool failed);
  void Activated();

  const TaskbarShow& shown() const { return shown_; }

 private:
  void Apply();

  TaskbarButton& button_;
  TaskbarFacts facts_;
  TaskbarShow shown_;
};

}  // namespace keyloom::shell
