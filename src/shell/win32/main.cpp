// keyloom.exe: the program's entry point. Without arguments the window program; with arguments
// one run from the command line, without a window.
#include <windows.h>

#include "shell/win32/app.h"
#include "shell/win32/command_program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  const auto args = keyloom::shell::ProgramArguments();
  if (!args.empty()) return keyloom::shell::RunCommandProgram(args);
  return keyloom::shell::RunApplication(instance, show);
}
