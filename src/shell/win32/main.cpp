// keyloom.exe: the program's entry point.
#include <windows.h>

#include "shell/win32/app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  return keyloom::shell::RunApplication(instance, show);
}
