// How much of the process's address space the Key List's rows may fill.
//
// A 32-bit process has 2 GB of address space (4 GB on 64-bit Windows, since the program is
// large-address-aware), and a Key List row costs about 170 bytes: a search for a common text can
// fill it. A new block of rows is therefore made only while the address space left after it keeps
// kKeptFree for the rest of the program (the open and save dialogs load system libraries; a run's
// changes, undo records and status lines need memory of their own) and kKeptPerRow for every row
// the list holds: what sorting and filtering the full list takes (its index, the sort's keys and
// the merge's buffer). When the budget refuses, the list is full and the run goes on without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "shell/key_list_rows.h"

namespace keyloom::shell {

class AddressSpaceBudget final : public RowBudget {
 public:
  static constexpr std::uint64_t kKeptFree = std::uint64_t{256} << 20;
  static constexpr std::uint64_t kKeptPerRow = 64;

  // `free_bytes` tells how much address space the process has left, nullopt when it cannot
  // (then only the system's refusal of a block stops the rows).
  using FreeBytes = std::function<std::optional<std::uint64_t>()>;
  explicit AddressSpaceBudget(FreeBytes free_bytes) : free_bytes_(std::move(free_bytes)) {}

  bool MayMake(std::size_t bytes, std::size_t rows) override {
    const std::optional<std::uint64_t> free = free_bytes_();
    return !free || *free >= bytes + kKeptFree + kKeptPerRow * rows;
  }

 private:
  FreeBytes free_bytes_;
};

}  // namespace keyloom::shell
