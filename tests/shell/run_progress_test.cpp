#include "shell/run_progress.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace keyloom::shell {
namespace {

using std::chrono::milliseconds;

TEST(RunProgressTest, TheLineGivesTheCountsAndTheTimeItHasRun) {
  struct Case {
    ProgressCounts counts;
    long long ms;
    const char* text;
  };
  const Case cases[] = {
      {{0, 0, 0, 0, false}, 0, "Keys 0 | Hits 0 | 0:00"},
      {{12345, 67, 0, 0, false}, 7999, "Keys 12,345 | Hits 67 | 0:07"},
      {{999, 1000, 3, 1, true}, 754000, "Keys 999 | Hits 1,000 | Changes 3 | Failed 1 | 12:34"},
      {{1234567, 0, 0, 0, true}, 3723000, "Keys 1,234,567 | Hits 0 | Changes 0 | Failed 0 | 1:02:03"},
      {{100, 100000, 0, 0, false}, -5, "Keys 100 | Hits 100,000 | 0:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressText(c.counts, milliseconds(c.ms)), c.text);
  }
  EXPECT_EQ(CountText(-1234), "-1,234");
  EXPECT_EQ(CountedProgressText("Rows", 1234, 5000, milliseconds(3500)), "Rows 1,234 of 5,000 | 0:03");
  EXPECT_EQ(CountedProgressText("Files", 0, 10, milliseconds(65000)), "Files 0 of 10 | 1:05");
}

TEST(RunProgressTest, TheThrottleLetsThroughAtMostOneUpdatePerIntervalWhateverTheRate) {
  for (const long long every_us : {1LL, 50LL, 1000LL, 300000LL}) {
    SCOPED_TRACE(every_us);
    ProgressThrottle throttle(milliseconds(250));
    const auto start = ProgressThrottle::Clock::now();
    int shown = 0;
    ProgressThrottle::Clock::time_point last_shown{};
    for (long long t = 0; t <= 3'000'000; t += every_us) {
      const auto now = start + std::chrono::microseconds(t);
      if (!throttle.Take(now)) continue;
      if (shown > 0) {
        ASSERT_GE(now - last_shown, milliseconds(250));
      }
      last_shown = now;
      ++shown;
    }
    // Three seconds at four a second, the first update at once.
    EXPECT_LE(shown, 13);
    EXPECT_GE(shown, every_us >= 300000 ? 10 : 12);
  }
}

class FakeStandardError final : public StandardErrorProbe {
 public:
  explicit FakeStandardError(bool console) : console_(console) {}
  bool IsConsole() const override { return console_; }

 private:
  bool console_;
};

TEST(RunProgressTest, TheProgressLineShowsOnAConsoleUnlessSwitchedOffOrForcedOn) {
  const FakeStandardError console(true), redirected(false);
  EXPECT_TRUE(ShowsProgressLine(ProgressSwitch::kAuto, console));
  EXPECT_FALSE(ShowsProgressLine(ProgressSwitch::kAuto, redirected));
  EXPECT_FALSE(ShowsProgressLine(ProgressSwitch::kOff, console));
  EXPECT_TRUE(ShowsProgressLine(ProgressSwitch::kOn, redirected));
}

TEST(RunProgressTest, TheConsoleLineIsWrittenOverInPlaceAndErasedBeforeTheReport) {
  ConsoleProgressLine line;
  EXPECT_EQ(line.Erase(), "");  // nothing shown: nothing to erase
  EXPECT_EQ(line.Show("Keys 9 | Hits 1 | 0:01"), "\rKeys 9 | Hits 1 | 0:01");
  EXPECT_EQ(line.Show("Keys 10 | Hits 1 | 0:01"), "\rKeys 10 | Hits 1 | 0:01");
  // A shorter text blanks what is left of the longer one and leaves the cursor after itself.
  EXPECT_EQ(line.Show("K 1"), "\rK 1" + std::string(20, ' ') + "\rK 1");
  EXPECT_EQ(line.Erase(), "\r   \r");
  EXPECT_EQ(line.Erase(), "");
}

}  // namespace
}  // namespace keyloom::shell
