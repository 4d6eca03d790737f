#include "shell/key_list_cells.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/key_list_entry.h"
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
                                      "REG_SZ", "C:\\x", "Data", "t133000000000000000"}));
  EXPECT_EQ(rows[1], key_row);
  EXPECT_EQ(Cells(rows, 1), (std::vector<std::string>{"HKEY_LOCAL_MACHINE", "\\Software\\B", "", "",
                                                      "", "Key name", ""}));
  EXPECT_EQ(Cells(rows, 2)[kColumnModified], "t1");
  EXPECT_EQ(Cells(rows, 3)[kColumnModified], "t2");
  EXPECT_EQ(Cells(rows, 4)[kColumnModified], "t4");  // the row of t3 was removed
  EXPECT_EQ(rows[kMany], "HKEY_USERS\t\\K" + std::to_string(kMany - 1) + "\tv");
  EXPECT_EQ(Cells(rows, kMany)[kColumnFoundIn], "Value name");
  EXPECT_EQ(Cells(rows, kMany)[kColumnModified], "t" + std::to_string(kMany));

  rows.Append("not a result row");
  EXPECT_EQ(Cells(rows, rows.size() - 1),
            (std::vector<std::string>{"not a result row", "", "", "", "", "", ""}));
}

TEST(KeyListCellsTest, CopiesRowsAsTabSeparatedTextAndAKeyPath) {
  KeyListRows rows;
  rows.Append("HKEY_CURRENT_USER\t\\Software\\A\tName\twith tab",
              {"REG_SZ", "say \"hi\"", engine::FoundIn::kData, 5});
  rows.Append("HKEY_USERS\t\\B\t", {"", "", engine::FoundIn::kKeyName, 0});
  rows.Append("HKEY_USERS\t\\C\tline\nbreak", {"REG_SZ", "plain", engine::FoundIn::kValueName, 7});
  EXPECT_EQ(
      RowsAsTabText(rows, {2, 0, 9}, Time),
      "ROOT\tRegistry Key\tValue Name\tType\tData\tFound in\tModified\r\n"
      "HKEY_USERS\t\\C\t\"line\nbreak\"\tREG_SZ\tplain\tValue name\tt7\r\n"
      "HKEY_CURRENT_USER\t\\Software\\A\t\"Name\twith tab\"\tREG_SZ\t\"say \"\"hi\"\"\"\tData\tt5"
      "\r\n");
  EXPECT_EQ(RowsAsTabText(rows, {}, Time),
            "ROOT\tRegistry Key\tValue Name\tType\tData\tFound in\tModified\r\n");
  EXPECT_EQ(KeyPathText(rows[0]), "HKEY_CURRENT_USER\\Software\\A");
  EXPECT_EQ(KeyPathText(rows[1]), "HKEY_USERS\\B");
  EXPECT_EQ(KeyPathText("no tab"), "");
}

}  // namespace
}  // namespace keyloom::shell
