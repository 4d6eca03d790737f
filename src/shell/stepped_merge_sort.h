// A stable merge sort done in steps of bounded work, so that a window's thread can sort a large
// vector and still answer its messages between the steps.
//
// Bottom-up: runs of kRun items are sorted in place by insertion first, then runs of doubling
// width are merged back and forth between the items and a buffer of the same size, and at the
// end the result is copied back if it lies in the buffer. Every merge can stop after any item and
// go on from there. Equal items keep their order: a merge takes from the left run on a tie.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace keyloom::shell {

template <typename T, typename Less>
class SteppedMergeSort {
 public:
  static constexpr std::size_t kRun = 16;

  explicit SteppedMergeSort(Less less = Less()) : less_(std::move(less)) {}

  // Begins to sort items[0, count). The items stay where they are, untouched by anyone else,
  // until Step says they are sorted. The buffer is kept from one sort to the next.
  void Start(T* items, std::size_t count) {
    items_ = items;
    count_ = count;
    if (buffer_.size() < count) buffer_.resize(count);
    from_ = items;
    to_ = buffer_.data();
    width_ = 0;
    low_ = 0;
  }

  // Moves up to about `budget` items and takes what it used from it. True when the items are
  // sorted.
  bool Step(std::size_t& budget) {
    while (true) {
      if (width_ == 0) {
        while (low_ < count_) {
          if (budget == 0) return false;
          const std::size_t high = std::min(low_ + kRun, count_);
          InsertionSort(items_ + low_, items_ + high);
          budget -= std::min(budget, high - low_);
          low_ = high;
        }
        width_ = kRun;
        BeginPass();
      }
      if (width_ >= count_) return CopyBack(budget);
      while (low_ < count_) {
        const std::size_t mid = std::min(low_ + width_, count_);
        const std::size_t high = std::min(low_ + 2 * width_, count_);
        while (k_ < high) {
          if (budget == 0) return false;
          --budget;
          if (i_ < mid && (j_ >= high || !less_(from_[j_], from_[i_]))) {
            to_[k_++] = std::move(from_[i_++]);
          } else {
            to_[k_++] = std::move(from_[j_++]);
          }
        }
        low_ = high;
        BeginPair();
      }
      std::swap(from_, to_);
      width_ *= 2;
      BeginPass();
    }
  }

 private:
  void InsertionSort(T* first, T* last) {
    for (T* next = first + 1; next < last; ++next) {
      T item = std::move(*next);
      T* hole = next;
      for (; hole > first && less_(item, *(hole - 1)); --hole) *hole = std::move(*(hole - 1));
      *hole = std::move(item);
    }
  }
  void BeginPass() {
    low_ = 0;
    BeginPair();
  }
  void BeginPair() {
    i_ = low_;
    j_ = std::min(low_ + width_, count_);
    k_ = low_;
  }
  // The sorted items are in from_: back into the items, if they are not there.
  bool CopyBack(std::size_t& budget) {
    if (from_ == items_) return true;
    while (low_ < count_) {
      if (budget == 0) return false;
      const std::size_t n = std::min(budget, count_ - low_);
      std::move(from_ + low_, from_ + low_ + n, items_ + low_);
      low_ += n;
      budget -= n;
    }
    return true;
  }

  Less less_;
  std::vector<T> buffer_;
  T* items_ = nullptr;
  std::size_t count_ = 0;
  T* from_ = nullptr;                  // the runs being merged
  T* to_ = nullptr;                    // where the merged runs go
  std::size_t width_ = 0;              // the width of the sorted runs; 0 before they are made
  std::size_t low_ = 0;                // where the pair of runs being merged begins
  std::size_t i_ = 0, j_ = 0, k_ = 0;  // the next item of the left run, the right run, the target
};

}  // namespace keyloom::shell
