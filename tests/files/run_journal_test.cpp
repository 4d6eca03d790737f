#include "files/run_journal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/utf8_path.h"
#include "files/reg_file_testing.h"
#include "support/temp_folder.h"

namespace keyloom::files {
namespace {

using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;
using keyloom::testing::WriteBytes;
using ::testing::ElementsAre;

// The journal a person reads: one block per run, its files in the order written (each once),
// texts kept to one line; files written outside a run are not a run's. Read back it gives the
// same runs, and marking one undone adds one line to its block.
TEST(RunJournal, WritesReadableBlocksAndReadsThemBack) {
  TempFolder folder;
  int tick = 0;
  RunJournal journal([&tick] { return "2026-12-07 10:0" + std::to_string(tick++) + ":00"; });
  const auto file = [&](int n) {
    const auto path = folder.path() / ("UNDO-20261207-00" + std::to_string(n) + ".REG");
    WriteBytes(path, "");
    return base::PathToUtf8(path);
  };
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
  EXPECT_EQ(runs[2].info.date, "2026-12-07");
  EXPECT_EQ(runs[0].undone, "");
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
