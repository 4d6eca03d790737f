// The system's texts for file failures the tests provoke, in the words the program reports them.
#pragma once

#include <cerrno>
#include <string>

#include "base/os_error.h"

namespace keyloom::testing {

// Why a file in a folder that does not exist cannot be written.
inline std::string MissingFolderText() {
#ifdef _WIN32
  return base::SystemErrorText(3);  // ERROR_PATH_NOT_FOUND
#else
  return base::SystemErrorText(ENOENT);
#endif
}

// Why a write to a full disk failed.
inline std::string DiskFullText() {
#ifdef _WIN32
  return base::SystemErrorText(112);  // ERROR_DISK_FULL
#else
  return base::SystemErrorText(ENOSPC);
#endif
}

}  // namespace keyloom::testing
