#include "shell/win32/app.h"

#include <memory>

#include "registry/win32/win32_reg_api.h"
#include "shell/exit_codes.h"
#include "shell/win32/failure_handler.h"
#include "shell/win32/main_window.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

// The program file's folder with its trailing backslash; empty when the name holds none.
std::string ProgramFileFolder() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::string() : FromWide(path.substr(0, slash + 1));
}

int RunApplication(HINSTANCE instance, int show_command) {
  return Guarded(kExitFailure, [&] {
    // Kept to the process's end: a remote-machine test that the system never answered may still
    // return through it after the window is gone.
    static reg::RegApi* const api = reg::NewWin32RegApi().release();
    MainWindowOptions options;
    options.api = api;
    TfrmMain main(std::move(options));
    if (!main.CreateMain(instance)) return kExitFailure;
    if (main.ShouldShow()) {
      ShowWindow(main.hwnd(), main.ShowCommandFor(show_command));
      UpdateWindow(main.hwnd());
    }
    MSG message;
    int result = 0;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0) {
      if (main.PreTranslate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return result < 0 ? kExitFailure : static_cast<int>(message.wParam);
  });
}

}  // namespace keyloom::shell
