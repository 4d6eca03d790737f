#include "shell/run_output_queue.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace keyloom::shell {
namespace {

using Kind = OutputEvent::Kind;

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

TEST(RunOutputQueueTest, DrainHandsOverEverythingInCallOrderOnce) {
  RunOutputQueue queue;
  std::vector<bool> wakes;
  queue.SetWake([&](bool urgent) { wakes.push_back(urgent); });
  queue.ClearLists();
  queue.AddStatusLine("Checking Key : HKEY_CURRENT_USER");
  queue.AddKeyListEntry("HKEY_CURRENT_USER\t\\A\tv");
  queue.SetStatusBarText("\\A");
  queue.RunFinished();
  queue.RequestQuit();

  const auto events = queue.Drain();
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].kind, Kind::kClear);
  EXPECT_EQ(events[1].kind, Kind::kStatusLine);
  EXPECT_EQ(events[1].text, "Checking Key : HKEY_CURRENT_USER");
  EXPECT_EQ(events[2].kind, Kind::kRow);
  EXPECT_EQ(events[3].kind, Kind::kStatusBar);
  EXPECT_EQ(events[4].kind, Kind::kFinished);
  EXPECT_EQ(events[5].kind, Kind::kQuit);
  EXPECT_TRUE(queue.Empty());
  EXPECT_TRUE(queue.Drain().empty());
  // Only the run's end and the quit request are urgent.
  EXPECT_EQ(wakes, (std::vector<bool>{false, false, false, false, true, true}));
}

TEST(RunOutputQueueTest, ProgressTextInARowKeepsOnlyItsLatest) {
  RunOutputQueue queue;
  queue.SetStatusBarText("Analyzing [1] : \\A");
  queue.SetStatusBarText("Analyzing [2] : \\A\\B");
  queue.AddKeyListEntry("row");
  queue.SetStatusBarText("Analyzing [1] : \\C");
  const auto events = queue.Drain();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].text, "Analyzing [2] : \\A\\B");
  EXPECT_EQ(events[1].kind, Kind::kRow);
  EXPECT_EQ(events[2].text, "Analyzing [1] : \\C");
}

TEST(RunOutputQueueTest, ConcurrentProducerLosesAndReordersNothing) {
  RunOutputQueue queue;
  constexpr int kRows = 50000;
  std::thread worker([&] {
    for (int i = 0; i < kRows; ++i) queue.AddKeyListEntry(std::to_string(i));
    queue.RunFinished();
  });
  std::vector<std::string> rows;
  engine::StatusLines status;
  bool finished = false;
  while (!finished) {
    auto events = queue.Drain();
    std::size_t next = 0;
    while (next < events.size()) {
      const OutputBatch batch = FoldOutput(events, next, rows, status);
      next = batch.next;
      finished = finished || batch.finished;
    }
  }
  worker.join();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; ++i) ASSERT_EQ(rows[static_cast<std::size_t>(i)], std::to_string(i));
}

TEST(FoldOutputTest, StopsRightAfterTheRunsEndSoEarlierOutputIsShownFirst) {
  std::vector<OutputEvent> events = {{Kind::kRow, "r1"},
                                     {Kind::kStatusLine, "Search Matched 1 Keys."},
                                     {Kind::kFinished, ""},
                                     {Kind::kRow, "r2"},
                                     {Kind::kQuit, ""}};
  std::vector<std::string> rows;
  engine::StatusLines status;
  OutputBatch first = FoldOutput(events, 0, rows, status);
  EXPECT_TRUE(first.finished);
  EXPECT_FALSE(first.quit);
  EXPECT_EQ(first.next, 3u);
  EXPECT_EQ(first.rows_added, 1u);
  EXPECT_EQ(rows, (std::vector<std::string>{"r1"}));
  EXPECT_EQ(first.status_appended, (std::vector<std::string>{"Search Matched 1 Keys."}));
  EXPECT_EQ(first.status_bar, "Search Matched 1 Keys.");

  OutputBatch second = FoldOutput(events, first.next, rows, status);
  EXPECT_FALSE(second.finished);
  EXPECT_TRUE(second.quit);
  EXPECT_EQ(second.next, 5u);
  EXPECT_EQ(rows, (std::vector<std::string>{"r1", "r2"}));
  EXPECT_TRUE(second.status_appended.empty());
  EXPECT_EQ(second.status_removed_front, 0u);
  EXPECT_FALSE(second.status_bar.has_value());
}

TEST(FoldOutputTest, ClearingInsideABatchResetsBothListsAndCountsOnlyLaterRows) {
  std::vector<std::string> rows = {"old1", "old2"};
  engine::StatusLines status;
  status.Append("old line");
  std::vector<OutputEvent> events = {{Kind::kRow, "old3"},
                                     {Kind::kClear, ""},
                                     {Kind::kStatusLine, "Checking Key : HKEY_USERS"},
                                     {Kind::kRow, "new"}};
  const OutputBatch batch = FoldOutput(events, 0, rows, status);
  EXPECT_TRUE(batch.lists_cleared);
  EXPECT_EQ(batch.rows_added, 1u);
  EXPECT_EQ(rows, (std::vector<std::string>{"new"}));
  EXPECT_EQ(batch.status_removed_front, 1u);  // the control's one old line goes
  EXPECT_EQ(batch.status_appended, (std::vector<std::string>{"Checking Key : HKEY_USERS"}));
  EXPECT_EQ(status.Lines(), batch.status_appended);
}

TEST(FoldOutputTest, StatusBarShowsTheLatestOfLinesAndProgressText) {
  std::vector<OutputEvent> events = {{Kind::kStatusLine, "line"}, {Kind::kStatusBar, "\\Software"}};
  std::vector<std::string> rows;
  engine::StatusLines status;
  EXPECT_EQ(FoldOutput(events, 0, rows, status).status_bar, "\\Software");
  std::vector<OutputEvent> reversed = {{Kind::kStatusBar, "\\Software"}, {Kind::kStatusLine, "x"}};
  EXPECT_EQ(FoldOutput(reversed, 0, rows, status).status_bar, "x");
}

// Whatever the batch sizes, the mirrored list box ends equal to the model and never holds more than
// 80 lines on the way.
TEST(FoldOutputTest, MirroredStatusListFollowsTheEightyLineModelForAnyBatching) {
  std::mt19937 random(7);
  engine::StatusLines status;
  std::vector<std::string> rows;
  MirrorList box;
  int line = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<OutputEvent> events;
    const int count = static_cast<int>(random() % 200);
    for (int i = 0; i < count; ++i) {
      if (random() % 97 == 0) {
        events.push_back({Kind::kClear, ""});
      } else {
        events.push_back({Kind::kStatusLine, "line " + std::to_string(line++)});
      }
    }
    const OutputBatch batch = FoldOutput(events, 0, rows, status);
    box.Apply(batch);
    ASSERT_EQ(box.lines, status.Lines()) << "round " << round;
  }
  EXPECT_LE(box.most, engine::StatusLines::kMaxLines);
  EXPECT_GT(line, 10000);
}

TEST(FoldOutputTest, EightyFirstLineDropsTheTenOldest) {
  engine::StatusLines status;
  std::vector<std::string> rows;
  MirrorList box;
  std::vector<OutputEvent> first;
  for (int i = 1; i <= 80; ++i) first.push_back({Kind::kStatusLine, std::to_string(i)});
  box.Apply(FoldOutput(first, 0, rows, status));
  ASSERT_EQ(box.lines.size(), 80u);

  std::vector<OutputEvent> second = {{Kind::kStatusLine, "81"}};
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
    std::vector<std::string> rows_queue, rows_direct;
    for (std::size_t i = 0; i < present; ++i) {
      through_queue.Append("old " + std::to_string(i));
      direct.Append("old " + std::to_string(i));
    }
    RunOutputQueue queue;
    std::vector<OutputEvent> all;
    for (std::size_t i = 0; i < lines; ++i) {
      const std::string line = "line " + std::to_string(i);
      queue.AddStatusLine(line);
      queue.AddKeyListEntry("row " + std::to_string(i));
      all.push_back({Kind::kStatusLine, line});
      all.push_back({Kind::kRow, "row " + std::to_string(i)});
      if (random() % 400 == 0) {  // the window drains now and then
        auto drained = queue.Drain();
        FoldOutput(drained, 0, rows_queue, through_queue);
      }
    }
    auto drained = queue.Drain();
    FoldOutput(drained, 0, rows_queue, through_queue);
    FoldOutput(all, 0, rows_direct, direct);
    EXPECT_EQ(through_queue.Lines(), direct.Lines()) << present << " + " << lines;
    EXPECT_EQ(rows_queue, rows_direct);
  }
}


}  // namespace
}  // namespace keyloom::shell
