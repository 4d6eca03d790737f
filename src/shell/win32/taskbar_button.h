// The taskbar button's progress through the shell's ITaskbarList3. The interface is asked for
// only once the shell says the window's button exists (the registered message
// "TaskbarButtonCreated"), and only on the GUI thread. Where the shell never says so (no taskbar,
// or a system without it) or has no such interface, nothing is created and every Show costs a
// comparison: nothing is logged, nothing waits.
#pragma once

#include <windows.h>

#include "shell/taskbar_progress.h"

struct ITaskbarList3;

namespace keyloom::shell {

class Win32TaskbarButton final : public TaskbarButton {
 public:
  Win32TaskbarButton() = default;
  ~Win32TaskbarButton() override;
  Win32TaskbarButton(const Win32TaskbarButton&) = delete;
  Win32TaskbarButton& operator=(const Win32TaskbarButton&) = delete;

  // The message the shell sends once the button exists (the same number in every process).
  static UINT CreatedMessage();
  // Lets that message through to `window` when the program runs elevated, as administrators run
  // it: the shell runs with less and would be filtered out.
  static void Listen(HWND window);
  // The shell's message arrived for `window`: asks for the interface (again, after the shell
  // restarted) and shows the latest state on it. False when the shell has no such interface.
  bool OnButtonCreated(HWND window);
  // The window's end: the interface goes, before COM does.
  void Release();
  bool attached() const { return list_ != nullptr; }

  void Show(const TaskbarShow& show) override;

 private:
  void Apply();

  HWND window_ = nullptr;
  ITaskbarList3* list_ = nullptr;
  bool com_initialized_ = false;
  TaskbarShow show_;
};

}  // namespace keyloom::shell
