// A replace run through the real main window, then "Undo a run..." from the status log's menu:
// the dialog lists the run, shows what it restores, and taking it back gives the registry from
// before byte for byte, in HKEY_CURRENT_USER and in each view of HKEY_LOCAL_MACHINE, while the
// other view's twin tree is never touched. Taking it back again asks first.
#include <windows.h>

#include <cwchar>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window_fixture.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kBase = "Software\\KeyloomTest\\UndoRun";

struct ViewCase {
  const char* name;
  reg::KeyHandle root;
  int searchkey;        // SEARCHKEY of the root
  std::uint32_t view;   // the view the scratch tree lives in
  std::uint32_t other;  // the other view, whose twin tree must stay untouched
  int scanmethod;       // SCANMETHOD selecting the view
};

void PrintTo(const ViewCase& view, std::ostream* out) { *out << view.name; }

std::vector<std::string> ListLines(HWND list) {
  std::vector<std::string> lines;
  const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    lines.push_back(FromWide(ListBoxText(list, i)));
  }
  return lines;
}

class UndoRunEndToEnd : public MainWindowTest, public ::testing::WithParamInterface<ViewCase> {
 protected:
  void SetUp() override {
    Scrub();
    files::testing::detail::PutScratchTree(*api_, GetParam().root, kBase, GetParam().view);
    if (GetParam().other != 0) {
      files::testing::detail::PutScratchTree(*api_, GetParam().root, kBase, GetParam().other);
    }
  }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    Scrub();
  }
  void Scrub() {
    files::testing::detail::DeleteTreeInBothViews(*api_, GetParam().root, "Software\\KeyloomTest");
  }
  reg::testing::TreeSnapshot Tree(std::uint32_t view) {
    return reg::testing::Snapshot(*api_, GetParam().root, kBase, view);
  }

  // Opens "Undo a run..." as the status log's menu does and lets `action` work the dialog.
  void UndoDialog(const std::function<void(HWND)>& action) {
    ModalWatcher watcher([&](HWND dialog) {
      if (GetDlgItem(dialog, IDC_UNDO_LST_RUNS) == nullptr) return;  // not ours
      action(dialog);
      Click(GetDlgItem(dialog, IDCANCEL));
    });
    SendMessageW(window_->hwnd(), WM_COMMAND, IDM_UNDO_RUN, 0);
    EXPECT_EQ(watcher.seen(), 1);
  }
  // Clicks "Undo Run", answers its questions with `answer` and waits for the take-back's end;
  // returns the questions asked.
  static std::vector<std::string> ClickUndo(HWND dialog, int answer = IDYES) {
    ModalWatcher box(
        [answer](HWND box) { PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0); },
        dialog);
    Click(GetDlgItem(dialog, IDC_UNDO_BTN_UNDO));
    // The files are read and merged beside the dialog; the runs come back when it has ended.
    EXPECT_TRUE(PumpUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_UNDO_LST_RUNS)); },
                          std::chrono::seconds(120)));
    return box.texts();
  }
  static void ChooseRun(HWND dialog, int index) {
    HWND list = GetDlgItem(dialog, IDC_UNDO_LST_RUNS);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UNDO_LST_RUNS, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  }
};

TEST_P(UndoRunEndToEnd, TheDialogTakesTheRunBackByteForByte) {
  const auto before = Tree(GetParam().view);
  const auto twin = GetParam().other != 0 ? Tree(GetParam().other) : before;
  WriteIni("FIND=ζQ7\r\nREPLACE=新R8\r\nSEARCHKEY=" + std::to_string(GetParam().searchkey) +
           "\r\nSEARCHKEYS=1\r\nSEARCHVALUES=1\r\nUNDO=7\r\nSAUNDO=1\r\nSCANMETHOD=" +
           std::to_string(GetParam().scanmethod) + "\r\nUNDODIR=" + folder_.Utf8() + "UNDO\r\n");
  real_walk_ = true;  // the program's own walk, 64-bit Windows detected
  Open(std::nullopt);
  ClickControl(IDC_BTN_REPLACE);
  ASSERT_TRUE(WaitForIdle(std::chrono::seconds(120)));
  const auto after = Tree(GetParam().view);
  ASSERT_NE(keyloom::testing::Differences(before, after), "");

  std::vector<std::string> runs;
  std::vector<std::string> restores;
  std::vector<std::string> results;
  UndoDialog([&](HWND dialog) {
    runs = ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RUNS));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_UNDO_BTN_UNDO)));
    ChooseRun(dialog, 0);
    restores = ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RESTORE));
    EXPECT_THAT(ClickUndo(dialog), ElementsAre(HasSubstr("Take back the run of ")));
    results = ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RESULTS));
    // The main window's status bar counts the files merged as a run's figures are shown.
    wchar_t figures[128] = {};
    SendMessageW(window_->status_bar(), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(figures));
    int merged = -1;
    int total = -2;
    EXPECT_EQ(std::swscanf(figures, L"Files %d of %d | 0:", &merged, &total), 2) << figures;
    EXPECT_EQ(merged, total) << FromWide(figures);
    EXPECT_EQ(window_->taskbar().shown().state, TaskbarState::kNone);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_UNDO_LST_RUNS)) << "the focus is on the runs";
  });
  EXPECT_THAT(runs, ElementsAre(HasSubstr("ζQ7 -> 新R8   (local)")));
  EXPECT_THAT(restores, Contains(HasSubstr("KeyloomTest\\UndoRun\\App-ζQ7")));
  ASSERT_FALSE(results.empty());
  EXPECT_THAT(results.back(), HasSubstr(" 0 with errors."));
  EXPECT_EQ(keyloom::testing::Differences(before, Tree(GetParam().view)), "");
  if (GetParam().other != 0) {
    EXPECT_EQ(keyloom::testing::Differences(twin, Tree(GetParam().other)), "")
        << "the other view is never touched";
  }

  // The run is marked undone below the taking back; taking it back again asks, and No leaves
  // everything as it is.
  std::vector<std::string> questions;
  UndoDialog([&](HWND dialog) {
    runs = ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RUNS));
    ChooseRun(dialog, 1);
    questions = ClickUndo(dialog, IDNO);
  });
  EXPECT_THAT(runs, ElementsAre(HasSubstr("(taking back the run of "), HasSubstr("undone ")));
  EXPECT_THAT(questions, ElementsAre(HasSubstr("Take it back again?")));
  EXPECT_EQ(keyloom::testing::Differences(before, Tree(GetParam().view)), "");

  // Taking back the taking back gives the registry after the run.
  UndoDialog([&](HWND dialog) {
    ChooseRun(dialog, 0);
    ClickUndo(dialog);
  });
  EXPECT_EQ(keyloom::testing::Differences(after, Tree(GetParam().view)), "");
}

// Three runs in a chain over the same values (ζQ7 -> a8 -> b9 -> c0): taking back the oldest
// through the dialog asks to take back the two later runs first; No leaves everything, Yes takes
// the three back, newest first, and the tree is as before the first run.
TEST_P(UndoRunEndToEnd, TheOldestOfChainedRunsGoesBackOnlyWithTheLaterOnes) {
  if (GetParam().root != reg::kCurrentUser) GTEST_SKIP() << "one view shows the flow";
  const auto before = Tree(GetParam().view);
  real_walk_ = true;
  const std::vector<std::pair<std::string, std::string>> chain = {
      {"ζQ7", "a8"}, {"a8", "b9"}, {"b9", "c0"}};
  for (const auto& [find, replace] : chain) {
    WriteIni("FIND=" + find + "\r\nREPLACE=" + replace +
             "\r\nSEARCHKEY=2\r\nSEARCHKEYS=1\r\nSEARCHVALUES=1\r\nUNDO=7\r\nSAUNDO=1\r\n"
             "SCANMETHOD=1\r\nUNDODIR=" +
             folder_.Utf8() + "UNDO\r\n");
    Open(std::nullopt);
    ClickControl(IDC_BTN_REPLACE);
    ASSERT_TRUE(WaitForIdle(std::chrono::seconds(120)));
    CloseWindow();
  }
  const auto after = Tree(GetParam().view);
  WriteIni("UNDODIR=" + folder_.Utf8() + "UNDO\r\n");
  Open(std::nullopt);
  std::vector<std::string> questions;
  UndoDialog([&](HWND dialog) {
    ASSERT_EQ(ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RUNS)).size(), 3u);
    ChooseRun(dialog, 2);
    questions = ClickUndo(dialog, IDNO);
  });
  ASSERT_THAT(questions, ElementsAre(HasSubstr("Later runs changed items of this run again")));
  EXPECT_THAT(questions[0], HasSubstr("a8 -> b9"));
  EXPECT_THAT(questions[0], HasSubstr("b9 -> c0"));
  EXPECT_EQ(keyloom::testing::Differences(after, Tree(GetParam().view)), "");
  std::vector<std::string> runs;
  UndoDialog([&](HWND dialog) {
    ChooseRun(dialog, 2);
    ClickUndo(dialog);
    runs = ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RUNS));
  });
  EXPECT_EQ(keyloom::testing::Differences(before, Tree(GetParam().view)), "");
  EXPECT_THAT(runs, Contains(HasSubstr("b9 -> c0   (local)   ")));
  for (const auto& run : runs) {
    if (run.find("(taking back") == std::string::npos) {
      EXPECT_THAT(run, HasSubstr("undone ")) << run;
    }
  }
}

constexpr std::uint32_t k32 = reg::access::kWow64_32Key;
constexpr std::uint32_t k64 = reg::access::kWow64_64Key;

INSTANTIATE_TEST_SUITE_P(
    Views, UndoRunEndToEnd,
    ::testing::Values(ViewCase{"CurrentUser", reg::kCurrentUser, 2, 0, 0, 1},
                      ViewCase{"LocalMachine32", reg::kLocalMachine, 3, k32, k64, 0},
                      ViewCase{"LocalMachine64", reg::kLocalMachine, 3, k64, k32, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keyloom::shell::testing
