// CheckValues: every value of one open key, filtered by type, matched by data and by name, listed,
// and in replace and delete runs replaced, renamed or deleted through single registry actions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "change/change_report.h"
#include "change/reg_action.h"
#include "engine/key_walk.h"

namespace keyloom::engine {

// CheckValues reads every value the key holds when `value_count` is kAllValues, else at most
// `value_count` (the count the caller has just asked the registry for).
inline constexpr std::uint32_t kAllValues = 0xFFFFFFFF;

// `key` is open with query access; `parent_display` followed by `key_name` is the key's full path
// as the status log names it. A value that cannot be read, or read as its kind (a REG_DWORD that
// does not hold 4 bytes), or whose examination fails, is named in the status log and counted in the session's unreadable values;
// the key's other values are examined all the same.
void CheckValues(WalkFrame& frame, const RunContext& context, reg::KeyHandle key,
                 const std::string& key_name, const std::string& parent_display,
                 std::uint32_t value_count = kAllValues);

// What a run changes about an item; with RunItem, the item's entry in the session's changed items.
enum class ItemChange : char {
  kKeyName = 'K',    // a key's name (its entry holds the renamed key's new name)
  kData = 'D',       // a value's data
  kValueName = 'N',  // a value's name
  kRemoval = 'X',    // a value's removal
};

// The system's name of the open `key`, letter case folded: the same key reached under two roots
// (HKEY_CURRENT_USER and HKEY_USERS\<sid>, HKEY_CLASSES_ROOT and the classes below
// HKEY_LOCAL_MACHINE and the user) has one name. A key the system does not name is known by the
// run's root and `key_path` instead.
std::string RunKeyId(const WalkFrame& frame, const RunContext& context, reg::KeyHandle key,
                     const std::string& key_path);

// The session's entry for a change of the key `key_id` or of its value `value_name`.
std::string RunItem(const std::string& key_id, ItemChange change, std::string_view value_name = {});

// A registry action for one change of the run, with root, key path, machine and undo settings
// filled in.
change::TRegAction NewRunAction(const WalkFrame& frame, const RunContext& context,
                              const std::string& key_path, bool create_undo);

// Makes one change of the run through change::MakeChange and counts it: a change made in the
// session's changed count, a refused one in its failed count. The refusal's text, or else
// `success_line` (when not empty), goes to the status log after the attempt. True when made.
bool MakeRunChange(SearchSession& session, const RunContext& context, change::TRegAction& action,
                   change::ChangeOp op, std::string_view success_line = {});

// Shows a hit's row in the Key List, or, in a run restricted to items that keeps its outcomes
// (ItemFilter), keeps it as the outcome of item `item` (-1: none).
void ShowHit(SearchSession& session, const RunContext& context, int item, std::string row,
             const HitDetails& details);
// The session's item naming value `shown_name` of the key at `key_path` hit by `found_in`: -1
// when the run is restricted to items and this is none of them, 0 when it is not restricted.
int ItemOfValue(const SearchSession& session, const std::string& key_path,
                std::string_view shown_name, FoundIn found_in);
// Notes on a hit's row what a change made or refused by MakeRunChange did: `done` (kSimulated
// under SIMULATE) or kFailed with the refusal's text.
void NoteResult(HitDetails& row, const change::TRegAction& action, bool made,
                change::ChangeResult done);
// Notes a change that failed before the registry was asked, with `reason`.
void NoteFailure(HitDetails& row, std::string_view reason);

}  // namespace keyloom::engine
