#include "shell/key_list_rows.h"

#include <gtest/gtest.h>

#include "shell/capped_row_budget.h"

#include <random>
#include <string>
#include <vector>

namespace keyloom::shell {
namespace {

using engine::HitDetails;

void ExpectSameRows(const KeyListRows& rows, const std::vector<std::string>& expected) {
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(rows[i], expected[i]) << "row " << i;
}

// Small blocks, so that a few thousand rows cross many of them.
constexpr std::size_t kBlock = 4096;

// Rows of every length that matters: empty, ordinary, and longer than a whole block.
std::string RandomRow(std::mt19937& random, int n) {
  switch (random() % 50) {
    case 0:
      return {};
    case 1:
      return std::string(kBlock + random() % 100, 'x') + std::to_string(n);
    default:
      return "HKEY_LOCAL_MACHINE\t\\Software\\Vendor " + std::to_string(n) + "\\Ω 名前\tv" +
             std::string(random() % 120, 'a');
  }
}

TEST(KeyListRowsTest, ReadsBackEveryRowAcrossBlocksWhateverTheirLengthOrHowTheyArrived) {
  std::mt19937 random(11);
  KeyListRows rows(kBlock);
  std::vector<std::string> expected;
  int n = 0;
  while (expected.size() < 20000) {
    if (random() % 3 == 0) {  // a batch from the run's worker, taken over whole
      KeyListRows batch(kBlock);
      for (std::size_t i = random() % 2000; i > 0; --i) {
        expected.push_back(RandomRow(random, n++));
        batch.Append(expected.back());
      }
      rows.Append(std::move(batch));
      ASSERT_TRUE(batch.empty());
    } else {
      expected.push_back(RandomRow(random, n++));
      rows.Append(expected.back());
    }
  }
  ExpectSameRows(rows, expected);
}

TEST(KeyListRowsTest, ClearEmptiesTheListForTheNextRun) {
  KeyListRows rows;
  for (int i = 0; i < 5000; ++i) rows.Append("old " + std::to_string(i));
  rows.Clear();
  EXPECT_TRUE(rows.empty());
  rows.Append("new");
  ExpectSameRows(rows, {"new"});
}

TEST(KeyListRowsTest, RemovedRowsGoAndTheOthersKeepTheirOrderAcrossBlocks) {
  KeyListRows rows(kBlock);
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    expected.push_back("HKEY_CURRENT_USER\t\\Software\\Key" + std::to_string(i) + "\tValue");
    rows.Append(expected.back());
  }
  ASSERT_GT(rows.size() * expected.front().size(), kBlock * 10);
  rows.Remove({2999, 0, 1500, 1500, 5000});
  expected.erase(expected.begin() + 2999);
  expected.erase(expected.begin() + 1500);
  expected.erase(expected.begin());
  ExpectSameRows(rows, expected);
  rows.Remove({});
  ExpectSameRows(rows, expected);
}

TEST(KeyListRowsTest, ARefusedBlockStopsTheRowsAndLeavesEveryRowBeforeItIntact) {
  for (const bool system_refuses : {false, true}) {
    SCOPED_TRACE(system_refuses ? "the system refuses" : "the budget refuses");
    testing::CappedRowBudget budget(3, system_refuses);
    RowBlockStock stock;
    stock.budget = &budget;
    KeyListRows rows(kBlock);
    std::vector<std::string> expected;
    const HitDetails details{"REG_SZ", "data", engine::FoundIn::kData, 42};
    for (int i = 0; i < 1000; ++i) {
      const std::string row = "HKEY_CURRENT_USER\t\\Key" + std::to_string(i) + "\tValue";
      if (!rows.Append(row, details, &stock)) break;
      expected.push_back(row);
    }
    // Three blocks of 4096 bytes, rows of some 60 bytes with their details: not one more.
    EXPECT_GT(expected.size(), 150u);
    EXPECT_LT(expected.size(), 3 * kBlock / 50);
    ExpectSameRows(rows, expected);
    EXPECT_EQ(rows.Details(expected.size() - 1).data, "data");
    // A row that finds no room in the last block finds no new one either.
    EXPECT_FALSE(rows.Append("HKEY_CURRENT_USER\t\\Key1000\tValue", details, &stock));
    EXPECT_FALSE(rows.Append(std::string(kBlock * 2, 'x'), &stock));
    ExpectSameRows(rows, expected);
    // A stocked block was made ahead under the budget: it is taken without asking again.
    stock.blocks.push_back(RowBlock::WithRoom(kBlock));
    EXPECT_TRUE(rows.Append("from the stock", &stock));
    EXPECT_EQ(rows[rows.size() - 1], "from the stock");
  }
}

}  // namespace
}  // namespace keyloom::shell
