#include "edit/win32/registry_editor_window.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "base/text.h"

namespace keyloom::edit {
namespace {

struct ClassSearch {
  const wchar_t* class_name;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM lparam) {
  auto* search = reinterpret_cast<ClassSearch*>(lparam);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (std::wcscmp(name, search->class_name) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

// Gives `window` of another thread the keyboard focus: SetFocus works only for the caller's own
// input state, so the two threads share it for the call.
void FocusForeign(HWND window) {
  const DWORD target = GetWindowThreadProcessId(window, nullptr);
  const DWORD self = GetCurrentThreadId();
  const bool attached = target != self && AttachThreadInput(self, target, TRUE) != FALSE;
  SetFocus(window);
  if (attached) AttachThreadInput(self, target, FALSE);
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

HWND FindDescendant(HWND parent, const wchar_t* class_name) {
  ClassSearch search{class_name, nullptr};
  EnumChildWindows(parent, MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool RegistryEditorWindow::IsRunning() {
  main_ = FindWindowW(kMainClass, nullptr);
  return main_ != nullptr;
}

// The wait is bounded: an editor that never comes up must not hang this window for ever. The
// editor is idle once its window answers a message; WaitForInputIdle cannot tell that for an editor
// of the other bitness under Wine.
bool RegistryEditorWindow::Start() {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"open";
  info.lpFile = L"regedit.exe";
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  const DWORD start = GetTickCount();
  const auto remaining_ms = [start] {
    const DWORD spent = GetTickCount() - start;
    return spent < kStartBoundMs ? kStartBoundMs - spent : 0;
  };
  bool gone = false;
  while (!IsRunning() && remaining_ms() > 0 && !gone) {
    gone = info.hProcess != nullptr && WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0;
    if (info.hProcess == nullptr) Sleep(50);
  }
  if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  DWORD_PTR result = 0;
  return main_ != nullptr && SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL,
                                                 std::max<DWORD>(remaining_ms(), 1), &result) != 0;
}

void RegistryEditorWindow::Activate() {
  ShowWindow(main_, SW_SHOW);
  SetForegroundWindow(main_);
}

HWND RegistryEditorWindow::Pane(EditorPane pane) const {
  return FindDescendant(main_, pane == EditorPane::kTree ? kTreeClass : kListClass);
}

void RegistryEditorWindow::Perform(const SteerStep& step) {
  if (step.kind == SteerStep::Kind::kPause) {
    Sleep(step.code);
    return;
  }
  HWND pane = Pane(step.pane);
  if (pane == nullptr) return;
  DWORD_PTR result = 0;
  switch (step.kind) {
    case SteerStep::Kind::kFocus:
      SetForegroundWindow(pane);
      FocusForeign(pane);
      break;
    case SteerStep::Kind::kKeyDown:
      SendMessageTimeoutW(pane, WM_KEYDOWN, step.code, 1, SMTO_ABORTIFHUNG, kStrokeBoundMs,
                          &result);
      break;
    case SteerStep::Kind::kChar:
      SendMessageTimeoutW(pane, WM_CHAR, step.code, 1, SMTO_ABORTIFHUNG, kStrokeBoundMs, &result);
      break;
    case SteerStep::Kind::kPause:
      break;
  }
}

// The editor's status bar shows the selected key's full path.
std::optional<std::string> RegistryEditorWindow::SelectedKey() {
  HWND status = FindDescendant(main_, kStatusClass);
  if (status == nullptr || !IsWindowVisible(status)) return std::nullopt;
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(status, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kStrokeBoundMs, &copied) ||
      copied == 0) {
    return std::nullopt;
  }
  const std::u16string shown(reinterpret_cast<const char16_t*>(text),
                             std::min<std::size_t>(copied, 1023));
  return KeyOfEditorPath(text::Utf16ToUtf8(shown));
}

std::string RegistryEditorWindow::TopItemName() { return UnderWine() ? "" : "Computer"; }

bool RegistryEditorWindow::SlowDisplay() {
  DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  return EnumDisplaySettingsW(nullptr, 0, &mode) && mode.dmBitsPerPel > 8;
}

}  // namespace keyloom::edit
