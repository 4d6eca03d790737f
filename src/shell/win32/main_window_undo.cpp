// "Undo a run...": from the status log's right-click menu and Ctrl+Z, the dialog that takes back
// a whole run from its undo files.
#include <windowsx.h>

#include <chrono>
#include <cstdint>

#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/undo_run_dialog.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

namespace {

// The take-back's files merged of all, with the time, in the status bar's right part a few times
// a second, and on the taskbar button.
class TakeBackView final : public TakeBackWatch {
 public:
  TakeBackView(HWND status_bar, TaskbarProgress& taskbar)
      : status_bar_(status_bar), taskbar_(taskbar) {}

  void Started(std::int64_t total_files) override {
    started_ = std::chrono::steady_clock::now();
    throttle_ = ProgressThrottle(std::chrono::milliseconds(250));
    total_ = total_files;
    taskbar_.Started(total_files);
    if (total_files >= 0) Show(0);
  }
  void Advanced(std::int64_t files, std::int64_t total_files) override {
    total_ = total_files;
    done_ = files;
    taskbar_.Advanced(files, total_files);
    if (throttle_.Take(std::chrono::steady_clock::now())) Show(files);
  }
  void Asking(bool asking) override { taskbar_.Waiting(asking); }
  void Ended(bool failed) override {
    if (total_ >= 0) Show(done_);
    taskbar_.Ended(failed);
  }

 private:
  void Show(std::int64_t files) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    const std::wstring text = ToWide(CountedProgressText("Files", files, total_, elapsed));
    SendMessageW(status_bar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
  }

  HWND status_bar_;
  TaskbarProgress& taskbar_;
  std::chrono::steady_clock::time_point started_;
  ProgressThrottle throttle_{std::chrono::milliseconds(250)};
  std::int64_t total_ = -1;
  std::int64_t done_ = 0;
};

}  // namespace

bool TfrmMain::IsUndoRunKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != 'Z') return false;
  if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0) {
    return false;
  }
  wchar_t name[16] = {};
  GetClassNameW(message.hwnd, name, 16);
  return lstrcmpiW(name, L"Edit") != 0;
}

void TfrmMain::mnuUndoRunClick() {
  TfrmUndoRun dialog(
      run_parts_->context(), [this] { return controller_->Active(); },
      [this](const std::string& line) { Log(line); });
  TakeBackView view(status_bar_, taskbar_);
  dialog.SetWatch(&view);
  dialog.Show(instance_, hwnd());
}

}  // namespace keyloom::shell
