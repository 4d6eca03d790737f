// The Key List's rows, stored back to back in blocks of text.
//
// A run may show a million rows. Kept as one string each, every row would cost a heap allocation
// made by the worker and freed by the GUI thread, and emptying the list would free them one by
// one. Here the rows of a block share one text buffer and one offset table: appending copies the
// row's bytes, a row costs its text and four bytes, and the list is emptied a block at a time.
// The run's worker gathers its rows in the same form, and the window takes them over block by
// block without touching a row.
//
// A hit's row carries its details (type, data preview, where found, the key's last write time)
// stored after the row text behind a NUL, which no registry name holds: the row text that every
// reader parses stays root TAB path TAB value name, and the details cost no more than their text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/hit_details.h"

namespace keyloom::shell {

// A row's details as stored; all empty for a row without them.
struct RowDetails {
  bool present = false;
  std::string_view type;
  std::string_view data;
  engine::FoundIn found_in = engine::FoundIn::kKeyName;
  std::uint64_t modified = 0;
};

// Rows in one buffer, in the order appended.
class RowBlock {
 public:
  // A block made to receive rows up to `text_bytes` of text without growing.
  static RowBlock WithRoom(std::size_t text_bytes);

  void Append(std::string_view row);
  // Adds `more` to the end of the last row.
  void Extend(std::string_view more);
  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t index) const;

  std::size_t TextBytes() const { return text_.size(); }
  std::size_t TextCapacity() const { return text_.capacity(); }
  // Whether `row` can be appended without the text buffer growing.
  bool HasRoomFor(std::size_t bytes) const { return text_.capacity() - text_.size() >= bytes; }

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;  // where each row's text ends in text_
};

// The Key List's rows: blocks of about kBlockBytes of text each. Appending never moves the text of
// rows already there (a block's text never grows past its room), so views of it stay valid.
class KeyListRows {
 public:
  static constexpr std::size_t kBlockBytes = 64 * 1024;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The row's text: root TAB path TAB value name (its details not included).
  std::string_view operator[](std::size_t index) const;
  RowDetails Details(std::size_t index) const;

  void Append(std::string_view row);
  void Append(std::string_view row, const engine::HitDetails& details);
  // Appends all of `more`'s rows and leaves it empty. Its well-filled blocks are taken over whole;
  // the rows of the others are copied, so a trickle of rows does not leave mostly empty blocks.
  void Append(KeyListRows&& more);
  void Clear();
  // Removes the rows at `indices` (any order; indices past the end are ignored). The other rows
  // keep their order.
  void Remove(std::vector<std::size_t> indices);

 private:
  // The block holding row `index` and the index of its first row.
  std::size_t BlockOf(std::size_t index) const;
  // The row's text and details as stored.
  std::string_view Stored(std::size_t index) const;
  // Makes sure the last block takes `bytes` more.
  void MakeRoom(std::size_t bytes);

  std::vector<RowBlock> blocks_;
  std::vector<std::size_t> first_rows_;  // the list index of each block's first row
  std::size_t size_ = 0;
};

}  // namespace keyloom::shell
