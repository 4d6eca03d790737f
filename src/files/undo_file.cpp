#include "files/undo_file.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/file_io.h"
#include "base/local_date.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "files/editor_path.h"
#include "files/reg_file_format.h"
#include "files/reg_file_write.h"
#include "files/undo_numbering.h"

namespace keyloom::files {

using text::Cat;

namespace {

// The items the current file restores already, named as the ledger knows them.
class LedgerSkip final : public SnapshotSkip {
 public:
  LedgerSkip(const UndoLedger& ledger, std::string_view machine, std::string_view root_name)
      : ledger_(ledger), machine_(machine), root_name_(root_name) {}
  std::string KeyId(const std::string& path) const override {
    return LedgerKeyId(machine_, root_name_, path);
  }
  bool SkipsKey(const std::string& key_id) const override {
    return ledger_.KeyState(key_id) != UndoLedger::State::kUnknown;
  }
  bool SkipsValue(const std::string& key_id, std::string_view value_name) const override {
    return ledger_.ValueState(key_id, value_name) != UndoLedger::State::kUnknown;
  }

 private:
  const UndoLedger& ledger_;
  std::string_view machine_;
  std::string_view root_name_;
};

}  // namespace

UndoFile::UndoFile(reg::RegApi& api, std::function<void(const std::string&)> log,
                   std::function<std::string()> today,
                   std::function<void(const std::string&)> debug_log)
    : reader_{&api, std::move(log), std::move(debug_log)},
      today_(today ? std::move(today) : base::LocalDateText) {}

void UndoFile::SetWrittenObserver(std::function<void(const std::string&)> written) {
  std::lock_guard lock(mutex_);
  written_ = std::move(written);
}

void UndoFile::RaiseNewFileFlag() {
  std::lock_guard lock(mutex_);
  new_file_flag_ = true;
  form_noted_ = false;
}

bool UndoFile::NewFileFlag() const {
  std::lock_guard lock(mutex_);
  return new_file_flag_;
}

int UndoFile::Counter() const {
  std::lock_guard lock(mutex_);
  return counter_;
}

std::string UndoFile::FileNameFor(const ChangeSettings& settings, int counter) const {
  std::string name = settings.undo_folder;
  if (!name.empty() && !base::EndsWithPathSeparator(name)) name += base::kPathSeparator;
  char number[16];
  std::snprintf(number, sizeof number, "%.3d", counter);
  return Cat({name, "UNDO-", today_(), "-", number, ".REG"});
}

std::string UndoFile::CurrentFileName(const ChangeSettings& settings) const {
  std::lock_guard lock(mutex_);
  return current_file_.empty() ? FileNameFor(settings, counter_) : current_file_;
}

void UndoFile::NameNewFile(const ChangeSettings& settings) {
  const std::string day = Cat({settings.undo_folder, "|", today_()});
  // A new run looks at the folder again: other runs and the user may have used numbers since.
  if (new_file_flag_ || day != numbering_day_) {
    const int used = HighestUsedUndoNumber(settings.undo_folder, today_());
    highest_used_ = day == numbering_day_ ? std::max(highest_used_, used) : used;
    numbering_day_ = day;
  }
  counter_ = highest_used_ + 1;
  current_file_ = FileNameFor(settings, counter_);
  current_folder_ = settings.undo_folder;
  current_created_ = false;
  ledger_.Reset(current_file_);
}

void UndoFile::ChooseFile(const UndoRequest& request, const ChangeSettings& settings) {
  // A removal goes to the file of its before-change record, unless it opens a run's records.
  const bool starts_file =
      new_file_flag_ || (settings.separate_undo_files && request.phase != RecordPhase::kAfter);
  const bool here = !current_file_.empty() && current_folder_ == settings.undo_folder;
  // A new file is made with its first record: a name whose first record failed is still free and
  // is tried again (on the same day, in the same run).
  const bool unmade = here && !current_created_ && !new_file_flag_ &&
                      current_file_ == FileNameFor(settings, counter_);
  if (starts_file ? !unmade : !here) NameNewFile(settings);
  new_file_flag_ = false;
}

std::string UndoFile::WriteLines(const std::string& machine_name,
                                 const std::vector<std::string>& lines,
                                 const ChangeSettings& settings) {
  const std::vector<std::string> header = RegFileHeaderLines(machine_name);
  if (current_created_) return AppendRegLines(current_file_, header, lines);
  while (true) {
    bool taken = false;
    const std::string error = CreateRegFile(current_file_, header, lines, &taken);
    if (!taken) {
      if (error.empty()) {
        current_created_ = true;
        highest_used_ = std::max(highest_used_, counter_);
      }
      return error;
    }
    // Another writer made a file of this name first: the next number is ours to try.
    highest_used_ = std::max(highest_used_, counter_);
    counter_ = highest_used_ + 1;
    current_file_ = FileNameFor(settings, counter_);
    ledger_.Reset(current_file_);
  }
}

std::string UndoFile::CollectRecord(const UndoRequest& request, const ChangeSettings& settings,
                                    std::vector<std::string>* lines,
                                    std::vector<std::function<void(UndoLedger&)>>* ledger_changes) {
  const reg::RootKey* root = reg::RootByHandle(request.root);
  if (root == nullptr) return "no root key specified";
  const std::string path = WithLeadingBackslash(request.key_path);
  const bool value =
      request.kind == RecordKind::kUpdate || !request.value_name.empty() || request.unnamed_value;
  const std::string& name = request.value_name;
  const bool after = request.kind == RecordKind::kRename && request.phase == RecordPhase::kAfter;
  // A removal reads nothing: it needs the registry only when the system must name its key.
  std::optional<RegistrySnapshot> snapshot;
  SnapshotSource* source = nullptr;
  if (!after || ChangeView(settings) == reg::RegView::k32) {
    source = &snapshot.emplace(reader_, ChangeView(settings))
                  .Source(root->handle, request.machine_name);
  }
  const EditorPaths::Named named =
      source ? source->NameOf(path) : EditorPaths::Named{path, ""};
  const std::string bracket = Cat({"[", root->name, named.path, "]"});
  const std::string id = LedgerKeyId(request.machine_name, root->name, named.path);
  using State = UndoLedger::State;

  if (HasLineBreak(path)) return LineBreakRefusal("key", root->name + path);
  if (value && HasLineBreak(name)) {
    return LineBreakRefusal("value", Cat({root->name, path, "\\", name}));
  }

  lines->clear();
  ledger_changes->clear();
  if (after) {
    if (value) {
      const State state = ledger_.ValueState(id, name);
      if (state == State::kPresent || state == State::kAbsent) return "";
      *lines = {bracket, RegRemoveValueLine(name)};
      ledger_changes->push_back(
          [id, name, bracket](UndoLedger& l) { l.AddValue(id, name, bracket, ""); });
      return "";
    }
    const State state = ledger_.KeyState(id);
    if (state == State::kAbsent) return "";
    *lines = {"", Cat({"[-", root->name, named.path, "]"})};
    // A key the file brings back comes back exactly: its recorded contents follow its removal.
    const auto again = ledger_.RecordedLinesUnder(id);
    lines->insert(lines->end(), again.begin(), again.end());
    if (state != State::kPresent) {
      ledger_changes->push_back([id](UndoLedger& l) { l.AddRemoval(id); });
    }
    return "";
  }

  std::string error;
  if (value) {
    if (ledger_.ValueState(id, name) != State::kUnknown) return "";
    std::string line;
    if (!source->ValueLine(path, name, &line, &error)) return error;
    *lines = {"", bracket, line};
    if (!line.empty()) {
      ledger_changes->push_back(
          [id, name, bracket, line](UndoLedger& l) { l.AddValue(id, name, bracket, line); });
    }
    return "";
  }
  if (ledger_.KeyState(id) != State::kUnknown) return "";
  // A before-state must be whole: what the walk could not read refuses the record.
  const LedgerSkip skip(ledger_, request.machine_name, root->name);
  SnapshotTree tree;
  if (!source->KeyTree(path, named, &skip, &tree, &error)) return error;
  if (!tree.gaps.empty()) return tree.gaps.front();
  *lines = tree.Lines();
  ledger_changes->push_back([id](UndoLedger& l) { l.BeginTree(id); });
  for (SnapshotKey& key : tree.keys) {
    ledger_changes->push_back([key_id = skip.KeyId(key.path), bracket = std::move(key.bracket),
                               values = std::move(key.values)](UndoLedger& l) mutable {
      l.AddSection(key_id, std::move(bracket), std::move(values));
    });
  }
  for (const std::string& left_out : tree.left_out) {
    ledger_changes->push_back([key_id = skip.KeyId(left_out)](UndoLedger& l) { l.Exclude(key_id); });
  }
  return "";
}

std::string UndoFile::Record(const UndoRequest& request, const ChangeSettings& settings) {
  return RecordAll({request}, settings);
}

std::string UndoFile::RecordAll(const std::vector<UndoRequest>& requests,
                                const ChangeSettings& settings) {
  std::lock_guard lock(mutex_);
  if (requests.empty()) return "";
  if (settings.default_undo != 0 && !form_noted_ && reader_.log) {
    form_noted_ = true;
    reader_.log(Cat({"DEFAULTUNDO=", std::to_string(settings.default_undo),
              " asks for undo files in a form Keyloom does not write: .REG undo files are "
              "written instead"}));
  }
  ChooseFile(requests.front(), settings);
  std::vector<std::string> lines;
  std::vector<std::function<void(UndoLedger&)>> ledger_changes;
  std::string error;
  try {
    for (const UndoRequest& request : requests) {
      std::vector<std::string> more;
      std::vector<std::function<void(UndoLedger&)>> more_changes;
      error = CollectRecord(request, settings, &more, &more_changes);
      if (!error.empty()) break;
      lines.insert(lines.end(), more.begin(), more.end());
      for (auto& change : more_changes) ledger_changes.push_back(std::move(change));
    }
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (error.empty()) error = WriteLines(requests.front().machine_name, lines, settings);
  // A failure reaches the status log through the action's ErrorText.
  if (!error.empty()) {
    const std::string in = settings.undo_folder.empty() ? "" : Cat({" in ", settings.undo_folder});
    return Cat({"Unable to write to undo file", in, " [", error, "]"});
  }
  for (auto& change : ledger_changes) change(ledger_);
  if (written_) written_(current_file_);
  return "";
}

}  // namespace keyloom::files
