// On Windows a file error is told in the system's words for the Windows error behind it, never in
// the C library's.
#include "base/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "base/file_io.h"
#include "base/text.h"
#include "support/file_errors.h"

namespace keyloom::base {
namespace {

TEST(OsErrorWindows, ErrorsAreToldByTheWindowsErrorTheyStandFor) {
  // A missing folder's text (the shared test checks an open's failure against it) is not the C
  // library's.
  EXPECT_NE(keyloom::testing::MissingFolderText(),
            text::TrimMessage(std::generic_category().message(ENOENT)));
  EXPECT_EQ(FileSystemErrorText(std::make_error_code(std::errc::no_such_file_or_directory)),
            SystemErrorText(2));  // ERROR_FILE_NOT_FOUND
  EXPECT_EQ(FileSystemErrorText(std::error_code(5, std::system_category())), SystemErrorText(5));
}

}  // namespace
}  // namespace keyloom::base
