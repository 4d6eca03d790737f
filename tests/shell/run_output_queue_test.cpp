#include "shell/run_output_queue.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <thread>

#include "shell/capped_row_budget.h"
#include "shell/row_budget.h"

namespace keyloom::shell {
namespace {

using End = OutputSegment::End;

std::vector<std::string> Texts(const KeyListRows& rows) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < rows.size(); ++i) texts.emplace_back(rows[i]);
  return texts;
}

// A list box that applies batches the way the window does.
struct MirrorList {
  std::vector<std::string> lines;
  std::size_t most = 0;
  void Apply(const OutputBatch& batch) {
    ASSERT_LE(batch.status_removed_front, lines.size());
    lines.erase(lines.begin(),
                lines.begin() + static_cast<std::ptrdiff_t>(batch.status_removed_front));
    for (const auto& line : batch.status_appended) {
      lines.push_back(line);
      most = std::max(most, lines.size());
    }
  }
};

TEST(RunOutputQueueTest, DrainHandsOverEverythingOnceSplitAtClearingsAndTheRunsEnd) {
  RunOutputQueue queue;
  std::vector<bool> wakes;
  queue.SetWake([&](bool urgent) { wakes.push_back(urgent); });
  queue.AddKeyListEntry("before");
  queue.ClearLists();
  queue.AddStatusLine("Checking Key : HKEY_CURRENT_USER");
  queue.AddKeyListEntry("HKEY_CURRENT_USER\t\\A\tv");
  queue.SetStatusBarText("\\A");
  queue.AddKeyListEntry("HKEY_CURRENT_USER\t\\B\tv");
  queue.RunFinished();
  queue.RequestQuit();

  const auto segments = queue.Drain();
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_FALSE(segments[0].clears_first);
  EXPECT_EQ(segments[0].rows.size(), 1u);
  EXPECT_EQ(segments[0].end, End::kNone);
  EXPECT_TRUE(segments[1].clears_first);
  ASSERT_EQ(segments[1].rows.size(), 2u);
  EXPECT_EQ(segments[1].rows[1], "HKEY_CURRENT_USER\t\\B\tv");
  EXPECT_EQ(segments[1].lines, (std::vector<std::string>{"Checking Key : HKEY_CURRENT_USER"}));
  EXPECT_TRUE(segments[1].bar_set);
  EXPECT_EQ(segments[1].bar, "\\A");
  EXPECT_EQ(segments[1].end, End::kFinished);
  EXPECT_TRUE(segments[2].rows.empty());
  EXPECT_EQ(segments[2].end, End::kQuit);
  EXPECT_TRUE(queue.Empty());
  EXPECT_TRUE(queue.Drain().empty());
  // Only the run's end and the quit request are urgent.
  EXPECT_EQ(wakes, (std::vector<bool>{false, false, false, false, false, false, true, true}));
}

// The worker appends rows (with details, filling several blocks) while the GUI thread drains the
// queue and keeps blocks in stock for it, as the window does on its timer.
TEST(RunOutputQueueTest, ConcurrentProducerLosesAndReordersNothingWhileBlocksAreStocked) {
  RunOutputQueue queue;
  constexpr int kRows = 50000;
  const std::string data(40, 'd');
  std::thread worker([&] {
    for (int i = 0; i < kRows; ++i) {
      if (i % 2 == 0) {
        queue.AddKeyListEntry(std::to_string(i));
      } else {
        queue.AddKeyListHit(std::to_string(i), {"REG_SZ", data + std::to_string(i),
                                                engine::FoundIn::kData,
                                                static_cast<std::uint64_t>(i) << 40});
      }
    }
    queue.RunFinished();
  });
  KeyListRows rows;
  engine::StatusLines status;
  bool finished = false;
  std::size_t most_stocked = 0;
  while (!finished) {
    queue.StockRowBlocks();
    most_stocked = std::max(most_stocked, queue.StockedRowBlocks());
    auto segments = queue.Drain();
    std::size_t next = 0;
    while (next < segments.size()) {
      const OutputBatch batch = FoldOutput(segments, next, rows, status);
      next = batch.next;
      finished = finished || batch.finished;
    }
  }
  worker.join();
  EXPECT_GE(most_stocked, RunOutputQueue::kStockLeast);
  EXPECT_LE(most_stocked, RunOutputQueue::kStockMost);
  queue.ReleaseRowBlocks();
  EXPECT_EQ(queue.StockedRowBlocks(), 0u);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; ++i) {
    const auto row = static_cast<std::size_t>(i);
    ASSERT_EQ(rows[row], std::to_string(i));
    const RowDetails details = rows.Details(row);
    ASSERT_EQ(details.present, i % 2 == 1) << i;
    if (!details.present) continue;
    ASSERT_EQ(details.data, data + std::to_string(i));
    ASSERT_EQ(details.modified, static_cast<std::uint64_t>(i) << 40);
  }
}

TEST(FoldOutputTest, StopsRightAfterTheRunsEndSoEarlierOutputIsShownFirst) {
  RunOutputQueue queue;
  queue.AddKeyListEntry("r1");
  queue.AddStatusLine("Search Matched 1 Keys.");
  queue.RunFinished();
  queue.AddKeyListEntry("r2");
  queue.RequestQuit();
  auto segments = queue.Drain();
  KeyListRows rows;
  engine::StatusLines status;
  OutputBatch first = FoldOutput(segments, 0, rows, status);
  EXPECT_TRUE(first.finished);
  EXPECT_FALSE(first.quit);
  EXPECT_EQ(first.next, 1u);
  EXPECT_EQ(first.rows_added, 1u);
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{"r1"}));
  EXPECT_EQ(first.status_appended, (std::vector<std::string>{"Search Matched 1 Keys."}));
  EXPECT_EQ(first.status_bar, "Search Matched 1 Keys.");

  OutputBatch second = FoldOutput(segments, first.next, rows, status);
  EXPECT_FALSE(second.finished);
  EXPECT_TRUE(second.quit);
  EXPECT_EQ(second.next, 2u);
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{"r1", "r2"}));
  EXPECT_TRUE(second.status_appended.empty());
  EXPECT_EQ(second.status_removed_front, 0u);
  EXPECT_FALSE(second.status_bar.has_value());
}

// The users' hives a run's rows lie in go and come with the rows.
TEST(FoldOutputTest, ClearingInsideABatchResetsBothListsAndCountsOnlyLaterRows) {
  KeyListRows rows;
  rows.Append("old1");
  rows.Append("old2");
  rows.AddHives({{"KL_Old", "old.dat"}});
  engine::StatusLines status;
  status.Append("old line");
  RunOutputQueue queue;
  queue.AddKeyListEntry("old3");
  queue.ClearLists();
  queue.AddStatusLine("Checking Key : HKEY_USERS");
  queue.AddKeyListEntry("new");
  queue.HivesLoaded({{"KL_New", "new.dat"}});
  auto segments = queue.Drain();
  const OutputBatch batch = FoldOutput(segments, 0, rows, status);
  EXPECT_TRUE(batch.lists_cleared);
  EXPECT_EQ(batch.rows_added, 1u);
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{"new"}));
  const std::vector<reg::HiveMount> hives = {{"KL_New", "new.dat"}};
  EXPECT_EQ(rows.hives(), hives);
  rows.Remove({0});  // rows taken out leave the hives
  EXPECT_EQ(rows.hives(), hives);
  EXPECT_EQ(batch.status_removed_front, 1u);  // the control's one old line goes
  EXPECT_EQ(batch.status_appended, (std::vector<std::string>{"Checking Key : HKEY_USERS"}));
  EXPECT_EQ(status.Lines(), batch.status_appended);
}

TEST(FoldOutputTest, StatusBarShowsTheLatestOfLinesAndProgressTextWhateverRowsCameBetween) {
  struct Case {
    std::vector<std::string> calls;  // "L:" a status line, "B:" progress text, "R:" a row
    std::optional<std::string> bar;
  };
  const Case cases[] = {
      {{"L:line", "R:row", "B:\\Software"}, "\\Software"},
      {{"B:\\Software", "R:row", "L:x"}, "x"},
      {{"B:\\A", "B:\\A\\B", "R:row"}, "\\A\\B"},
      {{"B:\\A", "L:x", "B:\\C", "L:y", "R:row"}, "y"},
      {{"R:row"}, std::nullopt},
  };
  for (const Case& c : cases) {
    RunOutputQueue queue;
    for (const std::string& call : c.calls) {
      const std::string text = call.substr(2);
      if (call[0] == 'L') queue.AddStatusLine(text);
      if (call[0] == 'B') queue.SetStatusBarText(text);
      if (call[0] == 'R') queue.AddKeyListEntry(text);
    }
    auto segments = queue.Drain();
    KeyListRows rows;
    engine::StatusLines status;
    EXPECT_EQ(FoldOutput(segments, 0, rows, status).status_bar, c.bar) << c.calls.front();
  }
}

// Whatever the batch sizes, the mirrored list box ends equal to the model and never holds more than
// 80 lines on the way.
TEST(FoldOutputTest, MirroredStatusListFollowsTheEightyLineModelForAnyBatching) {
  std::mt19937 random(7);
  engine::StatusLines status;
  KeyListRows rows;
  MirrorList box;
  int line = 0;
  for (int round = 0; round < 300; ++round) {
    RunOutputQueue queue;
    const int count = static_cast<int>(random() % 200);
    for (int i = 0; i < count; ++i) {
      if (random() % 97 == 0) {
        queue.ClearLists();
      } else {
        queue.AddStatusLine("line " + std::to_string(line++));
      }
    }
    auto segments = queue.Drain();
    const OutputBatch batch = FoldOutput(segments, 0, rows, status);
    box.Apply(batch);
    ASSERT_EQ(box.lines, status.Lines()) << "round " << round;
  }
  EXPECT_LE(box.most, engine::StatusLines::kMaxLines);
  EXPECT_GT(line, 10000);
}

TEST(FoldOutputTest, EightyFirstLineDropsTheTenOldest) {
  engine::StatusLines status;
  KeyListRows rows;
  MirrorList box;
  RunOutputQueue queue;
  for (int i = 1; i <= 80; ++i) queue.AddStatusLine(std::to_string(i));
  auto first = queue.Drain();
  box.Apply(FoldOutput(first, 0, rows, status));
  ASSERT_EQ(box.lines.size(), 80u);

  queue.AddStatusLine("81");
  auto second = queue.Drain();
  const OutputBatch batch = FoldOutput(second, 0, rows, status);
  EXPECT_EQ(batch.status_removed_front, 10u);
  EXPECT_EQ(batch.status_appended, (std::vector<std::string>{"81"}));
  box.Apply(batch);
  ASSERT_EQ(box.lines.size(), 71u);
  EXPECT_EQ(box.lines.front(), "11");
  EXPECT_EQ(box.lines.back(), "81");
}

// Lines dropped on the producer's side never change what the status list ends up showing, for any
// number of lines, any model already present and any batching.
TEST(RunOutputQueueTest, DroppedStatusLinesLeaveTheListExactlyAsItWouldBe) {
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    const std::size_t present = random() % 81;
    const std::size_t lines = random() % 700;
    engine::StatusLines through_queue, direct;
    KeyListRows rows;
    std::vector<std::string> expected_rows;
    for (std::size_t i = 0; i < present; ++i) {
      through_queue.Append("old " + std::to_string(i));
      direct.Append("old " + std::to_string(i));
    }
    RunOutputQueue queue;
    for (std::size_t i = 0; i < lines; ++i) {
      const std::string line = "line " + std::to_string(i);
      queue.AddStatusLine(line);
      queue.AddKeyListEntry("row " + std::to_string(i));
      direct.Append(line);
      expected_rows.push_back("row " + std::to_string(i));
      if (random() % 400 == 0) {  // the window drains now and then
        auto drained = queue.Drain();
        FoldOutput(drained, 0, rows, through_queue);
      }
    }
    auto drained = queue.Drain();
    FoldOutput(drained, 0, rows, through_queue);
    EXPECT_EQ(through_queue.Lines(), direct.Lines()) << present << " + " << lines;
    EXPECT_EQ(Texts(rows), expected_rows);
  }
}

TEST(RunOutputQueueTest, AFullKeyListTakesNoMoreRowsSaysSoOnceAndTakesRowsAgainAfterAClearing) {
  testing::CappedRowBudget budget(2);  // the first block of a segment, and one stocked ahead
  RunOutputQueue queue;
  std::vector<std::string> logged;
  queue.SetLog([&](const std::string& line) { logged.push_back(line); });
  queue.SetRowBudget(&budget);
  queue.ClearLists();
  queue.ClearingsShown(1);
  queue.AddKeyListEntry("first");
  queue.StockRowBlocks();
  EXPECT_EQ(queue.StockedRowBlocks(), 1u);
  const std::string row(1000, 'r');
  std::size_t offered = 0;
  while (logged.empty() && offered < 10000) {
    queue.AddKeyListHit(row, {"REG_SZ", "x", engine::FoundIn::kData, 1});
    ++offered;
  }
  ASSERT_EQ(logged.size(), 1u) << "the list never filled";
  for (int i = 0; i < 50; ++i) queue.AddKeyListEntry("later");
  queue.StockRowBlocks();  // a full list stocks nothing
  EXPECT_EQ(queue.StockedRowBlocks(), 0u);
  queue.SetStatusBarText("\\Key");
  // The run's progress counts every hit, those the full list did not take too.
  EXPECT_EQ(queue.Counts().hits, static_cast<std::int64_t>(1 + offered + 50));
  EXPECT_EQ(queue.Counts().keys, 1);

  KeyListRows rows;
  engine::StatusLines status;
  auto segments = queue.Drain();
  FoldOutput(segments, 0, rows, status);
  // The rows of the first block and of the stocked one, each as it came; none after them.
  ASSERT_EQ(rows.size(), offered);  // "first" and every hit but the refused one
  EXPECT_EQ(rows[0], "first");
  for (std::size_t i = 1; i < rows.size(); ++i) ASSERT_EQ(rows[i], row) << i;
  EXPECT_EQ(logged, (std::vector<std::string>{KeyListFullLine(rows.size())}));
  EXPECT_EQ(logged[0], "The Key List is full at " + std::to_string(rows.size()) +
                           " rows; the run goes on, its hits are still logged and counted");
  EXPECT_EQ(budget.last_rows(), rows.size());  // the budget is told the rows held

  // The next run's main pass empties the list. Until the window has shown that, the full list's
  // rows still hold their memory: the budget, which would refuse, is not asked.
  const std::size_t asked = budget.asked();
  queue.ClearLists();
  queue.AddKeyListEntry("next pass");
  EXPECT_EQ(budget.asked(), asked);
  segments = queue.Drain();
  FoldOutput(segments, 0, rows, status);
  queue.ClearingsShown(1);
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{"next pass"}));
  // Then it is asked again, and the list fills again.
  while (logged.size() < 2 && offered < 20000) {
    queue.AddKeyListEntry(row);
    ++offered;
  }
  EXPECT_GT(budget.asked(), asked);
  EXPECT_EQ(logged.size(), 2u);
}

TEST(AddressSpaceBudgetTest, KeepsRoomForTheProgramAndForSortingTheRowsHeld) {
  constexpr std::uint64_t kMb = 1 << 20;
  constexpr std::uint64_t kept = AddressSpaceBudget::kKeptFree;
  constexpr std::uint64_t per_row = AddressSpaceBudget::kKeptPerRow;
  struct Case {
    std::optional<std::uint64_t> free;
    std::size_t rows;
    bool allowed;
  };
  const Case cases[] = {
      {std::nullopt, 50'000'000, true},  // the system does not tell: only its refusal stops rows
      {kMb + kept, 0, true},
      {kMb + kept - 1, 0, false},
      {kMb + kept + 1000 * per_row, 1000, true},
      {kMb + kept + 1000 * per_row - 1, 1000, false},
      {std::uint64_t{3} << 30, 10'000'000, true},
      {std::uint64_t{1} << 30, 20'000'000, false},
  };
  for (const Case& c : cases) {
    AddressSpaceBudget budget([&] { return c.free; });
    EXPECT_EQ(budget.MayMake(kMb, c.rows), c.allowed)
        << (c.free ? std::to_string(*c.free) : "unknown") << " free, " << c.rows << " rows";
  }
}

}  // namespace
}  // namespace keyloom::shell
