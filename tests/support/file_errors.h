// The system's texts for file failures the tests provoke, in the words the program reports them:
// the Windows error's message on Windows (support/win32), the C library's text elsewhere
// (support/posix).
#pragma once

#include <string>

namespace keyloom::testing {

// Why a file in a folder that does not exist cannot be written.
std::string MissingFolderText();

// Why a write to a full disk failed.
std::string DiskFullText();

}  // namespace keyloom::testing
