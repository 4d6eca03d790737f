// Elsewhere than on Windows a file error is told in the C library's words.
#include "base/os_error.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "base/file_io.h"
#include "support/temp_folder.h"

namespace keyloom::base {
namespace {

TEST(OsErrorPosix, ErrorsAreToldInTheLibrarysWords) {
  keyloom::testing::TempFolder folder;
  ClearFileError();
  ASSERT_EQ(OpenFile(folder.path() / "missing" / "UNDO.REG", "ab"), nullptr);
  EXPECT_EQ(LastFileErrorText(), "No such file or directory");
  EXPECT_EQ(FileSystemErrorText(std::make_error_code(std::errc::permission_denied)),
            "Permission denied");
}

}  // namespace
}  // namespace keyloom::base
