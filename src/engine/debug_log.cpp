#include "engine/debug_log.h"

#include <fstream>
#include <utility>

#include "base/utf8_path.h"

namespace keyloom::engine {

std::string DebugLogFileName(const LocalDate& date) { return "DBG" + DateText(date) + ".LOG"; }

DebugLog::DebugLog(std::string folder, DateSource today)
    : folder_(std::move(folder)), today_(today ? std::move(today) : DateSource(TodayLocalDate)) {}

std::string DebugLog::CurrentFilePath() const { return folder_ + DebugLogFileName(today_()); }

void DebugLog::Append(std::string_view line) {
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    std::ofstream file(base::PathFromUtf8(CurrentFilePath()), std::ios::binary | std::ios::app);
    if (!file) return;
    file.write(line.data(), static_cast<std::streamsize>(line.size()));
    file.write("\r\n", 2);
    file.flush();
  } catch (...) {
    // The debug log is an aid; losing a line must never disturb a run.
  }
}

}  // namespace keyloom::engine
