#include "engine/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace keyloom::engine {
namespace {

using base::kPathSeparator;
using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;

TEST(DebugLogName, IsTheDateWithLeadingZeros) {
  EXPECT_EQ(DebugLogFileName({2026, 12, 6}), "DBG20261206.LOG");
  EXPECT_EQ(DebugLogFileName({2027, 1, 31}), "DBG20270131.LOG");
}

TEST(DebugLog, LinesAreAppendedWithCrLf) {
  TempFolder folder;
  DebugLog log(folder.Utf8(), [] { return LocalDate{2026, 12, 6}; });
  log.Append("first \xC3\xA9");
  log.Append("second");
  EXPECT_EQ(log.CurrentFilePath(), folder.Utf8() + "DBG20261206.LOG");
  EXPECT_EQ(ReadBytes(folder.path() / "DBG20261206.LOG"), "first \xC3\xA9\r\nsecond\r\n");
}

TEST(DebugLog, TwoDaysGiveTwoFiles) {
  TempFolder folder;
  LocalDate today{2026, 12, 31};
  DebugLog log(folder.Utf8(), [&] { return today; });
  log.Append("before midnight");
  today = LocalDate{2027, 1, 1};
  log.Append("after midnight");
  EXPECT_EQ(ReadBytes(folder.path() / "DBG20261231.LOG"), "before midnight\r\n");
  EXPECT_EQ(ReadBytes(folder.path() / "DBG20270101.LOG"), "after midnight\r\n");
}

TEST(DebugLog, AnExistingFileIsNeverTruncated) {
  TempFolder folder;
  keyloom::testing::WriteBytes(folder.path() / "DBG20261206.LOG", "earlier run\r\n");
  DebugLog log(folder.Utf8(), [] { return LocalDate{2026, 12, 6}; });
  log.Append("this run");
  EXPECT_EQ(ReadBytes(folder.path() / "DBG20261206.LOG"), "earlier run\r\nthis run\r\n");
}

TEST(DebugLog, AFolderThatCannotBeWrittenIsIgnored) {
  TempFolder folder;
  DebugLog log(folder.Utf8() + "missing" + kPathSeparator, [] { return LocalDate{2026, 1, 2}; });
  EXPECT_NO_THROW(log.Append("lost"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing"));
}

TEST(DebugLog, LinesFromSeveralThreadsNeverInterleave) {
  TempFolder folder;
  DebugLog log(folder.Utf8(), [] { return LocalDate{2026, 12, 6}; });
  const std::string line(300, 'w');
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) log.Append(line);
    });
  }
  for (auto& thread : threads) thread.join();
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += line + "\r\n";
  EXPECT_EQ(ReadBytes(folder.path() / "DBG20261206.LOG"), expected);
}

}  // namespace
}  // namespace keyloom::engine
