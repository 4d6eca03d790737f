#include "engine/search_session.h"

#include <array>
#include <cctype>
#include <cstddef>

#include "base/local_date.h"
#include "base/text.h"
#include "engine/key_list_entry.h"
#include "engine/match.h"
#include "engine/pattern.h"
#include "engine/user_profiles.h"

namespace keyloom::engine {
namespace {

using text::Cat;

constexpr const char* kReset = "R&eset";
constexpr const char* kReplaceWarning =
    "For Confirmation please enter any Text in the Replace String for the Search and Delete "
    "function to start.";

// Type filters that hold only numbers.
constexpr int kOnlyNumbers = 2;
constexpr int kRegDwordFilter = 5;

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
       type_filter == kBinaryTypeFilter)) {
    lines.push_back("You cannot search for a Non-Numeric Value in Numeric Keys.");
    lines.push_back("Change the Key Type to perform your search.");
  }
  if (mode == MatchMode::kHex && !include_values) {
    lines.push_back("Hex bytes are found in value data only.");
    lines.push_back("Include value contents to perform your search.");
  }
  if (mode != MatchMode::kHex && include_values && type_filter == kBinaryTypeFilter) {
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
  const RunContext& context = *deps_.context;
  session_.search_only = search_only;
  session_.machine = context.machine;
  if (context.undo != nullptr) context.undo->RaiseNewFileFlag();
  RunControls& controls = *context.controls;
  session_.find_text = controls.FindText();
  session_.replace_text = controls.ReplaceText();
  session_.rules = controls.Rules();
  // Another computer's HKEY_USERS holds its own users: only the local user's keys have two names.
  const std::string user_sid = !session_.rules.exclusions.empty() && session_.machine.empty()
                                   ? CurrentUserSid(*context.api)
                                   : "";
  session_.exclusions = ExclusionSet(session_.rules.exclusions, user_sid);
  session_.only = std::move(next_only_);
  next_only_.reset();
  std::vector<StartPoint> starts = StartsOf(controls);
  const int choice = controls.RootChoice();
  // The users' hives stay loaded until the journal has the state the run left in them.
  reg::ReloadedHives item_hives(*context.api,
                                [&context](const std::string& line) { context.log(line, false); });
  if (session_.only && session_.machine.empty()) item_hives.Load(session_.only->hives());
  std::optional<ProfileHives> profiles;
  if (starts.empty() && choice == kProfilesChoice) {
    profiles.emplace(context, session_.machine, controls.IncludeDefaultProfile());
    profiles->Open();
    starts = profiles->StartPoints();
    if (starts.empty()) Log("No user profile to search.");
  }
  BeginJournalRun(profiles ? profiles->Loaded() : item_hives.Reached());
  struct RunEnd {
    const RunContext& context;
    ~RunEnd() {
      if (context.journal == nullptr) return;
      const std::string log_error = context.kept_log != nullptr ? context.kept_log->EndRun() : "";
      if (!log_error.empty()) {
        context.log("Unable to complete the run's log [" + log_error + "]", false);
      }
      const std::string error = context.journal->EndRun();
      if (!error.empty()) context.log("Unable to write to the run journal [" + error + "]", false);
    }
  } run_end{context};
  if (profiles) {
    session_.first_root = session_.last_root = 4;
  } else if (!starts.empty()) {
    session_.first_root = starts.front().root_index;
    session_.last_root = starts.back().root_index;
  } else if (choice >= 1 && choice <= 5) {
    session_.first_root = session_.last_root = choice;
  } else if (!session_.machine.empty()) {
    session_.first_root = 3;
    session_.last_root = 4;
  } else {
    session_.first_root = 1;
    session_.last_root = 5;
  }
  session_.renamed_keys.clear();
  session_.changed_items.clear();
  session_.user.clear();

  if (starts.empty() && !profiles) {
    SearchRoots(session_.find_text, session_.replace_text, session_.first_root, session_.last_root,
                "\\");
  } else {
    // Several start points make one main pass: the counts run on from one to the next.
    BeginMainPass(session_.find_text);
    for (const StartPoint& start : starts) {
      if (profiles) {
        session_.user = profiles->UserOf(start.path);
        Log(Cat({"User profile [", session_.user, "]"}));
      }
      if (!WalkRoots(start.root_index, start.root_index, start.path, true) || stop_) break;
    }
  }

  // Keys renamed by the main pass get one pass each; keys renamed during those get none.
  const std::size_t renamed = session_.renamed_keys.size();
  for (std::size_t i = 0; i < renamed; ++i) {
    const RenamedKey key = session_.renamed_keys[i];
    const reg::RootKey* root = reg::RootByIndex(key.root_index);
    if (root == nullptr) continue;
    Log(std::string("Searching Renamed Key [") + root->name + key.path + "]");
    session_.user = profiles ? profiles->UserOf(key.path) : "";
    SearchRoots(session_.find_text, session_.replace_text, key.root_index, key.root_index,
                key.path);
  }
  session_.renamed_keys.clear();
  if (session_.only && !stop_) LogSkippedItems();
  if (profiles && !profiles->Loaded().empty()) context.output->HivesLoaded(profiles->Loaded());

  Log("Search Matched " + std::to_string(session_.matched_count) + " Keys.");
  for (std::size_t i = 0; i < session_.exclusion_hits.size(); ++i) {
    const std::int64_t hits = session_.exclusion_hits[i];
    const ExcludedKey& excluded = session_.rules.exclusions[i];
    const reg::RootKey* root = reg::RootByIndex(excluded.root_index);
    if (hits == 0 || root == nullptr) continue;
    Log(std::string("Excluded Key not entered [") + root->name + excluded.path +
        "]: " + std::to_string(hits) + (hits == 1 ? " time." : " times."));
  }
  const std::string verb = controls.DeleteMode() ? "Deleted" : "Replaced";
  Log("Finished, " + verb + " [" + std::to_string(session_.changed_count) + "] Entries.");
  if (session_.failed_count > 0) {
    Log("Failed to change [" + std::to_string(session_.failed_count) + "] Entries.");
  }
  if (!search_only && deps_.names_undo_files && context.journal != nullptr) {
    const auto line = UndoEndLine(context.journal->LastRunFiles(), session_.changed_count);
    if (line) Log(*line);
  }
}

std::vector<StartPoint> SearchEngine::StartsOf(RunControls& controls) const {
  std::vector<StartPoint> starts = controls.StartPoints();
  if (!starts.empty() || !session_.only) return starts;
  for (const int root : session_.only->Roots()) starts.push_back({root, "\\"});
  return starts;
}

void SearchEngine::LogSkippedItems() {
  const RunContext& context = *deps_.context;
  const reg::Target target = context.TargetOn(session_.machine);
  const std::uint32_t access = reg::access::kQueryValue | reg::ViewFlag(target.view);
  reg::RegApi& api = *context.api;
  // Another computer's roots, each connected at the first item below it and kept for the others
  // (a null key when it cannot be reached).
  std::array<std::optional<reg::UniqueKey>, 5> remote_roots;
  const auto base_of = [&](const reg::RootKey& root) {
    if (target.machine.empty()) return root.handle;
    std::optional<reg::UniqueKey>& remote = remote_roots[static_cast<std::size_t>(root.index - 1)];
    if (!remote) {
      reg::KeyHandle connected = reg::kNullKey;
      if (api.ConnectRegistry(target.machine, root.handle, &connected) != reg::kSuccess) {
        connected = reg::kNullKey;
      }
      remote.emplace(api, connected);
    }
    return remote->get();
  };
  const ItemFilter& only = *session_.only;
  for (std::size_t i = 0; i < only.items().size(); ++i) {
    if (only.outcomes()[i].reached) continue;
    const OnlyItem& item = only.items()[i];
    const reg::RootKey* root = reg::RootByIndex(item.root_index);
    if (root == nullptr) continue;
    const reg::KeyHandle base = base_of(*root);
    if (base == reg::kNullKey) {
      Log(SkippedLine(item, false, false));
      continue;
    }
    reg::KeyHandle key = reg::kNullKey;
    const bool key_there =
        api.OpenKey(base, reg::WithoutLeadingBackslash(item.path), access, &key) == reg::kSuccess;
    const reg::UniqueKey guard(api, key_there ? key : reg::kNullKey);
    bool value_there = false;
    if (key_there && !item.value_name.empty()) {
      std::uint32_t type = 0;
      reg::Bytes data;
      value_there =
          api.QueryValue(key, RegistryValueName(item.value_name), &type, &data) == reg::kSuccess;
    }
    Log(SkippedLine(item, key_there, value_there));
  }
}

void SearchEngine::BeginJournalRun(std::vector<reg::HiveMount> hives) {
  const RunContext& context = *deps_.context;
  if (context.journal == nullptr) return;
  const files::ChangeSettings change = context.ChangeSettingsOn(session_.machine);
  files::RunInfo info;
  info.find = session_.find_text;
  info.replace = session_.replace_text;
  info.machine = change.target.machine;
  info.view = files::ViewName(change.target.view);
  info.hives = std::move(hives);
  if (context.kept_log != nullptr) {
    const std::string& folder = change.undo_folder;
    std::string error;
    info.log = context.kept_log->BeginRun(folder, base::LocalDateTimeText(), &error);
    if (info.log.empty()) {
      context.log("Unable to keep the run's log in " + folder + " [" + error + "]", false);
    }
  }
  context.journal->BeginRun(std::move(info));
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
  // A run over rows the list holds (Replace Selected) leaves them there.
  const bool keeps_rows = session_.only && !session_.only->lists_rows();
  if (!keeps_rows && deps_.context->controls->WindowVisible()) deps_.context->output->ClearLists();
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
  session_.type_filter = deps_.context->controls->TypeFilter();

  const RunContext& context = *deps_.context;
  reg::TRegistry reg(*context.api);
  reg.SetAccessMode(1);
  const reg::Target target = context.TargetOn(session_.machine);
  if (target.view != reg::RegView::kNone) reg.SetView(target.view);
  const std::string& machine = target.machine;

  for (int r = first; r <= last; ++r) {
    const reg::RootKey* root = reg::RootByIndex(r);
    if (root == nullptr) continue;
    if (!machine.empty() && r != 3 && r != 4) {
      Log(std::string("Cannot search [") + root->name + "] key over network, skipping");
      continue;
    }
    reg.SetRootKey(root->handle);
    session_.root_index = r;
    if (const int excluded = session_.exclusions.Covering(r, start_path); excluded >= 0) {
      const auto index = static_cast<std::size_t>(excluded);
      ++session_.exclusion_hits[index];
      const ExcludedKey& key = session_.rules.exclusions[index];
      Log(std::string("Not searched: [") + root->name + (start_path == "\\" ? "" : start_path) +
          "] lies in the excluded key [" + reg::RootByIndex(key.root_index)->name + key.path + "]");
      continue;
    }
    if (!machine.empty()) {
      Log("Connecting to remote registry on " + machine);
      if (!reg.RegistryConnect(machine)) {
        ++session_.unreadable_count;
        Log("Remote Registry Error: [" + reg.LastErrorText() + "]");
        continue;
      }
    }
    if (main_pass) {
      Log(std::string("Checking Key : ") + root->name + (start_path == "\\" ? "" : start_path));
    }
    if (reg.OpenKey(start_path)) {
      ++session_.keys_examined;
      deps_.walker->WalkKey(*this, reg);
    } else {
      ++session_.unreadable_count;
      Log("Unable to open key [" + start_path + "], " + reg.LastErrorText());
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
  const bool enabledel =
      engine_.context().settings->Read([](const config::Settings& s) { return s.enabledel; });
  return enabledel ? "&Delete" : "&Replace";
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
    const RunContext& context = engine_.context();
    context.output->RunFinished();
    engine_.stop_requested() = false;
    if (context.settings->Read([](const config::Settings& s) { return s.autoclose; })) {
      context.output->RequestQuit();
    }
  });
  return true;
}

bool RunController::RequestIsValid(bool search_only) {
  RunControls& controls = *engine_.context().controls;
  const MatchMode mode = controls.Rules().mode;
  refused_lines_ = ValidateRequest(controls.IncludeKeyNames(), controls.IncludeValueContents(),
                                   controls.IncludeValueNames(), controls.FindText(),
                                   controls.TypeFilter(), mode);
  const std::string pattern_error = PatternError(mode, controls.FindText(), controls.ReplaceText(),
                                                 search_only || controls.DeleteMode());
  if (!pattern_error.empty()) refused_lines_.push_back(pattern_error);
  for (const auto& line : refused_lines_) engine_.context().log(line, false);
  return refused_lines_.empty();
}

void RunController::btnSearchClick() {
  if (buttons_.search_caption != "&Search") {
    Reset();
    return;
  }
  if (text::IsBlank(engine_.context().controls->FindText())) return;
  if (RequestIsValid(true)) StartRun(true);
}

bool RunController::btnReplaceClick() {
  if (buttons_.replace_caption != IdleReplaceCaption()) {
    Reset();
    return false;
  }
  RunControls& controls = *engine_.context().controls;
  if (text::IsBlank(controls.FindText()) || text::IsBlank(controls.ReplaceText())) {
    window_->ShowWarning(kReplaceWarning);
    return false;
  }
  return RequestIsValid(false) && StartRun(false);
}

bool RunController::ReplaceItems(std::vector<OnlyItem> items, std::vector<reg::HiveMount> hives) {
  if (active_ || items.empty()) return false;
  RunControls& controls = *engine_.context().controls;
  if (text::IsBlank(controls.FindText()) || text::IsBlank(controls.ReplaceText())) {
    window_->ShowWarning(kReplaceWarning);
    return false;
  }
  if (!RequestIsValid(false)) return false;
  ItemFilter only(std::move(items), false);
  only.SetHives(std::move(hives));
  engine_.RestrictNextRun(std::move(only));
  return StartRun(false);
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
