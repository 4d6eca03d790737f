// Whether a standard handle is a console: a character device that answers GetConsoleMode. A file,
// a pipe and the NUL device are not (NUL is a character device without a console mode).
#pragma once

#include <windows.h>

#include "shell/run_progress.h"

namespace keyloom::shell {

bool IsConsoleHandle(HANDLE handle);

class ConsoleStandardError final : public StandardErrorProbe {
 public:
  explicit ConsoleStandardError(HANDLE handle) : console_(IsConsoleHandle(handle)) {}
  bool IsConsole() const override { return console_; }

 private:
  bool console_;
};

}  // namespace keyloom::shell
