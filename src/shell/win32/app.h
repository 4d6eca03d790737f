// Program start: the main window is created hidden (its creation restores the settings and may
// start the silent run), shown unless the silent mode holds it back, and the message loop runs
// until the program quits. Returns the program's exit code (see shell/exit_codes.h).
#pragma once

#include <windows.h>

namespace keyloom::shell {

int RunApplication(HINSTANCE instance, int show_command);

}  // namespace keyloom::shell
