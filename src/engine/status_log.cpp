#include "engine/status_log.h"

#include <utility>

namespace keyloom::engine {

std::string StatusLineText(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\t') c = '\\';
  }
  return line;
}

std::size_t StatusLines::Append(std::string line) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t dropped = 0;
  if (lines_.size() >= kMaxLines) {
    dropped = kTrimCount;
    lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(kTrimCount));
  }
  lines_.push_back(std::move(line));
  return dropped;
}

void StatusLines::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::size_t StatusLines::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.size();
}

std::vector<std::string> StatusLines::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<std::string>(lines_.begin(), lines_.end());
}

std::optional<std::string> StatusLines::SelectedLine() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (lines_.empty()) return std::nullopt;
  return lines_.back();
}

StatusLog::StatusLog(RunOutput& output, DebugLog& debug_log, std::function<int()> logging_level,
                     const std::atomic<bool>& silent_mode)
    : output_(output),
      debug_log_(debug_log),
      logging_level_(std::move(logging_level)),
      silent_mode_(silent_mode) {}

void StatusLog::Write(std::string_view text, bool debug_only) const {
  if (silent_mode_.load()) return;
  try {
    std::string line = StatusLineText(text);
    if (logging_level_() == kLoggingDebug) debug_log_.Append(line);
    if (!debug_only) {
      if (kept_ != nullptr) kept_->Add(line);
      try {
        output_.AddStatusLine(std::move(line));
      } catch (...) {
        // A line the window cannot take is dropped from the display; the file still has it.
      }
    }
  } catch (...) {
    // Out of memory for the line itself: the line is dropped and the caller goes on.
  }
}

void StatusLog::WriteDebugFile(std::string_view text) const {
  try {
    if (logging_level_() == kLoggingDebug) debug_log_.Append(StatusLineText(text));
  } catch (...) {
  }
}

}  // namespace keyloom::engine
