#include "base/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/file_io.h"
#include "base/text.h"
#include "support/file_errors.h"
#include "support/temp_folder.h"

namespace keyloom::base {
namespace {

// The text of a file that cannot be opened is the system's, not the C library's, on Windows.
TEST(OsError, AFileInAMissingFolderIsReportedInTheSystemsWords) {
  keyloom::testing::TempFolder folder;
  ClearFileError();
  std::FILE* file = OpenFile(folder.path() / "missing" / "UNDO.REG", "ab");
  ASSERT_EQ(file, nullptr);
  const std::string text = LastFileErrorText();
  EXPECT_EQ(text, keyloom::testing::MissingFolderText());
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
#ifdef _WIN32
  EXPECT_NE(text, text::TrimMessage(std::generic_category().message(ENOENT)));
  // A library error code is told by the Windows error it stands for.
  EXPECT_EQ(FileSystemErrorText(std::make_error_code(std::errc::no_such_file_or_directory)),
            SystemErrorText(2));  // ERROR_FILE_NOT_FOUND
  EXPECT_EQ(FileSystemErrorText(std::error_code(5, std::system_category())), SystemErrorText(5));
#else
  EXPECT_EQ(text, "No such file or directory");
  EXPECT_EQ(FileSystemErrorText(std::make_error_code(std::errc::permission_denied)),
            "Permission denied");
#endif
}

TEST(OsError, AnEarlierErrorIsForgotten) {
  keyloom::testing::TempFolder folder;
  const auto path = folder.path() / "present";
  std::FILE* made = OpenFile(path, "wb");
  ASSERT_NE(made, nullptr);
  std::fclose(made);
  std::FILE* missing = OpenFile(folder.path() / "no" / "file", "rb");
  ASSERT_EQ(missing, nullptr);
  ClearFileError();
  EXPECT_EQ(errno, 0);
  // With no error left, a failure the library found by itself reads as an I/O error.
  EXPECT_NE(LastFileErrorText(), keyloom::testing::MissingFolderText());
}

}  // namespace
}  // namespace keyloom::base
