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

void RowBlock::Extend(std::string_view more) {
  text_.append(more);
  ends_.back() = static_cast<std::uint32_t>(text_.size());
}

std::string_view RowBlock::operator[](std::size_t index) const {
  const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(text_).substr(begin, ends_[index] - begin);
}

std::size_t KeyListRows::BlockOf(std::size_t index) const {
  const auto after = std::upper_bound(first_rows_.begin(), first_rows_.end(), index);
  return static_cast<std::size_t>(std::distance(first_rows_.begin(), after)) - 1;
}

std::string_view KeyListRows::Stored(std::size_t index) const {
  const std::size_t block = BlockOf(index);
  return blocks_[block][index - first_rows_[block]];
}

std::string_view KeyListRows::operator[](std::size_t index) const {
  const std::string_view stored = Stored(index);
  return stored.substr(0, stored.find('\0'));
}

RowDetails KeyListRows::Details(std::size_t index) const {
  std::string_view rest = Stored(index);
  RowDetails details;
  const auto next = [&rest] {
    const std::size_t nul = rest.find('\0');
    const std::string_view field = rest.substr(0, nul);
    rest.remove_prefix(nul == std::string_view::npos ? rest.size() : nul + 1);
    return field;
  };
  next();  // the row text
  if (rest.empty()) return details;
  details.present = true;
  details.type = next();
  details.data = next();
  const std::string_view found = next();
  details.found_in =
      found.empty() ? engine::FoundIn::kKeyName : static_cast<engine::FoundIn>(found.front() - '0');
  for (char digit : next())
    details.modified = details.modified * 10 + static_cast<unsigned>(digit - '0');
  return details;
}

void KeyListRows::MakeRoom(std::size_t bytes) {
  if (blocks_.empty() || !blocks_.back().HasRoomFor(bytes)) {
    blocks_.push_back(RowBlock::WithRoom(std::max(kBlockBytes, bytes)));
    first_rows_.push_back(size_);
  }
}

void KeyListRows::Append(std::string_view row) {
  MakeRoom(row.size());
  blocks_.back().Append(row);
  ++size_;
}

void KeyListRows::Append(std::string_view row, const engine::HitDetails& details) {
  const std::string_view nul("\0", 1);
  const char found[1] = {static_cast<char>('0' + static_cast<int>(details.found_in))};
  char digits[24];
  std::size_t length = 0;
  std::uint64_t modified = details.modified;
  do {
    digits[sizeof digits - ++length] = static_cast<char>('0' + modified % 10);
    modified /= 10;
  } while (modified != 0);
  const std::string_view time(digits + sizeof digits - length, length);
  MakeRoom(row.size() + details.type.size() + details.data.size() + time.size() + 5);
  RowBlock& block = blocks_.back();
  block.Append(row);
  for (std::string_view part :
       {nul, std::string_view(details.type), nul, std::string_view(details.data), nul,
        std::string_view(found, 1), nul, time}) {
    block.Extend(part);
  }
  ++size_;
}

void KeyListRows::Append(KeyListRows&& more) {
  for (RowBlock& block : more.blocks_) {
    if (block.TextBytes() * 2 >= block.TextCapacity()) {
      first_rows_.push_back(size_);
      size_ += block.size();
      blocks_.push_back(std::move(block));
    } else {
      for (std::size_t i = 0; i < block.size(); ++i) {
        MakeRoom(block[i].size());
        blocks_.back().Append(block[i]);
        ++size_;
      }
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
    const std::string_view stored = Stored(i);
    kept.MakeRoom(stored.size());
    kept.blocks_.back().Append(stored);
    ++kept.size_;
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
