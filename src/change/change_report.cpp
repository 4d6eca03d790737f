#include "change/change_report.h"

namespace keyloom::change {

std::string_view ChangeResultName(ChangeResult result) {
  switch (result) {
    case ChangeResult::kReplaced:
      return "Replaced";
    case ChangeResult::kRenamed:
      return "Renamed";
    case ChangeResult::kDeleted:
      return "Deleted";
    case ChangeResult::kSimulated:
      return "Simulated";
    case ChangeResult::kFailed:
      return "Failed";
    case ChangeResult::kNone:
      break;
  }
  return {};
}

std::string OneLineReason(std::string_view text) {
  std::string line;
  for (char c : text) line += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
  const std::size_t begin = line.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  return line.substr(begin, line.find_last_not_of(' ') - begin + 1);
}

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
