#include "shell/key_list_order.h"

#include <algorithm>
#include <cstdint>
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

// A cell's text in a sort, with eight of its bytes from `depth` on as a number: letter case
// folded, big-endian, zeros past the end. A cell never holds a NUL (the rows store their parts
// behind one), so numbers in this order order the texts the same way, a text before the longer
// ones it begins.
struct SortCell {
  std::uint64_t key = 0;
  std::string_view text;
  std::size_t row = 0;
};

std::uint64_t FoldedKey(std::string_view text, std::size_t depth) {
  std::uint64_t key = 0;
  for (std::size_t i = depth; i < depth + 8; ++i) {
    key = key << 8 | (i < text.size() ? static_cast<unsigned char>(Lower(text[i])) : 0u);
  }
  return key;
}

// Sorts the cells by their text with ASCII letter case ignored, other bytes by value (UTF-8 keeps
// code point order), a text before the longer ones it begins; equal texts keep their order.
// Eight bytes at a time: the cells are sorted by the number of their first eight bytes, then each
// run of equal numbers by the next eight, and so on. Cells often share long beginnings (paths
// below one key): a run whose numbers are all equal is not sorted at that depth at all.
void SortByText(std::vector<SortCell>& cells, bool descending) {
  constexpr std::ptrdiff_t kAhead = 8;
  struct Run {
    std::size_t begin, end, depth;
  };
  const auto before = [descending](const SortCell& a, const SortCell& b) {
    return descending ? b.key < a.key : a.key < b.key;
  };
  std::vector<Run> runs{{0, cells.size(), 0}};
  while (!runs.empty()) {
    const Run run = runs.back();
    runs.pop_back();
    const auto first = cells.begin() + static_cast<std::ptrdiff_t>(run.begin);
    const auto last = cells.begin() + static_cast<std::ptrdiff_t>(run.end);
    bool ended = true;  // no text goes on past these eight bytes
    bool same = true;
    for (auto cell = first; cell != last; ++cell) {
      // Sorted cells point all over the rows: ask for the text a few cells ahead early.
      if (last - cell > kAhead) __builtin_prefetch((cell + kAhead)->text.data() + run.depth);
      cell->key = FoldedKey(cell->text, run.depth);
      ended = ended && cell->text.size() <= run.depth + 8;
      same = same && cell->key == first->key;
    }
    if (same && !ended) {
      runs.push_back({run.begin, run.end, run.depth + 8});
      continue;
    }
    if (!same) std::stable_sort(first, last, before);
    if (ended) continue;
    for (auto begin = first; begin != last;) {
      const auto end =
          std::find_if(begin, last, [&](const SortCell& c) { return c.key != begin->key; });
      if (end - begin > 1) {
        runs.push_back({static_cast<std::size_t>(begin - cells.begin()),
                        static_cast<std::size_t>(end - cells.begin()), run.depth + 8});
      }
      begin = end;
    }
  }
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

bool TextFilter::HasTab() const {
  return ascii_.find('\t') != std::string::npos || units_.find(u'\t') != std::u16string::npos;
}

bool TextFilter::Narrows(const TextFilter& wider) const {
  if (wider.empty()) return true;
  if (!ascii_.empty() && !wider.ascii_.empty()) {
    return ascii_.find(wider.ascii_) != std::string::npos;
  }
  // Upper-cased UTF-16 folds letters an ASCII text does not: only like with like compares.
  return !units_.empty() && !wider.units_.empty() &&
         units_.find(wider.units_) != std::u16string::npos;
}

namespace {

// Whether any of the row's cells holds the filter's text; `time_matches` tells it of a known
// time. A text without a TAB found in the row's own text (root TAB key TAB value name) lies in
// one of its cells: most rows that match do so there, without their details being read.
template <typename TimeMatches>
bool RowHas(const KeyListRows& rows, std::size_t row, const TextFilter& filter,
            TimeMatches&& time_matches) {
  const bool whole_row = !filter.HasTab();
  if (whole_row && filter.Matches(rows[row])) return true;
  const RowCells cells = CellsOf(rows, row);
  for (int column = whole_row ? kColumnType : 0; column < kColumnModified; ++column) {
    if (filter.Matches(cells.texts[column])) return true;
  }
  return cells.modified != 0 && time_matches(cells.modified);
}

}  // namespace

bool RowMatches(const KeyListRows& rows, std::size_t row, const TextFilter& filter,
                const TimeText& time) {
  if (filter.empty()) return true;
  return RowHas(rows, row, filter,
                [&](std::uint64_t modified) { return time && filter.Matches(time(modified)); });
}

std::vector<std::size_t> FilterRows(const KeyListRows& rows, const std::vector<std::size_t>& order,
                                    const TextFilter& filter, const TimeText& time) {
  if (filter.empty()) return order;
  // The hits of one key follow each other and share its time: its text is made and looked at
  // once.
  std::uint64_t last_time = 0;
  bool last_matched = false;
  const auto time_matches = [&](std::uint64_t modified) {
    if (modified != last_time) {
      last_time = modified;
      last_matched = time && filter.Matches(time(modified));
    }
    return last_matched;
  };
  std::vector<std::size_t> shown;
  for (std::size_t row : order) {
    if (RowHas(rows, row, filter, time_matches)) shown.push_back(row);
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
  std::vector<SortCell> cells;
  cells.reserve(order.size());
  for (std::size_t row : order) cells.push_back({0, CellView(rows, row, column), row});
  SortByText(cells, descending);
  for (std::size_t i = 0; i < cells.size(); ++i) order[i] = cells[i].row;
}

std::vector<std::size_t> AllRows(std::size_t count) {
  std::vector<std::size_t> all(count);
  std::iota(all.begin(), all.end(), std::size_t{0});
  return all;
}

}  // namespace keyloom::shell
