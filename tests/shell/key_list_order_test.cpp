#include "shell/key_list_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keyloom::shell {
namespace {

using engine::FoundIn;

std::string Time(std::uint64_t t) { return "2026-12-0" + std::to_string(t); }

// Five hits and one row without details.
KeyListRows SampleRows() {
  KeyListRows rows;
  rows.Append("HKEY_USERS\t\\b\tz", {"REG_SZ", "Größe", FoundIn::kData, 9});
  rows.Append("HKEY_CURRENT_USER\t\\A\t", {"", "", FoundIn::kKeyName, 10});
  rows.Append("HKEY_USERS\t\\a\tY", {"REG_DWORD", "0x00000001 (1)", FoundIn::kValueName, 9});
  rows.Append("HKEY_CLASSES_ROOT\t\\C\tx", {"REG_BINARY", "00 ff", FoundIn::kData, 0});
  rows.Append("HKEY_USERS\t\\B\tw", {"REG_SZ", "tab\there", FoundIn::kData, 100});
  rows.Append("HKEY_USERS\t\\plain\tv");
  return rows;
}

TEST(KeyListOrderTest, SortsStablyByEachColumnEitherWay) {
  const KeyListRows rows = SampleRows();
  struct Case {
    int column;
    bool descending;
    std::vector<std::size_t> expected;
  };
  const Case cases[] = {
      {kColumnRoot, false, {3, 1, 0, 2, 4, 5}},
      {kColumnRoot, true, {0, 2, 4, 5, 1, 3}},   // equal roots keep their order
      {kColumnPath, false, {1, 2, 0, 4, 3, 5}},  // letter case ignored: \A \a \b \B \C
      {kColumnValueName, false, {1, 5, 4, 3, 2, 0}},
      {kColumnType, false, {1, 5, 3, 2, 0, 4}},
      {kColumnFoundIn, false, {5, 0, 3, 4, 1, 2}},  // a row without details first
      // Numbers, not their text: 0 (unknown) < 9 < 10 < 100.
      {kColumnModified, false, {3, 5, 0, 2, 1, 4}},
      {kColumnModified, true, {4, 1, 0, 2, 3, 5}},
  };
  for (const Case& c : cases) {
    std::vector<std::size_t> order = AllRows(rows.size());
    SortRows(rows, c.column, c.descending, order);
    EXPECT_EQ(order, c.expected) << "column " << c.column << (c.descending ? " down" : " up");
  }
}

TEST(KeyListOrderTest, FilterKeepsRowsWithTheTextInAnyColumnLetterCaseIgnored) {
  const KeyListRows rows = SampleRows();
  struct Case {
    const char* text;
    std::vector<std::size_t> expected;
  };
  const Case cases[] = {
      {"", {0, 1, 2, 3, 4, 5}},
      {"hkey_users", {0, 2, 4, 5}},
      {"\\B", {0, 4}},
      {"dword", {2}},
      {"(1)", {2}},
      {"key NAME", {1}},
      {"GRÖSSE", {}},           // no folding of ß into SS
      {"GRÖ", {0}},             // non-ASCII letters fold too
      {"2026-12-010", {1, 4}},  // the "Modified" text as shown
      {"\t", {4}},
      {"missing", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FilterRows(rows, AllRows(rows.size()), TextFilter(c.text), Time), c.expected)
        << c.text;
  }
  std::vector<std::size_t> order = AllRows(rows.size());
  SortRows(rows, kColumnModified, true, order);
  EXPECT_EQ(FilterRows(rows, order, TextFilter("hkey_users"), Time),
            (std::vector<std::size_t>{4, 0, 2, 5}))
      << "a filter keeps the sorted order";
}

}  // namespace
}  // namespace keyloom::shell
