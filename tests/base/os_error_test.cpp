#include "base/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "base/file_io.h"
#include "support/file_errors.h"
#include "support/temp_folder.h"

namespace keyloom::base {
namespace {

// The text of a file that cannot be opened is the system's; what the system's words are, each
// system's own test says (base/win32, base/posix).
TEST(OsError, AFileInAMissingFolderIsReportedInTheSystemsWords) {
  keyloom::testing::TempFolder folder;
  ClearFileError();
  std::FILE* file = OpenFile(folder.path() / "missing" / "UNDO.REG", "ab");
  ASSERT_EQ(file, nullptr);
  const std::string text = LastFileErrorText();
  EXPECT_EQ(text, keyloom::testing::MissingFolderText());
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
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
