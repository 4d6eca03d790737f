#include "files/kept_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/utf8_path.h"
#include "files/run_journal.h"
#include "support/temp_folder.h"

namespace keyloom::files {
namespace {

using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;

std::string Line(int i) { return "Found in Key  : \\Software\\K" + std::to_string(i) + "\\v"; }

// A run of 10,000 lines, written from the run's worker and the window's thread at once, is kept
// whole and in each thread's order in the run's file, which the journal names; the session's log
// holds every run's lines and goes with the program.
TEST(KeptLogTest, ARunOfTenThousandLinesIsKeptWholeBesideItsUndoFilesAndNamedInTheJournal) {
  TempFolder undo;
  TempFolder temp;
  const std::filesystem::path session = temp.path() / "KEYLOOM-SESSION-1.TXT";
  std::string run_file;
  {
    KeptLog kept(session);
    kept.Add("Before any run");
    std::string error;
    run_file = kept.BeginRun(undo.Utf8(), "2026-12-08 06:05:01", &error);
    ASSERT_EQ(run_file, base::PathToUtf8(undo.path() / "RUNLOG-20261208-060501.TXT")) << error;
    RunJournal journal([] { return std::string("2026-12-08 06:05:01"); });
    journal.BeginRun({"", "K", "L", "", "", run_file});
    std::thread window([&kept] {
      for (int i = 0; i < 500; ++i) kept.Add("window " + std::to_string(i));
    });
    for (int i = 0; i < 9500; ++i) kept.Add(Line(i));
    window.join();
    EXPECT_EQ(kept.EndRun(), "");
    EXPECT_EQ(journal.EndRun(), "") << "a run without undo files still names its log";
    kept.Add("After the run");

    const std::string bytes = ReadBytes(run_file);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t end = bytes.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      lines.push_back(bytes.substr(at, end - at));
      at = end + 2;
    }
    ASSERT_EQ(lines.size(), 10000u);
    int next_run = 0;
    int next_window = 0;
    for (const std::string& line : lines) {
      if (line.rfind("window ", 0) == 0) {
        ASSERT_EQ(line, "window " + std::to_string(next_window++));
      } else {
        ASSERT_EQ(line, Line(next_run++));
      }
    }
    EXPECT_EQ(next_run, 9500);

    std::string text;
    ASSERT_TRUE(kept.SessionText(&text));
    EXPECT_EQ(text.rfind("Before any run\r\n", 0), 0u);
    EXPECT_NE(text.find(Line(9499) + "\r\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("After the run\r\n"));
    EXPECT_EQ(text.size(), bytes.size() + 16 + 15);

    // A second run that starts in the same second gets a name of its own.
    const std::string second = kept.BeginRun(undo.Utf8(), "2026-12-08 06:05:01", &error);
    EXPECT_EQ(second, base::PathToUtf8(undo.path() / "RUNLOG-20261208-060501-2.TXT"));
    kept.EndRun();
  }
  EXPECT_FALSE(std::filesystem::exists(session)) << "the session's log goes with the program";
  EXPECT_TRUE(std::filesystem::exists(base::PathFromUtf8(run_file)));
  const std::string journal_text = ReadBytes(undo.path() / std::string(kRunJournalName));
  EXPECT_NE(journal_text.find("Log=RUNLOG-20261208-060501.TXT\r\n"), std::string::npos);
  // Such a block lists no run to take back.
  EXPECT_TRUE(RunJournal().Runs(undo.Utf8()).empty());
}

TEST(KeptLogTest, AFolderThatCannotTakeTheLogSaysWhyAndTheRunGoesOnWithoutIt) {
  TempFolder undo;
  KeptLog kept;
  std::string error;
  EXPECT_EQ(kept.BeginRun(base::PathToUtf8(undo.path() / "missing"), "2026-12-08 06:05:01", &error),
            "");
  EXPECT_FALSE(error.empty());
  kept.Add("a line with nowhere to go");
  EXPECT_EQ(kept.EndRun(), "");
  std::string text;
  EXPECT_FALSE(kept.SessionText(&text)) << "no session log was asked for";
}

// The journal of a run that wrote undo files names its log in its first block.
TEST(KeptLogTest, TheJournalNamesTheLogOfARunWithUndoFiles) {
  TempFolder undo;
  RunJournal journal([] { return std::string("2026-12-08 06:05:01"); });
  const std::string log = base::PathToUtf8(undo.path() / "RUNLOG-20261208-060501.TXT");
  journal.BeginRun({"", "K", "L", "", "", log});
  const std::string file = base::PathToUtf8(undo.path() / "UNDO-20261208-001.REG");
  keyloom::testing::WriteBytes(base::PathFromUtf8(file), "x");
  EXPECT_EQ(journal.FileWritten(file), "");
  EXPECT_EQ(journal.EndRun(), "");
  const auto runs = journal.Runs(undo.Utf8());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].log, log);
  EXPECT_THAT(runs[0].files, ::testing::ElementsAre(file));
}

}  // namespace
}  // namespace keyloom::files
