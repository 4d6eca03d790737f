#include "shell/run_output_queue.h"

#include <algorithm>
#include <utility>

namespace keyloom::shell {

namespace {

constexpr std::size_t kPendingLinesBound = 180;
constexpr std::size_t kLinesDropped = 90;  // a multiple of the status list's trimming step

}  // namespace

void RunOutputQueue::Push(OutputEvent::Kind kind, std::string text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(OutputEvent{kind, std::move(text)});
    if (kind == OutputEvent::Kind::kStatusLine) {
      pending_lines_.push_back(events_.size() - 1);
      if (pending_lines_.size() >= kPendingLinesBound) {
        for (std::size_t i = 0; i < kLinesDropped; ++i) {
          OutputEvent& hidden = events_[pending_lines_.front()];
          hidden.kind = OutputEvent::Kind::kDropped;
          std::string().swap(hidden.text);
          pending_lines_.pop_front();
        }
      }
    } else if (kind == OutputEvent::Kind::kClear || kind == OutputEvent::Kind::kFinished ||
               kind == OutputEvent::Kind::kQuit) {
      pending_lines_.clear();
    }
  }
  if (wake_) {
    wake_(kind == OutputEvent::Kind::kFinished || kind == OutputEvent::Kind::kQuit);
  }
}

void RunOutputQueue::AddStatusLine(std::string line) {
  Push(OutputEvent::Kind::kStatusLine, std::move(line));
}

void RunOutputQueue::SetStatusBarText(const std::string& text) {
  {
    // The walk sets the bar for every key; only the latest text before the next event is shown.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!events_.empty() && events_.back().kind == OutputEvent::Kind::kStatusBar) {
      events_.back().text = text;
      return;
    }
  }
  Push(OutputEvent::Kind::kStatusBar, text);
}

void RunOutputQueue::AddKeyListEntry(std::string row) {
  Push(OutputEvent::Kind::kRow, std::move(row));
}

void RunOutputQueue::ClearLists() { Push(OutputEvent::Kind::kClear, {}); }

void RunOutputQueue::RunFinished() { Push(OutputEvent::Kind::kFinished, {}); }

void RunOutputQueue::RequestQuit() { Push(OutputEvent::Kind::kQuit, {}); }

std::vector<OutputEvent> RunOutputQueue::Drain() {
  std::vector<OutputEvent> drained;
  std::lock_guard<std::mutex> lock(mutex_);
  drained.swap(events_);
  pending_lines_.clear();
  return drained;
}

bool RunOutputQueue::Empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_.empty();
}

OutputBatch FoldOutput(std::vector<OutputEvent>& events, std::size_t begin,
                       std::vector<std::string>& rows, engine::StatusLines& status) {
  OutputBatch batch;
  const std::size_t size_before = status.Size();
  // How many of the control's present lines are still at the top of the model.
  std::size_t original_kept = size_before;
  bool status_changed = false;
  std::size_t i = begin;
  for (; i < events.size(); ++i) {
    OutputEvent& event = events[i];
    switch (event.kind) {
      case OutputEvent::Kind::kStatusLine: {
        batch.status_bar = event.text;
        const std::size_t dropped = status.Append(std::move(event.text));
        original_kept -= std::min(dropped, original_kept);
        status_changed = true;
        break;
      }
      case OutputEvent::Kind::kStatusBar:
        batch.status_bar = std::move(event.text);
        break;
      case OutputEvent::Kind::kRow:
        rows.push_back(std::move(event.text));
        ++batch.rows_added;
        break;
      case OutputEvent::Kind::kClear:
        rows.clear();
        status.Clear();
        batch.lists_cleared = true;
        batch.rows_added = 0;
        original_kept = 0;
        status_changed = true;
        break;
      case OutputEvent::Kind::kFinished:
        batch.finished = true;
        break;
      case OutputEvent::Kind::kQuit:
        batch.quit = true;
        break;
      case OutputEvent::Kind::kDropped:
        break;
    }
    if (batch.finished || batch.quit) {
      ++i;
      break;
    }
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
