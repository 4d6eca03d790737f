// Where the tests find the program they start: build/windows/keyloom.exe, beside the tests folder
// that holds the test program.
#pragma once

#include <windows.h>

#include <filesystem>

namespace keyloom::testing {

inline std::filesystem::path KeyloomExe() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path().parent_path() / L"keyloom.exe";
}

}  // namespace keyloom::testing

#include <string>
#include <thread>

namespace keyloom::testing {

struct CapturedRun {
  DWORD exit_code = ~0u;
  std::string out;  // the bytes written to standard output
  std::string err;  // the bytes written to standard error
};

// Starts `command_line` in `folder` with its standard output and error captured through pipes, as
// a script's "> out.txt" or "| findstr" would see them, and waits up to `bound_ms` for its end.
// With `error_file` (an inheritable handle) standard error goes there instead, as "2> file" does.
inline CapturedRun RunCaptured(std::wstring command_line, const wchar_t* folder = nullptr,
                               DWORD bound_ms = 120000, HANDLE error_file = nullptr) {
  CapturedRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0)) return run;
  if (!CreatePipe(&err_read, &err_write, &inherit, 0)) return run;
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = out_write;
  startup.hStdError = error_file != nullptr ? error_file : err_write;
  PROCESS_INFORMATION process{};
  command_line.push_back(L'\0');
  const BOOL started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, folder, &startup, &process);
  CloseHandle(out_write);
  CloseHandle(err_write);
  const auto drain = [](HANDLE pipe, std::string* bytes) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
      bytes->append(buffer, read);
    }
  };
  std::thread err_reader(drain, err_read, &run.err);
  if (started) drain(out_read, &run.out);
  if (started && WaitForSingleObject(process.hProcess, bound_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &run.exit_code);
  } else if (started) {
    TerminateProcess(process.hProcess, ~0u);
  }
  err_reader.join();
  CloseHandle(out_read);
  CloseHandle(err_read);
  if (started) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return run;
}

}  // namespace keyloom::testing
