#include "shell/key_list_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/ascii.h"

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

// Rows whose paths and data share long beginnings and differ in letter case, in length, in
// non-ASCII letters and past many equal bytes, with many equal times.
KeyListRows MixedRows(std::size_t count) {
  const char* const pieces[] = {
      "\\Software\\Vendor", "\\SOFTWARE\\vendor", "x", "X",    "ö",  "Ö", "",
      "0123456789abcdef",   "0123456789ABCDEF0",  " ", "Data", "Key"};
  constexpr unsigned kPieces = sizeof pieces / sizeof pieces[0];
  KeyListRows rows;
  unsigned seed = 7;
  for (std::size_t i = 0; i < count; ++i) {
    std::string path, data;
    for (int part = 0; part < 6; ++part) {
      seed = seed * 1103515245u + 12345u;
      path += pieces[(seed >> 16) % kPieces];
      data += pieces[(seed >> 8) % kPieces];
    }
    const auto time = static_cast<std::uint64_t>((seed >> 4) % 5);
    rows.Append("HKEY_USERS\t" + path + "\tv" + std::to_string(i % 9),
                {"REG_SZ", data, FoundIn::kData, time});
  }
  return rows;
}

// The sort gives the order of a plain comparison of each pair of cells.
TEST(KeyListOrderTest, SortsLongTextsWithSharedBeginningsAsAPlainComparisonDoes) {
  const KeyListRows rows = MixedRows(3000);
  for (int column : {kColumnPath, kColumnData}) {
    for (bool descending : {false, true}) {
      std::vector<std::size_t> expected = AllRows(rows.size());
      std::stable_sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
        // std::string compares its bytes as unsigned char: UTF-8 in code point order.
        const std::string x = base::AsciiLower(CellView(rows, a, column));
        const std::string y = base::AsciiLower(CellView(rows, b, column));
        return descending ? y < x : x < y;
      });
      std::vector<std::size_t> order = AllRows(rows.size());
      SortRows(rows, column, descending, order);
      EXPECT_EQ(order, expected) << "column " << column << (descending ? " down" : " up");
    }
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
  SortRows(rows, kColumnModified, false, order);  // the rows of time 9 next to each other
  EXPECT_EQ(FilterRows(rows, order, TextFilter("2026-12-09"), Time),
            (std::vector<std::size_t>{0, 2}));
  EXPECT_EQ(FilterRows(rows, order, TextFilter("2026-12-010"), Time),
            (std::vector<std::size_t>{1, 4}));
}

TEST(KeyListOrderTest, AFilterNarrowsAnotherOnlyWhenItsTextHoldsTheOthers) {
  struct Case {
    const char* text;
    const char* wider;
    bool narrows;
  };
  const Case cases[] = {
      {"Vendor1", "vendor", true},  // letter case ignored
      {"vendor", "Vendor1", false},
      {"dor1", "vendor", false},
      {"xVENDORx", "endo", true},
      {"anything", "", true},
      {"", "a", false},
      {"größe", "RÖ", true},   // non-ASCII text upper-cased
      {"größe", "gr", false},  // ASCII and non-ASCII filters fold letters differently
      {"gr", "grö", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextFilter(c.text).Narrows(TextFilter(c.wider)), c.narrows)
        << c.text << " / " << c.wider;
  }
  // Where it narrows, filtering the wider filter's rows gives what filtering all rows gives.
  const KeyListRows rows = SampleRows();
  const std::vector<std::size_t> wider =
      FilterRows(rows, AllRows(rows.size()), TextFilter("a"), Time);
  EXPECT_EQ(FilterRows(rows, wider, TextFilter("data"), Time),
            FilterRows(rows, AllRows(rows.size()), TextFilter("data"), Time));
}

// The sort and the filter made in steps of any size give exactly the order and the rows they give
// in one go (and so the order a plain stable sort by each column's comparison gives, above).
// Rows appended between the filter's steps are looked at too.
TEST(KeyListOrderTest, SteppedSortAndFilterGiveTheSameRowsWhereverTheirStepsStop) {
  const KeyListRows rows = MixedRows(2500);
  const std::size_t budgets[] = {1, 5, 64, 1000, 100000};
  for (int column = 0; column < kKeyListColumnCount; ++column) {
    for (bool descending : {false, true}) {
      std::vector<std::size_t> expected = AllRows(rows.size());
      SortRows(rows, column, descending, expected);
      for (std::size_t budget : budgets) {
        SteppedRowSort sort(rows, column, descending, AllRows(rows.size()));
        int steps = 1;
        while (!sort.Step(budget)) ASSERT_LT(++steps, 10000000);
        EXPECT_EQ(sort.Take(), expected)
            << "column " << column << (descending ? " down" : " up") << ", budget " << budget;
      }
    }
  }
  std::vector<std::size_t> order = AllRows(rows.size());
  SortRows(rows, kColumnPath, false, order);
  for (const char* text : {"", "vendor", "Ö", "2026-12-03", "key"}) {
    const std::vector<std::size_t> expected = FilterRows(rows, order, TextFilter(text), Time);
    for (std::size_t budget : budgets) {
      SteppedRowFilter filter{TextFilter(text), Time};
      // Half the rows at first, the rest appended while it works.
      std::vector<std::size_t> source(order.begin(), order.begin() + 1250);
      int steps = 0;
      while (true) {
        const bool done = filter.Step(rows, source, budget);
        if (++steps == 3 || (done && source.size() < order.size())) {
          source.assign(order.begin(), order.end());
          continue;
        }
        if (done) break;
        ASSERT_LT(steps, 10000000);
      }
      EXPECT_EQ(filter.Take(), expected) << text << ", budget " << budget;
    }
  }
}

TEST(KeyListOrderTest, RemovingRowsDropsTheirIndicesAndMovesTheOthersDown) {
  using Order = std::vector<std::size_t>;
  struct Case {
    Order removed;
    Order order;
    Order expected;
  };
  const std::vector<Case> cases = {
      {{}, {3, 1, 2}, {3, 1, 2}},
      {{1}, {3, 1, 2, 0}, {2, 1, 0}},
      {{0, 4}, {4, 3, 2, 1, 0, 5}, {2, 1, 0, 3}},
      {{2, 3}, {5, 0}, {3, 0}},  // none of the removed shown: the others still move down
      {{0, 1, 2}, {2, 1, 0}, {}},
  };
  for (const Case& c : cases) {
    Order order = c.order;
    RemoveFromOrder(c.removed, order);
    EXPECT_EQ(order, c.expected);
  }
}

}  // namespace
}  // namespace keyloom::shell
