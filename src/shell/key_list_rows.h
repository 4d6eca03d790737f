// The Key List's rows, stored back to back in blocks of text.
//
// A run may show a million rows. Kept as one string each, every row would cost a heap allocation
// made by the worker and freed by the GUI thread, and emptying the list would free them one by
// one. Here the rows of a block share one text buffer and one offset table: appending copies the
// row's bytes, a row costs its text and four bytes, and the list is emptied a block at a time.
// The run's worker gathers its rows in the same form, and the window takes them over block by
// block without touching a row.
//
// A hit's row carries its details stored after the row text behind a NUL, which no registry name
// holds: the row text that every reader parses stays root TAB path TAB value name. The type, the
// data preview, the result's text and the user follow, each behind a NUL; then a fixed tail of ten
// bytes: where the text was found (one digit), what a change did to the item (one digit) and the
// key's last write time as its eight bytes, least significant first. Only a failed change has a
// result text ("Failed: " and why); every other result is its digit alone. Only a hit in a user's
// hive during a run over every user's profile has a user (the profile folder's name). The details
// cost their text and 15 bytes, and storing them formats no number.
//
//   root TAB path TAB value name NUL type NUL data NUL result text NUL user NUL found result time
//
// A row whose item the user changed later (an edit, a rename, a delete) is rewritten: a result
// alone is written into the row's tail where it is; a row that changes more is kept whole beside
// the blocks, in a map of the few rows rewritten so. A rewritten row keeps its user: the item is
// still in the same user's hive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/hit_details.h"
#include "registry/mounted_hives.h"

namespace keyloom::shell {

// A row's details as stored; all empty for a row without them.
struct RowDetails {
  bool present = false;
  std::string_view type;
  std::string_view data;
  engine::FoundIn found_in = engine::FoundIn::kKeyName;
  std::uint64_t modified = 0;
  change::ChangeResult result = change::ChangeResult::kNone;
  std::string_view failure;  // "Failed: " and why, for a failed change
  std::string_view user;     // the profile folder's name of the hive holding the item, or empty
};

// The "Result" cell of a row's details: "" after a search, the result's name, or for a failure
// "Failed: " and why.
std::string_view ResultText(const RowDetails& details);

// Rows in one buffer, in the order appended.
class RowBlock {
 public:
  // A block made to receive rows up to `text_bytes` of text without growing.
  static RowBlock WithRoom(std::size_t text_bytes);
  // The same with every page of its memory written once: the first write to fresh memory makes
  // the system find and clear a page, which a block made ahead spares whoever fills it.
  static RowBlock Touched(std::size_t text_bytes);

  // Adds a row of `bytes` bytes and returns where its bytes go. The block must have room for it
  // (HasRoomFor).
  // Throws std::bad_alloc, with the block as it was, when its offsets cannot grow.
  char* Add(std::size_t bytes);
  void Append(std::string_view row) { Write(Add(row.size()), row); }
  // Copies `part` to `at` and returns the end of the copy.
  static char* Write(char* at, std::string_view part);
  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t index) const;
  // The row's bytes, to be rewritten in place.
  char* MutableRow(std::size_t index) { return text_.get() + (index == 0 ? 0 : ends_[index - 1]); }

  std::size_t TextBytes() const { return size_; }
  std::size_t TextCapacity() const { return room_; }
  // Whether a row of `bytes` fits in the block's room.
  bool HasRoomFor(std::size_t bytes) const { return room_ - size_ >= bytes; }
  // Makes sure `rows` more rows can be added without the offsets growing.
  void ReserveRows(std::size_t rows) { ends_.reserve(ends_.size() + rows); }

 private:
  // The room is left uninitialized: a row's bytes are written once, where they stay.
  std::unique_ptr<char[]> text_;
  std::size_t size_ = 0;
  std::size_t room_ = 0;
  std::vector<std::uint32_t> ends_;  // where each row's text ends in text_
};

// Decides whether rows may take another block of memory. A 32-bit process has little address
// space, and a list of millions of rows can fill it: the list must stop before the program cannot
// allocate what the rest of a run needs.
class RowBudget {
 public:
  virtual ~RowBudget() = default;
  // Whether a block of `bytes` may be made now for a list that holds `rows` rows.
  virtual bool MayMake(std::size_t bytes, std::size_t rows) = 0;
};

// What the rows of a run share while they are gathered: empty blocks made ahead for rows to come,
// how many blocks after the first rows have started since the count was last taken (from here or
// not), the budget every new block must pass (none: only the system's refusal stops the rows) and
// the rows the list holds, which the budget is told. While the list's former rows wait to be freed
// (a clearing the window has not shown yet), the budget is not asked: the address space they hold
// is about to come back.
struct RowBlockStock {
  std::vector<RowBlock> blocks;
  std::size_t started = 0;
  RowBudget* budget = nullptr;
  std::size_t rows_held = 0;
  bool former_rows_pending = false;
};

// The Key List's rows: blocks of text, appended in order. Appending never moves the text of rows
// already there (a block's text never grows past its room), so views of it stay valid.
//
// The first block takes kFirstBlockBytes of text: most lists, and the rows a run yields between
// two updates of the window, are small. Every further block takes kBlockBytes, a megabyte: large
// enough that the system gives each its own mapping instead of growing the heap it shares with the
// run's worker (whose many small allocations would wait for each growth), small enough that the
// block a run is filling wastes little.
class KeyListRows {
 public:
  static constexpr std::size_t kFirstBlockBytes = 64 * 1024;
  static constexpr std::size_t kBlockBytes = 1024 * 1024;

  // Rows in blocks of `block_bytes` after a first one of at most kFirstBlockBytes (tests use small
  // blocks to cross many of them).
  explicit KeyListRows(std::size_t block_bytes = kBlockBytes) : block_bytes_(block_bytes) {}

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The row's text: root TAB path TAB value name (its details not included).
  std::string_view operator[](std::size_t index) const;
  RowDetails Details(std::size_t index) const;

  // A new block after the first, when one is needed, comes from `stock` while it has one, and is
  // otherwise made when the stock's budget allows it. False, with the rows as they were, when no
  // block could be had (the budget or the system refused).
  bool Append(std::string_view row, RowBlockStock* stock = nullptr);
  bool Append(std::string_view row, const engine::HitDetails& details,
              RowBlockStock* stock = nullptr);
  // Rewrites row `index` (its text and details) for its item as it is now; details without a user
  // keep the row's. Throws std::bad_alloc, with the row as it was, when there is no memory.
  void Replace(std::size_t index, std::string_view row, const engine::HitDetails& details);
  // Sets the result of row `index` and keeps the rest (a row without details gets them, empty).
  void SetResult(std::size_t index, change::ChangeResult result, std::string_view reason = {});
  // Appends all of `more`'s rows and leaves it empty. Its well-filled blocks are taken over whole;
  // the rows of the others are copied, so a trickle of rows does not leave mostly empty blocks (a
  // block whose rows find no room is taken over too: this never fails for want of memory).
  void Append(KeyListRows&& more);
  void Clear();

  // The users' hives the rows lie in, which the run that found them loaded and unloaded (a run
  // over every user's profile): an export loads them again. Emptied with the rows.
  const std::vector<reg::HiveMount>& hives() const { return hives_; }
  // Adds the hives not held yet.
  void AddHives(const std::vector<reg::HiveMount>& hives);
  // Removes the rows at `indices` (any order; indices past the end are ignored). The other rows
  // keep their order.
  // Throws std::bad_alloc, with the rows as they were, when the kept rows find no memory.
  void Remove(std::vector<std::size_t> indices);

 private:
  // The block holding row `index` and the index of its first row.
  std::size_t BlockOf(std::size_t index) const;
  // The row's text and details as stored.
  std::string_view Stored(std::size_t index) const;
  // Where the stored row's bytes are, to be rewritten in place.
  char* MutableStored(std::size_t index);
  // Makes sure the last block takes `bytes` more; false when no block could be had. Throws
  // nothing.
  bool MakeRoom(std::size_t bytes, RowBlockStock* stock = nullptr);
  // Takes `block` over whole; a block whose rows are copied cannot fail.
  void Adopt(RowBlock&& block);
  bool CopyRows(const RowBlock& block);

  std::size_t block_bytes_;
  std::vector<RowBlock> blocks_;
  std::vector<std::size_t> first_rows_;  // the list index of each block's first row
  std::size_t size_ = 0;
  // Rows rewritten with more than a result, stored whole by their index.
  std::unordered_map<std::size_t, std::string> rewritten_;
  std::vector<reg::HiveMount> hives_;
};

}  // namespace keyloom::shell
