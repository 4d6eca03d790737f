#include "support/file_errors.h"

#include <cerrno>

#include "base/os_error.h"

namespace keyloom::testing {

std::string MissingFolderText() { return base::SystemErrorText(ENOENT); }

std::string DiskFullText() { return base::SystemErrorText(ENOSPC); }

}  // namespace keyloom::testing
