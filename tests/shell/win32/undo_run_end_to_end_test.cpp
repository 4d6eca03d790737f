// A replace run through the real main window, then "Undo a run..." from the status log's menu:
// the dialog lists the run, shows what it restores, and taking it back gives the registry from
// before byte for byte, in HKEY_CURRENT_USER and in each view of HKEY_LOCAL_MACHINE, while the
// other view's twin tree is never touched. Taking it back again asks first.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window_fixture.h"
#include "support/value_data.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell::testing {
namespace {

using reg::RawValue;

constexpr const char* kBase = "Software\\KeyloomTest\\UndoRun";

reg::Bytes Sz(std::u16string_view s) { return keyloom::testing::Utf16Z(s); }

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
    Populate(GetParam().view);
    if (GetParam().other != 0) Populate(GetParam().other);
  }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    Scrub();
  }
  void Scrub() {
    files::testing::detail::DeleteTreeInBothViews(*api_, GetParam().root, "Software\\KeyloomTest");
  }
  void Put(std::uint32_t view, const std::string& path, const std::string& name, RawValue value) {
    files::testing::detail::PutValue(*api_, GetParam().root, std::string(kBase) + "\\" + path, name,
                                     value, view);
  }
  // A renamed key with changed values inside it, every kind of value, text outside any code page.
  void Populate(std::uint32_t view) {
    Put(view, "App-ζQ7", "path", {reg::kRegSz, Sz(u"C:\\ζQ7\\bin")});
    Put(view, "App-ζQ7", "exp", {reg::kRegExpandSz, Sz(u"%TEMP%\\ζQ7")});
    Put(view, "App-ζQ7", "list",
        {reg::kRegMultiSz, text::Utf16ToBytes(std::u16string(u"one ζQ7\0two\0\0", 13))});
    Put(view, "App-ζQ7", "ζQ7 name", {reg::kRegSz, Sz(u"plain")});
    Put(view, "App-ζQ7", "num", {reg::kRegDword, {7, 0, 0, 0}});
    Put(view, "App-ζQ7", "", {reg::kRegSz, Sz(u"def ζQ7")});
    Put(view, "App-ζQ7\\Sub 日本", "v", {reg::kRegSz, Sz(u"ζQ7 sub \U0001F600")});
    Put(view, "Other", "x", {reg::kRegSz, Sz(u"no hit")});
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
  MainWindowOptions options;  // the program's own walk, 64-bit Windows detected
  options.api = api_.get();
  options.program_folder = folder_.Utf8();
  options.quit_on_destroy = false;
  window_ = std::make_unique<TfrmMain>(std::move(options));
  ASSERT_TRUE(window_->CreateMain(GetModuleHandleW(nullptr)));
  ShowWindow(window_->hwnd(), SW_SHOW);
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
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].find("ζQ7 -> 新R8   (local)"), std::string::npos) << runs[0];
  EXPECT_NE(std::find_if(restores.begin(), restores.end(),
                         [](const std::string& line) {
                           return line.find("KeyloomTest\\UndoRun\\App-ζQ7") != std::string::npos;
                         }),
            restores.end());
  ASSERT_FALSE(results.empty());
  EXPECT_NE(results.back().find(" 0 with errors."), std::string::npos) << results.back();
  EXPECT_EQ(keyloom::testing::Differences(before, Tree(GetParam().view)), "");
  if (GetParam().other != 0) {
    EXPECT_EQ(keyloom::testing::Differences(twin, Tree(GetParam().other)), "")
        << "the other view is never touched";
  }

  // The run is marked undone below the taking back; taking it back again asks, and No leaves
  // everything as it is.
  std::string question;
  UndoDialog([&](HWND dialog) {
    runs = ListLines(GetDlgItem(dialog, IDC_UNDO_LST_RUNS));
    ChooseRun(dialog, 1);
    // The question's box, answered from another thread while the dialog's click waits for it.
    std::thread answer([&] {
      for (int i = 0; i < 500; ++i) {
        HWND box = FindWindowW(L"#32770", L"Keyloom");
        if (box != nullptr && IsWindowVisible(box)) {
          question = MessageBoxText(box);
          PostMessageW(box, WM_COMMAND, IDNO, 0);
          return;
        }
        Sleep(20);
      }
    });
    Click(GetDlgItem(dialog, IDC_UNDO_BTN_UNDO));
    answer.join();
  });
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_NE(runs[0].find("(taking back the run of "), std::string::npos) << runs[0];
  EXPECT_NE(runs[1].find("undone "), std::string::npos) << runs[1];
  EXPECT_NE(question.find("Take it back again?"), std::string::npos) << question;
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
