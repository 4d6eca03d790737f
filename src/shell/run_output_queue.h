// How a run's output reaches the main window.
//
// How it works. The run's worker never touches a window. Everything it shows (status lines, status
// bar text, Key List rows, the clearing of both lists, the run's end and the quit request) is
// appended under one lock to a RunOutputQueue, which keeps it as the window will apply it: a list
// of segments, each the output between two boundaries (a clearing, the run's end, the quit
// request). Inside a segment only three things matter to the window, so only they are kept: the
// rows in order (back to back in blocks of text, no allocation per row), the status lines in order,
// and the latest status bar text if none of the lines came after it. The GUI thread takes the whole
// queue at once (on a timer while a run is busy, and once more when a wake message arrives) and
// folds the segments into its models with FoldOutput: the rows' blocks are handed to the Key List,
// lines go to the 80-line StatusLines model. Only the net change reaches the controls: the Key List
// learns its new row count once per batch, and the status list box drops and appends just the
// lines that differ. A run that yields a million rows therefore costs neither thread an allocation
// per row, and the GUI thread a handful of control calls per batch.
//
// The rows a run may gather are bounded by a RowBudget (the address space left, in the program).
// When a row finds no block, because the budget or the system refused one, the Key List is full:
// it takes no more rows until the next clearing or the run's end, and the queue writes once,
// through the log it was given, the line KeyListFullLine says. The run goes on; only the list
// stops. A clearing frees the former rows only when the window folds it, so from a clearing until
// the window reports it shown (ClearingsShown) the budget is not asked: a run started after a full
// list must not find it full.
//
// FoldOutput stops right after a segment that ends with the run's end or the quit request, so the
// window shows everything that came before it first, then hands the end of the run to the
// controller, then goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/spin_lock.h"
#include "engine/run_io.h"
#include "engine/status_log.h"
#include "shell/key_list_rows.h"
#include "shell/run_progress.h"

namespace keyloom::shell {

// The output between two boundaries.
struct OutputSegment {
  enum class End : std::uint8_t { kNone, kFinished, kQuit };

  bool clears_first = false;  // both lists were emptied before this segment's output
  KeyListRows rows;
  std::vector<std::string> lines;  // status lines, oldest first; hidden ones dropped (see below)
  // Status bar text set after the segment's last line (the bar shows the latest of the two). A line
  // only lowers the flag, so the text's buffer serves the whole segment.
  std::string bar;
  bool bar_set = false;
  std::vector<reg::HiveMount> hives;  // the users' hives the rows lie in (KeyListRows::hives)
  End end = End::kNone;               // what came right after the segment's output
};

// The window's RunOutput. Safe from any thread.
//
// A status list shows at most 80 lines, so of a long run of pending status lines the window would
// only ever show the last ones. Once 180 lines wait in a segment, the oldest 90 are dropped on the
// producer's side: with at least 90 lines still pending they would all have been pushed out of the
// list anyway, and since 90 is a multiple of the list's trimming step, the list ends with exactly
// the lines it would have shown. The debug log file, written elsewhere, keeps every line.
class RunOutputQueue final : public engine::RunOutput {
 public:
  // Called after every append, outside the lock, with `urgent` true for the run's end and the quit
  // request (which must not wait for the next timer tick). Set before any run starts.
  using Wake = std::function<void(bool urgent)>;
  void SetWake(Wake wake) { wake_ = std::move(wake); }
  // Where the line that says the Key List is full goes (the status log), called outside the lock;
  // and the budget every new block of rows must pass (none: only the system's refusal). Both set
  // before any run starts; the budget must outlive the queue.
  using Log = std::function<void(const std::string& line)>;
  void SetLog(Log log) { log_ = std::move(log); }
  void SetRowBudget(RowBudget* budget);
  // The window has folded `count` clearings: the rows they emptied are freed.
  void ClearingsShown(std::size_t count);

  void AddStatusLine(std::string line) override;
  void SetStatusBarText(const std::string& text) override;
  void AddKeyListEntry(std::string row) override;
  void AddKeyListHit(std::string row, const engine::HitDetails& details) override;
  void CountChange(bool made) override;
  void HivesLoaded(std::vector<reg::HiveMount> hives) override;
  void ClearLists() override;
  void RunFinished() override;
  void RequestQuit() override;

  // What the run has shown so far, for its progress: the walk's progress texts (one for each key it
  // examines), the rows offered to the Key List (every hit, those of a full list too) and the
  // changes made and refused. Counted under the lock the output takes anyway, so the window reads
  // them in step with what it has been shown, and a hit costs no more than it did. Never
  // reset: the window counts from the values it found when the run started.
  ProgressCounts Counts() const;

  // Everything appended so far, in order; the queue is empty afterwards.
  std::vector<OutputSegment> Drain();
  bool Empty() const;

  // Row blocks made ahead. A million rows fill some 170 MB, and the first write to each fresh page
  // makes the system find and clear it: left to the run's worker, that costs it a tenth of its
  // time. While a run is busy the GUI thread, which waits most of the time, calls StockRowBlocks on
  // every tick: it makes blocks with their pages written (outside the lock), twice as many as rows
  // started since the last call, at least kStockLeast, at most kStockedPerCall a call (a few
  // milliseconds) and kStockMost in all. The worker takes one whenever its rows need a new block
  // and makes its own only when none is left. ReleaseRowBlocks frees the rest when the run is over.
  static constexpr std::size_t kStockLeast = 1;
  static constexpr std::size_t kStockMost = 16;
  static constexpr std::size_t kStockedPerCall = 4;
  void StockRowBlocks();
  void ReleaseRowBlocks();
  std::size_t StockedRowBlocks() const;

 private:
  // The segment new output goes to, opened when the last one has ended. Called under the lock.
  OutputSegment& Open();
  void End(OutputSegment::End end);
  void Notify(bool urgent) const;
  // Appends a row with `append` unless the list is full; says so when it has just become full.
  template <typename AppendRow>
  void TakeRow(AppendRow append);

  mutable base::SpinLock lock_;
  std::vector<OutputSegment> segments_;
  RowBlockStock stock_;
  bool list_full_ = false;
  ProgressCounts counts_;
  std::size_t clearings_pending_ = 0;
  Wake wake_;
  Log log_;
};

// "The Key List is full at N rows; the run goes on, its hits are still logged and counted".
std::string KeyListFullLine(std::size_t rows);

// The net effect of a run of events on the window's controls.
struct OutputBatch {
  // Both lists were emptied: the Key List view must forget its rows and selection before showing
  // the new row count.
  bool lists_cleared = false;
  // Rows appended to the Key List's rows by this batch (after the clearing, when there was one).
  std::size_t rows_added = 0;
  // The status list control mirrors StatusLines: delete this many lines from its top, then append
  // `status_appended` and select the last line. It never holds more than 80 lines on the way.
  std::size_t status_removed_front = 0;
  std::vector<std::string> status_appended;
  // The status bar's new text: the latest status line or status bar text of the batch.
  std::optional<std::string> status_bar;
  bool finished = false;  // the batch ends with the run's end
  bool quit = false;      // the batch ends with the quit request
  std::size_t next = 0;   // index of the first segment not folded
};

// Folds segments[begin..] into `rows` and `status` (moving the lines out of the segments), stopping
// right after the first segment that ends with the run's end or the quit request.
OutputBatch FoldOutput(std::vector<OutputSegment>& segments, std::size_t begin, KeyListRows& rows,
                       engine::StatusLines& status);

}  // namespace keyloom::shell
