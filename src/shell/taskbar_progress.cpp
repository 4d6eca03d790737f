#include "shell/taskbar_progress.h"

#include <algorithm>

namespace keyloom::shell {

namespace {

// The bar's value: done of total, never beyond it; none when the total is unknown.
TaskbarShow WithValue(TaskbarState state, const TaskbarFacts& facts) {
  TaskbarShow show{state, 0, 0};
  if (facts.total > 0) {
    show.total = static_cast<std::uint64_t>(facts.total);
    show.done = static_cast<std::uint64_t>(std::clamp<std::int64_t>(facts.done, 0, facts.total));
  }
  return show;
}

}  // namespace

TaskbarShow ChooseTaskbar(const TaskbarFacts& facts) {
  if (facts.busy) {
    if (facts.waiting) return WithValue(TaskbarState::kPaused, facts);
    if (facts.total < 0) return {TaskbarState::kIndeterminate, 0, 0};
    return WithValue(TaskbarState::kNormal, facts);
  }
  // A full red bar: the error is the work's end, not a point on the way.
  if (facts.failed_unseen) return {TaskbarState::kError, 1, 1};
  return {};
}

void TaskbarProgress::Started(std::int64_t total) {
  facts_ = TaskbarFacts{};
  facts_.busy = true;
  facts_.total = total;
  Apply();
}

void TaskbarProgress::Advanced(std::int64_t done, std::int64_t total) {
  if (!facts_.busy) return;
  facts_.done = done;
  facts_.total = total;
  Apply();
}

void TaskbarProgress::Waiting(bool waiting) {
  facts_.waiting = waiting;
  Apply();
}

void TaskbarProgress::Ended(bool failed) {
  facts_ = TaskbarFacts{};
  facts_.failed_unseen = failed;
  Apply();
}

void TaskbarProgress::Activated() {
  if (facts_.busy) return;
  facts_.failed_unseen = false;
  Apply();
}

void TaskbarProgress::Apply() {
  const TaskbarShow show = ChooseTaskbar(facts_);
  if (show == shown_) return;
  shown_ = show;
  button_.Show(show);
}

}  // namespace keyloom::shell
