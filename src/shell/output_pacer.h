// How often the main window shows a busy run's output.
//
// Every update of the lists costs the GUI thread some time (and, under a slow display, the machine
// more), time a run of a million hits would otherwise lose to repainting. So the window shows a
// busy run's output at most ten times a second, and spends at most a twentieth of its time doing
// it: an update that took T is followed by the next no sooner than 20 T after it began, but never
// more than a second later, so the lists never look stuck. The run's end and the quit request are
// shown at once, whatever the pace.
#pragma once

#include <algorithm>
#include <chrono>

namespace keyloom::shell {

class OutputPacer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kShortest{100};
  static constexpr std::chrono::milliseconds kLongest{1000};
  static constexpr int kCostShare = 20;  // the interval is at least this many times an update

  // Whether the window's timer tick at `now` should show the output gathered since the last update.
  bool Due(Clock::time_point now) const { return now >= next_; }

  // An update ran from `start` to `end`: sets when the next is due.
  void Shown(Clock::time_point start, Clock::time_point end) {
    const auto interval =
        std::clamp<Clock::duration>((end - start) * kCostShare, kShortest, kLongest);
    next_ = start + interval;
  }

 private:
  Clock::time_point next_{};
};

}  // namespace keyloom::shell
