#include "shell/key_list_rows.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace keyloom::shell {

RowBlock RowBlock::WithRoom(std::size_t text_bytes) {
  RowBlock block;
  block.text_ = std::make_unique_for_overwrite<char[]>(text_bytes);
  block.room_ = text_bytes;
  // Rows of a hundred bytes and more are the common case.
  block.ends_.reserve(text_bytes / 128);
  return block;
}

RowBlock RowBlock::Touched(std::size_t text_bytes) {
  RowBlock block = WithRoom(text_bytes);
  // Pages are at least this large wherever the program runs.
  constexpr std::size_t kPageBytes = 4096;
  for (std::size_t at = 0; at < text_bytes; at += kPageBytes) block.text_[at] = '\0';
  const std::size_t ends = block.ends_.capacity();
  block.ends_.resize(ends);
  block.ends_.clear();
  return block;
}

char* RowBlock::Add(std::size_t bytes) {
  ends_.push_back(static_cast<std::uint32_t>(size_ + bytes));
  char* at = text_.get() + size_;
  size_ += bytes;
  return at;
}

char* RowBlock::Write(char* at, std::string_view part) {
  if (!part.empty()) std::memcpy(at, part.data(), part.size());  // an empty part's data may be null
  return at + part.size();
}

std::string_view RowBlock::operator[](std::size_t index) const {
  const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(text_.get() + begin, ends_[index] - begin);
}

std::size_t KeyListRows::BlockOf(std::size_t index) const {
  const auto after = std::upper_bound(first_rows_.begin(), first_rows_.end(), index);
  return static_cast<std::size_t>(std::distance(first_rows_.begin(), after)) - 1;
}

std::string_view KeyListRows::Stored(std::size_t index) const {
  if (!rewritten_.empty()) {
    if (const auto found = rewritten_.find(index); found != rewritten_.end()) return found->second;
  }
  const std::size_t block = BlockOf(index);
  return blocks_[block][index - first_rows_[block]];
}

char* KeyListRows::MutableStored(std::size_t index) {
  if (const auto found = rewritten_.find(index); found != rewritten_.end()) {
    return found->second.data();
  }
  const std::size_t block = BlockOf(index);
  return blocks_[block].MutableRow(index - first_rows_[block]);
}

std::string_view KeyListRows::operator[](std::size_t index) const {
  const std::string_view stored = Stored(index);
  return stored.substr(0, stored.find('\0'));
}

namespace {

// The fixed tail of a row's details: where found, the result, then the last write time.
constexpr std::size_t kTimeBytes = 8;
constexpr std::size_t kTailBytes = 2 + kTimeBytes;
constexpr std::size_t kResultAt = 1;  // in the tail
// The NULs of the details: after the row, the type, the data, the result text and the user.
constexpr std::size_t kDetailNuls = 5;
constexpr std::string_view kFailedPrefix = "Failed: ";

std::size_t ResultTextBytes(const engine::HitDetails& details) {
  return details.result == change::ChangeResult::kFailed
             ? kFailedPrefix.size() + details.reason.size()
             : 0;
}

std::size_t StoredBytes(std::string_view row, const engine::HitDetails& details,
                        std::string_view user) {
  return row.size() + details.type.size() + details.data.size() + ResultTextBytes(details) +
         user.size() + kDetailNuls + kTailBytes;
}

char Digit(int value) { return static_cast<char>('0' + value); }

// Writes the row and its details at `at`, StoredBytes of them, with `user` for the details' own.
void WriteStored(char* at, std::string_view row, const engine::HitDetails& details,
                 std::string_view user) {
  at = RowBlock::Write(at, row);
  *at++ = '\0';
  at = RowBlock::Write(at, details.type);
  *at++ = '\0';
  at = RowBlock::Write(at, details.data);
  *at++ = '\0';
  if (details.result == change::ChangeResult::kFailed) {
    at = RowBlock::Write(at, kFailedPrefix);
    at = RowBlock::Write(at, details.reason);
  }
  *at++ = '\0';
  at = RowBlock::Write(at, user);
  *at++ = '\0';
  *at++ = Digit(static_cast<int>(details.found_in));
  *at++ = Digit(static_cast<int>(details.result));
  for (std::size_t i = 0; i < kTimeBytes; ++i) {
    *at++ = static_cast<char>(details.modified >> (8 * i) & 0xff);
  }
}

}  // namespace

std::string_view ResultText(const RowDetails& details) {
  if (details.result == change::ChangeResult::kFailed && !details.failure.empty()) {
    return details.failure;
  }
  return change::ChangeResultName(details.result);
}

RowDetails KeyListRows::Details(std::size_t index) const {
  const std::string_view stored = Stored(index);
  RowDetails details;
  const std::size_t row_end = stored.find('\0');
  // Behind the row's NUL: type NUL data NUL result text NUL user NUL and the tail.
  if (row_end == std::string_view::npos || stored.size() - row_end < kDetailNuls + kTailBytes) {
    return details;
  }
  std::string_view texts = stored.substr(row_end + 1, stored.size() - row_end - 1 - kTailBytes);
  const std::string_view tail = stored.substr(stored.size() - kTailBytes);
  details.present = true;
  const std::size_t type_end = texts.find('\0');
  details.type = texts.substr(0, type_end);
  texts.remove_prefix(type_end + 1);
  const std::size_t data_end = texts.find('\0');
  details.data = texts.substr(0, data_end);
  texts.remove_prefix(data_end + 1);
  const std::size_t failure_end = texts.find('\0');
  details.failure = texts.substr(0, failure_end);
  details.user = texts.substr(failure_end + 1, texts.size() - failure_end - 2);
  details.found_in = static_cast<engine::FoundIn>(tail[0] - '0');
  details.result = static_cast<change::ChangeResult>(tail[kResultAt] - '0');
  for (std::size_t i = kTailBytes - 1; i >= kTailBytes - kTimeBytes; --i) {
    details.modified = details.modified << 8 | static_cast<unsigned char>(tail[i]);
  }
  return details;
}

void KeyListRows::Replace(std::size_t index, std::string_view row,
                          const engine::HitDetails& details) {
  if (index >= size_) return;
  const std::string_view user = details.user.empty() ? Details(index).user : details.user;
  std::string stored(StoredBytes(row, details, user), '\0');
  WriteStored(stored.data(), row, details, user);
  rewritten_[index] = std::move(stored);
}

void KeyListRows::SetResult(std::size_t index, change::ChangeResult result,
                            std::string_view reason) {
  if (index >= size_) return;
  const RowDetails now = Details(index);
  if (now.present && now.failure.empty() && result != change::ChangeResult::kFailed) {
    const std::size_t bytes = Stored(index).size();
    MutableStored(index)[bytes - kTailBytes + kResultAt] = Digit(static_cast<int>(result));
    return;
  }
  engine::HitDetails details{
      std::string(now.type), std::string(now.data), now.found_in, now.modified, result,
      std::string(reason),   std::string(now.user)};
  Replace(index, std::string((*this)[index]), details);
}

namespace {

// Makes room for one more item without a reallocation later, growing as push_back would.
template <typename T>
void ReserveOneMore(std::vector<T>& items) {
  if (items.size() == items.capacity()) items.reserve(std::max<std::size_t>(8, 2 * items.size()));
}

bool BudgetAllows(const RowBlockStock* stock, std::size_t bytes) {
  return stock == nullptr || stock->budget == nullptr || stock->former_rows_pending ||
         stock->budget->MayMake(bytes, stock->rows_held);
}

}  // namespace

bool KeyListRows::MakeRoom(std::size_t bytes, RowBlockStock* stock) {
  if (!blocks_.empty() && blocks_.back().HasRoomFor(bytes)) return true;
  try {
    ReserveOneMore(blocks_);
    ReserveOneMore(first_rows_);
    if (blocks_.empty()) {
      const std::size_t room = std::max(std::min(kFirstBlockBytes, block_bytes_), bytes);
      if (!BudgetAllows(stock, room)) return false;
      blocks_.push_back(RowBlock::WithRoom(room));
    } else {
      if (stock != nullptr) ++stock->started;
      if (stock != nullptr && !stock->blocks.empty() && stock->blocks.back().HasRoomFor(bytes)) {
        blocks_.push_back(std::move(stock->blocks.back()));
        stock->blocks.pop_back();
      } else {
        const std::size_t room = std::max(block_bytes_, bytes);
        if (!BudgetAllows(stock, room)) return false;
        blocks_.push_back(RowBlock::WithRoom(room));
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  first_rows_.push_back(size_);  // room reserved above
  return true;
}

bool KeyListRows::Append(std::string_view row, RowBlockStock* stock) {
  if (!MakeRoom(row.size(), stock)) return false;
  try {
    blocks_.back().Append(row);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ++size_;
  return true;
}

bool KeyListRows::Append(std::string_view row, const engine::HitDetails& details,
                         RowBlockStock* stock) {
  const std::size_t bytes = StoredBytes(row, details, details.user);
  if (!MakeRoom(bytes, stock)) return false;
  char* at = nullptr;
  try {
    at = blocks_.back().Add(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  WriteStored(at, row, details, details.user);
  ++size_;
  return true;
}

void KeyListRows::Adopt(RowBlock&& block) {
  ReserveOneMore(blocks_);
  ReserveOneMore(first_rows_);
  first_rows_.push_back(size_);
  size_ += block.size();
  blocks_.push_back(std::move(block));
}

bool KeyListRows::CopyRows(const RowBlock& block) {
  if (!MakeRoom(block.TextBytes())) return false;
  RowBlock& last = blocks_.back();
  try {
    last.ReserveRows(block.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (std::size_t i = 0; i < block.size(); ++i) last.Append(block[i]);
  size_ += block.size();
  return true;
}

void KeyListRows::Append(KeyListRows&& more) {
  // A run's rows are never rewritten; rows that were keep their rewriting at their new index.
  for (auto& [index, stored] : more.rewritten_) rewritten_[size_ + index] = std::move(stored);
  for (RowBlock& block : more.blocks_) {
    if (block.TextBytes() * 2 >= block.TextCapacity() || !CopyRows(block)) Adopt(std::move(block));
  }
  AddHives(more.hives_);
  more.Clear();
}

void KeyListRows::Remove(std::vector<std::size_t> indices) {
  std::sort(indices.begin(), indices.end());
  if (indices.empty() || indices.front() >= size_) return;
  KeyListRows kept(block_bytes_);
  auto next = indices.begin();
  for (std::size_t i = 0; i < size_; ++i) {
    if (next != indices.end() && *next == i) {
      while (next != indices.end() && *next == i) ++next;
      continue;
    }
    const std::string_view stored = Stored(i);
    if (!kept.MakeRoom(stored.size())) throw std::bad_alloc();
    kept.blocks_.back().Append(stored);
    ++kept.size_;
  }
  kept.hives_ = std::move(hives_);
  *this = std::move(kept);
}

void KeyListRows::AddHives(const std::vector<reg::HiveMount>& hives) {
  for (const reg::HiveMount& hive : hives) {
    if (std::find(hives_.begin(), hives_.end(), hive) == hives_.end()) hives_.push_back(hive);
  }
}

void KeyListRows::Clear() {
  hives_.clear();
  rewritten_.clear();
  blocks_.clear();
  blocks_.shrink_to_fit();
  first_rows_.clear();
  first_rows_.shrink_to_fit();
  size_ = 0;
}

}  // namespace keyloom::shell
