// One search, replace or delete run, from the button press to the summary.
//
// How it works. The GUI thread owns a RunController. A valid Search or Replace click disables the
// buttons and starts one worker thread running SearchEngine::RunSession, with everything the run
// works with taken from its RunContext (run_context.h). The worker reads the request from the
// window's controls (RunControls), walks the chosen roots (SearchRoots; the walk below each root
// is a KeyWalker), searches again inside every key it renamed, writes the summary and reports the
// end through RunOutput::RunFinished, which the window hands back to RunController::OnRunFinished
// on the GUI thread. All output goes through RunOutput and the context's log in the order
// produced; the worker never touches a window.
//
// Pausing closes the pause gate; the worker waits at it after each root and before each subkey.
// Reset and Close set the stop request and open the gate, so a paused worker wakes, sees the
// request and unwinds; the summary is still written for what was done.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/exclusions.h"
#include "engine/item_filter.h"
#include "engine/pause_gate.h"
#include "engine/run_context.h"
#include "engine/run_io.h"
#include "registry/mounted_hives.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::engine {

struct RenamedKey {
  int root_index = 0;
  std::string path;  // the new path below the root, beginning with "\"
};

// The state of one run, shared by the pass driver and the walk; touched by the worker only.
struct SearchSession {
  // The computer the run searches and changes, taken from the context as the run starts.
  std::string machine;
  std::string find_text;     // exactly as typed
  std::string replace_text;  // exactly as typed
  bool search_only = true;
  int first_root = 1;
  int last_root = 5;
  bool numeric = false;  // the find text is a decimal number; computed once per run
  int type_filter = 0;   // cmbType item index, read at the start of every pass
  std::int32_t matched_count = 0;
  std::int32_t changed_count = 0;      // changes made
  std::int32_t failed_count = 0;       // changes tried and refused (each one logged when refused)
  std::int32_t unreadable_count = 0;   // keys, roots and machines that could not be opened
  std::int32_t unreadable_values = 0;  // values that could not be read or examined (each logged)
  std::int64_t keys_examined = 0;      // keys opened and examined, start keys included
  int depth = 0;
  std::vector<RenamedKey> renamed_keys;
  // The changes made or tried so far, by the system's name of the item (see RunItem): an item
  // reached twice, under two roots or again after its own change, is changed once.
  std::set<std::string> changed_items;
  MatchRules rules;  // read from the controls at the start of the run
  // rules.exclusions under every name the registry gives their keys.
  ExclusionSet exclusions;
  // How often the walk came upon each of rules.exclusions and did not enter it.
  std::vector<std::int64_t> exclusion_hits;
  // The items the run is restricted to; none: every hit.
  std::optional<ItemFilter> only;
  bool abandon = false;  // set by the walk when it cannot re-open a key
  int root_index = 0;    // the root being walked
  // The user whose hive is being walked (the profile folder's name), in a run over every user's
  // profile; empty otherwise. Every hit is given it.
  std::string user;
};

// Counts a change made or refused in the session and tells the run's output.
inline void CountChange(SearchSession& session, RunOutput& output, bool made) {
  ++(made ? session.changed_count : session.failed_count);
  output.CountChange(made);
}

class SearchEngine;

// The walk below one opened key.
class KeyWalker {
 public:
  virtual ~KeyWalker() = default;
  // `reg` has the start key open, in the pass's view and access mode; the walk reports to the
  // engine's session and stops at its pause points.
  virtual void WalkKey(SearchEngine& engine, reg::TRegistry& reg) = 0;
};

// A walk that visits nothing below the start key.
class NoWalk final : public KeyWalker {
 public:
  void WalkKey(SearchEngine&, reg::TRegistry&) override {}
};

// What the engine works with besides its context: the pause gate and the walk below each start
// key. Everything given must outlive the engine.
struct EngineDeps {
  const RunContext* context = nullptr;
  PauseGate* gate = nullptr;
  KeyWalker* walker = nullptr;
  // The summary ends with the line naming the run's undo folder, its files and the key that takes
  // it back; off where the run's report names the files itself (the command line's).
  bool names_undo_files = true;
};

// The line after a replace or delete run's summary that says where its way back is: the undo
// folder, how many files the run wrote and the key that takes it back. None when the run neither
// changed anything nor wrote an undo file.
std::optional<std::string> UndoEndLine(const std::vector<std::string>& undo_files,
                                       std::int32_t changed);

// Whether `text` is a decimal number: optional sign, digits with `decimal_separator`, optional
// exponent; surrounding blanks allowed.
bool IsDecimalNumber(const std::string& text, char decimal_separator = '.');

// The lines validation writes, in order; empty when the request may run.
// In the Wildcards, Regex and Hex modes numbers are matched as any text is, and the REG_BINARY
// filter serves the Hex mode.
std::vector<std::string> ValidateRequest(bool include_key_names, bool include_values,
                                         bool include_value_names, const std::string& find_text,
                                         int type_filter, MatchMode mode = MatchMode::kText);

// The worker side: RunSession and SearchRoots.
class SearchEngine {
 public:
  explicit SearchEngine(EngineDeps deps) : deps_(std::move(deps)) {}

  void RunSession(bool search_only);
  // One pass over roots first..last from `start_path` ("\" for the main pass). True when the pass
  // was not abandoned.
  bool SearchRoots(const std::string& find, const std::string& replace, int first, int last,
                   const std::string& start_path);
  // A pause point: waits at the gate. False when the run must stop (the wait failed, or a stop was
  // requested).
  bool PausePoint();

  // The next run is restricted to `only`'s items (none: the next run is whole).
  void RestrictNextRun(std::optional<ItemFilter> only) { next_only_ = std::move(only); }

  SearchSession& session() { return session_; }
  std::atomic<bool>& stop_requested() { return stop_; }
  const EngineDeps& deps() const { return deps_; }
  const RunContext& context() const { return *deps_.context; }

 private:
  // The counts and the numeric flag start afresh with a main pass.
  void BeginMainPass(const std::string& find);
  // The run journal's record of the run's start: its texts, machine, view, kept log and the hives
  // it loaded.
  void BeginJournalRun(std::vector<reg::HiveMount> hives);
  // One status log line.
  void Log(const std::string& text) const { deps_.context->log(text, false); }
  // Walks roots first..last from `start_path`; `main_pass` logs each root as it is checked.
  bool WalkRoots(int first, int last, const std::string& start_path, bool main_pass);

  // The start points of a run: the controls', else the items' roots, else the root choice's.
  std::vector<StartPoint> StartsOf(RunControls& controls) const;
  // Names every item of a restricted run that it did not come upon, and why.
  void LogSkippedItems();

  EngineDeps deps_;
  SearchSession session_;
  std::optional<ItemFilter> next_only_;
  std::atomic<bool> stop_{false};
};

// Captions and enabled states of the run's buttons.
struct ButtonState {
  std::string search_caption = "&Search";
  bool search_enabled = true;
  std::string replace_caption = "&Replace";
  bool replace_enabled = true;
  std::string pause_caption = "&Pause";
  bool pause_enabled = false;
  bool close_enabled = true;
  bool network_enabled = true;
  bool operator==(const ButtonState&) const = default;
};

// What the controller needs of the window besides RunControls.
class RunWindow {
 public:
  virtual ~RunWindow() = default;
  virtual void ApplyButtons(const ButtonState& state) = 0;
  virtual void ShowWarning(const std::string& text) = 0;
  virtual void ProcessPendingEvents() = 0;
  virtual void CloseMainWindow() = 0;
};

enum class RunState { kIdle, kSearching, kReplacing, kSearchPaused, kReplacePaused, kStopping };

// The GUI thread's side: the button handlers and the state machine.
class RunController {
 public:
  RunController(EngineDeps deps, RunWindow& window);
  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;
  // Stops a running worker and waits for it.
  ~RunController();

  void btnSearchClick();
  // True when the click started a run (which may have ended by the time this returns).
  bool btnReplaceClick();
  // "Replace Selected": a replace run restricted to `items` that leaves the Key List as it is and
  // keeps each item's outcome (engine().session().only once it has ended). True when it started.
  // `hives`: the users' hives the items lie in, which the run that listed them loaded and
  // unloaded (KeyListRows::hives); loaded again for this run.
  bool ReplaceItems(std::vector<OnlyItem> items, std::vector<reg::HiveMount> hives = {});
  void btnPauseClick();
  void btnCloseClick();
  // The worker's RunFinished, delivered on the GUI thread: buttons back to idle.
  void OnRunFinished();
  // The lines of the last refused validation, as they were logged.
  const std::vector<std::string>& refused_lines() const { return refused_lines_; }
  // ENABLEDEL changed in the settings: the Replace button's idle caption follows.
  void RefreshReplaceCaption();

  RunState state() const { return state_; }
  const ButtonState& buttons() const { return buttons_; }
  bool Active() const { return active_; }
  // Stops a running run at its next item, as Reset does (it writes its summary as it ends), and
  // returns at once.
  void StopRun();
  // Requests a stop, opens the gate and waits up to `bound` for the worker. True when it ended.
  bool StopAndWait(std::chrono::milliseconds bound);
  SearchEngine& engine() { return engine_; }

 private:
  // Validates the request in the controls; the lines of every rule that applies are logged.
  bool RequestIsValid(bool search_only);
  bool StartRun(bool search_only);
  // Asks the worker to stop and lets a paused one go on to see it.
  void RequestStop();
  // The same, then lets the window take what the worker wrote meanwhile.
  void RequestStopAndPump();
  void Reset();
  void Apply();
  std::string IdleReplaceCaption() const;

  SearchEngine engine_;
  RunWindow* window_;
  ButtonState buttons_;
  RunState state_ = RunState::kIdle;
  std::atomic<bool> active_{false};
  std::thread worker_;
  std::vector<std::string> refused_lines_;
};

}  // namespace keyloom::engine
