#include "engine/debug_log.h"

#include <ctime>
#include <fstream>
#include <utility>

#include "engine/utf8_path.h"

namespace keyloom::engine {

LocalDate TodayLocalDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return LocalDate{};
#else
  if (localtime_r(&now, &local) == nullptr) return LocalDate{};
#endif
  return LocalDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string DateText(const LocalDate& date) {
  auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  std::string year = std::to_string(date.year);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return year + two(date.month) + two(date.day);
}

std::string DebugLogFileName(const LocalDate& date) { return "DBG" + DateText(date) + ".LOG"; }

DebugLog::DebugLog(std::string folder, DateSource today)
    : folder_(std::move(folder)), today_(today ? std::move(today) : DateSource(TodayLocalDate)) {}

std::string DebugLog::CurrentFilePath() const { return folder_ + DebugLogFileName(today_()); }

void DebugLog::Append(std::string_view line) {
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    std::ofstream file(PathFromUtf8(CurrentFilePath()), std::ios::binary | std::ios::app);
    if (!file) return;
    file.write(line.data(), static_cast<std::streamsize>(line.size()));
    file.write("\r\n", 2);
    file.flush();
  } catch (...) {
    // The debug log is an aid; losing a line must never disturb a run.
  }
}

}  // namespace keyloom::engine
