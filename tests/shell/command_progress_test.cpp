// keyloom.com's progress line, through whole command-line runs against the memory registry: shown
// on a console (or when forced), never on a file or a pipe, erased before every line of the
// report and at the end; and the ticker that moves it on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/pause_gate.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"
#include "shell/command_job.h"
#include "shell/exit_codes.h"
#include "shell/progress_ticker.h"
#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct FixedProbe final : StandardErrorProbe {
  bool console = false;
  bool IsConsole() const override { return console; }
};

// One console line that standard output and the progress line share, as a console shows them: a
// carriage return goes back to the line's start, characters overwrite. Each report line must begin
// on a line the progress has left blank.
class Screen {
 public:
  void Progress(std::string_view text) {
    std::lock_guard lock(mutex_);
    progress_ += text;
    Put(text);
  }
  void Line(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (line_.find_first_not_of(' ') != std::string::npos || column_ != 0) {
      overwritten_.push_back(line_ + " <- " + std::string(text));
    }
    line_.clear();
    column_ = 0;
    lines_.emplace_back(text);
  }
  bool LineBlank() const { return line_.find_first_not_of(' ') == std::string::npos; }

  std::mutex mutex_;
  std::string progress_;                  // everything written to standard error
  std::vector<std::string> overwritten_;  // report lines written over progress
  std::vector<std::string> lines_;

 private:
  void Put(std::string_view text) {
    for (const char c : text) {
      if (c == '\r') {
        column_ = 0;
        continue;
      }
      if (column_ < line_.size()) {
        line_[column_] = c;
      } else {
        line_ += c;
      }
      ++column_;
    }
  }
  std::string line_;
  std::size_t column_ = 0;
};

class CommandProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kCurrentUser);
    for (int i = 0; i < 40; ++i) {
      const std::string key = "\\Software\\Scratch\\App" + std::to_string(i);
      reg.CreateKey(key);
      ASSERT_TRUE(reg.OpenKey(key));
      reg.WriteString("Server", "old-srv.example");
      reg.CloseKey();
    }
  }

  int Run(std::vector<std::string> args, bool console) {
    screen_ = std::make_unique<Screen>();
    probe_.console = console;
    CommandEnvironment env;
    env.api = registry_.get();
    env.gate = &gate_;
    env.program.folder = folder_.Utf8();
    env.out = [this](std::string_view line) { screen_->Line(line); };
    env.err = [this](std::string_view line) { screen_->Line(line); };
    env.err_text = [this](std::string_view text) { screen_->Progress(text); };
    env.standard_error = &probe_;
    env.progress_interval = std::chrono::milliseconds(1);
    return RunCommandLine(args, env);
  }

  std::unique_ptr<reg::MemoryRegistry> registry_ = reg::NewMemoryRegistry();
  engine::PortablePauseGate gate_;
  testing::TempFolder folder_;
  FixedProbe probe_;
  std::unique_ptr<Screen> screen_;
};

TEST_F(CommandProgressTest, ShownOnAConsoleOrWhenForcedAndErasedBeforeEveryReportLine) {
  struct Case {
    std::vector<std::string> more;
    bool console;
    bool shown;
  };
  const Case cases[] = {
      {{}, true, true},           {{}, false, false},           {{"/progress"}, false, true},
      {{"/noprogress"}, true, false}, {{"/quiet"}, true, true}, {{"/delete"}, true, true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"/find", "old-srv", "/root", "HKCU\\Software\\Scratch"};
    args.insert(args.end(), c.more.begin(), c.more.end());
    SCOPED_TRACE(::testing::PrintToString(args) + (c.console ? " on a console" : " to a file"));
    EXPECT_EQ(Run(args, c.console), kExitOk);
    if (!c.shown) {
      EXPECT_EQ(screen_->progress_, "");
    } else {
      // (Windows' googletest has only simple regular expressions: no brackets.)
      EXPECT_THAT(screen_->progress_,
                  AllOf(StartsWith("\rKeys "), HasSubstr(" | Hits "), HasSubstr(" | 0:")));
      EXPECT_THAT(screen_->overwritten_, ::testing::IsEmpty());
      EXPECT_TRUE(screen_->LineBlank()) << "the line is erased at the end";
    }
    ASSERT_FALSE(screen_->lines_.empty());
    EXPECT_THAT(screen_->lines_.back(), StartsWith("Elapsed: 0:"));
  }
}

TEST_F(CommandProgressTest, AReplaceRunCountsItsChangesAndTheCsvExportItsRows) {
  const std::string csv = folder_.Utf8() + "hits.csv";
  EXPECT_EQ(Run({"/find", "old-srv", "/replace", "new-srv", "/root", "HKCU\\Software\\Scratch",
                 "/undo", folder_.Utf8(), "/csv", csv},
                true),
            kExitOk);
  EXPECT_THAT(screen_->progress_, AllOf(HasSubstr(" | Changes "), HasSubstr(" | Failed 0 | "),
                                        HasSubstr("\rRows 0 of 40 | 0:")));
  EXPECT_THAT(screen_->overwritten_, ::testing::IsEmpty());
  EXPECT_TRUE(screen_->LineBlank());
}

TEST(ReportOutputTest, TheProgressLineCountsChangesMadeAndRefusedOfAChangingRunOnly) {
  for (const bool changing : {false, true}) {
    ReportOutput report(nullptr, nullptr, false, false);
    std::string written;
    report.ShowProgressWith([&](std::string_view text) { written = text; }, changing);
    report.SetStatusBarText("key");
    report.AddKeyListEntry("row");
    for (const bool made : {true, true, false, true}) report.CountChange(made);
    report.ShowProgress(std::chrono::milliseconds(61000));
    EXPECT_EQ(written, changing ? "\rKeys 1 | Hits 1 | Changes 3 | Failed 1 | 1:01"
                                : "\rKeys 1 | Hits 1 | 1:01");
  }
}

TEST(ProgressTickerTest, TicksAtOnceThenEveryIntervalAndNeverAfterStop) {
  std::mutex mutex;
  std::condition_variable ticked;
  int ticks = 0;
  const auto tick = [&] {
    std::lock_guard lock(mutex);
    ++ticks;
    ticked.notify_all();
  };
  {
    ProgressTicker slow(std::chrono::hours(1), tick);
    EXPECT_EQ(ticks, 1);  // at once, before the constructor returns
    slow.Stop();          // does not wait out the hour
  }
  ProgressTicker fast(std::chrono::milliseconds(1), tick);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(ticked.wait_for(lock, std::chrono::seconds(30), [&] { return ticks >= 4; }));
  }
  fast.Stop();
  std::lock_guard lock(mutex);
  const int stopped_at = ticks;
  fast.Stop();  // twice is harmless
  EXPECT_EQ(ticks, stopped_at);
}

}  // namespace
}  // namespace keyloom::shell
