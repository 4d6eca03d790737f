// Elsewhere than on Windows a file error is told in the C library's words.
#include "base/os_error.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "base/file_io.h"
#include "support/file_errors.h"

namespace keyloom::base {
namespace {

TEST(OsErrorPosix, ErrorsAreToldInTheLibrarysWords) {
  // The text a missing folder gives (the shared test checks an open's failure against it).
  EXPECT_EQ(keyloom::testing::MissingFolderText(), "No such file or directory");
  EXPECT_EQ(FileSystemErrorText(std::make_error_code(std::errc::permission_denied)),
            "Permission denied");
}

}  // namespace
}  // namespace keyloom::base
