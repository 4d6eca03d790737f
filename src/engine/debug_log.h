// The debug log file: every status log line at the Debug logging level, plus the lines meant for
// the file alone (the depth limit of the walk, the detail of permission repair). One file per local
// calendar day, ProgramFolder + "DBG" + yyyymmdd + ".LOG", never truncated. Each line is appended
// with the file opened and closed around it, so the file is complete even if the program ends
// abruptly.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "base/local_date.h"

namespace keyloom::engine {

using base::DateText;
using base::LocalDate;
using base::TodayLocalDate;

// "DBG" + yyyymmdd + ".LOG", for example DBG20261206.LOG.
std::string DebugLogFileName(const LocalDate& date);

// Thread-safe: the run's worker and the GUI thread both write; lines never interleave.
class DebugLog {
 public:
  using DateSource = std::function<LocalDate()>;

  // `folder` (UTF-8) ends with a path separator or is empty (the current folder); `today` tells
  // which day's file a line goes to.
  explicit DebugLog(std::string folder, DateSource today = TodayLocalDate);

  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;

  // Appends the line and CR LF to today's file, creating it when needed; the text is written as it
  // is (UTF-8). Failures (folder not writable, file locked) are ignored: this never throws.
  void Append(std::string_view line);

  // The full name (UTF-8) of the file a line written now goes to.
  std::string CurrentFilePath() const;

 private:
  const std::string folder_;
  const DateSource today_;
  std::mutex mutex_;
};

}  // namespace keyloom::engine
