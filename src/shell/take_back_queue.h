// How a take-back's worker reaches the "Undo a run" dialog: the worker never touches a window.
// It appends its lines and its latest progress here under a lock and reads the stop request; the
// dialog's thread takes everything at once on a timer and shows it, and joins the worker once it
// reports its end. Each line also goes to the status log from the worker itself, which takes
// lines from any thread and reaches the window in batches.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "edit/run_undo.h"

namespace keyloom::shell {

class TakeBackQueue final : public edit::TakeBackSink {
 public:
  struct Batch {
    std::vector<std::string> lines;
    edit::TakeBackProgress progress;
    bool ended = false;  // the worker has returned: nothing more comes
  };

  // `log` writes a status log line; it is called on the worker's thread.
  explicit TakeBackQueue(std::function<void(const std::string&)> log = {}) : log_(std::move(log)) {}

  // A plan the worker prepared, handed over once it has ended.
  void SetPlan(edit::TakeBackPlan plan) {
    std::lock_guard lock(mutex_);
    plan_ = std::move(plan);
  }
  edit::TakeBackPlan TakePlan() {
    std::lock_guard lock(mutex_);
    return std::move(plan_);
  }
  // The journal's runs as they are after the merge, read by the worker.
  void SetRuns(std::vector<files::JournalRun> runs) {
    std::lock_guard lock(mutex_);
    runs_ = std::move(runs);
  }
  std::vector<files::JournalRun> TakeRuns() {
    std::lock_guard lock(mutex_);
    return std::move(runs_);
  }

  // The worker's side.
  void Show(const std::string& line) override {
    if (log_) log_(line);
    std::lock_guard lock(mutex_);
    pending_.lines.push_back(line);
  }
  void Progress(const edit::TakeBackProgress& progress) override {
    std::lock_guard lock(mutex_);
    pending_.progress = progress;
  }
  bool StopRequested() override { return stop_.load(std::memory_order_relaxed); }
  void End() {
    std::lock_guard lock(mutex_);
    pending_.ended = true;
  }

  // The dialog's side.
  void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
  Batch Drain() {
    std::lock_guard lock(mutex_);
    Batch batch = std::move(pending_);
    pending_ = Batch{};
    pending_.progress = batch.progress;  // the latest stays the latest
    return batch;
  }

 private:
  const std::function<void(const std::string&)> log_;
  std::mutex mutex_;
  Batch pending_;
  edit::TakeBackPlan plan_;
  std::vector<files::JournalRun> runs_;
  std::atomic<bool> stop_{false};
};

}  // namespace keyloom::shell
