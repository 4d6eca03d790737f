// Program start: the main window is created hidden (its creation restores the settings and may
// start the silent run), shown unless the silent mode holds it back, and the message loop runs
// until the program quits. Returns the program's exit code (see shell/exit_codes.h).
#pragma once

#include <windows.h>

#include <string>

namespace keyloom::shell {

int RunApplication(HINSTANCE instance, int show_command);

// The program file's folder (UTF-8) with its trailing backslash; empty when the name holds none.
std::string ProgramFileFolder();

}  // namespace keyloom::shell
