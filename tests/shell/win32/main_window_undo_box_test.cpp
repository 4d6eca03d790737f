// The main window's "Create Registry Undo File" box: the UNDO bits that runs use, shown and changed
// from the main window and from the Options dialog alike, and obeyed by a real replace run.
#include <filesystem>

#include "base/text.h"
#include "files/reg_file_testing.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window_fixture.h"
#include "support/value_data.h"

namespace keyloom::shell::testing {
namespace {

constexpr const char* kKey = "Software\\KeyloomTest\\UndoBox";

class UndoBoxTest : public MainWindowTest {
 protected:
  void SetUp() override { Scrub(); }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    Scrub();
  }
  void Scrub() {
    files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, "Software\\KeyloomTest", 0);
  }
  void PutValue(const std::string& text) {
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(api_->CreateKey(reg::kCurrentUser, kKey, 0, reg::access::kAllAccess, &key, nullptr),
              reg::kSuccess);
    reg::UniqueKey guard(*api_, key);
    ASSERT_EQ(
        api_->SetValue(key, "v", reg::kRegSz, keyloom::testing::Utf16Z(text::Utf8ToUtf16(text))),
        reg::kSuccess);
  }
  std::string Value() {
    reg::KeyHandle key = reg::kNullKey;
    if (api_->OpenKey(reg::kCurrentUser, kKey, reg::access::kRead, &key) != reg::kSuccess) {
      return {};
    }
    reg::UniqueKey guard(*api_, key);
    std::uint32_t type = 0;
    reg::Bytes data;
    if (api_->QueryValue(key, "v", &type, &data) != reg::kSuccess) return {};
    return text::Utf16ToUtf8(text::BytesToUtf16(data));
  }
  LRESULT Box() { return SendMessageW(Control(IDC_CHK_REG_UNDO), BM_GETCHECK, 0, 0); }
  int Undo() { return window_->settings().Snapshot().undo; }
  std::size_t UndoFiles() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / "UNDO")) {
      if (entry.path().extension() == ".REG") ++count;
    }
    return count;
  }
  void ReplaceRun() {
    ClickControl(IDC_BTN_REPLACE);
    ASSERT_TRUE(WaitForIdle());
  }
};

TEST_F(UndoBoxTest, TheBoxIsTheRunUndoBitsFromBothPlacesAndRunsObeyIt) {
  const std::string find = "KeyloomUndoBox" + std::to_string(GetCurrentProcessId());
  PutValue(find);
  WriteIni("FIND=" + find + "\r\nREPLACE=done\r\nSEARCHKEY=2\r\nSEARCHVALUES=1\r\nUNDO=7\r\n" +
           "REGUNDO=0\r\n");
  OpenWithRegistryWalk();
  EXPECT_EQ(Box(), BST_CHECKED);  // UNDO decides, REGUNDO only mirrors it

  ClickControl(IDC_CHK_REG_UNDO);
  EXPECT_EQ(Box(), BST_UNCHECKED);
  EXPECT_EQ(Undo(), kUndoRenames);  // the renames bit is not the box's

  // The Options dialog shows the same bits; checking one of the two greys the box.
  ModalWatcher watcher([&](HWND dialog) {
    EXPECT_FALSE(IsChecked(GetDlgItem(dialog, IDC_OPT_CHK_UNDO_EDT)));
    EXPECT_FALSE(IsChecked(GetDlgItem(dialog, IDC_OPT_CHK_UNDO_DEL)));
    EXPECT_TRUE(IsChecked(GetDlgItem(dialog, IDC_OPT_CHK_UNDO_REN)));
    Click(GetDlgItem(dialog, IDC_OPT_CHK_UNDO_EDT));
    Click(GetDlgItem(dialog, IDOK));
  });
  ClickControl(IDC_BTN_OPTIONS);
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_EQ(Box(), BST_INDETERMINATE);
  EXPECT_EQ(SavedValue("REGUNDO"), "0");
  ClickControl(IDC_CHK_REG_UNDO);  // a greyed box becomes checked
  EXPECT_EQ(Box(), BST_CHECKED);
  EXPECT_EQ(Undo(), 7);
  ClickControl(IDC_CHK_REG_UNDO);
  EXPECT_EQ(Box(), BST_UNCHECKED);

  // Cleared: the run changes the value and records nothing.
  ReplaceRun();
  EXPECT_EQ(Value().substr(0, 4), "done");
  EXPECT_EQ(UndoFiles(), 0u);
  // Checked: the next run records its change.
  PutValue(find);
  ClickControl(IDC_CHK_REG_UNDO);
  ReplaceRun();
  EXPECT_EQ(UndoFiles(), 1u);

  CloseWindow();
  EXPECT_EQ(SavedValue("UNDO"), "7");
  EXPECT_EQ(SavedValue("REGUNDO"), "1");
}

}  // namespace
}  // namespace keyloom::shell::testing
