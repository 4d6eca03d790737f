// How a run's output reaches the main window.
//
// How it works. The run's worker never touches a window. Everything it shows (status lines, status
// bar text, Key List rows, the clearing of both lists, the run's end and the quit request) is
// appended, in call order, to a RunOutputQueue under one mutex. The GUI thread drains the whole
// queue at once (on a timer while a run is busy, and once more when a wake message arrives) and
// folds the drained events into its models with FoldOutput: rows go to the vector behind the
// virtual Key List, lines to the 80-line StatusLines model. Only the net change reaches the
// controls: the Key List learns its new row count once per batch, and the status list box drops
// and appends just the lines that differ. A run that yields a million rows therefore costs the
// GUI thread one vector append per row and a handful of control calls per batch.
//
// FoldOutput stops right after a "finished" or "quit" event, so the window shows everything that
// came before it first, then hands the end of the run to the controller, then goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_io.h"
#include "engine/status_log.h"

namespace keyloom::shell {

struct OutputEvent {
  // kDropped: a status line the window could never show (see RunOutputQueue); folding skips it.
  enum class Kind : std::uint8_t {
    kStatusLine,
    kStatusBar,
    kRow,
    kClear,
    kFinished,
    kQuit,
    kDropped
  };
  Kind kind = Kind::kStatusLine;
  std::string text;  // the line, the status bar text or the row; empty for the others
};

// The window's RunOutput. Safe from any thread.
//
// A status list shows at most 80 lines, so of a long run of pending status lines the window would
// only ever show the last ones. Once 180 lines wait since the lists were last cleared (or the
// queue drained), the oldest 90 are dropped on the producer's side: with at least 90 lines still
// pending they would all have been pushed out of the list anyway, and since 90 is a multiple of the
// list's trimming step, the list ends with exactly the lines it would have shown. The debug log
// file, written elsewhere, keeps every line.
class RunOutputQueue final : public engine::RunOutput {
 public:
  // Called after every append, outside the lock, with `urgent` true for the run's end and the quit
  // request (which must not wait for the next timer tick). Set before any run starts.
  using Wake = std::function<void(bool urgent)>;
  void SetWake(Wake wake) { wake_ = std::move(wake); }

  void AddStatusLine(std::string line) override;
  void SetStatusBarText(const std::string& text) override;
  void AddKeyListEntry(std::string row) override;
  void ClearLists() override;
  void RunFinished() override;
  void RequestQuit() override;

  // Everything appended so far, in order; the queue is empty afterwards.
  std::vector<OutputEvent> Drain();
  bool Empty() const;

 private:
  void Push(OutputEvent::Kind kind, std::string text);

  mutable std::mutex mutex_;
  std::vector<OutputEvent> events_;
  // Positions in events_ of the status lines pending since the last clearing, oldest first.
  std::deque<std::size_t> pending_lines_;
  Wake wake_;
};

// The net effect of a run of events on the window's controls.
struct OutputBatch {
  // Both lists were emptied: the Key List view must forget its rows and selection before showing
  // the new row count.
  bool lists_cleared = false;
  // Rows appended to the row vector by this batch (after the clearing, when there was one).
  std::size_t rows_added = 0;
  // The status list control mirrors StatusLines: delete this many lines from its top, then append
  // `status_appended` and select the last line. It never holds more than 80 lines on the way.
  std::size_t status_removed_front = 0;
  std::vector<std::string> status_appended;
  // The status bar's new text: the latest status line or status bar text of the batch.
  std::optional<std::string> status_bar;
  bool finished = false;  // the batch ends with the run's end
  bool quit = false;      // the batch ends with the quit request
  std::size_t next = 0;   // index of the first event not folded
};

// Folds events[begin..] into `rows` and `status` (moving the texts out of the events), stopping
// right after the first kFinished or kQuit event.
OutputBatch FoldOutput(std::vector<OutputEvent>& events, std::size_t begin,
                       std::vector<std::string>& rows, engine::StatusLines& status);

}  // namespace keyloom::shell
