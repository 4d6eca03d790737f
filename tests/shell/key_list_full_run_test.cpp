// A replace run whose Key List fills up: the rows stop at what the budget allows, the status log
// says so once, and the run goes on to change every hit with its undo record and to count it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"
#include "shell/capped_row_budget.h"
#include "shell/run_output_queue.h"

namespace keyloom::shell {
namespace {

using ::testing::HasSubstr;

// The window's output: rows into the queue (which keeps the Key List's rows), everything else to
// the recording, which the fixture waits on.
class RowsIntoQueue final : public engine::RunOutput {
 public:
  RowsIntoQueue(RunOutputQueue& queue, engine::RunOutput& rest) : queue_(queue), rest_(rest) {}
  void AddStatusLine(std::string line) override { rest_.AddStatusLine(std::move(line)); }
  void SetStatusBarText(const std::string& text) override { rest_.SetStatusBarText(text); }
  void AddKeyListEntry(std::string row) override { queue_.AddKeyListEntry(std::move(row)); }
  void AddKeyListHit(std::string row, const engine::HitDetails& details) override {
    queue_.AddKeyListHit(std::move(row), details);
  }
  void ClearLists() override {
    queue_.ClearLists();
    queue_.ClearingsShown(1);  // a window with no rows to free shows the clearing at once
  }
  void RunFinished() override { rest_.RunFinished(); }
  void RequestQuit() override { rest_.RequestQuit(); }

 private:
  RunOutputQueue& queue_;
  engine::RunOutput& rest_;
};

class KeyListFullRunTest : public engine::testing::WalkTest {
 protected:
  static constexpr int kValues = 800;

  void SetUp() override {
    WalkTest::SetUp();
    for (int i = 0; i < kValues; ++i) {
      PutString("T\\Key" + std::to_string(i), "v", Data(i, "old-srv"));
    }
    controls_.find = "old-srv";
    controls_.replace = "new-srv";
    queue_.SetRowBudget(&budget_);
    queue_.SetLog([this](const std::string& line) { output_.AddStatusLine(line); });
    walk_output_ = &rows_into_queue_;
    Build();
  }

  // Rows of some 200 bytes: a few hundred fill a Key List that gets its first block alone.
  static std::string Data(int i, const std::string& server) {
    return server + " " + std::to_string(i) + " " + std::string(150, 'd');
  }

  testing::CappedRowBudget budget_{1};
  RunOutputQueue queue_;
  RowsIntoQueue rows_into_queue_{queue_, output_};
};

TEST_F(KeyListFullRunTest, TheListStopsTheRunGoesOnAndEveryHitIsChangedCountedAndRecorded) {
  const std::vector<std::string> lines = Run(/*replace=*/true);

  KeyListRows rows;
  engine::StatusLines status;
  auto segments = queue_.Drain();
  FoldOutput(segments, 0, rows, status);
  ASSERT_GT(rows.size(), 100u);
  ASSERT_LT(rows.size(), static_cast<std::size_t>(kValues));

  // The rows are the first hits, in the order the status log names them.
  std::vector<std::string> hits;
  const std::string found = "Found in Key  : ";
  for (const std::string& line : lines) {
    if (line.rfind(found, 0) == 0)
      hits.push_back("HKEY_CURRENT_USER\t" + line.substr(found.size()));
  }
  ASSERT_EQ(hits.size(), static_cast<std::size_t>(kValues)) << "every hit is still logged";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i], hits[i]) << "row " << i;
    ASSERT_EQ(rows.Details(i).type, "REG_SZ") << "row " << i;
  }

  const std::string full = KeyListFullLine(rows.size());
  EXPECT_EQ(std::count(lines.begin(), lines.end(), full), 1);
  // Said where the list stopped: right after the first hit it did not take was found and changed.
  const auto at = std::find(lines.begin(), lines.end(), full);
  ASSERT_NE(at, lines.begin());
  EXPECT_EQ("HKEY_CURRENT_USER\t" + (at - 1)->substr(found.size()), hits[rows.size()]);

  EXPECT_THAT(Last(lines, 3), ::testing::ElementsAre(
                                  "Search Matched " + std::to_string(kValues) + " Keys.",
                                  "Finished, Replaced [" + std::to_string(kValues) + "] Entries.",
                                  ::testing::StartsWith("Undo files: [")));
  for (int i : {0, kValues / 2, kValues - 1}) {
    reg::TRegistry reg(*registry_);
    ASSERT_TRUE(reg.OpenKey("\\T\\Key" + std::to_string(i)));
    EXPECT_EQ(reg.ReadString("v"), Data(i, "new-srv"));
  }
  // Every change has its undo record, those of the hits the list did not take too.
  std::string undo;
  for (const auto& file : UndoFiles()) {
    for (const auto& line : files::testing::ReadRegFileLines(file)) undo += line + "\n";
  }
  std::size_t records = 0;
  for (std::size_t at_text = undo.find("\"v\"="); at_text != std::string::npos;
       at_text = undo.find("\"v\"=", at_text + 1)) {
    ++records;
  }
  EXPECT_EQ(records, static_cast<std::size_t>(kValues));
  EXPECT_THAT(undo, HasSubstr("[HKEY_CURRENT_USER\\T\\Key" + std::to_string(kValues - 1) + "]"));
}

}  // namespace
}  // namespace keyloom::shell
