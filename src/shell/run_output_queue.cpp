#include "shell/run_output_queue.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>

namespace keyloom::shell {

namespace {

constexpr std::size_t kPendingLinesBound = 180;
constexpr std::size_t kLinesDropped = 90;  // a multiple of the status list's trimming step

}  // namespace

OutputSegment& RunOutputQueue::Open() {
  if (segments_.empty() || segments_.back().end != OutputSegment::End::kNone) {
    segments_.emplace_back();
  }
  return segments_.back();
}

void RunOutputQueue::End(OutputSegment::End end) {
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    Open().end = end;
  }
  Notify(true);
}

void RunOutputQueue::Notify(bool urgent) const {
  if (wake_) wake_(urgent);
}

void RunOutputQueue::AddStatusLine(std::string line) {
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    OutputSegment& segment = Open();
    segment.lines.push_back(std::move(line));
    segment.bar_set = false;
    if (segment.lines.size() >= kPendingLinesBound) {
      segment.lines.erase(segment.lines.begin(),
                          segment.lines.begin() + static_cast<std::ptrdiff_t>(kLinesDropped));
    }
  }
  Notify(false);
}

void RunOutputQueue::SetStatusBarText(const std::string& text) {
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    OutputSegment& segment = Open();
    segment.bar.assign(text);
    segment.bar_set = true;
    ++counts_.keys;
  }
  Notify(false);
}

std::string KeyListFullLine(std::size_t rows) {
  return "The Key List is full at " + std::to_string(rows) +
         " rows; the run goes on, its hits are still logged and counted";
}

void RunOutputQueue::SetRowBudget(RowBudget* budget) {
  std::lock_guard<base::SpinLock> lock(lock_);
  stock_.budget = budget;
}

void RunOutputQueue::ClearingsShown(std::size_t count) {
  std::lock_guard<base::SpinLock> lock(lock_);
  clearings_pending_ -= std::min(count, clearings_pending_);
  stock_.former_rows_pending = clearings_pending_ > 0;
}

template <typename AppendRow>
void RunOutputQueue::TakeRow(AppendRow append) {
  std::optional<std::size_t> full_at;
  std::vector<RowBlock> released;  // the stock, freed outside the lock once the list is full
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    ++counts_.hits;
    if (list_full_) return;
    if (append(Open().rows)) {
      ++stock_.rows_held;
    } else {
      list_full_ = true;
      full_at = stock_.rows_held;
      released.swap(stock_.blocks);
    }
  }
  if (full_at && log_) log_(KeyListFullLine(*full_at));
  Notify(false);
}

void RunOutputQueue::AddKeyListEntry(std::string row) {
  TakeRow([&](KeyListRows& rows) { return rows.Append(row, &stock_); });
}

void RunOutputQueue::AddKeyListHit(std::string row, const engine::HitDetails& details) {
  TakeRow([&](KeyListRows& rows) { return rows.Append(row, details, &stock_); });
}

void RunOutputQueue::HivesLoaded(std::vector<reg::HiveMount> hives) {
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    std::vector<reg::HiveMount>& held = Open().hives;
    held.insert(held.end(), std::make_move_iterator(hives.begin()),
                std::make_move_iterator(hives.end()));
  }
  Notify(false);
}

void RunOutputQueue::CountChange(bool made) {
  std::lock_guard<base::SpinLock> lock(lock_);
  ++(made ? counts_.changes : counts_.failures);
}

void RunOutputQueue::ClearLists() {
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    OutputSegment* segment = &Open();
    if (!segment->rows.empty() || !segment->lines.empty() || segment->bar_set) {
      segment = &segments_.emplace_back();
    }
    segment->clears_first = true;
    stock_.rows_held = 0;
    list_full_ = false;
    ++clearings_pending_;
    stock_.former_rows_pending = true;
  }
  Notify(false);
}

void RunOutputQueue::RunFinished() {
  {
    // The next run tries again, and says so again when the list is still full.
    std::lock_guard<base::SpinLock> lock(lock_);
    list_full_ = false;
  }
  End(OutputSegment::End::kFinished);
}

void RunOutputQueue::RequestQuit() { End(OutputSegment::End::kQuit); }

std::vector<OutputSegment> RunOutputQueue::Drain() {
  std::vector<OutputSegment> drained;
  std::lock_guard<base::SpinLock> lock(lock_);
  drained.swap(segments_);
  return drained;
}

ProgressCounts RunOutputQueue::Counts() const {
  std::lock_guard<base::SpinLock> lock(lock_);
  return counts_;
}

bool RunOutputQueue::Empty() const {
  std::lock_guard<base::SpinLock> lock(lock_);
  return segments_.empty();
}

void RunOutputQueue::StockRowBlocks() {
  std::size_t wanted = 0;
  RowBudget* budget = nullptr;
  std::size_t rows_held = 0;
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    if (list_full_) return;
    budget = stock_.budget;
    rows_held = stock_.rows_held;
    const std::size_t target = std::clamp(2 * stock_.started, kStockLeast, kStockMost);
    stock_.started = 0;
    if (target > stock_.blocks.size()) {
      wanted = std::min(target - stock_.blocks.size(), kStockedPerCall);
    }
  }
  if (wanted == 0) return;
  std::vector<RowBlock> made;
  made.reserve(wanted);
  try {
    for (std::size_t i = 0; i < wanted; ++i) {
      if (budget != nullptr && !budget->MayMake(KeyListRows::kBlockBytes, rows_held)) break;
      made.push_back(RowBlock::Touched(KeyListRows::kBlockBytes));
    }
  } catch (const std::bad_alloc&) {
    // The run's worker meets the same refusal when it needs a block, and says so.
  }
  std::lock_guard<base::SpinLock> lock(lock_);
  std::move(made.begin(), made.end(), std::back_inserter(stock_.blocks));
}

void RunOutputQueue::ReleaseRowBlocks() {
  std::vector<RowBlock> released;
  {
    std::lock_guard<base::SpinLock> lock(lock_);
    released.swap(stock_.blocks);
    stock_.started = 0;
  }
}

std::size_t RunOutputQueue::StockedRowBlocks() const {
  std::lock_guard<base::SpinLock> lock(lock_);
  return stock_.blocks.size();
}

OutputBatch FoldOutput(std::vector<OutputSegment>& segments, std::size_t begin, KeyListRows& rows,
                       engine::StatusLines& status) {
  OutputBatch batch;
  const std::size_t size_before = status.Size();
  // How many of the control's present lines are still at the top of the model.
  std::size_t original_kept = size_before;
  bool status_changed = false;
  std::size_t i = begin;
  while (i < segments.size()) {
    OutputSegment& segment = segments[i++];
    if (segment.clears_first) {
      rows.Clear();
      status.Clear();
      batch.lists_cleared = true;
      batch.rows_added = 0;
      original_kept = 0;
      status_changed = true;
    }
    batch.rows_added += segment.rows.size();
    rows.Append(std::move(segment.rows));
    rows.AddHives(segment.hives);
    if (segment.bar_set) {
      batch.status_bar = std::move(segment.bar);
    } else if (!segment.lines.empty()) {
      batch.status_bar = segment.lines.back();
    }
    for (std::string& line : segment.lines) {
      const std::size_t dropped = status.Append(std::move(line));
      original_kept -= std::min(dropped, original_kept);
      status_changed = true;
    }
    batch.finished = segment.end == OutputSegment::End::kFinished;
    batch.quit = segment.end == OutputSegment::End::kQuit;
    if (batch.finished || batch.quit) break;
  }
  batch.next = i;
  batch.status_removed_front = size_before - original_kept;
  if (status_changed) {
    std::vector<std::string> lines = status.Lines();
    batch.status_appended.assign(
        std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(original_kept)),
        std::make_move_iterator(lines.end()));
  }
  return batch;
}

}  // namespace keyloom::shell
