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
