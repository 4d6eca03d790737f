// The search request as the main window's controls hold it, kept as a copy that the run's worker
// can read without touching a window. The GUI thread writes the copy whenever a control changes
// (and once more right before a run starts); the worker reads it through RunControls. A check box
// changed during a run, typically while paused, so affects the rest of the run. Whether the run
// deletes is ENABLEDEL, read from the settings themselves.
#pragma once

#include <mutex>
#include <string>
#include <utility>

#include "engine/run_io.h"
#include "shell/settings.h"

namespace keyloom::shell {

struct ControlValues {
  WindowSettings request;  // the controls, as the settings file keeps them
  bool visible = false;    // the main window is shown
};

class ControlsSnapshot final : public engine::RunControls {
 public:
  explicit ControlsSnapshot(const SettingsStore& settings) : settings_(&settings) {}

  // Changes the copy under the lock: fn(ControlValues&).
  template <typename Fn>
  void Update(Fn&& fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::forward<Fn>(fn)(values_);
  }

  // A run over selected rows (Replace Selected) replaces, whatever ENABLEDEL says, and looks at
  // key names, value names and data alike: each row says which of its item's hits it is.
  void SetRowsRun(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_run_ = on;
  }

  std::string FindText() override { return Read(&WindowSettings::find); }
  std::string ReplaceText() override { return Read(&WindowSettings::replace); }
  int RootChoice() override { return Read(&WindowSettings::searchkey); }
  int TypeFilter() override { return Read(&WindowSettings::searchtype); }
  bool IncludeKeyNames() override { return Included(&WindowSettings::searchtree); }
  bool IncludeValueContents() override { return Included(&WindowSettings::searchvalues); }
  bool IncludeValueNames() override { return Included(&WindowSettings::searchkeys); }
  bool CaseSensitive() override { return Read(&WindowSettings::usecase); }
  engine::MatchRules Rules() override { return Read(&WindowSettings::rules); }
  bool DeleteMode() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (rows_run_) return false;
    }
    return settings_->Read([](const Settings& s) { return s.enabledel; });
  }
  bool WindowVisible() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.visible;
  }

 private:
  template <typename T>
  T Read(T WindowSettings::*member) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.request.*member;
  }

  bool Included(bool WindowSettings::*member) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_run_ || values_.request.*member;
  }

  const SettingsStore* settings_;
  mutable std::mutex mutex_;
  ControlValues values_;
  bool rows_run_ = false;
};

}  // namespace keyloom::shell
