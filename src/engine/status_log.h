// The status log: the running account of a run and of the user's manual changes.
//
// StatusLog is the one way to write to it. A line goes, by logging level (LOGGING: 0 "Default",
// 1 "Informational", 2 "Debug"):
//   - nowhere at all in silent mode (the unattended start), except WriteDebugFile's lines;
//   - unless it is debug-only: to the status bar and the status list (RunOutput::AddStatusLine);
//   - at level 2: also to the debug log file.
// TABs, which join a key path and a value name, are shown as backslashes (path\name).
//
// StatusLines is the status list's model, which the window holds: at most 80 lines, the oldest 10
// dropped at once when an 81st arrives, the last line selected.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/debug_log.h"
#include "engine/run_io.h"
#include "files/kept_log.h"

namespace keyloom::engine {

// Logging levels (LOGGING). They are not cumulative: some lines appear at level 1 only.
inline constexpr int kLoggingDefault = 0;
inline constexpr int kLoggingInformational = 1;
inline constexpr int kLoggingDebug = 2;

// The text with every TAB shown as a backslash.
std::string StatusLineText(std::string_view text);

// The status list's lines. Thread-safe; the trimming belongs to Append itself, so no reader ever
// sees more than kMaxLines lines.
class StatusLines {
 public:
  static constexpr std::size_t kMaxLines = 80;
  static constexpr std::size_t kTrimCount = 10;

  // Appends the line as the last, selected one. When kMaxLines lines are held already, the
  // kTrimCount oldest are dropped first. Returns how many lines were dropped (0 or kTrimCount), so
  // a list control mirroring the model can drop the same lines.
  std::size_t Append(std::string line);
  void Clear();

  std::size_t Size() const;
  std::vector<std::string> Lines() const;
  // The selected line, which is the last one appended; nullopt when the list is empty.
  std::optional<std::string> SelectedLine() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
};

class StatusLog {
 public:
  // `logging_level` is asked at every line, so a level changed in Options applies from the next
  // line on. `silent_mode` is the process-wide flag of the unattended start. All four must outlive
  // the StatusLog.
  StatusLog(RunOutput& output, DebugLog& debug_log, std::function<int()> logging_level,
            const std::atomic<bool>& silent_mode);

  // Writes one line. A debug-only line (the "Checking ..." lines) reaches the debug log file at
  // level 2 and goes nowhere otherwise. Safe from any thread; never fails.
  void Write(std::string_view text, bool debug_only = false) const;

  // At level 2, writes the line to the debug log file alone, in silent mode too (the walk's depth
  // limit, the permission repair's detail). Never shown in the window.
  void WriteDebugFile(std::string_view text) const;

  // Every line shown from now on is also kept whole on disk by `kept` (null: none). Set before
  // any run starts; `kept` must outlive the StatusLog.
  void Keep(files::KeptLog* kept) { kept_ = kept; }

 private:
  files::KeptLog* kept_ = nullptr;
  RunOutput& output_;
  DebugLog& debug_log_;
  std::function<int()> logging_level_;
  const std::atomic<bool>& silent_mode_;
};

}  // namespace keyloom::engine
