#include "shell/key_list_cells.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/key_list_entry.h"
#include "shell/key_list_order.h"
#include "shell/run_output_queue.h"

namespace keyloom::shell {
namespace {

std::string Time(std::uint64_t t) { return "t" + std::to_string(t); }

std::vector<std::string> Cells(const KeyListRows& rows, std::size_t row) {
  std::vector<std::string> cells;
  for (int column = 0; column < kKeyListColumnCount; ++column) {
    cells.push_back(CellText(rows, row, column, Time));
  }
  return cells;
}

TEST(KeyListCellsTest, HitsCarryTheirDetailsFromTheRunToTheColumnsWhileReadersSeeTheRowAlone) {
  RunOutputQueue queue;
  const std::string value_row =
      engine::MakeKeyListEntry("HKEY_CURRENT_USER", "\\Software\\A", "Name\twith tab");
  queue.AddKeyListHit(value_row, {"REG_SZ", "C:\\x", engine::FoundIn::kData, 133000000000000000});
  queue.AddKeyListEntry("HKEY_USERS\t\\Plain\t");  // a row without details
  const std::string key_row = engine::MakeKeyListEntry("HKEY_LOCAL_MACHINE", "\\Software\\B", "");
  queue.AddKeyListHit(key_row, {"", "", engine::FoundIn::kKeyName, 0});
  // Enough rows with details to fill several blocks, then a removal that moves them.
  constexpr int kMany = 60000;
  for (int i = 0; i < kMany; ++i) {
    queue.AddKeyListHit("HKEY_USERS\t\\K" + std::to_string(i) + "\tv",
                        {"REG_DWORD", "0x00000001 (1)", engine::FoundIn::kValueName,
                         static_cast<std::uint64_t>(i + 1)});
  }
  KeyListRows rows;
  engine::StatusLines status;
  std::vector<OutputSegment> segments = queue.Drain();
  FoldOutput(segments, 0, rows, status);
  ASSERT_EQ(rows.size(), kMany + 3u);
  rows.Remove({1, 5});

  EXPECT_EQ(rows[0], value_row);
  EXPECT_EQ(engine::ParseKeyListEntry(rows[0])->value_name, "Name\twith tab");
  EXPECT_EQ(Cells(rows, 0),
            (std::vector<std::string>{"HKEY_CURRENT_USER", "\\Software\\A", "Name\twith tab",
                                      "REG_SZ", "C:\\x", "Data", "t133000000000000000", "", ""}));
  EXPECT_EQ(rows[1], key_row);
  EXPECT_EQ(Cells(rows, 1), (std::vector<std::string>{"HKEY_LOCAL_MACHINE", "\\Software\\B", "", "",
                                                      "", "Key name", "", "", ""}));
  EXPECT_EQ(Cells(rows, 2)[kColumnModified], "t1");
  EXPECT_EQ(Cells(rows, 3)[kColumnModified], "t2");
  EXPECT_EQ(Cells(rows, 4)[kColumnModified], "t4");  // the row of t3 was removed
  EXPECT_EQ(rows[kMany], "HKEY_USERS\t\\K" + std::to_string(kMany - 1) + "\tv");
  EXPECT_EQ(Cells(rows, kMany)[kColumnFoundIn], "Value name");
  EXPECT_EQ(Cells(rows, kMany)[kColumnModified], "t" + std::to_string(kMany));

  rows.Append("not a result row");
  EXPECT_EQ(Cells(rows, rows.size() - 1),
            (std::vector<std::string>{"not a result row", "", "", "", "", "", "", "", ""}));
}

TEST(KeyListCellsTest, CopiesRowsAsTabSeparatedTextAndAKeyPath) {
  KeyListRows rows;
  rows.Append("HKEY_CURRENT_USER\t\\Software\\A\tName\twith tab",
              {"REG_SZ", "say \"hi\"", engine::FoundIn::kData, 5});
  rows.Append("HKEY_USERS\t\\B\t", {"", "", engine::FoundIn::kKeyName, 0});
  rows.Append("HKEY_USERS\t\\C\tline\nbreak",
              {"REG_SZ", "plain", engine::FoundIn::kValueName, 7, change::ChangeResult::kNone, "",
               "ann"});
  rows.SetResult(0, change::ChangeResult::kFailed, "Access is denied");
  EXPECT_EQ(
      RowsAsTabText(rows, {2, 0, 9}, Time),
      "ROOT\tRegistry Key\tValue Name\tType\tData\tFound in\tModified\tResult\tUser\r\n"
      "HKEY_USERS\t\\C\t\"line\nbreak\"\tREG_SZ\tplain\tValue name\tt7\t\tann\r\n"
      "HKEY_CURRENT_USER\t\\Software\\A\t\"Name\twith tab\"\tREG_SZ\t\"say \"\"hi\"\"\"\tData\tt5"
      "\tFailed: Access is denied\t\r\n");
  EXPECT_EQ(RowsAsTabText(rows, {}, Time),
            "ROOT\tRegistry Key\tValue Name\tType\tData\tFound in\tModified\tResult\tUser\r\n");
  EXPECT_EQ(KeyPathText(rows[0]), "HKEY_CURRENT_USER\\Software\\A");
  EXPECT_EQ(KeyPathText(rows[1]), "HKEY_USERS\\B");
  EXPECT_EQ(KeyPathText("no tab"), "");
}

}  // namespace
}  // namespace keyloom::shell

namespace keyloom::shell {
namespace {

using change::ChangeResult;

engine::HitDetails Hit(std::string data, std::uint64_t time, ChangeResult result,
                       std::string reason = {}, std::string user = {}) {
  return {"REG_SZ",          std::move(data),   engine::FoundIn::kData, time, result,
          std::move(reason), std::move(user)};
}

// The rows after each kind of change, made by a run (the row comes with its result) or later by
// the user (the row is rewritten where it stands), through removals, appends, sorting and
// filtering. Rows of a run over every user's profile keep their user through every rewriting.
TEST(KeyListRowStates, EveryKindOfChangeShowsInTheResultColumnAndTheRowShowsTheItemAsItIsNow) {
  RunOutputQueue queue;
  queue.AddKeyListHit("HKEY_CURRENT_USER\t\\S\tsearched", Hit("old", 1, ChangeResult::kNone));
  queue.AddKeyListHit("HKEY_CURRENT_USER\t\\S\treplaced",
                      Hit("new", 2, ChangeResult::kReplaced, "", "ann"));
  queue.AddKeyListHit("HKEY_CURRENT_USER\t\\S\tnew name", Hit("x", 3, ChangeResult::kRenamed));
  queue.AddKeyListHit("HKEY_CURRENT_USER\t\\S\tgone", Hit("last", 4, ChangeResult::kDeleted));
  queue.AddKeyListHit("HKEY_CURRENT_USER\t\\S\tdry",
                      Hit("old", 5, ChangeResult::kSimulated, "", "bob"));
  queue.AddKeyListHit("HKEY_CURRENT_USER\t\\S\trefused",
                      Hit("old", 6, ChangeResult::kFailed, "Unable to Open Registry Key, denied",
                          "Cy Ünal"));
  queue.AddKeyListEntry("HKEY_USERS\t\\Plain\t");  // a row without details
  KeyListRows rows(256);                           // small blocks: the rows cross several
  engine::StatusLines status;
  std::vector<OutputSegment> segments = queue.Drain();
  FoldOutput(segments, 0, rows, status);
  const auto result = [&rows](std::size_t row) { return Cells(rows, row)[kColumnResult]; };
  EXPECT_EQ(result(0), "");
  EXPECT_EQ(result(1), "Replaced");
  EXPECT_EQ(result(2), "Renamed");
  EXPECT_EQ(result(3), "Deleted");
  EXPECT_EQ(result(4), "Simulated");
  EXPECT_EQ(result(5), "Failed: Unable to Open Registry Key, denied");
  EXPECT_EQ(result(6), "");

  // The user's edit of the searched row: its data and time as they are now.
  rows.Replace(0, "HKEY_CURRENT_USER\t\\S\tsearched", Hit("edited", 10, ChangeResult::kReplaced));
  EXPECT_EQ(Cells(rows, 0),
            (std::vector<std::string>{"HKEY_CURRENT_USER", "\\S", "searched", "REG_SZ", "edited",
                                      "Data", "t10", "Replaced", ""}));
  // A rename of the simulated row's value: the new name, the user's row still.
  rows.Replace(4, "HKEY_CURRENT_USER\t\\S\tdry run", Hit("old", 11, ChangeResult::kRenamed));
  EXPECT_EQ(rows[4], "HKEY_CURRENT_USER\t\\S\tdry run");
  EXPECT_EQ(Cells(rows, 4)[kColumnUser], "bob");
  // Deletes keep the last data: in place, over a failure, and on a row without details.
  rows.SetResult(1, ChangeResult::kDeleted);
  rows.SetResult(5, ChangeResult::kDeleted);
  rows.SetResult(6, ChangeResult::kFailed, "Access is denied");
  EXPECT_EQ(Cells(rows, 1), (std::vector<std::string>{"HKEY_CURRENT_USER", "\\S", "replaced",
                                                      "REG_SZ", "new", "Data", "t2", "Deleted",
                                                      "ann"}));
  EXPECT_EQ(result(5), "Deleted");
  EXPECT_EQ(Cells(rows, 5)[kColumnUser], "Cy Ünal");
  EXPECT_EQ(Cells(rows, 5)[kColumnData], "old");
  EXPECT_EQ(result(6), "Failed: Access is denied");
  EXPECT_EQ(rows[6], "HKEY_USERS\t\\Plain\t");

  // Sorting and filtering see the column.
  std::vector<std::size_t> order = AllRows(rows.size());
  SortRows(rows, kColumnResult, false, order);
  EXPECT_EQ(order, (std::vector<std::size_t>{1, 3, 5, 6, 2, 4, 0}));
  EXPECT_TRUE(RowMatches(rows, 6, TextFilter("failed: access"), Time));
  EXPECT_FALSE(RowMatches(rows, 0, TextFilter("failed"), Time));
  order = AllRows(rows.size());
  SortRows(rows, kColumnUser, true, order);
  EXPECT_EQ(order, (std::vector<std::size_t>{5, 4, 1, 0, 2, 3, 6}));
  EXPECT_TRUE(RowMatches(rows, 5, TextFilter("cy ünal"), Time));
  EXPECT_FALSE(RowMatches(rows, 0, TextFilter("ann"), Time));

  // Removing rows and appending more keep what every row says.
  rows.Remove({2, 3});
  rows.Append("HKEY_USERS\t\\Later\t", Hit("z", 12, ChangeResult::kNone));
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(Cells(rows, 0)[kColumnData], "edited");
  EXPECT_EQ(result(1), "Deleted");
  EXPECT_EQ(rows[2], "HKEY_CURRENT_USER\t\\S\tdry run");
  EXPECT_EQ(result(2), "Renamed");
  EXPECT_EQ(Cells(rows, 2)[kColumnUser], "bob");
  EXPECT_EQ(Cells(rows, 3)[kColumnUser], "Cy Ünal");
  EXPECT_EQ(result(4), "Failed: Access is denied");
  EXPECT_EQ(rows[5], "HKEY_USERS\t\\Later\t");
  EXPECT_EQ(result(5), "");
}

}  // namespace
}  // namespace keyloom::shell
