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

// What the writer opens keys with: enough to read values and list subkeys, nothing more, so that
// a key the user may read but not change still gives its values.
constexpr std::uint32_t kReadAccess = reg::access::kQueryValue | reg::access::kEnumerateSubKeys;
constexpr std::u16string_view kWow64Node = u"Wow6432Node";

bool HasLineBreak(std::string_view name) {
  return name.find_first_of("\r\n") != std::string_view::npos;
}

// Why an undo record cannot name an item whose name holds a line break: written raw, the break
// splits the record's line, and merging the file would put what follows on another key.
// `item` is the item's full path; its line breaks are shown as <CR> and <LF>.
std::string LineBreakRefusal(std::string_view kind, std::string_view item) {
  std::string shown;
  for (const char c : item) {
    if (c == '\r') {
      shown += "<CR>";
    } else if (c == '\n') {
      shown += "<LF>";
    } else {
      shown += c;
    }
  }
  return Cat({"the name of ", kind, " ", shown,
              " holds a line break, which a registry file cannot carry"});
}

std::string WithLeadingBackslash(std::string_view path) {
  if (!path.empty() && path.front() == '\\') return std::string(path);
  return Cat({"\\", path});
}

// One record's view of the registry: a wrapper on the request's root, connected to the machine
// when one is named, opening keys in the settings' view and naming them as the 64-bit registry
// editor reaches them.
class Source {
 public:
  // `root_name` names the root in debug log lines.
  Source(reg::RegApi& api, reg::KeyHandle root, std::string root_name, std::string_view machine,
         const ChangeSettings& settings, const std::function<void(const std::string&)>& log,
         const std::function<void(const std::string&)>& debug_log)
      : reg_(api), view_flag_(reg::ViewFlag(ChangeView(settings))) {
    reg_.SetRootKey(root);
    if (!machine.empty() && !reg_.RegistryConnect(machine)) {
      error_ = reg_.LastErrorText();
      if (log) log("Error connecting to remote machine while saving UNDO: [" + error_ + "]");
    }
    // Without the machine's registry no key is asked about: the record fails or lists nothing.
    paths_.emplace(api, reg_.RootKeyHandle(),
                   error_.empty() ? ChangeView(settings) : reg::RegView::kNone,
                   std::move(root_name), debug_log);
  }

  // The connection's failure text; "" when connected (or local).
  const std::string& error() const { return error_; }
  reg::RegApi& api() const { return reg_.api(); }
  EditorPaths& paths() { return *paths_; }

  reg::ErrorCode Open(std::string_view path, reg::UniqueKey* key) {
    reg::KeyHandle handle = reg::kNullKey;
    const reg::ErrorCode rc =
        api().OpenKey(reg_.RootKeyHandle(), reg::WithoutLeadingBackslash(path),
                      kReadAccess | view_flag_, &handle);
    if (rc == reg::kSuccess) *key = reg::UniqueKey(api(), handle);
    return rc;
  }

  std::string Message(reg::ErrorCode code) const {
    return text::TrimMessage(reg_.api().ErrorMessage(code));
  }

 private:
  reg::TRegistry reg_;
  std::uint32_t view_flag_;
  std::string error_;
  std::optional<EditorPaths> paths_;
};

// A record's lines and the ledger changes it makes, applied only once the lines are in the file.
struct Collected {
  std::vector<std::string> lines;
  std::vector<std::function<void(UndoLedger&)>> ledger;
};

// Reads what a record holds. `undo` records fail when a before-state cannot be read completely;
// the export leaves out what it cannot read, as a listing does.
class Reader {
 public:
  Reader(Source& source, const UndoLedger* ledger, std::string root_name, std::string machine,
         bool undo)
      : source_(source),
        ledger_(ledger),
        root_name_(std::move(root_name)),
        machine_(std::move(machine)),
        undo_(undo) {}

  // The value line of one value: "" when the value does not exist. False (with `error`) when the
  // key cannot be read.
  bool ValueLine(const std::string& path, std::string_view name, std::string* line,
                 std::string* error) {
    line->clear();
    if (!source_.error().empty()) return Fail(source_.error(), error);
    reg::UniqueKey key;
    reg::ErrorCode rc = source_.Open(path, &key);
    if (rc != reg::kSuccess) return Fail(source_.Message(rc), error);
    reg::RawValue value;
    rc = source_.api().QueryValue(key.get(), name, &value.type, &value.data);
    if (rc == reg::kFileNotFound) return true;
    if (rc != reg::kSuccess) return Fail(source_.Message(rc), error);
    *line = RegValueLine(name, value);
    return true;
  }

  // The key tree of `path` (beginning with "\"), named `top` in the file: its values, then depth
  // first every subkey but the system's Wow6432Node with an empty line, its bracket line and its
  // values.
  // Items the undo file already restores are left out.
  bool KeyTree(const std::string& path, const EditorPaths::Named& top, Collected* out,
               std::string* error) {
    if (!source_.error().empty()) return Fail(source_.error(), error);
    reg::UniqueKey key;
    const reg::ErrorCode rc = source_.Open(path, &key);
    if (rc != reg::kSuccess) return Fail(source_.Message(rc), error);
    const std::string id = LedgerKeyId(machine_, root_name_, top.path);
    if (ledger_ != nullptr) {
      out->ledger.push_back([id](UndoLedger& ledger) { ledger.BeginTree(id); });
    }
    return Walk(key.get(), path, top, id, out, error);
  }

 private:
  bool Fail(const std::string& text, std::string* error) {
    *error = text;
    return false;
  }

  bool Known(const std::string& id) const {
    return ledger_ != nullptr && ledger_->KeyState(id) != UndoLedger::State::kUnknown;
  }

  // `path` is the key's path as opened, `named` its name in the file.
  bool Walk(reg::KeyHandle key, const std::string& path, const EditorPaths::Named& named,
            const std::string& id, Collected* out, std::string* error) {
    reg::RegApi& api = source_.api();
    const std::string bracket = "[" + root_name_ + named.path + "]";
    std::vector<std::pair<std::string, std::string>> values;
    std::string name;
    reg::RawValue value;
    for (std::uint32_t i = 0;; ++i) {
      const reg::ErrorCode rc = api.EnumValue(key, i, &name, &value.type, &value.data);
      if (rc == reg::kNoMoreItems) break;
      if (rc != reg::kSuccess) {
        if (undo_) return Fail(source_.Message(rc), error);
        break;
      }
      if (undo_ && HasLineBreak(name)) {
        return Fail(LineBreakRefusal("value", root_name_ + named.path + "\\" + name), error);
      }
      if (ledger_ != nullptr && ledger_->ValueState(id, name) != UndoLedger::State::kUnknown) {
        continue;
      }
      std::string line = RegValueLine(name, value);
      out->lines.push_back(line);
      values.emplace_back(name, std::move(line));
    }
    if (ledger_ != nullptr) {
      out->ledger.push_back([id, bracket, values = std::move(values)](UndoLedger& ledger) mutable {
        ledger.AddSection(id, bracket, std::move(values));
      });
    }

    std::vector<std::string> subkeys;
    for (std::uint32_t i = 0;; ++i) {
      const reg::ErrorCode rc = api.EnumKey(key, i, &name);
      if (rc == reg::kNoMoreItems) break;
      if (rc != reg::kSuccess) {
        if (undo_) return Fail(source_.Message(rc), error);
        break;
      }
      if (undo_ && HasLineBreak(name)) {
        return Fail(LineBreakRefusal("key", root_name_ + named.path + "\\" + name), error);
      }
      subkeys.push_back(name);
    }
    const std::string parent = path.back() == '\\' ? path : path + "\\";
    const std::string named_parent = named.path.back() == '\\' ? named.path : named.path + "\\";
    for (const auto& subkey : subkeys) {
      const std::string child_path = parent + subkey;
      // The subkey's name in the file when the system does not place it elsewhere.
      const std::string plain_id = LedgerKeyId(machine_, root_name_, named_parent + subkey);
      reg::UniqueKey child;
      const reg::ErrorCode rc = source_.Open(child_path, &child);
      if (rc != reg::kSuccess) {
        if (Known(plain_id)) continue;
        if (undo_) return Fail(child_path + ": " + source_.Message(rc), error);
        Exclude(plain_id, out);
        continue;
      }
      if (RedirectionNode(key, subkey, child.get())) {
        Exclude(plain_id, out);
        continue;
      }
      const EditorPaths::Named child_named =
          source_.paths().NameSubkey(named, child_path, subkey, child.get());
      const std::string child_id = LedgerKeyId(machine_, root_name_, child_named.path);
      if (Known(child_id)) continue;
      out->lines.emplace_back();
      out->lines.push_back("[" + root_name_ + child_named.path + "]");
      if (!Walk(child.get(), child_path, child_named, child_id, out, error)) return false;
    }
    return true;
  }

  // Whether subkey `name` of `parent`, opened as `child`, is the system's node of the other
  // view: a key named Wow6432Node that the system keeps somewhere else than below the parent.
  // The change does not touch that view. Every other key of that name, an ordinary one the user
  // made, belongs to the tree; so does one the system does not name, which the change moves or
  // deletes with the rest.
  bool RedirectionNode(reg::KeyHandle parent, std::string_view name, reg::KeyHandle child) {
    if (text::CompareNamesIgnoringCase(text::Utf8ToUtf16(name), kWow64Node) != 0) return false;
    reg::RegApi& api = source_.api();
    std::string parent_name;
    std::string child_name;
    if (api.KeyRealName(parent, &parent_name) != reg::kSuccess ||
        api.KeyRealName(child, &child_name) != reg::kSuccess) {
      return false;
    }
    const std::string own = parent_name + "\\" + std::string(name);
    return text::CompareNamesIgnoringCase(text::Utf8ToUtf16(child_name), text::Utf8ToUtf16(own)) !=
           0;
  }

  void Exclude(const std::string& id, Collected* out) {
    if (ledger_ != nullptr) {
      out->ledger.push_back([id](UndoLedger& ledger) { ledger.Exclude(id); });
    }
  }

  Source& source_;
  const UndoLedger* ledger_;
  std::string root_name_;
  std::string machine_;
  bool undo_;
};

}  // namespace

struct ExportSession::Sources {
  struct Entry {
    reg::KeyHandle root;
    std::string machine;
    std::unique_ptr<Source> source;
  };
  std::vector<Entry> entries;
};

ExportSession::ExportSession() : sources_(std::make_unique<Sources>()) {}
ExportSession::~ExportSession() = default;

namespace {

// The record's view of the registry: the session's for its root and machine (made at the first
// record that needs it), or without a session `own`, made for this record alone.
Source& SourceFor(ExportSession* session, std::optional<Source>& own, reg::RegApi& api,
                  reg::KeyHandle root, std::string root_name, std::string_view machine,
                  const ChangeSettings& settings,
                  const std::function<void(const std::string&)>& log,
                  const std::function<void(const std::string&)>& debug_log) {
  if (session == nullptr) {
    return own.emplace(api, root, std::move(root_name), machine, settings, log, debug_log);
  }
  auto& entries = session->sources().entries;
  for (const auto& entry : entries) {
    if (entry.root == root && entry.machine == machine) return *entry.source;
  }
  entries.push_back({root, std::string(machine),
                     std::make_unique<Source>(api, root, std::move(root_name), machine, settings,
                                              log, debug_log)});
  return *entries.back().source;
}

}  // namespace

UndoFile::UndoFile(reg::RegApi& api, std::function<void(const std::string&)> log,
                   std::function<std::string()> today,
                   std::function<void(const std::string&)> debug_log)
    : api_(&api),
      log_(std::move(log)),
      today_(today ? std::move(today) : base::LocalDateText),
      debug_log_(std::move(debug_log)) {}

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

std::vector<std::string> UndoFile::HeaderLines(std::string_view machine_name) {
  return {std::string(kRegFileSignature), "",
          Cat({";This registry file was created by Keyloom (", kProductDomain, ")"}),
          Cat({";This undo file should be run on the [", machine_name, "] machine"})};
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
  const std::vector<std::string> header = HeaderLines(machine_name);
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
                                    bool undo, std::vector<std::string>* lines,
                                    std::vector<std::function<void(UndoLedger&)>>* ledger_changes,
                                    ExportSession* session) {
  const reg::RootKey* root = reg::RootByHandle(request.root);
  if (root == nullptr) return "no root key specified";
  const std::string path = WithLeadingBackslash(request.key_path);
  const bool value =
      request.kind == RecordKind::kUpdate || !request.value_name.empty() || request.unnamed_value;
  const std::string& name = request.value_name;
  const bool after = request.kind == RecordKind::kRename && request.phase == RecordPhase::kAfter;
  // A removal reads nothing: it needs the registry only when the system must name its key.
  std::optional<Source> own;
  Source* source = nullptr;
  if (!after || ChangeView(settings) == reg::RegView::k32) {
    source = &SourceFor(session, own, *api_, root->handle, root->name, request.machine_name,
                        settings, log_, debug_log_);
  }
  const EditorPaths::Named named =
      source ? source->paths().NameOf(path) : EditorPaths::Named{path, ""};
  const std::string bracket = Cat({"[", root->name, named.path, "]"});
  const std::string id = LedgerKeyId(request.machine_name, root->name, named.path);
  const UndoLedger* ledger = undo ? &ledger_ : nullptr;
  using State = UndoLedger::State;

  if (undo && HasLineBreak(path)) return LineBreakRefusal("key", root->name + path);
  if (undo && value && HasLineBreak(name)) {
    return LineBreakRefusal("value", Cat({root->name, path, "\\", name}));
  }

  Collected collected;
  auto finish = [&] {
    *lines = std::move(collected.lines);
    *ledger_changes = std::move(collected.ledger);
    return std::string();
  };

  if (after) {
    if (value) {
      const State state = ledger_.ValueState(id, name);
      if (state == State::kPresent || state == State::kAbsent) return finish();
      collected.lines = {bracket, RegRemoveValueLine(name)};
      collected.ledger.push_back(
          [id, name, bracket](UndoLedger& l) { l.AddValue(id, name, bracket, ""); });
      return finish();
    }
    const State state = ledger_.KeyState(id);
    if (state == State::kAbsent) return finish();
    collected.lines = {"", Cat({"[-", root->name, named.path, "]"})};
    // A key the file brings back comes back exactly: its recorded contents follow its removal.
    const auto again = ledger_.RecordedLinesUnder(id);
    collected.lines.insert(collected.lines.end(), again.begin(), again.end());
    if (state != State::kPresent) {
      collected.ledger.push_back([id](UndoLedger& l) { l.AddRemoval(id); });
    }
    return finish();
  }

  Reader reader(*source, ledger, root->name, request.machine_name, undo);
  std::string error;
  if (value) {
    if (ledger != nullptr && ledger->ValueState(id, name) != State::kUnknown) return finish();
    std::string line;
    if (!reader.ValueLine(path, name, &line, &error)) {
      if (undo) return error;
      line.clear();
    }
    collected.lines = {"", bracket, line};
    if (ledger != nullptr && !line.empty()) {
      collected.ledger.push_back(
          [id, name, bracket, line](UndoLedger& l) { l.AddValue(id, name, bracket, line); });
    }
    return finish();
  }
  if (ledger != nullptr && ledger->KeyState(id) != State::kUnknown) return finish();
  collected.lines = {"", bracket};
  if (!reader.KeyTree(path, named, &collected, &error)) {
    if (undo) return error;
    collected.lines = {"", bracket};
    collected.ledger.clear();
  }
  return finish();
}

std::string UndoFile::Record(const UndoRequest& request, const ChangeSettings& settings) {
  return RecordAll({request}, settings);
}

std::string UndoFile::RecordAll(const std::vector<UndoRequest>& requests,
                                const ChangeSettings& settings) {
  std::lock_guard lock(mutex_);
  if (requests.empty()) return "";
  for (const UndoRequest& request : requests) {
    if (request.kind == RecordKind::kExport) {
      return "Unable to write to undo file [an export record has no undo file]";
    }
  }
  if (settings.default_undo != 0 && !form_noted_ && log_) {
    form_noted_ = true;
    log_(Cat({"DEFAULTUNDO=", std::to_string(settings.default_undo),
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
      error = CollectRecord(request, settings, true, &more, &more_changes);
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

std::string UndoFile::ExportLines(const UndoRequest& request, const ChangeSettings& settings,
                                  std::vector<std::string>* lines, ExportSession* session) {
  UndoRequest export_request = request;
  export_request.kind = RecordKind::kExport;
  std::vector<std::function<void(UndoLedger&)>> no_ledger;  // an export keeps no ledger
  try {
    return CollectRecord(export_request, settings, false, lines, &no_ledger, session);
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::string UndoFile::ValueText(reg::KeyHandle root, std::string_view key_path,
                                std::string_view value_name, std::string_view machine_name,
                                ValueForm form, const ChangeSettings& settings) {
  return ReadValueText(root, key_path, value_name, machine_name, form, settings)
      .value_or(std::string());
}

std::optional<std::string> UndoFile::ReadValueText(reg::KeyHandle root, std::string_view key_path,
                                                   std::string_view value_name,
                                                   std::string_view machine_name, ValueForm form,
                                                   const ChangeSettings& settings,
                                                   std::string* error, ExportSession* session) {
  std::optional<Source> own;
  Source& source =
      SourceFor(session, own, *api_, root, "", machine_name, settings, log_, debug_log_);
  if (!source.error().empty()) {
    if (error != nullptr) *error = source.error();
    return std::nullopt;
  }
  reg::UniqueKey key;
  const reg::ErrorCode rc = source.Open(key_path, &key);
  if (rc != reg::kSuccess) {
    if (error != nullptr) *error = source.Message(rc);
    return std::nullopt;
  }
  reg::RawValue value;
  if (source.api().QueryValue(key.get(), value_name, &value.type, &value.data) != reg::kSuccess) {
    return std::string();
  }
  return form == ValueForm::kRecord ? RegValueLine(value_name, value) : PlainValueText(value);
}

}  // namespace keyloom::files
