#include "shell/key_list_order.h"

#include <algorithm>
#include <numeric>

#include "registry/text.h"

namespace keyloom::shell {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::u16string Upcased(std::string_view text) {
  std::u16string units = text::Utf8ToUtf16(text);
  for (char16_t& unit : units) unit = text::UpcaseUnit(unit);
  return units;
}

// <0, 0, >0 with ASCII letter case ignored; other bytes by value (UTF-8 keeps code point order).
int CompareFolded(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

TextFilter::TextFilter(std::string_view text) {
  if (IsAscii(text)) {
    ascii_.reserve(text.size());
    for (char c : text) ascii_.push_back(Lower(c));
  } else {
    units_ = Upcased(text);
  }
}

bool TextFilter::Matches(std::string_view cell) const {
  if (empty()) return true;
  if (!ascii_.empty()) {
    // An ASCII text never matches inside a multi-byte character: those bytes are all >= 0x80.
    const auto found = std::search(cell.begin(), cell.end(), ascii_.begin(), ascii_.end(),
                                   [](char c, char f) { return Lower(c) == f; });
    return found != cell.end();
  }
  if (IsAscii(cell)) return false;  // a text with other characters cannot be in it
  return Upcased(cell).find(units_) != std::u16string::npos;
}

bool RowMatches(const KeyListRows& rows, std::size_t row, const TextFilter& filter,
                const TimeText& time) {
  if (filter.empty()) return true;
  for (int column = 0; column < kKeyListColumnCount; ++column) {
    if (column == kColumnModified) {
      if (filter.Matches(CellText(rows, row, column, time))) return true;
    } else if (filter.Matches(CellView(rows, row, column))) {
      return true;
    }
  }
  return false;
}

std::vector<std::size_t> FilterRows(const KeyListRows& rows, const std::vector<std::size_t>& order,
                                    const TextFilter& filter, const TimeText& time) {
  std::vector<std::size_t> shown;
  for (std::size_t row : order) {
    if (RowMatches(rows, row, filter, time)) shown.push_back(row);
  }
  return shown;
}

void SortRows(const KeyListRows& rows, int column, bool descending,
              std::vector<std::size_t>& order) {
  // The keys are read once, not at every comparison.
  if (column == kColumnModified) {
    std::vector<std::pair<std::uint64_t, std::size_t>> keyed;
    keyed.reserve(order.size());
    for (std::size_t row : order) keyed.emplace_back(rows.Details(row).modified, row);
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
      return descending ? b.first < a.first : a.first < b.first;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
    return;
  }
  std::vector<std::pair<std::string_view, std::size_t>> keyed;
  keyed.reserve(order.size());
  for (std::size_t row : order) keyed.emplace_back(CellView(rows, row, column), row);
  std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
    const int compared = CompareFolded(a.first, b.first);
    return descending ? compared > 0 : compared < 0;
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
}

std::vector<std::size_t> AllRows(std::size_t count) {
  std::vector<std::size_t> all(count);
  std::iota(all.begin(), all.end(), std::size_t{0});
  return all;
}

}  // namespace keyloom::shell
