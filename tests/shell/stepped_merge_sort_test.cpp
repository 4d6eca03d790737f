#include "shell/stepped_merge_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace keyloom::shell {
namespace {

// An item whose key repeats: the second part tells whether equal keys kept their order.
using Item = std::pair<int, int>;
struct KeyLess {
  bool operator()(const Item& a, const Item& b) const { return a.first < b.first; }
};

TEST(SteppedMergeSortTest, GivesWhatAStableSortGivesWhereverItsStepsStop) {
  constexpr std::size_t kWhole = static_cast<std::size_t>(-1);
  const std::size_t sizes[] = {0, 1, 2, 15, 16, 17, 31, 33, 100, 1000, 4097};
  const std::size_t budgets[] = {1, 3, 16, 100, 5000, kWhole};
  const int key_ranges[] = {1, 7, 1000000};  // all equal, many equal, mostly different
  SteppedMergeSort<Item, KeyLess> sort;      // one sorter: its buffer is kept between sorts
  unsigned seed = 11;
  for (std::size_t size : sizes) {
    for (int range : key_ranges) {
      std::vector<Item> items;
      for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        items.emplace_back(static_cast<int>((seed >> 8) % static_cast<unsigned>(range)),
                           static_cast<int>(i));
      }
      std::vector<Item> expected = items;
      std::stable_sort(expected.begin(), expected.end(), KeyLess());
      for (std::size_t budget : budgets) {
        std::vector<Item> sorted = items;
        sort.Start(sorted.data(), sorted.size());
        int steps = 0;
        while (true) {
          std::size_t left = budget;
          const bool done = sort.Step(left);
          ++steps;
          ASSERT_LE(left, budget);
          if (done) break;
          ASSERT_EQ(left, 0u) << "a step that stops has used its budget";
          ASSERT_LT(steps, 1000000) << "no end";
        }
        EXPECT_EQ(sorted, expected) << size << " items, keys below " << range << ", budget "
                                    << budget << ", " << steps << " steps";
        std::size_t more = 1;
        EXPECT_TRUE(sort.Step(more)) << "a finished sort stays finished";
      }
    }
  }
}

}  // namespace
}  // namespace keyloom::shell
