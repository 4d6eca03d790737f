// A replace run's progress in the main window: the status bar's right part with its changes and
// failures, and the taskbar button's state through the run, its pause and its end. Wine's shell
// never says that a taskbar button exists and its taskbar interface takes every call without
// showing anything: the test says "the button exists" itself and reads the state the window chose.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/key_list_entry.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

constexpr int kSteps = 100;
constexpr int kHoldAt = 25;

// A hundred hits, each changed but every tenth refused, one step at a time with the pause gate
// before each. It starts only once the test lets it go, and holds before step kHoldAt's pause
// point until it is let go again: however slowly the window answers, the pause comes there.
class ChangingWalker : public engine::KeyWalker {
 public:
  engine::RunOutput* output = nullptr;
  std::atomic<int> steps{0};

  void Go() {
    {
      std::lock_guard lock(mutex_);
      ++goes_;
    }
    wake_.notify_all();
  }

  void WalkKey(engine::SearchEngine& engine, reg::TRegistry&) override {
    if (!WaitForGo(1)) return;
    engine::SearchSession& session = engine.session();
    for (int i = 0; i < kSteps; ++i) {
      if (i == kHoldAt && !WaitForGo(2)) return;
      if (!engine.PausePoint()) return;
      const std::string name = "\\Software\\Changing\\Key" + std::to_string(i);
      output->SetStatusBarText(name);
      output->AddKeyListEntry(engine::MakeKeyListEntry("HKEY_CURRENT_USER", name, ""));
      ++session.matched_count;
      engine::CountChange(session, *output, i % 10 != 9);
      ++steps;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

 private:
  bool WaitForGo(int count) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, std::chrono::seconds(30), [&] { return goes_ >= count; });
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  int goes_ = 0;
};

// The figures after `steps` steps.
std::string Figures(int steps) {
  const int failed = steps / 10;
  return "Keys " + std::to_string(steps) + " | Hits " + std::to_string(steps) + " | Changes " +
         std::to_string(steps - failed) + " | Failed " + std::to_string(failed) + " | 0:";
}

class MainWindowTaskbarTest : public MainWindowTest {
 protected:
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
  }
  std::string Progress() {
    wchar_t text[256] = {};
    SendMessageW(window_->status_bar(), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
    return FromWide(text);
  }
  TaskbarState State() { return window_->taskbar().shown().state; }
};

TEST_F(MainWindowTaskbarTest, AReplaceRunShowsItsChangesAndFailuresAndTheButtonFollowsTheRun) {
  WriteIni("SEARCHKEY=2\r\nENABLEDEL=1\r\nSIMULATE=1\r\n");
  ChangingWalker walker;
  TfrmMain& window = Open(false, &walker);
  walker.output = &window.output();
  // Until the shell says the button exists, no interface is asked for.
  EXPECT_FALSE(window.taskbar_attached());
  SendMessageW(window.hwnd(), Win32TaskbarButton::CreatedMessage(), 0, 0);
  EXPECT_TRUE(window.taskbar_attached()) << "Wine's taskbar interface is there";
  EXPECT_EQ(State(), TaskbarState::kNone);

  SetText(IDC_EDT_FIND, "Key");
  SetText(IDC_EDT_REPLACE, "x");
  ClickControl(IDC_BTN_REPLACE);
  EXPECT_EQ(State(), TaskbarState::kIndeterminate);  // the walker has not started yet
  walker.Go();
  ASSERT_TRUE(PumpUntil([&] { return walker.steps == kHoldAt; }));
  ClickControl(IDC_BTN_PAUSE);
  walker.Go();
  // The walker holds at the gate: its figures stand still, and show within an interval.
  const std::string expected = Figures(kHoldAt);
  ASSERT_TRUE(PumpUntil(
      [&] { return Progress().rfind(expected, 0) == 0 && State() == TaskbarState::kPaused; },
      std::chrono::seconds(5)))
      << Progress() << " expected " << expected;
  EXPECT_EQ(walker.steps, kHoldAt);
  ClickControl(IDC_BTN_PAUSE);
  ASSERT_TRUE(PumpUntil([&] { return State() != TaskbarState::kPaused; }, std::chrono::seconds(5)));
  ASSERT_TRUE(WaitForIdle());

  // The end: the final figures, and the error state for the refused changes until activation.
  EXPECT_EQ(Progress().rfind(Figures(kSteps), 0), 0u) << Progress();
  EXPECT_EQ(State(), TaskbarState::kError);
  SendMessageW(window.hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(State(), TaskbarState::kNone);
}

}  // namespace
}  // namespace keyloom::shell::testing
