#include "bench/headless_run.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/debug_log.h"
#include "engine/globals.h"
#include "engine/key_walk.h"
#include "engine/run_io.h"
#include "engine/search_session.h"
#include "engine/status_log.h"
#include "files/undo_file.h"
#include "registry/permission_repair.h"
#include "shell/run_settings.h"
#include "shell/settings.h"

namespace keyloom::bench {
namespace {

class FixedControls final : public engine::RunControls {
 public:
  explicit FixedControls(const HeadlessOptions& options) : options_(options) {}
  std::string FindText() override { return options_.find; }
  std::string ReplaceText() override { return options_.replace; }
  int RootChoice() override { return options_.root_choice; }
  int TypeFilter() override { return 0; }
  bool IncludeKeyNames() override { return options_.include_key_names; }
  bool IncludeValueContents() override { return options_.include_values; }
  bool IncludeValueNames() override { return options_.include_value_names; }
  bool CaseSensitive() override { return false; }
  bool DeleteMode() override { return false; }
  bool WindowVisible() override { return !options_.silent; }

 private:
  const HeadlessOptions& options_;
};

// Counts what a window would show, and lets the caller wait for the run's end.
class CountingOutput final : public engine::RunOutput {
 public:
  void AddStatusLine(std::string) override { ++lines; }
  void SetStatusBarText(const std::string&) override { ++bar_texts; }
  void AddKeyListEntry(std::string row) override {
    ++rows;
    row_bytes += row.size();
  }
  void ClearLists() override {}
  void RunFinished() override {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
  }
  void RequestQuit() override {}

  void WaitForEnd() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
  }

  std::atomic<std::uint64_t> lines{0}, bar_texts{0}, rows{0}, row_bytes{0};

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
};

class NoWindow final : public engine::RunWindow {
 public:
  void ApplyButtons(const engine::ButtonState&) override {}
  void ShowWarning(const std::string&) override {}
  void ProcessPendingEvents() override {}
  void CloseMainWindow() override {}
};

}  // namespace

HeadlessResult RunHeadless(reg::RegApi& api, engine::PauseGate& gate,
                           const HeadlessOptions& options) {
  engine::Globals globals;
  globals.is_64bit_windows = options.is_64bit_windows;
  globals.silent_mode = options.silent;
  FixedControls controls(options);
  CountingOutput output;
  NoWindow window;
  files::UndoFile undo(api, [&output](const std::string& line) { output.AddStatusLine(line); });
  reg::ProgramAccount account("bench");

  // The settings and the status log as the window has them, so the run does the window's work.
  shell::Settings stored;
  stored.simulate = options.simulate;
  stored.undodir = options.undo_folder;
  const shell::SettingsStore settings(stored);
  engine::DebugLog debug_log(options.undo_folder);
  const engine::StatusLog status_log(
      output, debug_log, [&settings] { return settings.LoggingLevel(); }, globals.silent_mode);

  engine::WalkDeps walk;
  walk.api = &api;
  walk.globals = &globals;
  walk.controls = &controls;
  walk.output = &output;
  walk.undo = &undo;
  walk.account = &account;
  walk.log = [&status_log](const std::string& text, bool debug_only) {
    status_log.Write(text, debug_only);
  };
  walk.debug_file = [&status_log](const std::string& text) { status_log.WriteDebugFile(text); };
  walk.settings = [&settings] { return settings.Read(shell::ToRunSettings); };
  walk.change_settings = [&] {
    return settings.Read(
        [&globals](const shell::Settings& s) { return shell::ToChangeSettings(s, globals); });
  };
  engine::RegistryWalker walker(walk);

  gate.Open();
  engine::RunController controller(engine::EngineDepsFor(walk, gate, walker), window);
  HeadlessResult result;
  const auto start = std::chrono::steady_clock::now();
  if (options.replace.empty()) {
    controller.btnSearchClick();
  } else {
    controller.btnReplaceClick();
  }
  if (controller.Active() || controller.state() != engine::RunState::kIdle) {
    output.WaitForEnd();
    result.finished = true;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  controller.OnRunFinished();
  result.matched = controller.engine().session().matched_count;
  result.changed = controller.engine().session().changed_count;
  result.rows = output.rows;
  result.row_bytes = output.row_bytes;
  result.status_lines = output.lines;
  result.status_bar_texts = output.bar_texts;
  return result;
}

}  // namespace keyloom::bench
