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
  std::string find;             // edtFind exactly as typed
  std::string replace;          // edtReplace exactly as typed
  int root_choice = 0;          // cmbKeys item index
  int type_filter = 0;          // cmbType item index
  bool key_names = false;       // chkTree
  bool values = true;           // chkValues
  bool value_names = false;     // chkNames
  bool case_sensitive = false;  // chkCase
  bool visible = false;         // the main window is shown
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
  ControlValues Values() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
  }

  std::string FindText() override { return Values().find; }
  std::string ReplaceText() override { return Values().replace; }
  int RootChoice() override { return Read(&ControlValues::root_choice); }
  int TypeFilter() override { return Read(&ControlValues::type_filter); }
  bool IncludeKeyNames() override { return Read(&ControlValues::key_names); }
  bool IncludeValueContents() override { return Read(&ControlValues::values); }
  bool IncludeValueNames() override { return Read(&ControlValues::value_names); }
  bool CaseSensitive() override { return Read(&ControlValues::case_sensitive); }
  bool DeleteMode() override {
    return settings_->Read([](const Settings& s) { return s.enabledel; });
  }
  bool WindowVisible() override { return Read(&ControlValues::visible); }

 private:
  template <typename T>
  T Read(T ControlValues::*member) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.*member;
  }

  const SettingsStore* settings_;
  mutable std::mutex mutex_;
  ControlValues values_;
};

}  // namespace keyloom::shell
