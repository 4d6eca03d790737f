// Making one registry change and reporting it, the same way for the run's walk, its value checks
// and the user's edits and deletes: the action's failure text goes to the log, or else the
// success line; only a change that was made counts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "change/reg_action.h"

namespace keyloom::change {

// What a change did to a Key List row's item, as the row's "Result" column names it.
enum class ChangeResult : std::uint8_t {
  kNone,  // nothing was changed: a search, or a change not asked for
  kReplaced,
  kRenamed,
  kDeleted,
  kSimulated,  // SIMULATE: the change was only logged
  kFailed,
};

// "", "Replaced", "Renamed", "Deleted", "Simulated" or "Failed".
std::string_view ChangeResultName(ChangeResult result);

// A failure's text as one line for the Key List: line breaks and tabs as blanks, no blanks at
// either end.
std::string OneLineReason(std::string_view text);

// The result of a change that succeeds as `done`: kFailed when it was not made, kSimulated when
// nothing is changed for real.
inline ChangeResult ResultOf(bool made, bool simulate, ChangeResult done) {
  if (!made) return ChangeResult::kFailed;
  return simulate ? ChangeResult::kSimulated : done;
}

// What `action`, made or refused by MakeChange, did, when a success is `done`.
inline ChangeResult ResultOf(const TRegAction& action, bool made, ChangeResult done) {
  return ResultOf(made, action.Simulated(), done);
}

enum class ChangeOp {
  kExecute,  // TRegAction::Execute: an update or a rename
  kDelete,   // TRegAction::Delete
};

// Makes the action's change. On failure its ErrorText is logged and false returned; on success
// `success_line` is logged (when not empty) and true returned.
bool MakeChange(TRegAction& action, ChangeOp op, const std::function<void(const std::string&)>& log,
                std::string_view success_line = {});

}  // namespace keyloom::change
