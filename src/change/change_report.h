// Making one registry change and reporting it, the same way for the run's walk, its value checks
// and the user's edits and deletes: the action's failure text goes to the log, or else the
// success line; only a change that was made counts.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "change/reg_action.h"

namespace keyloom::change {

enum class ChangeOp {
  kExecute,  // TRegAction::Execute: an update or a rename
  kDelete,   // TRegAction::Delete
};

// Makes the action's change. On failure its ErrorText is logged and false returned; on success
// `success_line` is logged (when not empty) and true returned.
bool MakeChange(TRegAction& action, ChangeOp op, const std::function<void(const std::string&)>& log,
                std::string_view success_line = {});

}  // namespace keyloom::change
