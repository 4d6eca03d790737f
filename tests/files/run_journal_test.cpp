#include "files/run_journal.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/local_date.h"
#include "base/utf8_path.h"
#include "files/reg_file_testing.h"
#include "support/temp_folder.h"

namespace keyloom::files {
namespace {

using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;
using keyloom::testing::WriteBytes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// 2026-12-07 at `hh`:`mm`:`ss` on the local clock.
std::time_t At(int hh, int mm, int ss = 0) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 7;
  local.tm_hour = hh;
  local.tm_min = mm;
  local.tm_sec = ss;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

// An undo file last written at `when`.
std::string UndoFileAt(const TempFolder& folder, int number, std::time_t when) {
  const auto path = folder.path() / ("UNDO-20261207-00" + std::to_string(number) + ".REG");
  WriteBytes(path, "");
  std::filesystem::last_write_time(
      path, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when)));
  return base::PathToUtf8(path);
}

// The journal a person reads: one block per run, its files in the order written (each once),
// texts kept to one line; files written outside a run are not a run's. Read back it gives the
// same runs, and marking one undone adds one line to its block.
TEST(RunJournal, WritesReadableBlocksAndReadsThemBack) {
  TempFolder folder;
  int tick = 0;
  RunJournal journal([&tick] { return base::DateTimeText(At(10, tick++)); });
  // A manual change before the run, another after it: listed by when they were written.
  const auto file = [&](int n) { return UndoFileAt(folder, n, n == 1 ? At(9, 59) : At(11, 0)); };
  EXPECT_EQ(journal.FileWritten(file(1)), "");  // a manual change: no run is open
  journal.BeginRun({"", "C:\\Old\r\nline", "Caf\xC3\xA9", "\\\\SERVER", "32-bit"});
  EXPECT_EQ(journal.FileWritten(file(2)), "");
  EXPECT_EQ(journal.FileWritten(file(2)), "");
  EXPECT_EQ(journal.FileWritten(file(3)), "");
  journal.EndRun();
  journal.BeginRun({"", "a", "b", "", ""});
  journal.EndRun();  // a run that wrote nothing leaves nothing
  EXPECT_EQ(journal.FileWritten(file(4)), "");

  const auto text = ReadBytes(folder.path() / "UNDO-RUNS.TXT");
  EXPECT_THAT(testing::SplitCrLf(text),
              ElementsAre("", "[Run]", "Date=2026-12-07 10:00:00", "Find=C:\\\\Old\\r\\nline",
                          "Replace=Caf\xC3\xA9", "Machine=\\\\\\\\SERVER", "View=32-bit",
                          "File=UNDO-20261207-002.REG", "", "[Run]",
                          "Continues=UNDO-20261207-002.REG", "File=UNDO-20261207-003.REG"));

  auto runs = journal.Runs(folder.Utf8());
  ASSERT_EQ(runs.size(), 3u);  // 004 and 001 alone, newest first, and the run
  EXPECT_TRUE(runs[0].single_file);
  EXPECT_EQ(base::PathFromUtf8(runs[0].files[0]).filename(), "UNDO-20261207-004.REG");
  EXPECT_EQ(runs[1].info.find, "C:\\Old\r\nline");
  EXPECT_EQ(runs[1].info.machine, "\\\\SERVER");
  EXPECT_EQ(runs[1].files, (std::vector<std::string>{file(2), file(3)}));
  EXPECT_TRUE(runs[2].single_file);

  EXPECT_EQ(journal.MarkUndone(runs[1]), "");
  EXPECT_EQ(journal.MarkUndone(runs[2]), "");
  runs = journal.Runs(folder.Utf8());
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].undone, "2026-12-07 10:02:00");
  EXPECT_FALSE(runs[2].single_file);
  EXPECT_EQ(runs[2].undone, "2026-12-07 10:03:00");
  EXPECT_EQ(runs[2].info.date, "2026-12-07 09:59:00");
  EXPECT_EQ(runs[0].undone, "");
}

// Runs are listed newest first by their dates, whatever their files' numbers. A file that two
// blocks name (a number used again after its file was deleted, or a block of a concurrent run
// naming another run's file) belongs to the run that wrote it: the last that started before the
// file was written; the other block notes it. Marking a run undone marks that block alone.
TEST(RunJournal, ReadsEachFileAsTheRunThatWroteItAndMarksExactlyOneRun) {
  TempFolder folder;
  const auto f1 = UndoFileAt(folder, 1, At(12, 0, 30));  // deleted after r1, written again by r3
  const auto f2 = UndoFileAt(folder, 2, At(11, 0, 10));
  const auto f3 = UndoFileAt(folder, 3, At(12, 0, 40));
  const auto f4 = UndoFileAt(folder, 4, At(13, 0, 2));
  const auto f5 = UndoFileAt(folder, 5, At(13, 0, 9));
  const auto block = [](std::string date, std::string find, std::vector<int> files) {
    std::string text = "\r\n[Run]\r\nDate=2026-12-07 " + date + "\r\nFind=" + find +
                       "\r\nReplace=x\r\nMachine=\r\nView=\r\n";
    for (int n : files) text += "File=UNDO-20261207-00" + std::to_string(n) + ".REG\r\n";
    return text;
  };
  WriteBytes(folder.path() / "UNDO-RUNS.TXT",
             block("10:00:00", "r1", {1}) + block("11:00:00", "r2", {2}) +
                 block("12:00:00", "r3", {1, 3, 3}) + block("13:00:00", "r4", {4}) +
                 block("13:00:05", "r5", {5, 4}));
  RunJournal journal([] { return std::string("2026-12-07 14:00:00"); });
  auto runs = journal.Runs(folder.Utf8());
  std::vector<std::string> order;
  for (const auto& run : runs) order.push_back(run.info.find);
  EXPECT_THAT(order, ElementsAre("r5", "r4", "r3", "r2", "r1"));
  EXPECT_EQ(runs[0].files, std::vector<std::string>{f5});
  EXPECT_THAT(runs[0].notes, ElementsAre("The journal names UNDO-20261207-004.REG under this run "
                                         "too; the run of 2026-12-07 13:00:00 wrote it"));
  EXPECT_EQ(runs[1].files, std::vector<std::string>{f4});
  EXPECT_EQ(runs[2].files, (std::vector<std::string>{f1, f3}));
  EXPECT_THAT(runs[2].notes, IsEmpty());
  EXPECT_EQ(runs[3].files, std::vector<std::string>{f2});
  EXPECT_THAT(runs[4].files, IsEmpty());
  EXPECT_THAT(runs[4].notes, ElementsAre("The journal names UNDO-20261207-001.REG under this run "
                                         "too; the run of 2026-12-07 12:00:00 wrote it"));

  const std::string before = ReadBytes(folder.path() / "UNDO-RUNS.TXT");
  EXPECT_EQ(journal.MarkUndone(runs[2]), "");
  // The mark is appended: runs writing to the journal meanwhile lose nothing.
  EXPECT_EQ(ReadBytes(folder.path() / "UNDO-RUNS.TXT").substr(0, before.size()), before);
  runs = journal.Runs(folder.Utf8());
  for (const auto& run : runs) {
    EXPECT_EQ(run.undone, run.info.find == "r3" ? "2026-12-07 14:00:00" : "") << run.info.find;
  }
  // A block that is no longer where the list saw it is not marked.
  auto moved = runs[2];
  moved.block = 1;
  EXPECT_THAT(journal.MarkUndone(moved), ::testing::HasSubstr("no block of the run of"));
}

// Two runs going on at once on one folder (two journals, as two processes keep them), each from
// its own thread, while a third thread reads: every block is whole, each run names exactly its own
// files in the order written, and no reader ever sees a run holding another's file or a run
// without its texts.
TEST(RunJournal, TwoWritersAtOnceKeepTheirRunsApartAndReadersSeeWholeRuns) {
  TempFolder folder;
  constexpr int kFiles = 150;
  RunJournal journals[2];
  std::vector<std::string> files[2];
  for (int run = 0; run < 2; ++run) {
    for (int n = 1; n <= kFiles; ++n) {
      const auto path =
          folder.path() / ("UNDO-20261207-" + std::to_string(run * 1000 + 1000 + n) + ".REG");
      WriteBytes(path, "");
      files[run].push_back(base::PathToUtf8(path));
    }
    journals[run].BeginRun({"", run == 0 ? "first" : "second", "x", "", ""});
  }
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    RunJournal looker;
    while (!done) {
      for (const auto& seen : looker.Runs(folder.Utf8())) {
        if (seen.single_file) continue;  // a file written a moment before its block
        const int run = seen.info.find == "first" ? 0 : 1;
        EXPECT_TRUE(seen.info.find == "first" || seen.info.find == "second") << seen.info.find;
        for (std::size_t i = 0; i < seen.files.size(); ++i) ASSERT_EQ(seen.files[i], files[run][i]);
      }
      ++reads;
    }
  });
  std::vector<std::thread> writers;
  for (int run = 0; run < 2; ++run) {
    writers.emplace_back([&, run] {
      for (const auto& file : files[run]) EXPECT_EQ(journals[run].FileWritten(file), "");
    });
  }
  for (auto& writer : writers) writer.join();
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  const auto runs = RunJournal().Runs(folder.Utf8());
  ASSERT_EQ(runs.size(), 2u);
  for (const auto& run : runs) {
    EXPECT_FALSE(run.single_file);
    EXPECT_EQ(run.files, files[run.info.find == "first" ? 0 : 1]);
  }
}

}  // namespace
}  // namespace keyloom::files
