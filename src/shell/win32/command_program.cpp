#include "shell/win32/command_program.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <atomic>
#include <exception>
#include <string_view>

#include "engine/pause_gate.h"
#include "registry/registry.h"
#include "registry/win32/win32_reg_api.h"
#include "registry/win32/win32_service_control.h"
#include "shell/command_job.h"
#include "shell/exit_codes.h"
#include "shell/win32/app.h"
#include "shell/win32/console_probe.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

std::atomic<bool> g_stop{false};
HANDLE g_finished = nullptr;  // set when the run and its summary are done

// Ctrl+C and Ctrl+Break stop the run. Closing the console, logging off and shutting down end the
// process once the handler returns, so the handler waits (within the system's few seconds) for
// the summary to be written.
BOOL WINAPI OnConsoleControl(DWORD event) {
  g_stop = true;
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && g_finished != nullptr) {
    WaitForSingleObject(g_finished, 4000);
  }
  return TRUE;
}

// One standard stream: UTF-16 to a console, UTF-8 to anything else.
class StandardStream {
 public:
  explicit StandardStream(HANDLE handle) : handle_(handle), console_(IsConsoleHandle(handle)) {}

  HANDLE handle() const { return handle_; }

  // Writes `text` and a line end; the line ends inside it become CR LF.
  void WriteLine(std::string_view text) const {
    std::string lines;
    lines.reserve(text.size() + 2);
    for (const char c : text) {
      if (c == '\n') lines += '\r';
      lines += c;
    }
    lines += "\r\n";
    Write(lines);
  }

  // Writes `text` as it is (the progress line's carriage returns and blanks).
  void Write(std::string_view text) const {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD written = 0;
    if (console_) {
      const std::wstring wide = ToWide(text);
      WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
      WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
  }

 private:
  HANDLE handle_;
  bool console_ = false;
};

bool Usable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The handle for `which`; a GUI program given none borrows the console it was started from.
HANDLE StandardHandle(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (Usable(handle)) return handle;
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) {
    return nullptr;  // no console to attach to (ERROR_ACCESS_DENIED: attached already)
  }
  handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  return Usable(handle) ? handle : nullptr;
}

}  // namespace

std::vector<std::string> ProgramArguments() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(FromWide(argv[i]));
  LocalFree(argv);
  return args;
}

int RunCommandProgram(const std::vector<std::string>& args) {
  const StandardStream out(StandardHandle(STD_OUTPUT_HANDLE));
  const StandardStream err(StandardHandle(STD_ERROR_HANDLE));
  g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  int code = kExitFailure;
  try {
    const std::unique_ptr<reg::RegApi> api = reg::NewWin32RegApi();
    engine::PortablePauseGate gate;
    CommandEnvironment env;
    env.api = api.get();
    const std::unique_ptr<reg::ServiceControl> services = reg::NewWin32ServiceControl();
    env.services = services.get();
    env.gate = &gate;
    env.program.folder = ProgramFileFolder();
    std::string user;
    if (api->CurrentUserName(&user) == reg::kSuccess && !user.empty()) env.program.user_name = user;
    try {
      env.program.is_64bit_windows = reg::DetectIs64BitWindows(*api);
    } catch (const reg::ERegistryException&) {
      env.program.is_64bit_windows = false;
    }
    env.out = [&out](std::string_view line) { out.WriteLine(line); };
    env.err = [&err](std::string_view line) { err.WriteLine(line); };
    env.stop = &g_stop;
    const ConsoleStandardError standard_error(err.handle());
    env.standard_error = &standard_error;
    env.err_text = [&err](std::string_view text) { err.Write(text); };
    code = RunCommandLine(args, env);
  } catch (const std::exception& failure) {
    err.WriteLine(std::string("Unexpected failure: ") + failure.what());
  } catch (...) {
    err.WriteLine("Unexpected failure.");
  }
  if (g_finished != nullptr) SetEvent(g_finished);
  return code;
}

}  // namespace keyloom::shell
