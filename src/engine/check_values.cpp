#include "engine/check_values.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "base/text.h"
#include "engine/key_list_entry.h"
#include "engine/match.h"
#include "engine/replace_rule.h"
#include "engine/status_log.h"
#include "files/reg_file_format.h"
#include "registry/registry.h"

namespace keyloom::engine {
namespace {

// Where the pattern gave up on a value while it was read: the checks report that error where they
// would meet it, without matching the value again.
struct GaveUp {
  std::exception_ptr error;  // null: it did not give up
  bool on_name = false;      // on the value's name, else on its data
};

// One value as the checks need it: its name, its type and its text (ValueText), made while the
// value is read so that its data need not be kept.
struct ValueEntry {
  std::string name;
  std::uint32_t type = reg::kRegNone;
  std::string text;
  NumberTexts number;       // a REG_DWORD's or REG_QWORD's texts
  std::size_t size = 0;     // of its data, in bytes
  bool unreadable = false;  // a number of the wrong size: it cannot be read as its kind
  reg::Bytes raw;           // its data, kept in the Hex mode alone
  GaveUp gave_up;
};

bool IsNumber(reg::DataKind kind) {
  return kind == reg::DataKind::kInteger || kind == reg::DataKind::kInt64;
}

bool Unreadable(reg::DataKind kind, std::size_t size) {
  return (kind == reg::DataKind::kInteger && size != 4) ||
         (kind == reg::DataKind::kInt64 && size != 8);
}

ValueEntry EntryOf(const reg::ValueBuffer& value, bool keep_raw) {
  ValueEntry entry;
  if (keep_raw) entry.raw.assign(value.data().begin(), value.data().end());
  entry.name = text::Utf16ToUtf8(value.name());
  entry.type = value.type();
  entry.size = value.data().size();
  const reg::DataKind kind = reg::KindOfType(value.type());
  entry.unreadable = Unreadable(kind, entry.size);
  if (entry.unreadable) return entry;
  if (IsNumber(kind)) {
    entry.number = NumberTexts(value.type(), value.data());
    entry.text = entry.number.texts().front();
  } else {
    entry.text = ValueText(value.type(), value.data());
  }
  return entry;
}

// The find text made ready for matching values as they are read, once for the walk (again when
// the case rule changes).
const FindUnits& FindUnitsOf(WalkFrame& frame, bool case_sensitive) {
  const std::string& text = frame.session->find_text;
  std::optional<FindUnits>& find = frame.find_units;
  if (!find || find->text() != text || find->case_sensitive() != case_sensitive) {
    find.emplace(text, case_sensitive);
  }
  return *find;
}

// The text of a value's data a pattern found, or null. The string kinds are matched up to their
// first NUL, a multi-string element by element; Hex looks at the raw bytes of every kind.
const std::string* PatternFound(const Pattern& pattern, const ValueEntry& value,
                                reg::DataKind kind) {
  if (pattern.mode() == MatchMode::kHex) return pattern.MatchesBytes(value.raw) ? &value.text : nullptr;
  switch (kind) {
    case reg::DataKind::kString:
    case reg::DataKind::kExpandString:
      return pattern.Matches(std::string_view(value.text)) ? &value.text : nullptr;
    case reg::DataKind::kMultiString:
      for (const std::string_view element : MultiStringElements(value.text)) {
        if (pattern.Matches(element)) return &value.text;
      }
      return nullptr;
    default:  // numbers: ReplaceRule::NumberFound
      return nullptr;
  }
}

// PatternFound on a value as it is read, its strings matched in the registry's UTF-16.
bool PatternMatchesData(const Pattern& pattern, const reg::ValueBuffer& value) {
  if (pattern.mode() == MatchMode::kHex) return pattern.MatchesBytes(value.data());
  const std::u16string_view units = value.data_units();
  switch (reg::KindOfType(value.type())) {
    case reg::DataKind::kString:
    case reg::DataKind::kExpandString:
      return pattern.Matches(units.substr(0, units.find(u'\0')));
    case reg::DataKind::kMultiString:
      for (std::size_t start = 0; start < units.size();) {
        const std::size_t end = std::min(units.find(u'\0', start), units.size());
        if (pattern.Matches(units.substr(start, end - start))) return true;
        start = end + 1;
      }
      return false;
    case reg::DataKind::kInteger:
    case reg::DataKind::kInt64:
    {
      const NumberTexts number(value.type(), value.data());
      for (const std::string& text : number.texts()) {
        if (pattern.Matches(std::string_view(text))) return true;
      }
      return false;
    }
    default:
      return false;
  }
}

bool PatternMatchesName(const Pattern& pattern, std::u16string_view name) {
  static const std::u16string kDefaultName = text::Utf8ToUtf16(reg::kDefaultValueName);
  return pattern.mode() != MatchMode::kHex &&
         pattern.Matches(name.empty() ? std::u16string_view(kDefaultName) : name);
}

std::string HexText(const reg::Bytes& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kHex[byte >> 4];
    text += kHex[byte & 0xF];
  }
  return text;
}

std::string NulsAsBlanks(std::string text) {
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
  return text;
}

// The run's options for one key's values, read once for the key.
struct ValueOptions {
  bool case_sensitive = false;
  bool contents = false;  // value contents are searched
  bool names = false;     // value names are searched
};

// Whether the checks must see the value just read: one they pass over without a word needs no
// entry, no text form and no name in UTF-8. Most values are such. `find` is made with the
// options' case rule.
bool Wanted(const WalkFrame& frame, const ValueOptions& options, const FindUnits& find,
            const Pattern* pattern, const reg::ValueBuffer& value, GaveUp* gave_up) {
  const reg::DataKind kind = reg::KindOfType(value.type());
  const SearchSession& session = *frame.session;
  if (!ValueConsidered(session, kind, value.data().size())) return false;
  // The debug log shows every value; a find text with stray bytes is matched on text alone.
  if (frame.settings.logging == kLoggingDebug || !find.usable()) return true;
  if (Unreadable(kind, value.data().size())) return true;
  if (kind == reg::DataKind::kUnknown && frame.settings.logging == kLoggingInformational) {
    return true;
  }
  if (pattern != nullptr) {
    bool on_name = false;
    try {
      if (options.contents && PatternMatchesData(*pattern, value)) return true;
      on_name = true;
      return options.names && PatternMatchesName(*pattern, value.name());
    } catch (const PatternTooComplex&) {
      *gave_up = {std::current_exception(), on_name};
      return true;  // the checks report it for this value
    }
  }
  return (options.contents &&
          MatchData(find, value, {options.case_sensitive, frame.settings.wholenum})) ||
         (options.names && MatchName(find, value.name()));
}

class ValueChecker {
 public:
  ValueChecker(WalkFrame& frame, const RunContext& context, reg::KeyHandle key,
               const std::string& key_name, const std::string& parent_display,
               const ValueOptions& options, const Pattern* pattern)
      : frame_(frame),
        context_(context),
        session_(*frame.session),
        key_(key),
        key_path_(parent_display + key_name),
        find_(session_.find_text),
        options_(options),
        pattern_(pattern),
        rule_(find_, session_.replace_text, options.case_sensitive, pattern) {}

  void Check(const ValueEntry& value) {
    const reg::DataKind kind = reg::KindOfType(value.type);
    if (!ValueConsidered(session_, kind, value.size)) return;
    if (value.unreadable) {
      const std::string bytes = value.size == 1 ? " byte" : " bytes";
      NotExamined("Unable to read value [" + key_path_ + "\\" + DisplayName(value.name) + "] as " +
                  TypeName(value.type) + " (" + std::to_string(value.size) + bytes + "), skipping");
      return;
    }
    const std::string& text = value.text;
    if (kind == reg::DataKind::kUnknown && frame_.settings.logging == kLoggingInformational) {
      Log("Unrecognized Data Type in key [" + key_path_ + "\\" + value.name + "], skipping.");
    }
    if (options_.contents) CheckData(value, kind, text);
    if (options_.names) CheckName(value, kind);
  }

  // An error raised while `value` was examined.
  void Failed(const ValueEntry& value, const std::exception& error) {
    NotExamined("Unable to examine value [" + key_path_ + "\\" + DisplayName(value.name) +
                "], skipping [" + error.what() + "]");
  }

 private:
  // A value the checks cannot go through: named in the log and counted; the key's other values
  // and its subkeys are examined as usual.
  void NotExamined(const std::string& line) {
    Log(line);
    ++session_.unreadable_values;
  }
  void Log(const std::string& text, bool debug_only = false) { context_.log(text, debug_only); }
  MatchOptions Options() const { return {options_.case_sensitive, frame_.settings.wholenum}; }
  // The hit's row as the value is found, with its data as the Key List shows it: read again for
  // the hit alone, so that the many values without a hit cost no preview.
  HitDetails Found(const ValueEntry& value, FoundIn found_in) {
    HitDetails row = ReadHitDetails(*context_.api, key_, &value.name, found_in, false);
    if (row.type.empty()) row.type = TypeName(value.type);
    row.modified = frame_.key_written;
    row.user = session_.user;
    return row;
  }
  // The row after a change that was made for real: the value read again under `name` (its new
  // name after a rename), with the key's new time. A value that cannot be read keeps the row.
  void ReadAgain(HitDetails& row, const std::string& name) {
    if (row.result != change::ChangeResult::kReplaced &&
        row.result != change::ChangeResult::kRenamed) {
      return;
    }
    HitDetails now = ReadHitDetails(*context_.api, key_, &name, row.found_in, true);
    if (now.type.empty()) return;
    now.result = row.result;
    now.user = std::move(row.user);
    row = std::move(now);
  }
  void AddRow(int item, const std::string& shown, const HitDetails& row) {
    ShowHit(session_, context_, item, MakeKeyListEntry(frame_.root_name, key_path_, shown), row);
  }

  // The session's entry for a change of the value; the key is asked for its name once.
  std::string Item(ItemChange change, std::string_view value_name) {
    if (key_id_.empty()) key_id_ = RunKeyId(frame_, context_, key_, key_path_);
    return RunItem(key_id_, change, value_name);
  }
  bool Changed(ItemChange change, std::string_view value_name) {
    return session_.changed_items.count(Item(change, value_name)) != 0;
  }
  // Remembers a change; false when the session's memory cannot grow.
  bool Mark(ItemChange change, std::string_view value_name) {
    try {
      session_.changed_items.insert(Item(change, value_name));
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  // Remembers the change about to be made. One that cannot be remembered is not made, since it
  // could be made twice; it counts as refused.
  bool MarkBefore(ItemChange change, const ValueEntry& value, HitDetails& row) {
    if (Mark(change, value.name)) return true;
    Log("Not changed, out of memory [" + key_path_ + "\t" + DisplayName(value.name) + "]");
    CountChange(session_, *context_.output, false);
    NoteFailure(row, "out of memory");
    return false;
  }

  void CheckData(const ValueEntry& value, reg::DataKind kind, const std::string& text) {
    if (frame_.settings.logging == kLoggingDebug) {
      Log("Checking VALUE DATA [" + NulsAsBlanks(text) + "]", true);
    }
    const std::string shown = DisplayName(value.name);
    const int item = ItemOfValue(session_, key_path_, shown, FoundIn::kData);
    if (item < 0) return;
    if (value.gave_up.error && !value.gave_up.on_name) std::rethrow_exception(value.gave_up.error);
    // A number is found by any of its texts, and replaced in the one it was found by.
    const std::string* found = &text;
    const bool hex = pattern_ != nullptr && pattern_->mode() == MatchMode::kHex;
    if (IsNumber(kind) && !hex) {
      found = rule_.NumberFound(value.number, frame_.settings.wholenum);
      if (found == nullptr) return;
    } else if (pattern_ != nullptr) {
      found = PatternFound(*pattern_, value, kind);
      if (found == nullptr) return;
    } else if (!MatchText(find_, text, kind, true, Options())) {
      return;
    }
    HitDetails row = Found(value, FoundIn::kData);
    Log("Found in Key  : " + key_path_ + "\t" + shown);
    ++session_.matched_count;
    if (frame_.settings.logging == kLoggingInformational) {
      Log("Original String is : " + NulsAsBlanks(*found));
    }
    if (!session_.search_only) ChangeData(value, kind, *found, row);
    AddRow(item, shown, row);
  }

  // A Hex run's change: the bytes replaced in the value's data, whatever its kind.
  void ReplaceBytes(const ValueEntry& value, bool* counted, HitDetails& row) {
    change::TRegAction action =
        NewRunAction(frame_, context_, key_path_, (frame_.settings.undo & config::kUndoEdits) != 0);
    action.ActionKind = change::akUpdate;
    action.ValueName = value.name;
    action.NewBytes = pattern_->ReplaceBytes(value.raw);
    const std::string success_line = frame_.settings.logging == kLoggingInformational
                                         ? "New Data is : " + HexText(*action.NewBytes)
                                         : std::string();
    const bool made =
        MakeRunChange(session_, context_, action, change::ChangeOp::kExecute, success_line);
    *counted = true;
    NoteResult(row, action, made, change::ChangeResult::kReplaced);
  }

  // The run's change of a value whose data holds the find text; what it did goes on `row`.
  void ChangeData(const ValueEntry& value, reg::DataKind kind, const std::string& found,
                  HitDetails& row) {
    if (context_.controls->DeleteMode()) {
      DeleteValue(value, row);
      return;
    }
    // Data this run wrote already (the value reached again under another root) stays as it is.
    if (Changed(ItemChange::kData, value.name)) return;
    if (!MarkBefore(ItemChange::kData, value, row)) return;
    bool counted = false;
    try {
      ReplaceData(value, kind, found, &counted, row);
    } catch (const std::exception&) {
      Log("Unable to Replace String.");
      if (!counted) CountChange(session_, *context_.output, false);
      NoteFailure(row, "Unable to Replace String.");
    }
    ReadAgain(row, value.name);
  }

  // Sets `*counted` once the change has been counted, made or refused.
  void ReplaceData(const ValueEntry& value, reg::DataKind kind, const std::string& text,
                   bool* counted, HitDetails& row) {
    if (pattern_ != nullptr && pattern_->mode() == MatchMode::kHex) {
      ReplaceBytes(value, counted, row);
      return;
    }
    const bool informational = frame_.settings.logging == kLoggingInformational;
    std::string replaced;
    std::string success_line;  // shown at the informational level once the value is written
    switch (kind) {
      case reg::DataKind::kString:
      case reg::DataKind::kExpandString:
        replaced = rule_.Replace(text);
        success_line = "New String is : " + replaced;
        break;
      case reg::DataKind::kInteger:
      case reg::DataKind::kInt64:
        replaced = rule_.Replace(text);
        success_line = "New Integer is : " + replaced;
        break;
      case reg::DataKind::kMultiString:
        replaced = rule_.ReplaceMultiString(text);
        success_line = "New MultiString is : " + NulsAsBlanks(replaced);
        break;
      default:
        return;  // nothing to replace in other kinds, nothing counted
    }
    if (!informational) success_line.clear();
    change::TRegAction action =
        NewRunAction(frame_, context_, key_path_, (frame_.settings.undo & config::kUndoEdits) != 0);
    action.ActionKind = change::akUpdate;
    action.ValueName = value.name;
    action.NewData = replaced;
    const bool made =
        MakeRunChange(session_, context_, action, change::ChangeOp::kExecute, success_line);
    *counted = true;
    NoteResult(row, action, made, change::ChangeResult::kReplaced);
    if (made && kind == reg::DataKind::kMultiString) {
      Log("New String is : " + NulsAsBlanks(replaced));
    }
  }

  void CheckName(const ValueEntry& value, reg::DataKind kind) {
    std::string shown = DisplayName(value.name);
    if (frame_.settings.logging == kLoggingDebug) Log("Checking VALUE NAME [" + shown + "]", true);
    const int item = ItemOfValue(session_, key_path_, shown, FoundIn::kValueName);
    if (item < 0) return;
    if (value.gave_up.error && value.gave_up.on_name) std::rethrow_exception(value.gave_up.error);
    if (pattern_ != nullptr) {
      if (!PatternMatchesName(*pattern_, text::Utf8ToUtf16(value.name))) return;
    } else if (!MatchText(find_, shown, kind, false, Options())) {
      return;
    }
    HitDetails row = Found(value, FoundIn::kValueName);
    Log("Key Found : " + key_path_ + "\t" + shown);
    ++session_.matched_count;
    if (!session_.search_only) ChangeName(value, shown, row);
    AddRow(item, shown, row);
  }

  // The run's change of a value whose name holds the find text; what it did goes on `row`, and a
  // renamed value's new name to `shown`.
  void ChangeName(const ValueEntry& value, std::string& shown, HitDetails& row) {
    if (context_.controls->DeleteMode()) {
      DeleteValue(value, row);
      return;
    }
    if (Changed(ItemChange::kValueName, value.name)) return;
    if (!MarkBefore(ItemChange::kValueName, value, row)) return;
    const std::string new_name = rule_.Replace(shown);
    change::TRegAction action =
        NewRunAction(frame_, context_, key_path_, (frame_.settings.undo & config::kUndoEdits) != 0);
    action.ActionKind = change::akRename;
    action.ValueName = value.name;
    action.UnnamedValue = value.name.empty();
    action.NewData = new_name;
    const bool made = MakeRunChange(session_, context_, action, change::ChangeOp::kExecute,
                                    "New Key is : " + new_name);
    NoteResult(row, action, made, change::ChangeResult::kRenamed);
    if (!made) return;
    // The value goes on under its new name with what was done to it.
    Mark(ItemChange::kValueName, new_name);
    if (Changed(ItemChange::kData, value.name)) Mark(ItemChange::kData, new_name);
    if (row.result == change::ChangeResult::kRenamed) {
      shown = new_name;
      ReadAgain(row, new_name);
    }
  }

  // Deletes exactly the value, the unnamed one included (never its key), once: a value hit by its
  // data and by its name is gone after the first deletion.
  void DeleteValue(const ValueEntry& value, HitDetails& row) {
    // Deleted a moment ago by this run, for its other hit: the row says so once the value is gone.
    if (Changed(ItemChange::kRemoval, value.name)) {
      std::uint32_t type = 0;
      reg::Bytes data;
      if (context_.api->QueryValue(key_, value.name, &type, &data) == reg::kFileNotFound) {
        row.result = change::ChangeResult::kDeleted;
      }
      return;
    }
    if (!MarkBefore(ItemChange::kRemoval, value, row)) return;
    change::TRegAction action = NewRunAction(frame_, context_, key_path_,
                                             (frame_.settings.undo & config::kUndoDeletes) != 0);
    action.ValueName = value.name;
    action.UnnamedValue = value.name.empty();
    const bool made = MakeRunChange(session_, context_, action, change::ChangeOp::kDelete,
                                    "Key Value Deleted Successfully");
    NoteResult(row, action, made, change::ChangeResult::kDeleted);
  }

  WalkFrame& frame_;
  const RunContext& context_;
  SearchSession& session_;
  reg::KeyHandle key_;
  std::string key_id_;  // RunKeyId of the key, asked for at the first change
  std::string key_path_;
  const std::string& find_;
  const ValueOptions options_;
  const Pattern* pattern_;  // null in the Text mode
  const ReplaceRule rule_;
};

}  // namespace

std::string RunKeyId(const WalkFrame& frame, const RunContext& context, reg::KeyHandle key,
                     const std::string& key_path) {
  std::string name;
  if (context.api->KeyRealName(key, &name) == reg::kSuccess) return text::FoldName(name);
  return text::FoldName(text::Cat({"\x01", std::to_string(frame.session->root_index), key_path}));
}

std::string RunItem(const std::string& key_id, ItemChange change, std::string_view value_name) {
  std::string item = key_id;
  item += '\n';
  item += static_cast<char>(change);
  item += text::FoldName(value_name);
  return item;
}

change::TRegAction NewRunAction(const WalkFrame& frame, const RunContext& context,
                              const std::string& key_path, bool create_undo) {
  change::TRegAction action = change::TRegAction::Create(
      *context.api, *context.undo, context.ChangeSettingsOn(frame.session->machine));
  action.RootKey = reg::RootByIndex(frame.session->root_index)->handle;
  action.KeyPath = key_path;
  action.CreateUndo = create_undo;
  action.MachineName = frame.session->machine;
  return action;
}

bool MakeRunChange(SearchSession& session, const RunContext& context, change::TRegAction& action,
                   change::ChangeOp op, std::string_view success_line) {
  const bool made = change::MakeChange(
      action, op, [&context](const std::string& line) { context.log(line, false); }, success_line);
  CountChange(session, *context.output, made);
  return made;
}

void ShowHit(SearchSession& session, const RunContext& context, int item, std::string row,
             const HitDetails& details) {
  if (!session.only) {
    context.output->AddKeyListHit(std::move(row), details);
    return;
  }
  if (session.only->lists_rows()) context.output->AddKeyListHit(row, details);
  session.only->Reach(item, std::move(row), details);
}

int ItemOfValue(const SearchSession& session, const std::string& key_path,
                std::string_view shown_name, FoundIn found_in) {
  if (!session.only) return 0;
  return session.only->ValueItem(session.root_index, key_path, shown_name, found_in);
}

void NoteResult(HitDetails& row, const change::TRegAction& action, bool made,
                change::ChangeResult done) {
  row.result = change::ResultOf(action, made, done);
  if (!made) NoteFailure(row, action.ErrorText);
}

void NoteFailure(HitDetails& row, std::string_view reason) {
  row.result = change::ChangeResult::kFailed;
  row.reason = change::OneLineReason(reason);
}

void CheckValues(WalkFrame& frame, const RunContext& context, reg::KeyHandle key,
                 const std::string& key_name, const std::string& parent_display,
                 std::uint32_t value_count) {
  const ValueOptions options{context.controls->CaseSensitive(),
                             context.controls->IncludeValueContents(),
                             context.controls->IncludeValueNames()};
  const FindUnits& find = FindUnitsOf(frame, options.case_sensitive);
  const Pattern* pattern = PatternOf(frame, options.case_sensitive);
  const bool keep_raw = pattern != nullptr && pattern->mode() == MatchMode::kHex;
  reg::ValueBuffer& room = frame.value_room;
  // Every value is read before any is checked: a change made by a check must not alter what the
  // reading sees (a renamed or deleted value moves the others' indexes).
  std::vector<ValueEntry> kept;  // most keys keep none: no allocation then
  for (std::uint32_t i = 0; i < value_count; ++i) {
    const reg::ErrorCode rc = context.api->EnumValueInto(key, i, &room);
    if (rc == reg::kNoMoreItems) break;
    if (rc != reg::kSuccess) {
      // Named by its place alone, as its name is not known; the values after it are read on
      // while the key's count of values bounds the reading.
      frame.call_failed = true;
      ++frame.session->unreadable_values;
      context.log("Unable to read value " + std::to_string(i) + " of key [" + parent_display +
                      key_name + "], skipping [" +
                      text::TrimMessage(context.api->ErrorMessage(rc)) + "]",
                  false);
      if (value_count == kAllValues) break;
      continue;
    }
    GaveUp gave_up;
    if (Wanted(frame, options, find, pattern, room, &gave_up)) {
      kept.push_back(EntryOf(room, keep_raw));
      kept.back().gave_up = std::move(gave_up);
    }
  }
  if (kept.empty()) return;
  ValueChecker checker(frame, context, key, key_name, parent_display, options, pattern);
  for (const auto& value : kept) {
    try {
      checker.Check(value);
    } catch (const std::exception& error) {
      checker.Failed(value, error);
    }
  }
}

}  // namespace keyloom::engine
