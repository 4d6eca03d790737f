#include "base/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "support/temp_folder.h"

namespace keyloom::base {
namespace {

using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;
using keyloom::testing::WriteBytes;

class AtomicWrite : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(target_, "old content"); }

  TempFolder folder_;
  std::filesystem::path target_ = folder_.path() / "KEYLOOM.INI";
};

TEST_F(AtomicWrite, ReplacesTheFileAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(WriteFileAtomically(target_, "new content"));
  EXPECT_EQ(ReadBytes(target_), "new content");
  EXPECT_FALSE(std::filesystem::exists(TempPathFor(target_)));
}

TEST_F(AtomicWrite, CreatesAMissingFile) {
  const auto fresh = folder_.path() / "fresh.ini";
  ASSERT_TRUE(WriteFileAtomically(fresh, "x"));
  EXPECT_EQ(ReadBytes(fresh), "x");
}

TEST_F(AtomicWrite, AWriteThatBreaksOffHalfWayLeavesTheOldFile) {
  const auto half_then_fail = [](const std::filesystem::path& temp, std::string_view bytes) {
    WriteBytes(temp, bytes.substr(0, bytes.size() / 2));
    return false;
  };
  EXPECT_FALSE(WriteFileAtomically(target_, "new content that never lands", half_then_fail));
  EXPECT_EQ(ReadBytes(target_), "old content");
  EXPECT_FALSE(std::filesystem::exists(TempPathFor(target_)));
}

TEST_F(AtomicWrite, AnExceptionWhileWritingCountsAsFailure) {
  const auto throwing = [](const std::filesystem::path&, std::string_view) -> bool {
    throw std::runtime_error("disk gone");
  };
  EXPECT_FALSE(WriteFileAtomically(target_, "new", throwing));
  EXPECT_EQ(ReadBytes(target_), "old content");
}

TEST_F(AtomicWrite, AFolderInTheTemporaryFilesPlaceIsLeftAlone) {
  std::filesystem::create_directory(TempPathFor(target_));
  EXPECT_FALSE(WriteFileAtomically(target_, "new"));
  EXPECT_EQ(ReadBytes(target_), "old content");
  EXPECT_TRUE(std::filesystem::is_directory(TempPathFor(target_)));
}

TEST_F(AtomicWrite, AStaleTemporaryFileFromACrashIsOverwritten) {
  WriteBytes(TempPathFor(target_), "half of an earlier sa");
  ASSERT_TRUE(WriteFileAtomically(target_, "new content"));
  EXPECT_EQ(ReadBytes(target_), "new content");
  EXPECT_FALSE(std::filesystem::exists(TempPathFor(target_)));
}

}  // namespace
}  // namespace keyloom::base
