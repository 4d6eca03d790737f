// What long work shows while it goes: its counts and the time it has run, in one form for the main
// window's status bar during a run, the exports, the take-back of a run and keyloom.com's progress
// line; how often it is shown; and whether the command line shows it at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace keyloom::shell {

struct ProgressCounts {
  std::int64_t keys = 0;  // keys examined (items read, for an export or a take-back)
  std::int64_t hits = 0;
  std::int64_t changes = 0;
  std::int64_t failures = 0;
  bool changing = false;  // a replace or delete run: its changes and failures are shown too
};

// The time work has run: "0:07", "12:34", "1:02:03".
std::string ElapsedText(std::chrono::milliseconds elapsed);

// A count with thousands separated by commas: "1,234,567".
std::string CountText(std::int64_t count);

// "Keys 12,345 | Hits 67 | Changes 3 | Failed 1 | 0:12" (changes and failures only when changing).
std::string ProgressText(const ProgressCounts& counts, std::chrono::milliseconds elapsed);

// Work whose total is known, in the same form: "Rows 1,234 of 5,000 | 0:03" for an export,
// "Files 3 of 10 | 0:05" for the take-back of a run.
std::string CountedProgressText(std::string_view unit, std::int64_t done, std::int64_t total,
                                std::chrono::milliseconds elapsed);

// Lets through at most one update per interval, however often it is asked: the counts change with
// every key, the text is made and shown only when it is let through.
class ProgressThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  explicit ProgressThrottle(std::chrono::milliseconds interval) : interval_(interval) {}

  // Whether an update at `now` may be shown; when it may, the next is due an interval later.
  bool Take(Clock::time_point now) {
    if (started_ && now < next_) return false;
    started_ = true;
    next_ = now + interval_;
    return true;
  }

 private:
  std::chrono::milliseconds interval_;
  bool started_ = false;
  Clock::time_point next_{};
};

// /progress, /noprogress or neither.
enum class ProgressSwitch { kAuto, kOn, kOff };

// What the command line's standard error is; the console adapter answers for Windows.
class StandardErrorProbe {
 public:
  virtual ~StandardErrorProbe() = default;
  virtual bool IsConsole() const = 0;
};

// Whether keyloom.com shows its progress line: forced on or off by the switch, otherwise only on a
// console, so that a file or a pipe gets the report alone.
bool ShowsProgressLine(ProgressSwitch choice, const StandardErrorProbe& standard_error);

// One line rewritten in place on a console: each text is written over the last one (from the line's
// start, blanks over what is left of a longer one), and Erase leaves the line empty with the cursor
// at its start, so that the report's next line is printed where the progress was.
class ConsoleProgressLine {
 public:
  // What to write to show `text`.
  std::string Show(const std::string& text);
  // What to write to erase the line shown; empty when none is shown.
  std::string Erase();

 private:
  std::size_t shown_ = 0;  // characters of the line on the console
};

}  // namespace keyloom::shell
