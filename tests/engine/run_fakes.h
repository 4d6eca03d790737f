// Fakes of the main window for engine tests: controls with settable values, and an output that
// records everything a run shows, in order, and lets a test wait for the run's end.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/run_io.h"
#include "engine/search_session.h"
#include "registry/registry.h"

namespace keyloom::engine::testing {

class FakeControls : public RunControls {
 public:
  std::string find = "needle";
  std::string replace;
  int root_choice = 2;
  int type_filter = 0;
  bool key_names = false, values = true, value_names = false, case_sensitive = false;
  bool delete_mode = false, visible = true;
  MatchRules rules;
  std::vector<StartPoint> starts;

  std::string FindText() override { return find; }
  std::string ReplaceText() override { return replace; }
  int RootChoice() override { return root_choice; }
  int TypeFilter() override { return type_filter; }
  bool IncludeKeyNames() override { return key_names; }
  bool IncludeValueContents() override { return values; }
  bool IncludeValueNames() override { return value_names; }
  bool CaseSensitive() override { return case_sensitive; }
  bool DeleteMode() override { return delete_mode; }
  bool WindowVisible() override { return visible; }
  MatchRules Rules() override { return rules; }
  std::vector<StartPoint> StartPoints() override { return starts; }
};

// Records "line: ...", "bar: ...", "row: ...", "clear", "finished", "quit" in call order.
class RecordingOutput : public RunOutput {
 public:
  void AddStatusLine(std::string line) override { Record("line: " + line); }
  void SetStatusBarText(const std::string& text) override { Record("bar: " + text); }
  void AddKeyListEntry(std::string row) override { Record("row: " + row); }
  // A hit's row, and what the list shows of it besides ("details: type | data | found in", then
  // " | dated" for a known time, " | " and the result with its reason when a change acted, and
  // " | user " and the user for a hit in a user's hive).
  void AddKeyListHit(std::string row, const HitDetails& details) override {
    std::string result(change::ChangeResultName(details.result));
    if (!details.reason.empty()) result += ": " + details.reason;
    Record("details: " + details.type + " | " + details.data + " | " +
           std::string(FoundInText(details.found_in)) + (details.modified != 0 ? " | dated" : "") +
           (result.empty() ? "" : " | " + result) +
           (details.user.empty() ? "" : " | user " + details.user));
    AddKeyListEntry(std::move(row));
  }
  // Counted apart from the events, which stay as the window shows them.
  void CountChange(bool made) override { ++(made ? changes : failures); }
  void HivesLoaded(std::vector<reg::HiveMount> loaded) override {
    std::lock_guard lock(mutex_);
    hives_.insert(hives_.end(), loaded.begin(), loaded.end());
  }
  void ClearLists() override { Record("clear"); }
  void RunFinished() override { Record("finished"); }
  void RequestQuit() override { Record("quit"); }

  void Record(std::string event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Only the status lines, without their prefix.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const auto& e : Events()) {
      if (e.rfind("line: ", 0) == 0) lines.push_back(e.substr(6));
    }
    return lines;
  }
  bool WaitFor(const std::string& event,
               std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, bound, [&] {
      for (const auto& e : events_) {
        if (e == event) return true;
      }
      return false;
    });
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    hives_.clear();
    changes = 0;
    failures = 0;
  }
  // The users' hives the runs said their rows lie in, as told (under the mutex).
  std::vector<reg::HiveMount> Hives() {
    std::lock_guard lock(mutex_);
    return hives_;
  }

  std::atomic<int> changes{0};
  std::atomic<int> failures{0};

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<reg::HiveMount> hives_;
};

class FakeRunWindow : public RunWindow {
 public:
  std::vector<std::string> warnings;
  ButtonState applied;
  int pending_event_rounds = 0;
  bool closed = false;

  void ApplyButtons(const ButtonState& state) override { applied = state; }
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  void ProcessPendingEvents() override { ++pending_event_rounds; }
  void CloseMainWindow() override { closed = true; }
};

// Passes the walk's output on, and when the row `trigger` arrives deletes the key tree `doomed`
// (another program deleting a key while the walk is inside it) or calls `then`.
class DeletingOutput : public RunOutput {
 public:
  DeletingOutput(RunOutput& out, reg::RegApi& api) : out_(out), api_(api) {}
  void AddStatusLine(std::string line) override { out_.AddStatusLine(std::move(line)); }
  void SetStatusBarText(const std::string& text) override { out_.SetStatusBarText(text); }
  void AddKeyListEntry(std::string row) override {
    const bool hit = row == trigger;
    out_.AddKeyListEntry(std::move(row));
    if (hit && !doomed.empty()) {
      reg::TRegistry reg(api_);
      deleted = reg.DeleteKey(doomed);
    }
    if (hit && then) then();
  }
  void ClearLists() override { out_.ClearLists(); }
  void RunFinished() override { out_.RunFinished(); }
  void RequestQuit() override { out_.RequestQuit(); }

  std::string trigger;
  std::string doomed;
  std::function<void()> then;
  bool deleted = false;

 private:
  RunOutput& out_;
  reg::RegApi& api_;
};

}  // namespace keyloom::engine::testing
