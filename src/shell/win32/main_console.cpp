// keyloom.com: the same program for consoles and scripts. A console starts it in preference to
// keyloom.exe for "keyloom", and waits for it, so its exit code reaches %ERRORLEVEL% and
// $LASTEXITCODE. Without arguments it opens the window program as keyloom.exe does.
#include <windows.h>

#include "shell/win32/app.h"
#include "shell/win32/command_program.h"

int wmain() {
  const auto args = keyloom::shell::ProgramArguments();
  if (!args.empty()) return keyloom::shell::RunCommandProgram(args);
  return keyloom::shell::RunApplication(GetModuleHandleW(nullptr), SW_SHOWDEFAULT);
}
