#include "shell/run_progress.h"

#include <cstdio>

namespace keyloom::shell {

std::string ElapsedText(std::chrono::milliseconds elapsed) {
  const long long seconds = elapsed.count() < 0 ? 0 : elapsed.count() / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  }
  return text;
}

std::string CountText(std::int64_t count) {
  const std::string digits = std::to_string(count < 0 ? -count : count);
  std::string text = count < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string ProgressText(const ProgressCounts& counts, std::chrono::milliseconds elapsed) {
  std::string text = "Keys " + CountText(counts.keys) + " | Hits " + CountText(counts.hits);
  if (counts.changing) {
    text += " | Changes " + CountText(counts.changes) + " | Failed " + CountText(counts.failures);
  }
  return text + " | " + ElapsedText(elapsed);
}

std::string CountedProgressText(std::string_view unit, std::int64_t done, std::int64_t total,
                                std::chrono::milliseconds elapsed) {
  std::string text(unit);
  text += ' ' + CountText(done) + " of " + CountText(total) + " | ";
  return text + ElapsedText(elapsed);
}

bool ShowsProgressLine(ProgressSwitch choice, const StandardErrorProbe& standard_error) {
  switch (choice) {
    case ProgressSwitch::kOn:
      return true;
    case ProgressSwitch::kOff:
      return false;
    case ProgressSwitch::kAuto:
      break;
  }
  return standard_error.IsConsole();
}

std::string ConsoleProgressLine::Show(const std::string& text) {
  std::string out = "\r" + text;
  if (text.size() < shown_) out += std::string(shown_ - text.size(), ' ') + "\r" + text;
  shown_ = text.size();
  return out;
}

std::string ConsoleProgressLine::Erase() {
  if (shown_ == 0) return {};
  std::string out = "\r" + std::string(shown_, ' ') + "\r";
  shown_ = 0;
  return out;
}

}  // namespace keyloom::shell
