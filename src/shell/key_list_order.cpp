#include "shell/key_list_order.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "base/ascii.h"
#include "base/text.h"
#include "shell/stepped_merge_sort.h"

namespace keyloom::shell {
namespace {

using base::AsciiLower;

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
    key = key << 8 | (i < text.size() ? static_cast<unsigned char>(AsciiLower(text[i])) : 0u);
  }
  return key;
}

// Orders cells by their numbers, stably.
struct KeyBefore {
  bool descending = false;
  bool operator()(const SortCell& a, const SortCell& b) const {
    return descending ? b.key < a.key : a.key < b.key;
  }
};

}  // namespace

TextFilter::TextFilter(std::string_view text) {
  if (IsAscii(text)) {
    ascii_.reserve(text.size());
    for (char c : text) ascii_.push_back(AsciiLower(c));
  } else {
    units_ = Upcased(text);
  }
}

bool TextFilter::Matches(std::string_view cell) const {
  if (empty()) return true;
  if (!ascii_.empty()) {
    // An ASCII text never matches inside a multi-byte character: those bytes are all >= 0x80.
    const auto found = std::search(cell.begin(), cell.end(), ascii_.begin(), ascii_.end(),
                                   [](char c, char f) { return AsciiLower(c) == f; });
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
  for (int column = whole_row ? kColumnType : 0; column < kKeyListColumnCount; ++column) {
    if (column != kColumnModified && filter.Matches(cells.texts[column])) return true;
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

SteppedRowFilter::SteppedRowFilter(TextFilter filter, TimeText time)
    : filter_(std::move(filter)), time_(std::move(time)) {}

bool SteppedRowFilter::Step(const KeyListRows& rows, const std::vector<std::size_t>& order,
                            std::size_t budget) {
  const auto time_matches = [this](std::uint64_t modified) {
    if (modified != last_time_) {
      last_time_ = modified;
      last_matched_ = time_ && filter_.Matches(time_(modified));
    }
    return last_matched_;
  };
  const std::size_t end = order.size() - next_ > budget ? next_ + budget : order.size();
  for (; next_ < end; ++next_) {
    const std::size_t row = order[next_];
    if (filter_.empty() || RowHas(rows, row, filter_, time_matches)) shown_.push_back(row);
  }
  return next_ == order.size();
}

std::vector<std::size_t> FilterRows(const KeyListRows& rows, const std::vector<std::size_t>& order,
                                    const TextFilter& filter, const TimeText& time) {
  if (filter.empty()) return order;
  SteppedRowFilter stepped(filter, time);
  stepped.Step(rows, order, order.size());
  return stepped.Take();
}

// Sorts by the cells' text with ASCII letter case ignored, other bytes by value (UTF-8 keeps code
// point order), a text before the longer ones it begins; equal texts keep their order. Eight bytes
// at a time: the cells are sorted by the number of their first eight bytes, then each run of equal
// numbers by the next eight, and so on. Cells often share long beginnings (paths below one key): a
// run whose numbers are all equal is not sorted at that depth at all. "Modified" sorts the cells
// by their time, once.
//
// Every phase can stop after any cell and go on from there: reading the cells, numbering a run's
// cells at its depth, sorting the run, finding its runs of equal numbers, writing the order.
struct SteppedRowSort::State {
  enum class Phase { kCells, kNextRun, kKeys, kSort, kSplit, kWrite, kDone };
  struct Run {
    std::size_t begin, end, depth;
  };
  int column;
  bool descending;
  Phase phase = Phase::kCells;
  std::vector<SortCell> cells;
  std::vector<Run> runs;
  Run run{0, 0, 0};
  std::size_t next = 0;   // the next cell the phase looks at
  std::size_t group = 0;  // where the run of equal numbers being found begins
  bool ended = true;      // no text of the run goes on past its eight bytes
  bool same = true;       // all numbers of the run are equal
  SteppedMergeSort<SortCell, KeyBefore> sort;

  State(int c, bool d) : column(c), descending(d), sort(KeyBefore{d}) {}
};

SteppedRowSort::SteppedRowSort(const KeyListRows& rows, int column, bool descending,
                               std::vector<std::size_t> order)
    : rows_(&rows), order_(std::move(order)), state_(std::make_unique<State>(column, descending)) {
  state_->cells.reserve(order_.size());
}

SteppedRowSort::~SteppedRowSort() = default;

bool SteppedRowSort::Step(std::size_t budget) {
  constexpr std::size_t kAhead = 8;
  using Phase = State::Phase;
  State& s = *state_;
  std::vector<SortCell>& cells = s.cells;
  while (true) {
    switch (s.phase) {
      case Phase::kCells: {
        // The keys are read once, not at every comparison.
        for (; s.next < order_.size(); ++s.next, --budget) {
          if (budget == 0) return false;
          const std::size_t row = order_[s.next];
          if (s.column == kColumnModified) {
            cells.push_back({rows_->Details(row).modified, {}, row});
          } else {
            cells.push_back({0, CellView(*rows_, row, s.column), row});
          }
        }
        s.run = {0, cells.size(), 0};
        if (s.column == kColumnModified) {
          s.ended = true;
          s.sort.Start(cells.data(), cells.size());
          s.phase = Phase::kSort;
        } else {
          s.runs.push_back(s.run);
          s.phase = Phase::kNextRun;
        }
        break;
      }
      case Phase::kNextRun:
        if (s.runs.empty()) {
          s.next = 0;
          s.phase = Phase::kWrite;
          break;
        }
        s.run = s.runs.back();
        s.runs.pop_back();
        s.next = s.run.begin;
        s.ended = true;
        s.same = true;
        s.phase = Phase::kKeys;
        break;
      case Phase::kKeys: {
        const std::size_t depth = s.run.depth;
        for (; s.next < s.run.end; ++s.next, --budget) {
          if (budget == 0) return false;
          SortCell& cell = cells[s.next];
          // Sorted cells point all over the rows: ask for the text a few cells ahead early.
          if (s.run.end - s.next > kAhead) {
            __builtin_prefetch((&cell + kAhead)->text.data() + depth);
          }
          cell.key = FoldedKey(cell.text, depth);
          s.ended = s.ended && cell.text.size() <= depth + 8;
          s.same = s.same && cell.key == cells[s.run.begin].key;
        }
        if (s.same && !s.ended) {
          s.runs.push_back({s.run.begin, s.run.end, depth + 8});
          s.phase = Phase::kNextRun;
        } else if (!s.same) {
          s.sort.Start(cells.data() + s.run.begin, s.run.end - s.run.begin);
          s.phase = Phase::kSort;
        } else {
          s.phase = Phase::kNextRun;
        }
        break;
      }
      case Phase::kSort:
        if (!s.sort.Step(budget)) return false;
        s.next = s.group = s.run.begin;
        s.phase = s.ended ? Phase::kNextRun : Phase::kSplit;
        break;
      case Phase::kSplit: {
        for (; s.next < s.run.end; ++s.next, --budget) {
          if (budget == 0) return false;
          if (cells[s.next].key == cells[s.group].key) continue;
          if (s.next - s.group > 1) s.runs.push_back({s.group, s.next, s.run.depth + 8});
          s.group = s.next;
        }
        if (s.run.end - s.group > 1) s.runs.push_back({s.group, s.run.end, s.run.depth + 8});
        s.phase = Phase::kNextRun;
        break;
      }
      case Phase::kWrite:
        for (; s.next < cells.size(); ++s.next, --budget) {
          if (budget == 0) return false;
          order_[s.next] = cells[s.next].row;
        }
        cells = {};
        s.sort = SteppedMergeSort<SortCell, KeyBefore>(KeyBefore{s.descending});
        s.phase = Phase::kDone;
        break;
      case Phase::kDone:
        return true;
    }
  }
}

void SortRows(const KeyListRows& rows, int column, bool descending,
              std::vector<std::size_t>& order) {
  SteppedRowSort sort(rows, column, descending, std::move(order));
  sort.Step(static_cast<std::size_t>(-1));
  order = sort.Take();
}

std::vector<std::size_t> AllRows(std::size_t count) {
  std::vector<std::size_t> all(count);
  std::iota(all.begin(), all.end(), std::size_t{0});
  return all;
}

void RemoveFromOrder(const std::vector<std::size_t>& removed, std::vector<std::size_t>& order) {
  if (removed.empty()) return;
  std::size_t kept = 0;
  for (const std::size_t row : order) {
    const auto before = std::lower_bound(removed.begin(), removed.end(), row);
    if (before != removed.end() && *before == row) continue;
    order[kept++] = row - static_cast<std::size_t>(before - removed.begin());
  }
  order.resize(kept);
}

}  // namespace keyloom::shell
