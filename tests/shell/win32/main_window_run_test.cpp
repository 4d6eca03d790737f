// Runs started from the main window's buttons: the button captions while a run over a scratch key
// tree is paused, resumed and reset; a run that yields 200,000 rows while the window keeps
// answering; the silent unattended mode.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "engine/key_list_entry.h"
#include "registry/registry.h"
#include "shell/exit_codes.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

constexpr const char* kScratch = "\\Software\\KeyloomTest\\MainWindow";

// Visits the subkeys of the scratch tree one at a time, stopping at the pause gate before each as
// the key walk does; a key whose name holds the find text is a hit.
class ScratchTreeWalker : public engine::KeyWalker {
 public:
  engine::RunOutput* output = nullptr;
  std::atomic<int> visited{0};
  bool shows_keys = false;  // the walk's progress text for every key, as the key walk shows it

  void WalkKey(engine::SearchEngine& engine, reg::TRegistry& reg) override {
    engine::SearchSession& session = engine.session();
    if (!reg.OpenKey(kScratch)) return;
    for (const std::string& name : reg.GetKeyNames()) {
      if (!engine.PausePoint()) return;
      ++visited;
      if (output != nullptr && shows_keys) output->SetStatusBarText("\\" + name);
      if (output != nullptr && name.find(session.find_text) != std::string::npos) {
        ++session.matched_count;
        output->AddKeyListEntry(
            engine::MakeKeyListEntry("HKEY_CURRENT_USER", std::string(kScratch) + "\\" + name, ""));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }
};

// Hands `rows` rows to the window as fast as it can, with a status line every 100 rows.
class FloodWalker : public engine::KeyWalker {
 public:
  engine::RunOutput* output = nullptr;
  int rows = 0;

  void WalkKey(engine::SearchEngine& engine, reg::TRegistry&) override {
    engine::SearchSession& session = engine.session();
    for (int i = 0; i < rows; ++i) {
      output->AddKeyListEntry(engine::MakeKeyListEntry(
          "HKEY_CURRENT_USER", "\\Software\\Flood\\Key" + std::to_string(i), "Value"));
      ++session.matched_count;
      if (i % 100 == 0) engine.context().log("Found Key" + std::to_string(i), false);
    }
  }
};

class MainWindowRunTest : public MainWindowTest {
 protected:
  void SetUp() override {
    reg::TRegistry reg(*api_);
    reg.DeleteKey(kScratch);
    for (int i = 0; i < 120; ++i) {
      char name[16];
      std::snprintf(name, sizeof(name), "k%03d", i);
      reg.CreateKey(std::string(kScratch) + "\\" + name);
    }
  }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    reg::TRegistry reg(*api_);
    reg.DeleteKey(kScratch);
  }
  // Waits until the walker has made `count` more steps.
  bool WaitForVisits(const ScratchTreeWalker& walker, int count) {
    const int target = walker.visited + count;
    return PumpUntil([&] { return walker.visited >= target; });
  }
  // A simulated delete run over the scratch tree that finds nothing, paused after a few keys.
  TfrmMain& OpenAndPauseADeleteRun(ScratchTreeWalker& walker) {
    WriteIni("SEARCHKEY=2\r\nENABLEDEL=1\r\nSIMULATE=1\r\n");
    TfrmMain& window = Open(false, &walker);
    walker.output = &window.output();
    SetText(IDC_EDT_FIND, "KeyloomNoSuchText");
    SetText(IDC_EDT_REPLACE, "x");
    ClickControl(IDC_BTN_REPLACE);
    EXPECT_TRUE(WaitForVisits(walker, 3));
    ClickControl(IDC_BTN_PAUSE);
    return window;
  }
  // The walker makes no step for a while.
  bool Holds(const ScratchTreeWalker& walker) {
    PumpFor(std::chrono::milliseconds(60));
    const int before = walker.visited;
    PumpFor(std::chrono::milliseconds(150));
    return walker.visited == before;
  }
};

TEST_F(MainWindowRunTest, SearchPauseResumeAndResetChangeTheCaptionsAndHoldTheWalk) {
  WriteIni("SEARCHKEY=2\r\n");
  ScratchTreeWalker walker;
  TfrmMain& window = Open(false, &walker);
  walker.output = &window.output();
  SetText(IDC_EDT_FIND, "k0");

  ClickControl(IDC_BTN_SEARCH);
  EXPECT_FALSE(Enabled(IDC_BTN_SEARCH));
  EXPECT_FALSE(Enabled(IDC_BTN_REPLACE));
  EXPECT_FALSE(Enabled(IDC_BTN_CLOSE));
  EXPECT_FALSE(Enabled(IDC_BTN_NETWORK));
  EXPECT_TRUE(Enabled(IDC_BTN_PAUSE));
  ASSERT_TRUE(WaitForVisits(walker, 5));

  ClickControl(IDC_BTN_PAUSE);
  EXPECT_EQ(Text(IDC_BTN_PAUSE), "R&esume");
  EXPECT_EQ(Text(IDC_BTN_SEARCH), "R&eset");
  EXPECT_TRUE(Enabled(IDC_BTN_SEARCH));
  EXPECT_FALSE(Enabled(IDC_BTN_REPLACE));
  EXPECT_TRUE(Holds(walker));

  ClickControl(IDC_BTN_PAUSE);
  EXPECT_EQ(Text(IDC_BTN_PAUSE), "&Pause");
  EXPECT_EQ(Text(IDC_BTN_SEARCH), "&Search");
  EXPECT_FALSE(Enabled(IDC_BTN_SEARCH));
  ASSERT_TRUE(WaitForVisits(walker, 5));

  ClickControl(IDC_BTN_PAUSE);
  ASSERT_TRUE(Holds(walker));
  const int visited = walker.visited;
  ClickControl(IDC_BTN_SEARCH);  // R&eset
  ASSERT_TRUE(WaitForIdle());
  EXPECT_LT(walker.visited, 120);
  EXPECT_LE(walker.visited, visited + 1);
  EXPECT_EQ(Text(IDC_BTN_SEARCH), "&Search");
  EXPECT_EQ(Text(IDC_BTN_PAUSE), "&Pause");
  EXPECT_FALSE(Enabled(IDC_BTN_PAUSE));
  EXPECT_TRUE(Enabled(IDC_BTN_SEARCH));
  EXPECT_TRUE(Enabled(IDC_BTN_REPLACE));
  EXPECT_TRUE(Enabled(IDC_BTN_CLOSE));
  // The summary of what was done; the rows found before the reset stay.
  const auto rows = static_cast<int>(window.key_list().rows().size());
  EXPECT_GT(rows, 0);
  const auto lines = StatusLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Search Matched " + std::to_string(rows) + " Keys.");
  EXPECT_EQ(lines.back(), "Finished, Replaced [0] Entries.");
}

TEST_F(MainWindowRunTest, TheStatusBarShowsTheRunsProgressWhileItGoesAndItsCountsAtTheEnd) {
  WriteIni("SEARCHKEY=2\r\n");
  ScratchTreeWalker walker;
  walker.shows_keys = true;
  TfrmMain& window = Open(false, &walker);
  walker.output = &window.output();
  SetText(IDC_EDT_FIND, "k0");
  const auto progress = [&] {
    wchar_t text[256] = {};
    SendMessageW(window.status_bar(), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
    return FromWide(text);
  };

  ClickControl(IDC_BTN_SEARCH);
  ASSERT_TRUE(WaitForVisits(walker, 20));
  ClickControl(IDC_BTN_PAUSE);
  ASSERT_TRUE(Holds(walker));
  // Shown within a throttle interval of the pause: the keys and hits so far and the time.
  const std::string count = std::to_string(walker.visited);
  const std::string expected = "Keys " + count + " | Hits " + count + " | 0:";
  ASSERT_TRUE(
      PumpUntil([&] { return progress().rfind(expected, 0) == 0; }, std::chrono::seconds(2)))
      << progress();
  ClickControl(IDC_BTN_PAUSE);
  ASSERT_TRUE(WaitForIdle());
  // At the end: every key examined, the hundred keys k000 to k099 as hits.
  EXPECT_EQ(progress().rfind("Keys 120 | Hits 100 | 0:", 0), 0u) << progress();
}

TEST_F(MainWindowRunTest, DeleteRunPausesOnTheReplaceButtonAndEndsWithItsSummary) {
  ScratchTreeWalker walker;
  OpenAndPauseADeleteRun(walker);
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "R&eset");
  EXPECT_TRUE(Enabled(IDC_BTN_REPLACE));
  EXPECT_EQ(Text(IDC_BTN_SEARCH), "&Search");
  EXPECT_FALSE(Enabled(IDC_BTN_SEARCH));
  ClickControl(IDC_BTN_PAUSE);
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "&Delete");
  EXPECT_FALSE(Enabled(IDC_BTN_REPLACE));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(walker.visited, 120);
  EXPECT_EQ(StatusLines().back(), "Finished, Deleted [0] Entries.");
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "&Delete");
  EXPECT_TRUE(Enabled(IDC_BTN_REPLACE));
}

TEST_F(MainWindowRunTest, OptionsSavedWhilePausedLeaveResetAndReachTheRunWhenItResumes) {
  ScratchTreeWalker walker;
  TfrmMain& window = OpenAndPauseADeleteRun(walker);
  ASSERT_EQ(Text(IDC_BTN_REPLACE), "R&eset");

  ModalWatcher watcher([&](HWND dialog) {
    Click(GetDlgItem(dialog, IDC_OPT_CHK_ENABLE_DELETE));  // cleared: no warning
    Click(GetDlgItem(dialog, IDOK));
  });
  ClickControl(IDC_BTN_OPTIONS);
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "R&eset");  // left alone while paused
  EXPECT_FALSE(window.settings().Snapshot().enabledel);

  ClickControl(IDC_BTN_PAUSE);  // resumed: the caption follows the saved setting
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "&Replace");
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "&Replace");
}

TEST_F(MainWindowRunTest, TwoHundredThousandRowsReachTheListWhileTheWindowKeepsAnswering) {
  constexpr int kRows = 200000;
  WriteIni("SEARCHKEY=2\r\n");
  FloodWalker walker;
  walker.rows = kRows;
  TfrmMain& window = Open(false, &walker);
  walker.output = &window.output();
  SetText(IDC_EDT_FIND, "Key");

  // Another thread asks the window to answer, again and again, and keeps the longest wait.
  std::atomic<bool> done{false};
  std::atomic<long long> longest_ms{0};
  std::atomic<int> answers{0};
  std::atomic<bool> stopped{false};
  HWND target = window.hwnd();
  std::thread pinger([&] {
    while (!done) {
      const auto start = std::chrono::steady_clock::now();
      DWORD_PTR result = 0;
      SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
      longest_ms = std::max<long long>(longest_ms, waited);
      ++answers;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stopped = true;
  });
  const auto start = std::chrono::steady_clock::now();
  ClickControl(IDC_BTN_SEARCH);
  const bool idle = WaitForIdle(std::chrono::seconds(120));
  const auto total_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
  done = true;
  // The window answers the ping that may be on its way while the pinger stops.
  PumpUntil([&] { return stopped.load(); }, std::chrono::seconds(10));
  pinger.join();
  ASSERT_TRUE(idle);
  std::printf(
      "[ measured ] %d rows in %lld ms; longest wait for the window %lld ms over %d calls\n", kRows,
      total_ms, longest_ms.load(), answers.load());

  EXPECT_LT(longest_ms, 500);
  EXPECT_GT(answers, 3);
  EXPECT_EQ(window.key_list().rows().size(), static_cast<std::size_t>(kRows));
  EXPECT_EQ(SendMessageW(window.key_list().hwnd(), LVM_GETITEMCOUNT, 0, 0), kRows);
  EXPECT_EQ(window.key_list().rows()[123456],
            engine::MakeKeyListEntry("HKEY_CURRENT_USER", "\\Software\\Flood\\Key123456", "Value"));
  const auto lines = StatusLines();
  EXPECT_LE(lines.size(), 80u);
  EXPECT_EQ(lines[lines.size() - 2], "Search Matched " + std::to_string(kRows) + " Keys.");
  EXPECT_EQ(lines[lines.size() - 3], "Found Key199900");
}

TEST_F(MainWindowRunTest, SilentModeShowsNothingLogsNothingAndEndsWithTheRun) {
  WriteIni(
      "AUTOSTART=1\r\nAUTOCLOSE=1\r\nAUTOHIDE=1\r\nFIND=k00\r\nREPLACE=x\r\nSEARCHKEY=2\r\n"
      "SIMULATE=1\r\nLOGGING=2\r\n");
  // The run starts inside the window's creation: this walker visits without pause points or rows.
  ScratchTreeWalker walker;
  TfrmMain& window = Open(true, &walker);
  EXPECT_FALSE(window.ShouldShow());
  EXPECT_TRUE(window.context().silent);
  EXPECT_FALSE(IsWindowVisible(window.hwnd()));
  ASSERT_TRUE(PumpUntil([&] { return window.hwnd() == nullptr; }, std::chrono::seconds(30)));
  EXPECT_EQ(window.exit_code(), kExitOk);
  EXPECT_EQ(walker.visited, 120);
  EXPECT_EQ(window.status_list().model().Size(), 0u);
  // Not even the debug log file of LOGGING=2 is written.
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("DBG", 0), std::string::npos);
  }
  EXPECT_EQ(SavedValue("FIND"), "k00");  // UPDATEINI is on by default
}

TEST_F(MainWindowRunTest, SilentStartThatCannotRunEndsWithoutAMessageAndANonZeroCode) {
  WriteIni("AUTOSTART=1\r\nAUTOCLOSE=1\r\nAUTOHIDE=1\r\nFIND=k00\r\nREPLACE=\r\nSEARCHKEY=2\r\n");
  ModalWatcher watcher([](HWND box) { SendMessageW(box, WM_COMMAND, IDOK, 0); });
  TfrmMain& window = Open(false);
  ASSERT_TRUE(PumpUntil([&] { return window.hwnd() == nullptr; }));
  EXPECT_EQ(window.exit_code(), kExitNoRun);
  EXPECT_EQ(watcher.seen(), 0);
}

TEST_F(MainWindowRunTest, ClosingTheWindowDuringAPausedRunStopsItBeforeTheGateGoes) {
  WriteIni("SEARCHKEY=2\r\n");
  ScratchTreeWalker walker;
  TfrmMain& window = Open(false, &walker);
  walker.output = &window.output();
  SetText(IDC_EDT_FIND, "k0");
  ClickControl(IDC_BTN_SEARCH);
  ASSERT_TRUE(WaitForVisits(walker, 3));
  ClickControl(IDC_BTN_PAUSE);
  ASSERT_TRUE(Holds(walker));
  CloseWindow();  // as the system closes it
  EXPECT_EQ(window.hwnd(), nullptr);
  EXPECT_FALSE(window.controller().Active());
  EXPECT_LT(walker.visited, 120);
}

}  // namespace
}  // namespace keyloom::shell::testing
