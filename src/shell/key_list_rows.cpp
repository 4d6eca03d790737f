#include "shell/key_list_rows.h"

#include <algorithm>
#include <iterator>

namespace keyloom::shell {

RowBlock RowBlock::WithRoom(std::size_t text_bytes) {
  RowBlock block;
  block.text_.reserve(text_bytes);
  // Rows of about a hundred bytes are the common case.
  block.ends_.reserve(text_bytes / 64);
  return block;
}

void RowBlock::Append(std::string_view row) {
  text_.append(row);
  ends_.push_back(static_cast<std::uint32_t>(text_.size()));
}

std::string_view RowBlock::operator[](std::size_t index) const {
  const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(text_).substr(begin, ends_[index] - begin);
}

std::size_t KeyListRows::BlockOf(std::size_t index) const {
  const auto after = std::upper_bound(first_rows_.begin(), first_rows_.end(), index);
  return static_cast<std::size_t>(std::distance(first_rows_.begin(), after)) - 1;
}

std::string_view KeyListRows::operator[](std::size_t index) const {
  const std::size_t block = BlockOf(index);
  return blocks_[block][index - first_rows_[block]];
}

void KeyListRows::Append(std::string_view row) {
  if (blocks_.empty() || !blocks_.back().HasRoomFor(row)) {
    blocks_.push_back(RowBlock::WithRoom(std::max(kBlockBytes, row.size())));
    first_rows_.push_back(size_);
  }
  blocks_.back().Append(row);
  ++size_;
}

void KeyListRows::Append(KeyListRows&& more) {
  for (RowBlock& block : more.blocks_) {
    if (block.TextBytes() * 2 >= block.TextCapacity()) {
      first_rows_.push_back(size_);
      size_ += block.size();
      blocks_.push_back(std::move(block));
    } else {
      for (std::size_t i = 0; i < block.size(); ++i) Append(block[i]);
    }
  }
  more.Clear();
}

void KeyListRows::Remove(std::vector<std::size_t> indices) {
  std::sort(indices.begin(), indices.end());
  if (indices.empty() || indices.front() >= size_) return;
  KeyListRows kept;
  auto next = indices.begin();
  for (std::size_t i = 0; i < size_; ++i) {
    if (next != indices.end() && *next == i) {
      while (next != indices.end() && *next == i) ++next;
      continue;
    }
    kept.Append((*this)[i]);
  }
  *this = std::move(kept);
}

void KeyListRows::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  first_rows_.clear();
  first_rows_.shrink_to_fit();
  size_ = 0;
}

}  // namespace keyloom::shell
