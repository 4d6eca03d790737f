#include "engine/search_session.h"

#include <cctype>
#include <cstddef>

#include "base/text.h"
#include "engine/pattern.h"

namespace keyloom::engine {
namespace {

constexpr const char* kReset = "R&eset";
constexpr const char* kReplaceWarning =
    "For Confirmation please enter any Text in the Replace String for the Search and Delete "
    "function to start.";

// Type filters that hold only numbers, and the binary one.
constexpr int kOnlyNumbers = 2;
constexpr int kRegDwordFilter = 5;
constexpr int kRegBinaryFilter = 6;

}  // namespace

bool IsDecimalNumber(const std::string& text, char decimal_separator) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto digit = [&](std::size_t k) {
    return k < n && std::isdigit(static_cast<unsigned char>(text[k])) != 0;
  };
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (digit(i)) ++i, ++digits;
  if (i < n && text[i] == decimal_separator) {
    ++i;
    while (digit(i)) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
  }
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  return i == n;
}

std::vector<std::string> ValidateRequest(bool include_key_names, bool include_values,
                                         bool include_value_names, const std::string& find_text,
                                         int type_filter, MatchMode mode) {
  std::vector<std::string> lines;
  const bool text_mode = mode == MatchMode::kText;
  if (!include_key_names && !include_values && !include_value_names) {
    lines.push_back("You must \"Include\" something to search in.");
    lines.push_back("Please select at least one of the \"Include\" options.");
  }
  if (text_mode && include_values && !IsDecimalNumber(find_text) &&
      (type_filter == kOnlyNumbers || type_filter == kRegDwordFilter ||
       type_filter == kRegBinaryFilter)) {
    lines.push_back("You cannot search for a Non-Numeric Value in Numeric Keys.");
    lines.push_back("Change the Key Type to perform your search.");
  }
  if (mode == MatchMode::kHex && !include_values) {
    lines.push_back("Hex bytes are found in value data only.");
    lines.push_back("Include value contents to perform your search.");
  }
  if (mode != MatchMode::kHex && include_values && type_filter == kRegBinaryFilter) {
    lines.push_back("Binary Searches are not available in this release.");
    lines.push_back("Change the Key Type to perform your search.");
  }
  return lines;
}

// ---- Worker side ----

bool SearchEngine::PausePoint() {
  if (!deps_.gate->Wait()) return false;
  return !stop_;
}

void SearchEngine::RunSession(bool search_only) {
  session_.search_only = search_only;
  if (deps_.raise_undo_new_file) deps_.raise_undo_new_file();
  RunControls& controls = *deps_.controls;
  session_.find_text = controls.FindText();
  session_.replace_text = controls.ReplaceText();
  session_.rules = controls.Rules();
  if (deps_.run_started) deps_.run_started(session_.find_text, session_.replace_text);
  struct RunEnd {
    const std::function<void()>& ended;
    ~RunEnd() {
      if (ended) ended();
    }
  } run_end{deps_.run_ended};
  const std::vector<StartPoint> starts = controls.StartPoints();
  const int choice = controls.RootChoice();
  if (!starts.empty()) {
    session_.first_root = starts.front().root_index;
    session_.last_root = starts.back().root_index;
  } else if (choice >= 1 && choice <= 5) {
    session_.first_root = session_.last_root = choice;
  } else if (!deps_.globals->search_machine.empty()) {
    session_.first_root = 3;
    session_.last_root = 4;
  } else {
    session_.first_root = 1;
    session_.last_root = 5;
  }
  session_.renamed_keys.clear();
  session_.changed_items.clear();

  if (starts.empty()) {
    SearchRoots(session_.find_text, session_.replace_text, session_.first_root, session_.last_root,
                "\\");
  } else {
    // Several start points make one main pass: the counts run on from one to the next.
    BeginMainPass(session_.find_text);
    for (const StartPoint& start : starts) {
      if (!WalkRoots(start.root_index, start.root_index, start.path, true) || stop_) break;
    }
  }

  // Keys renamed by the main pass get one pass each; keys renamed during those get none.
  const std::size_t renamed = session_.renamed_keys.size();
  for (std::size_t i = 0; i < renamed; ++i) {
    const RenamedKey key = session_.renamed_keys[i];
    const reg::RootKey* root = reg::RootByIndex(key.root_index);
    if (root == nullptr) continue;
    deps_.log(std::string("Searching Renamed Key [") + root->name + key.path + "]", false);
    SearchRoots(session_.find_text, session_.replace_text, key.root_index, key.root_index,
                key.path);
  }
  session_.renamed_keys.clear();

  deps_.log("Search Matched " + std::to_string(session_.matched_count) + " Keys.", false);
  for (std::size_t i = 0; i < session_.exclusion_hits.size(); ++i) {
    const std::int64_t hits = session_.exclusion_hits[i];
    const ExcludedKey& excluded = session_.rules.exclusions[i];
    const reg::RootKey* root = reg::RootByIndex(excluded.root_index);
    if (hits == 0 || root == nullptr) continue;
    deps_.log(std::string("Excluded Key not entered [") + root->name + excluded.path + "]: " +
                  std::to_string(hits) + (hits == 1 ? " time." : " times."),
              false);
  }
  const std::string verb = controls.DeleteMode() ? "Deleted" : "Replaced";
  deps_.log("Finished, " + verb + " [" + std::to_string(session_.changed_count) + "] Entries.",
            false);
  if (session_.failed_count > 0) {
    deps_.log("Failed to change [" + std::to_string(session_.failed_count) + "] Entries.", false);
  }
  if (!search_only && deps_.run_undo_files) {
    const auto line = UndoEndLine(deps_.run_undo_files(), session_.changed_count);
    if (line) deps_.log(*line, false);
  }
}

std::optional<std::string> UndoEndLine(const std::vector<std::string>& undo_files,
                                       std::int32_t changed) {
  if (undo_files.empty()) {
    if (changed == 0) return std::nullopt;
    return std::string("Undo files: none written, this run cannot be taken back.");
  }
  // The folder is the one the files went to, also when the setting changed during the run.
  const std::string& first = undo_files.front();
  const std::size_t slash = first.find_last_of("\\/");
  const std::string folder =
      slash == std::string::npos ? std::string() : first.substr(0, slash + 1);
  return "Undo files: [" + std::to_string(undo_files.size()) + "] written to [" + folder +
         "]. Ctrl+Z takes this run back.";
}

bool SearchEngine::SearchRoots(const std::string& find, const std::string& /*replace*/, int first,
                               int last, const std::string& start_path) {
  const bool main_pass = start_path == "\\";
  if (main_pass) BeginMainPass(find);
  return WalkRoots(first, last, start_path, main_pass);
}

void SearchEngine::BeginMainPass(const std::string& find) {
  if (deps_.controls->WindowVisible()) deps_.output->ClearLists();
  session_.matched_count = 0;
  session_.changed_count = 0;
  session_.failed_count = 0;
  session_.unreadable_count = 0;
  session_.unreadable_values = 0;
  session_.keys_examined = 0;
  session_.numeric = session_.rules.mode != MatchMode::kText || IsDecimalNumber(find);
  session_.exclusion_hits.assign(session_.rules.exclusions.size(), 0);
}

bool SearchEngine::WalkRoots(int first, int last, const std::string& start_path, bool main_pass) {
  session_.abandon = false;
  session_.type_filter = deps_.controls->TypeFilter();

  reg::TRegistry reg(*deps_.api);
  reg.SetAccessMode(1);
  if (deps_.globals->is_64bit_windows) {
    reg.SetView(deps_.settings().scanmethod == 1 ? reg::RegView::k64 : reg::RegView::k32);
  }
  const std::string& machine = deps_.globals->search_machine;

  for (int r = first; r <= last; ++r) {
    const reg::RootKey* root = reg::RootByIndex(r);
    if (root == nullptr) continue;
    if (!machine.empty() && r != 3 && r != 4) {
      deps_.log(std::string("Cannot search [") + root->name + "] key over network, skipping",
                false);
      continue;
    }
    reg.SetRootKey(root->handle);
    session_.root_index = r;
    if (!machine.empty()) {
      deps_.log("Connecting to remote registry on " + machine, false);
      if (!reg.RegistryConnect(machine)) {
        ++session_.unreadable_count;
        deps_.log("Remote Registry Error: [" + reg.LastErrorText() + "]", false);
        continue;
      }
    }
    if (main_pass) {
      deps_.log(
          std::string("Checking Key : ") + root->name + (start_path == "\\" ? "" : start_path),
          false);
    }
    if (reg.OpenKey(start_path)) {
      ++session_.keys_examined;
      deps_.walker->WalkKey(*this, reg);
    } else {
      ++session_.unreadable_count;
      deps_.log("Unable to open key [" + start_path + "], " + reg.LastErrorText(), false);
    }
    reg.CloseKey();
    if (session_.abandon || !PausePoint()) break;
  }
  return !session_.abandon;
}

// ---- GUI side ----

RunController::RunController(EngineDeps deps, RunWindow& window)
    : engine_(std::move(deps)), window_(&window) {
  buttons_.replace_caption = IdleReplaceCaption();
}

RunController::~RunController() {
  RequestStop();
  if (worker_.joinable()) worker_.join();
}

std::string RunController::IdleReplaceCaption() const {
  return engine_.deps().settings().enabledel ? "&Delete" : "&Replace";
}

void RunController::Apply() { window_->ApplyButtons(buttons_); }

void RunController::RefreshReplaceCaption() {
  if (buttons_.replace_caption != kReset) {
    buttons_.replace_caption = IdleReplaceCaption();
    Apply();
  }
}

bool RunController::StartRun(bool search_only) {
  if (active_) return false;  // one run at a time, also right after a Reset
  if (worker_.joinable()) worker_.join();
  buttons_.replace_enabled = buttons_.search_enabled = false;
  buttons_.close_enabled = buttons_.network_enabled = false;
  buttons_.pause_enabled = true;
  Apply();
  state_ = search_only ? RunState::kSearching : RunState::kReplacing;
  engine_.session().depth = 0;
  engine_.stop_requested() = false;
  active_ = true;
  worker_ = std::thread([this, search_only] {
    engine_.RunSession(search_only);
    active_ = false;
    engine_.deps().output->RunFinished();
    engine_.stop_requested() = false;
    if (engine_.deps().settings().autoclose) engine_.deps().output->RequestQuit();
  });
  return true;
}

bool RunController::RequestIsValid(bool search_only) {
  RunControls& controls = *engine_.deps().controls;
  const MatchMode mode = controls.Rules().mode;
  auto lines = ValidateRequest(controls.IncludeKeyNames(), controls.IncludeValueContents(),
                               controls.IncludeValueNames(), controls.FindText(),
                               controls.TypeFilter(), mode);
  const std::string pattern_error =
      PatternError(mode, controls.FindText(), controls.ReplaceText(),
                   search_only || controls.DeleteMode());
  if (!pattern_error.empty()) lines.push_back(pattern_error);
  for (const auto& line : lines) engine_.deps().log(line, false);
  return lines.empty();
}

void RunController::btnSearchClick() {
  if (buttons_.search_caption != "&Search") {
    Reset();
    return;
  }
  if (text::IsBlank(engine_.deps().controls->FindText())) return;
  if (RequestIsValid(true)) StartRun(true);
}

bool RunController::btnReplaceClick() {
  if (buttons_.replace_caption != IdleReplaceCaption()) {
    Reset();
    return false;
  }
  RunControls& controls = *engine_.deps().controls;
  if (text::IsBlank(controls.FindText()) || text::IsBlank(controls.ReplaceText())) {
    window_->ShowWarning(kReplaceWarning);
    return false;
  }
  return RequestIsValid(false) && StartRun(false);
}

void RunController::btnPauseClick() {
  PauseGate& gate = *engine_.deps().gate;
  const bool searching = state_ == RunState::kSearching || state_ == RunState::kSearchPaused;
  if (gate.IsOpen(2)) {  // running: pause
    gate.Close();
    buttons_.pause_caption = "R&esume";
    if (searching) {
      buttons_.search_caption = kReset;
      buttons_.search_enabled = true;
      state_ = RunState::kSearchPaused;
    } else {
      buttons_.replace_caption = kReset;
      buttons_.replace_enabled = true;
      state_ = RunState::kReplacePaused;
    }
  } else {  // paused: resume
    gate.Open();
    buttons_.pause_caption = "&Pause";
    if (searching) {
      buttons_.search_caption = "&Search";
      buttons_.search_enabled = false;
      state_ = RunState::kSearching;
    } else {
      buttons_.replace_caption = IdleReplaceCaption();
      buttons_.replace_enabled = false;
      state_ = RunState::kReplacing;
    }
  }
  Apply();
}

void RunController::RequestStop() {
  engine_.stop_requested() = true;
  engine_.deps().gate->Open();
}

void RunController::RequestStopAndPump() {
  RequestStop();
  window_->ProcessPendingEvents();
  window_->ProcessPendingEvents();
}

void RunController::Reset() {
  RequestStopAndPump();
  buttons_.search_caption = "&Search";
  buttons_.replace_caption = IdleReplaceCaption();
  buttons_.pause_caption = "&Pause";
  if (active_) {
    // Until the worker has unwound, no new run may start from these buttons.
    buttons_.search_enabled = buttons_.replace_enabled = false;
    buttons_.pause_enabled = false;
    state_ = RunState::kStopping;
  }
  Apply();
}

void RunController::StopRun() {
  if (active_) Reset();
}

void RunController::btnCloseClick() {
  RequestStopAndPump();
  if (buttons_.search_enabled && !active_) {
    engine_.stop_requested() = false;
    window_->CloseMainWindow();
  }
}

void RunController::OnRunFinished() {
  if (worker_.joinable() && !active_) worker_.join();
  buttons_.pause_enabled = false;
  buttons_.pause_caption = "&Pause";
  buttons_.search_caption = "&Search";
  buttons_.replace_caption = IdleReplaceCaption();
  buttons_.replace_enabled = buttons_.search_enabled = true;
  buttons_.close_enabled = buttons_.network_enabled = true;
  state_ = RunState::kIdle;
  Apply();
}

bool RunController::StopAndWait(std::chrono::milliseconds bound) {
  RequestStop();
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (active_ && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (active_) return false;
  if (worker_.joinable()) worker_.join();
  return true;
}

}  // namespace keyloom::engine
