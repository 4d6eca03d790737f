#include "engine/key_walk.h"

#include <exception>
#include <utility>
#include <vector>

#include "base/text.h"
#include "engine/check_values.h"
#include "engine/key_list_entry.h"
#include "engine/match.h"
#include "engine/replace_rule.h"
#include "engine/status_log.h"
#include "registry/registry.h"

namespace keyloom::engine {
namespace {

constexpr const char* kWow64Node = "Wow6432Node";  // compared exactly, letter case included

bool Informational(const config::Settings& settings) {
  return settings.logging == 1 || settings.logging == 2;
}

std::string Child(const std::string& path, const std::string& name) {
  return path.empty() ? name : path + "\\" + name;
}

}  // namespace

const Pattern* PatternOf(WalkFrame& frame, bool case_sensitive) {
  const SearchSession& session = *frame.session;
  if (session.rules.mode == MatchMode::kText) return nullptr;
  if (!frame.pattern || frame.pattern->case_sensitive() != case_sensitive) {
    std::string error;
    frame.pattern = Pattern::Make(session.rules.mode, session.find_text,
                                  session.search_only ? "" : session.replace_text, case_sensitive,
                                  &error);
    if (!frame.pattern) throw std::runtime_error(error);
  }
  return frame.pattern.get();
}

bool ValueConsidered(const SearchSession& session, reg::DataKind kind, std::size_t size) {
  return TypeFilterAccepts(session.type_filter, kind, session.numeric,
                           session.rules.mode == MatchMode::kHex) &&
         session.rules.SizeInRange(size);
}

void RegistryWalker::WalkKey(SearchEngine& engine, reg::TRegistry& reg) {
  engine_ = &engine;
  SearchSession& session = engine.session();
  WalkFrame frame;
  frame.session = &session;
  ReadSettings(frame);
  frame.root = reg.RootKeyHandle();
  const reg::RootKey* root = reg::RootByIndex(session.root_index);
  frame.root_name = root != nullptr ? root->name : "";
  view_ = reg.View();
  frame.renamed_start = reg.CurrentPath();
  WalkLevel(frame, reg.CurrentKey(), reg.CurrentPath(), nullptr);
}

std::vector<std::string> RegistryWalker::SubkeyNames(WalkFrame& frame, reg::KeyHandle key,
                                                     std::uint32_t count) {
  std::vector<std::string> names;
  if (count != 0xFFFFFFFF) names.reserve(count);
  std::string name;
  reg::ErrorCode rc = reg::kSuccess;
  for (std::uint32_t i = 0; i < count && (rc = context_.api->EnumKey(key, i, &name)) == reg::kSuccess;
       ++i) {
    names.push_back(std::move(name));
  }
  if (rc != reg::kSuccess && rc != reg::kNoMoreItems) frame.call_failed = true;
  return names;
}

bool RegistryWalker::KeyGone(reg::KeyHandle key) {
  reg::KeyInfo info;
  return context_.api->QueryInfoKey(key, &info) != reg::kSuccess;
}

void RegistryWalker::WalkLevel(WalkFrame& frame, reg::KeyHandle key, const std::string& path,
                               std::vector<std::string>* read_names) {
  SearchSession& session = *frame.session;
  // frame.settings were read for this key by its examination (or by WalkKey for the start key).
  if (session.depth > kDepthLimit) {
    if (frame.settings.logging == kLoggingDebug) {
      context_.debug_file("Subtree Depth has hit " + std::to_string(kDepthLimit) +
                       ", skipping tree [\\" + path + "]");
    }
    return;
  }
  if (engine_->stop_requested()) return;
  ++session.depth;

  // The name list is read once: keys created or removed meanwhile do not change it.
  const std::vector<std::string> names =
      read_names != nullptr ? std::move(*read_names) : SubkeyNames(frame, key);
  const bool call_failed_above = frame.call_failed;
  frame.call_failed = false;

  if (session.depth == 1 && !path.empty()) {
    // The start key of a follow-up pass: its own values are examined too.
    const auto slash = path.rfind('\\');
    const std::string key_name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string parent =
        slash == std::string::npos ? "\\" : "\\" + path.substr(0, slash) + "\\";
    try {
      CheckValues(frame, context_, key, key_name, parent);
    } catch (const std::exception& error) {
      NotExamined(session, parent + key_name, error);
    }
  }

  const std::string parent_display = path.empty() ? "\\" : "\\" + path + "\\";
  // The key being walked must still be there for each of its subkeys: opening the next subkey
  // tells (a handle of a deleted key answers "key deleted"). After the last one, the reads below
  // it tell, since its subkeys are deleted with it: when a call below it failed, the key is
  // asked, and only then.
  bool completed = true;
  for (const auto& subkey : names) {
    if (!engine_->PausePoint()) {
      completed = false;
      break;
    }
    if (!ExamineSubkey(frame, key, path, subkey, parent_display)) {
      session.abandon = true;
      completed = false;
      break;
    }
  }
  if (completed && !names.empty() && frame.call_failed && KeyGone(key)) session.abandon = true;
  frame.call_failed = frame.call_failed || call_failed_above;
  --session.depth;
}

reg::KeyHandle RegistryWalker::OpenSubkey(reg::KeyHandle parent, const std::string& name) {
  reg::KeyHandle child = reg::kNullKey;
  const reg::ErrorCode rc =
      context_.api->OpenKey(parent, name, reg::kAccessModeMasks[1] | reg::ViewFlag(view_), &child);
  last_error_ = rc;
  return rc == reg::kSuccess ? child : reg::kNullKey;
}

bool RegistryWalker::ExamineSubkey(WalkFrame& frame, reg::KeyHandle parent, const std::string& path,
                                   const std::string& name, const std::string& parent_display) {
  SearchSession& session = *frame.session;
  ReadSettings(frame);
  const config::Settings& settings = frame.settings;
  // The subkey's full path, made only for the lines and the errors that name it.
  auto full = [&parent_display, &name] { return parent_display + name; };
  std::string security_path;
  bool permissions_changed = false;
  reg::TAccessControlList saved;
  // Made only when a key refuses access, which is rare.
  auto repair = [this, &session] { return context_.RepairOn({session.machine, view_}); };
  try {
    // A run restricted to items enters only the keys on the way to them.
    if (session.only && !session.only->Enters(session.root_index, full())) return true;
    if (name == kWow64Node) {
      if (KeyGone(parent)) return false;
      Log("Skipping WoW6432Node : " + full());
      return true;
    }
    if (!session.exclusions.empty()) {
      const int excluded = session.exclusions.At(session.root_index, full());
      if (excluded >= 0) {
        ++session.exclusion_hits[static_cast<std::size_t>(excluded)];
        if (Informational(settings)) Log("Skipping Excluded Key : " + full());
        return true;
      }
    }
    reg::UniqueKey child(*context_.api, OpenSubkey(parent, name));
    if (!child && last_error_ == reg::kKeyDeleted) return false;
    if (!child && settings.fixperms) {
      security_path = Child(path, name);
      if (Informational(settings)) {
        Log("Security - Error accessing registry " + name + " [" + ErrorText(last_error_) +
            "], attempting to modify perissions");
      }
      permissions_changed = reg::AddKeySecurity(repair(), session.root_index, security_path, saved);
      child = reg::UniqueKey(*context_.api, OpenSubkey(parent, name));
      if (child && Informational(settings)) {
        Log("Security - Re-open of key after permission change successful");
      }
    }
    if (child) {
      ++session.keys_examined;
      if (!context_.silent) {
        context_.output->SetStatusBarText("Analyzing [" + std::to_string(session.depth) +
                                       "] : " + (path.empty() ? "\\" : "\\" + path));
      }
      // The counts bound the reads of the values and of the subkey names, which saves the two
      // calls that would only answer "no more items".
      reg::KeyInfo info;
      const reg::ErrorCode info_rc = context_.api->QueryInfoKey(child.get(), &info);
      if (info_rc != reg::kSuccess) {
        frame.call_failed = true;
        info.value_count = kAllValues;
        info.subkey_count = 0xFFFFFFFF;
      }
      frame.key_written = info.last_write_time;
      // A key written outside the time range has no hits of its own; its subkeys may.
      const bool in_range = session.rules.KeyWrittenInRange(frame.key_written);
      if (in_range && context_.controls->IncludeKeyNames()) {
        CheckKeyName(frame, &child, parent_display, name);
      }
      if (child && in_range) {
        CheckValues(frame, context_, child.get(), name, parent_display, info.value_count);
      }
      std::vector<std::string> names;
      if (child && info.subkey_count > 0) {
        names = SubkeyNames(frame, child.get(), info.subkey_count);
      }
      if (!names.empty()) {
        if (name.empty() || name.back() == '\\') {
          Log("Registry Error found at :" + full());
        } else {
          WalkLevel(frame, child.get(), Child(path, name), &names);
        }
      }
    } else {
      frame.call_failed = true;
      ++session.unreadable_count;
      Log("Unable to open key : " + full() + " - [" + ErrorText(last_error_) + "]");
    }
  } catch (const std::exception& error) {
    // An error that is not one value's ends the examination of the subkey, its subtree included.
    frame.call_failed = true;
    NotExamined(session, full(), error);
  }
  if (permissions_changed) {
    ReadSettings(frame);
    if (Informational(frame.settings)) {
      Log("Security - Registry permissions have been changed, setting permissions back to "
          "original settings");
    }
    reg::RestoreKeySecurity(repair(), session.root_index, security_path, saved);
  }
  return true;
}

void RegistryWalker::CheckKeyName(WalkFrame& frame, reg::UniqueKey* child,
                                  const std::string& parent_display, const std::string& name) {
  SearchSession& session = *frame.session;
  // Most keys do not match: their full path is made only when a line or the item list needs it.
  if (frame.settings.logging == kLoggingDebug) {
    Log("Checking KEY NAME [" + parent_display + name + "]", true);
  }
  const int item = session.only ? session.only->KeyItem(session.root_index, parent_display + name)
                                : 0;
  if (item < 0) return;
  if (!KeyNameMatches(frame, parent_display, name)) return;
  const std::string full = parent_display + name;
  Log("Tree Found : " + full + "\t");
  ++session.matched_count;
  const std::string root_name = frame.root_name;
  HitDetails hit;
  hit.modified = frame.key_written;
  hit.user = session.user;
  const auto show = [&](const std::string& path) {
    ShowHit(session, context_, item, MakeKeyListEntry(root_name, path, ""), hit);
  };
  if (session.search_only) {
    show(full);
    return;
  }
  const bool delete_mode = context_.controls->DeleteMode();
  // A key this run renamed already, reached again under another root, keeps its name; it is
  // walked like any key.
  if (!delete_mode &&
      session.changed_items.count(
          RunItem(RunKeyId(frame, context_, child->get(), full), ItemChange::kKeyName)) != 0) {
    if (!session.only) context_.output->AddKeyListEntry(MakeKeyListEntry(root_name, full, ""));
    return;
  }
  child->Reset();
  const bool create_undo = (frame.settings.undo & config::kUndoDeletes) != 0;
  if (delete_mode) {
    change::TRegAction action = NewRunAction(frame, context_, full, create_undo);
    const bool made = MakeRunChange(session, context_, action, change::ChangeOp::kDelete,
                                    "Key Deleted Successfully");
    NoteResult(hit, action, made, change::ChangeResult::kDeleted);
    show(full);
    return;
  }
  bool counted = false;  // the rename was counted, made or refused
  try {
    const std::string renamed = RenamedPath(frame, full);
    change::TRegAction action = NewRunAction(frame, context_, full, create_undo);
    action.ActionKind = change::akRename;
    action.NewData = renamed;
    const bool made = MakeRunChange(session, context_, action, change::ChangeOp::kExecute,
                                    "Key Renamed Successfully");
    counted = true;
    NoteResult(hit, action, made, change::ChangeResult::kRenamed);
    reg::KeyHandle moved = reg::kNullKey;
    if (context_.api->OpenKey(frame.root, reg::WithoutLeadingBackslash(renamed),
                           reg::access::kQueryValue | reg::ViewFlag(view_),
                           &moved) == reg::kSuccess) {
      const reg::UniqueKey guard(*context_.api, moved);
      session.changed_items.insert(
          RunItem(RunKeyId(frame, context_, moved, renamed), ItemChange::kKeyName));
      Log("New Tree is : " + renamed);
      session.renamed_keys.push_back({session.root_index, renamed});
      // The row shows the key as it is now: its new name and time.
      const std::uint64_t written =
          ReadHitDetails(*context_.api, moved, nullptr, FoundIn::kKeyName).modified;
      if (written != 0) hit.modified = written;
      if (session.only) session.only->Renamed(session.root_index, full, renamed);
      show(renamed);
    } else {
      show(full);
      Log("Error: Unable to Rename Key.");
    }
  } catch (const std::exception&) {
    Log("Unable to Rename Key.");
    if (!counted) CountChange(session, *context_.output, false);
    NoteFailure(hit, "Unable to Rename Key.");
    show(full);
  }
}

bool RegistryWalker::KeyNameMatches(WalkFrame& frame, const std::string& parent_display,
                                    const std::string& name) {
  const bool case_sensitive = context_.controls->CaseSensitive();
  const Pattern* pattern = PatternOf(frame, case_sensitive);
  if (pattern == nullptr) {
    const MatchOptions options{case_sensitive, frame.settings.wholenum};
    return MatchText(frame.session->find_text, name, reg::DataKind::kString, false, options);
  }
  try {
    return pattern->Matches(std::string_view(name));
  } catch (const PatternTooComplex& error) {
    // The key's values and subkeys are examined all the same.
    ++frame.session->unreadable_values;
    Log("Unable to match key name [" + parent_display + name + "], skipping [" + error.what() +
        "]");
    return false;
  }
}

std::string RegistryWalker::RenamedPath(WalkFrame& frame, const std::string& full) const {
  const SearchSession& session = *frame.session;
  const bool case_sensitive = context_.controls->CaseSensitive();
  const Pattern* pattern = PatternOf(frame, case_sensitive);
  const ReplaceRule rule(session.find_text, session.replace_text, case_sensitive, pattern);
  if (pattern != nullptr || session.only) {
    // A pattern is matched against the key's name: only the name is replaced. A run restricted
    // to items renames the key alone too: the keys above it are items of their own, or not the
    // run's to change.
    const std::size_t slash = full.rfind('\\');
    return full.substr(0, slash + 1) + rule.Replace(std::string_view(full).substr(slash + 1));
  }
  // Below a renamed key (a follow-up pass) the key's new name holds the replacement already: only
  // what lies below it is replaced, or a replacement that contains the find text would grow it
  // again and move the subkey out of its renamed parent.
  const std::string& kept = frame.renamed_start;
  if (!kept.empty() && full.size() > kept.size() + 1 && full[kept.size() + 1] == '\\' &&
      full.compare(1, kept.size(), kept) == 0) {
    return "\\" + kept + rule.Replace(std::string_view(full).substr(kept.size() + 1));
  }
  return rule.Replace(full);
}

void RegistryWalker::NotExamined(SearchSession& session, const std::string& full,
                                 const std::exception& error) {
  ++session.unreadable_count;
  Log("Unable to examine key [" + full + "], skipping [" + error.what() + "]");
}

std::string RegistryWalker::ErrorText(reg::ErrorCode code) {
  return text::TrimMessage(context_.api->ErrorMessage(code));
}

}  // namespace keyloom::engine
