// The system's registry editor (regedit.exe) as the steering of open_regedit.h drives it: found by
// its main window's class, started through the shell, and sent key strokes as a real key press
// carries them (a repeat count of 1: some tree controls ignore characters without one).
#pragma once

#include <windows.h>

#include "edit/open_regedit.h"

namespace keyloom::edit {

class RegistryEditorWindow final : public RegistryEditor {
 public:
  static constexpr const wchar_t* kMainClass = L"RegEdit_RegEdit";
  static constexpr const wchar_t* kTreeClass = L"SysTreeView32";
  static constexpr const wchar_t* kListClass = L"SysListView32";
  static constexpr const wchar_t* kStatusClass = L"msctls_statusbar32";
  // How long a newly started editor may take to show its window and become idle.
  static constexpr DWORD kStartBoundMs = 10000;
  // How long one key stroke may take before the editor is taken for hung.
  static constexpr UINT kStrokeBoundMs = 2000;

  bool IsRunning() override;
  bool Start() override;
  void Activate() override;
  void Perform(const SteerStep& step) override;
  std::optional<std::string> SelectedKey() override;
  std::string TopItemName() override;
  bool SlowDisplay() override;

  HWND main_window() const { return main_; }

 private:
  HWND Pane(EditorPane pane) const;

  HWND main_ = nullptr;
};

// The first window of class `class_name` below `parent`, at any depth; nullptr when none.
HWND FindDescendant(HWND parent, const wchar_t* class_name);

}  // namespace keyloom::edit
