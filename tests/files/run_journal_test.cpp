#include "files/run_journal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
                          "File=UNDO-20261207-002.REG", "File=UNDO-20261207-003.REG"));

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

}  // namespace
}  // namespace keyloom::files
