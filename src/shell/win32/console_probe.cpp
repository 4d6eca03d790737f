#include "shell/win32/console_probe.h"

namespace keyloom::shell {

bool IsConsoleHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(handle) != FILE_TYPE_CHAR) return false;
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace keyloom::shell
