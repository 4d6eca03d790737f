// Test support under Wine: starting programs and waiting for them, merging .REG files with the
// system's registry editor, and naming what differs between two registry snapshots.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "files/reg_file_format.h"
#include "registry/registry_contract.h"

namespace keyloom::testing {

// Starts a program and waits up to `bound_ms` for it: its exit code, ~0u when it could not start
// or did not end in time (it is then ended). Its output goes nowhere.
inline DWORD RunAndWait(std::wstring command_line, const wchar_t* folder = nullptr,
                        DWORD bound_ms = 120000) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  PROCESS_INFORMATION process{};
  command_line.push_back(L'\0');
  const BOOL started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, folder, &startup, &process);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) return ~0u;
  DWORD code = ~0u;
  if (WaitForSingleObject(process.hProcess, bound_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, ~0u);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

inline std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length);
}

// The two registry editors of 64-bit Windows. A double click on a .REG file starts the 64-bit
// one, which reaches HKEY_LOCAL_MACHINE\Software in the 64-bit view (and the 32-bit view's keys
// under Software\Wow6432Node); the 32-bit one merges HKEY_LOCAL_MACHINE\Software into the 32-bit
// view.
enum class RegistryEditor { k64Bit, k32Bit };

// Merges a .REG file silently with one of the registry editors, as "regedit /s FILE" does. Started
// from this 32-bit process, %windir%\regedit.exe is redirected to the 32-bit editor in SysWOW64
// (measured under Wine, as documented for Windows); with the redirection turned off for the start
// it is the 64-bit one.
inline DWORD MergeRegFile(const std::filesystem::path& file, RegistryEditor editor) {
  const std::wstring command = WindowsFolder() + L"\\regedit.exe /s \"" + file.wstring() + L"\"";
  if (editor == RegistryEditor::k32Bit) return RunAndWait(command);
  PVOID redirection = nullptr;
  if (!Wow64DisableWow64FsRedirection(&redirection)) return ~0u;
  const DWORD code = RunAndWait(command);
  Wow64RevertWow64FsRedirection(redirection);
  return code;
}

inline std::string Describe(const reg::RawValue& value) {
  return "type " + std::to_string(value.type) + " [" + files::ByteList(value.data) + "]";
}

// What differs between two snapshots, one line per key or value; "" when they are the same.
inline std::string Differences(const reg::testing::TreeSnapshot& expected,
                               const reg::testing::TreeSnapshot& actual) {
  std::string out;
  for (const auto& [key, values] : expected) {
    const auto found = actual.find(key);
    if (found == actual.end()) {
      out += "missing key " + key + "\n";
      continue;
    }
    for (const auto& [name, value] : values) {
      const auto other = found->second.find(name);
      if (other == found->second.end()) {
        out += "missing value " + key + " : " + name + "\n";
      } else if (!(other->second == value)) {
        out += "value " + key + " : " + name + " is " + Describe(other->second) + ", was " +
               Describe(value) + "\n";
      }
    }
    for (const auto& [name, value] : found->second) {
      if (values.count(name) == 0) out += "extra value " + key + " : " + name + "\n";
    }
  }
  for (const auto& [key, values] : actual) {
    if (expected.count(key) == 0) out += "extra key " + key + "\n";
  }
  return out;
}

}  // namespace keyloom::testing
