#include "shell/win32/app.h"

#include <memory>

#include "registry/win32/win32_reg_api.h"
#include "shell/exit_codes.h"
#include "shell/win32/failure_handler.h"
#include "shell/win32/main_window.h"

namespace keyloom::shell {

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
      ShowWindow(main.hwnd(), show_command);
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
