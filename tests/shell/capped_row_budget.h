// A row budget for tests: allows a fixed number of blocks, then refuses, as the budget does or, with
// `system_refuses`, as the system does (by throwing std::bad_alloc where the block would be made).
#pragma once

#include <cstddef>
#include <new>

#include "shell/key_list_rows.h"

namespace keyloom::shell::testing {

class CappedRowBudget final : public RowBudget {
 public:
  explicit CappedRowBudget(std::size_t blocks, bool system_refuses = false)
      : left_(blocks), system_refuses_(system_refuses) {}

  bool MayMake(std::size_t, std::size_t rows) override {
    ++asked_;
    last_rows_ = rows;
    if (left_ == 0) {
      if (system_refuses_) throw std::bad_alloc();
      return false;
    }
    --left_;
    return true;
  }
  void Allow(std::size_t blocks) { left_ = blocks; }
  std::size_t asked() const { return asked_; }
  std::size_t last_rows() const { return last_rows_; }

 private:
  std::size_t left_;
  bool system_refuses_;
  std::size_t asked_ = 0;
  std::size_t last_rows_ = 0;
};

}  // namespace keyloom::shell::testing
