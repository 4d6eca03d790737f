#include "support/file_errors.h"

#include "base/os_error.h"

namespace keyloom::testing {

std::string MissingFolderText() { return base::SystemErrorText(3); }  // ERROR_PATH_NOT_FOUND

std::string DiskFullText() { return base::SystemErrorText(112); }  // ERROR_DISK_FULL

}  // namespace keyloom::testing
