#include "change/change_report.h"

namespace keyloom::change {

bool MakeChange(TRegAction& action, ChangeOp op, const std::function<void(const std::string&)>& log,
                std::string_view success_line) {
  if (op == ChangeOp::kDelete) {
    action.Delete();
  } else {
    action.Execute();
  }
  if (!action.ErrorText.empty()) {
    if (log) log(action.ErrorText);
    return false;
  }
  if (!success_line.empty() && log) log(std::string(success_line));
  return true;
}

}  // namespace keyloom::change
