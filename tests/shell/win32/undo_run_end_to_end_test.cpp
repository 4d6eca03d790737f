// A replace run through the real main window, then "Undo a run..." from the status log's menu:
// the dialog lists the run, shows what it restores, and taking it back gives the registry from
// before byte for byte, in HKEY_CURRENT_USER and in each view of HKEY_LOCAL_MACHINE, while the
// other view's twin tree is never touched. Taking it back again asks first.
#include <windows.h>

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
    Click(GetDlgItem(dialog, IDC_UNDO_BTN_UNDO));
    results = ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RESULTS));
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
    ModalWatcher no([](HWND box) { PostMessageW(box, WM_COMMAND, IDNO, 0); }, dialog);
    Click(GetDlgItem(dialog, IDC_UNDO_BTN_UNDO));
    questions = no.texts();
  });
  EXPECT_THAT(runs, ElementsAre(HasSubstr("(taking back the run of "), HasSubstr("undone ")));
  EXPECT_THAT(questions, ElementsAre(HasSubstr("Take it back again?")));
  EXPECT_EQ(keyloom::testing::Differences(before, Tree(GetParam().view)), "");

  // Taking back the taking back gives the registry after the run.
  UndoDialog([&](HWND dialog) {
    ChooseRun(dialog, 0);
    Click(GetDlgItem(dialog, IDC_UNDO_BTN_UNDO));
  });
  EXPECT_EQ(keyloom::testing::Differences(after, Tree(GetParam().view)), "");
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
