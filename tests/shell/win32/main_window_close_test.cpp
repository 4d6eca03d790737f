// Closing the main window while a run is going: the question, and what Yes, No and the end of the
// Windows session do with the run. The walk goes only as far as the test lets it, so the run is
// surely in progress when the question comes and no answer races the run's own end.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "registry/registry.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

constexpr const char* kScratch = "\\Software\\KeyloomTest\\CloseDuringRun";
constexpr int kKeys = 60;

// Visits the subkeys of the scratch tree one at a time, at the pause points of a walk, but no
// further than `allowed` keys until the run is asked to stop.
class HeldWalker : public engine::KeyWalker {
 public:
  std::atomic<int> visited{0};
  std::atomic<int> allowed{3};

  void WalkKey(engine::SearchEngine& engine, reg::TRegistry& reg) override {
    if (!reg.OpenKey(kScratch)) return;
    for (std::size_t i = reg.GetKeyNames().size(); i > 0; --i) {
      while (visited >= allowed && !engine.stop_requested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (!engine.PausePoint()) return;
      ++visited;
    }
  }
};

class CloseDuringRunTest : public MainWindowTest {
 protected:
  void SetUp() override {
    reg::TRegistry reg(*api_);
    reg.DeleteKey(kScratch);
    for (int i = 0; i < kKeys; ++i)
      reg.CreateKey(std::string(kScratch) + "\\k" + std::to_string(i));
  }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    reg::TRegistry(*api_).DeleteKey(kScratch);
  }

  // A simulated replace run over the scratch tree, held after a few keys.
  TfrmMain& OpenWithHeldRun() {
    WriteIni("SEARCHKEY=2\r\nSIMULATE=1\r\n");
    TfrmMain& window = Open(false, &walker_);
    SetText(IDC_EDT_FIND, "KeyloomNoSuchText");
    SetText(IDC_EDT_REPLACE, "x");
    ClickControl(IDC_BTN_REPLACE);
    EXPECT_TRUE(PumpUntil([&] { return walker_.visited >= 3; }));
    return window;
  }
  // WM_CLOSE as Alt+F4 or the title bar sends it, the question answered with `button`.
  std::vector<std::string> CloseAnswering(int button) {
    ModalWatcher watcher([button](HWND box) { Click(GetDlgItem(box, button)); });
    SendMessageW(window_->hwnd(), WM_CLOSE, 0, 0);
    return watcher.texts();
  }

  std::vector<std::string> Shown() { return window_->status_list().model().Lines(); }

  HeldWalker walker_;
};

TEST_F(CloseDuringRunTest, ClosingAsksNoKeepsTheRunYesStopsItWithItsSummaryThenCloses) {
  TfrmMain& window = OpenWithHeldRun();
  const std::string question = "A run is in progress. Stop it and close Keyloom?";
  EXPECT_EQ(CloseAnswering(IDNO), std::vector<std::string>{question});
  ASSERT_NE(window.hwnd(), nullptr);
  EXPECT_TRUE(window.controller().Active());
  walker_.allowed = 6;  // the run goes on after a No
  ASSERT_TRUE(PumpUntil([&] { return walker_.visited == 6; }));

  EXPECT_EQ(CloseAnswering(IDYES), std::vector<std::string>{question});
  ASSERT_TRUE(PumpUntil([&] { return window.hwnd() == nullptr; }));
  EXPECT_FALSE(window.controller().Active());
  EXPECT_EQ(walker_.visited, 6) << "stopped at its next item";
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown().back(), "Finished, Replaced [0] Entries.");
}

TEST_F(CloseDuringRunTest, TheEndOfTheSessionStopsTheRunWithoutAskingAndWaitsForIt) {
  TfrmMain& window = OpenWithHeldRun();
  ModalWatcher watcher([](HWND box) { Click(GetDlgItem(box, IDNO)); });
  EXPECT_EQ(SendMessageW(window.hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
  SendMessageW(window.hwnd(), WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(watcher.seen(), 0);
  EXPECT_EQ(window.hwnd(), nullptr);
  EXPECT_FALSE(window.controller().Active());
  EXPECT_EQ(walker_.visited, 3);
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown().back(), "Finished, Replaced [0] Entries.");
}

TEST_F(CloseDuringRunTest, WithoutARunTheWindowClosesAtOnce) {
  TfrmMain& window = Open(false, &walker_);
  ModalWatcher watcher([](HWND box) { Click(GetDlgItem(box, IDNO)); });
  SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(window.hwnd(), nullptr);
  EXPECT_EQ(watcher.seen(), 0);
}

}  // namespace
}  // namespace keyloom::shell::testing
