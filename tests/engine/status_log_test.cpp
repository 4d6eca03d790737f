#include "engine/status_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "support/temp_folder.h"

namespace keyloom::engine {
namespace {

using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;

TEST(StatusLines, The81stLineDropsTheTenOldest) {
  StatusLines lines;
  for (int i = 1; i <= 80; ++i) EXPECT_EQ(lines.Append("line " + std::to_string(i)), 0u);
  EXPECT_EQ(lines.Size(), 80u);
  EXPECT_EQ(lines.Append("line 81"), 10u);
  const auto held = lines.Lines();
  ASSERT_EQ(held.size(), 71u);
  EXPECT_EQ(held.front(), "line 11");
  EXPECT_EQ(held.back(), "line 81");
  EXPECT_EQ(lines.SelectedLine(), "line 81");
}

TEST(StatusLines, ALongRunNeverHoldsMoreThan80) {
  StatusLines lines;
  for (int i = 1; i <= 1000; ++i) {
    lines.Append(std::to_string(i));
    ASSERT_LE(lines.Size(), StatusLines::kMaxLines);
  }
  EXPECT_EQ(lines.SelectedLine(), "1000");
  lines.Clear();
  EXPECT_EQ(lines.Size(), 0u);
  EXPECT_EQ(lines.SelectedLine(), std::nullopt);  // nothing to zoom
}

// The window's side of RunOutput, as far as the status log reaches it.
class FakeWindow : public RunOutput {
 public:
  void AddStatusLine(std::string line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    status_bar_ = line;
    list_.Append(line);
  }
  void SetStatusBarText(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    status_bar_ = text;
  }
  void AddKeyListEntry(std::string) override {}
  void ClearLists() override { list_.Clear(); }
  void RunFinished() override {}
  void RequestQuit() override {}

  std::vector<std::string> List() const { return list_.Lines(); }
  std::string StatusBar() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_bar_;
  }

 private:
  mutable std::mutex mutex_;
  StatusLines list_;
  std::string status_bar_;
};

class StatusLogTest : public ::testing::Test {
 protected:
  static constexpr LocalDate kDay{2026, 12, 6};
  std::string DebugFile() const { return ReadBytes(folder_.path() / "DBG20261206.LOG"); }

  TempFolder folder_;
  FakeWindow window_;
  DebugLog debug_log_{folder_.Utf8(), [] { return kDay; }};
  int level_ = kLoggingDefault;
  std::atomic<bool> silent_{false};
  StatusLog log_{window_, debug_log_, [this] { return level_; }, silent_};
};

TEST_F(StatusLogTest, AnOrdinaryLineReachesListAndStatusBar) {
  log_.Write("Finished, Replaced [2] Entries.");
  EXPECT_EQ(window_.List(), std::vector<std::string>{"Finished, Replaced [2] Entries."});
  EXPECT_EQ(window_.StatusBar(), "Finished, Replaced [2] Entries.");
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "DBG20261206.LOG"));
}

TEST_F(StatusLogTest, TabsAreShownAsBackslashesEverywhere) {
  level_ = kLoggingDebug;
  log_.Write("Found [HKEY_CURRENT_USER\\Software\\A\tName]");
  EXPECT_EQ(window_.List().back(), "Found [HKEY_CURRENT_USER\\Software\\A\\Name]");
  EXPECT_EQ(DebugFile(), "Found [HKEY_CURRENT_USER\\Software\\A\\Name]\r\n");
}

TEST_F(StatusLogTest, DebugOnlyLinesGoOnlyToTheFileAtLevel2) {
  for (int level : {kLoggingDefault, kLoggingInformational}) {
    level_ = level;
    log_.Write("Checking KEY NAME [x]", true);
  }
  EXPECT_TRUE(window_.List().empty());
  EXPECT_EQ(window_.StatusBar(), "");
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "DBG20261206.LOG"));

  level_ = kLoggingDebug;
  log_.Write("Checking KEY NAME [y]", true);
  EXPECT_TRUE(window_.List().empty());
  EXPECT_EQ(window_.StatusBar(), "");
  EXPECT_EQ(DebugFile(), "Checking KEY NAME [y]\r\n");
}

TEST_F(StatusLogTest, TheLevelIsAskedAtEveryLine) {
  log_.Write("before");
  level_ = kLoggingDebug;  // changed in Options during the run
  log_.Write("during");
  level_ = kLoggingInformational;
  log_.Write("after");
  EXPECT_EQ(window_.List(), (std::vector<std::string>{"before", "during", "after"}));
  EXPECT_EQ(DebugFile(), "during\r\n");
}

TEST_F(StatusLogTest, SilentModeWritesNothingButTheDebugFileOnlyLines) {
  level_ = kLoggingDebug;
  silent_ = true;
  log_.Write("64-bit Windows Detected");
  log_.Write("Checking VALUE DATA [x]", true);
  EXPECT_TRUE(window_.List().empty());
  EXPECT_EQ(window_.StatusBar(), "");
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "DBG20261206.LOG"));

  log_.WriteDebugFile("Subtree Depth has hit 40, skipping tree [\\A]");
  EXPECT_TRUE(window_.List().empty());
  EXPECT_EQ(DebugFile(), "Subtree Depth has hit 40, skipping tree [\\A]\r\n");
}

TEST_F(StatusLogTest, DebugFileOnlyLinesNeedLevel2) {
  level_ = kLoggingInformational;
  log_.WriteDebugFile("Subtree Depth has hit 40, skipping tree [\\A]");
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "DBG20261206.LOG"));
  EXPECT_TRUE(window_.List().empty());
}

TEST_F(StatusLogTest, AnUnwritableDebugFileLeavesTheDisplayAlone) {
  std::filesystem::create_directory(folder_.path() / "DBG20261206.LOG");  // a folder in its place
  level_ = kLoggingDebug;
  log_.Write("still shown");
  EXPECT_EQ(window_.List(), std::vector<std::string>{"still shown"});
}

TEST_F(StatusLogTest, AWindowThatFailsDoesNotStopTheCaller) {
  class BrokenWindow : public FakeWindow {
    void AddStatusLine(std::string) override { throw std::runtime_error("gone"); }
  } broken;
  level_ = kLoggingDebug;
  StatusLog log(
      broken, debug_log_, [this] { return level_; }, silent_);
  EXPECT_NO_THROW(log.Write("line"));
  EXPECT_EQ(DebugFile(), "line\r\n");
}

}  // namespace
}  // namespace keyloom::engine
