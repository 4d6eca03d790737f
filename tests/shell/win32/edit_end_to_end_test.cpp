// Editing and renaming results of a real search from the main window's Key List: the change is in
// the registry, the undo file records it, and merging the undo file with the registry editor gives
// back the registry from before, byte for byte.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "engine/key_list_entry.h"
#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "shell/win32/main_window_fixture.h"
#include "support/value_data.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell::testing {
namespace {

using reg::RawValue;

constexpr const char* kBase = "Software\\KeyloomTest\\EditE2E";
constexpr const char* kRowBase = "HKEY_CURRENT_USER\t\\Software\\KeyloomTest\\EditE2E\\";

class EditEndToEndTest : public MainWindowTest {
 protected:
  void SetUp() override {
    Scrub();
    Put("App", "s", {reg::kRegSz, keyloom::testing::Utf16Z(u"find kq7ζ text")});
    Put("App", "n", {reg::kRegSz, keyloom::testing::Utf16Z(u"no hit")});
    Put("Other", "kq7ζ name", {reg::kRegExpandSz, keyloom::testing::Utf16Z(u"%X%")});
    Put("kq7ζ Key\\Sub", "v", {reg::kRegDword, {1, 2, 3, 4}});
    before_ = Tree();
    WriteIni(
        "FIND=kq7ζ\r\nSEARCHKEY=2\r\nSEARCHKEYS=1\r\nSEARCHVALUES=1\r\nSEARCHTREE=1\r\n"
        "UNDO=7\r\nSAUNDO=1\r\n");
    // The program's own walk, not the fixture's.
    OpenWithRegistryWalk();
    ClickControl(IDC_BTN_SEARCH);
    ASSERT_TRUE(WaitForIdle());
  }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    Scrub();
  }
  void Scrub() {
    files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, "Software\\KeyloomTest\\EditE2E",
                                       0);
  }
  void Put(const std::string& path, const std::string& name, const RawValue& value) {
    files::testing::detail::PutValue(*api_, reg::kCurrentUser, std::string(kBase) + "\\" + path,
                                     name, value);
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase);
  }

  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    const KeyListRows& list = window_->key_list().rows();
    for (std::size_t i = 0; i < list.size(); ++i) rows.emplace_back(list[i]);
    return rows;
  }
  // Selects the row of `path` (below the scratch key) and `value`, as a click would.
  std::size_t SelectRow(const std::string& path, const std::string& value) {
    const std::vector<std::string> rows = Rows();
    const auto found = std::find(rows.begin(), rows.end(), kRowBase + path + "\t" + value);
    EXPECT_NE(found, rows.end()) << path << " " << value;
    const auto index = static_cast<std::size_t>(found - rows.begin());
    window_->key_list().Select({index});
    SetFocus(window_->key_list().hwnd());
    return index;
  }
  void DoubleClickRow(std::size_t index) {
    RECT rect{};
    rect.left = LVIR_LABEL;
    SendMessageW(window_->key_list().hwnd(), LVM_GETITEMRECT, index,
                 reinterpret_cast<LPARAM>(&rect));
    SendMessageW(window_->key_list().hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2));
  }
  // Enter as the keyboard gives it, through the window's keyboard handling.
  void PressEnterOnTheList() {
    PostMessageW(window_->key_list().hwnd(), WM_KEYDOWN, VK_RETURN, 1);
    PumpUntil([] { return false; }, std::chrono::milliseconds(200),
              [this](MSG& message) { return window_->PreTranslate(message); });
  }
  void RenameFromTheMenu() {
    SendMessageW(window_->hwnd(), WM_COMMAND, MAKEWPARAM(IDM_RENAME, 0), 0);
  }

  std::vector<std::filesystem::path> UndoFiles() {
    std::vector<std::filesystem::path> files;
    const auto folder = folder_.path() / L"UNDO";
    if (!std::filesystem::exists(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      // Only the undo files: the run journal and the runs' kept logs lie beside them.
      if (entry.path().extension() == L".REG") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  // The one undo file: it holds `line`, and merged it gives back the registry from before.
  void ExpectTheUndoFileTakesItBack(const std::string& line) {
    const auto files = UndoFiles();
    ASSERT_EQ(files.size(), 1u);
    const auto lines = files::testing::ReadRegFileLines(files[0]);
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    ASSERT_EQ(keyloom::testing::MergeRegFile(files[0], keyloom::testing::RegistryEditor::k64Bit),
              0u);
    EXPECT_EQ(keyloom::testing::Differences(before_, Tree()), "");
  }

  reg::testing::TreeSnapshot before_;
};

TEST_F(EditEndToEndTest, AStringEditedFromItsRowIsChangedAndItsUndoFileTakesItBack) {
  // A double click opens the editor with the data; Cancel changes nothing.
  std::vector<std::string> shown;
  std::string next_text;
  ModalWatcher watcher([&](HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_EDIT_VALUE);
    shown.push_back(WindowTextUtf8(dialog) + "|" + WindowTextUtf8(field));
    if (next_text.empty()) {
      Click(GetDlgItem(dialog, IDCANCEL));
    } else {
      SetWindowTextUtf8(field, next_text);
      Click(GetDlgItem(dialog, IDOK));
    }
  });
  DoubleClickRow(SelectRow("App", "s"));
  EXPECT_EQ(keyloom::testing::Differences(before_, Tree()), "");
  EXPECT_TRUE(UndoFiles().empty());
  // Enter on the list is "&Edit".
  next_text = "edited ζ text";
  SelectRow("App", "s");
  PressEnterOnTheList();
  EXPECT_EQ(shown, (std::vector<std::string>{"Edit Registry Key|find kq7ζ text",
                                             "Edit Registry Key|find kq7ζ text"}));
  reg::TRegistry reg(*api_);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kBase + "\\App"));
  EXPECT_EQ(reg.ReadRaw("s"), (RawValue{reg::kRegSz, keyloom::testing::Utf16Z(u"edited ζ text")}));
  reg.CloseKey();
  ExpectTheUndoFileTakesItBack("\"s\"=\"find kq7ζ text\"");
}

TEST_F(EditEndToEndTest, AValueRenamedFromItsRowLeavesTheListAndItsUndoFileTakesItBack) {
  ModalWatcher watcher([&](HWND dialog) {
    EXPECT_EQ(WindowTextUtf8(dialog), "Rename Registry Value");
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_EDIT_VALUE), "renamed");
    Click(GetDlgItem(dialog, IDOK));
  });
  SelectRow("Other", "kq7ζ name");
  const std::size_t rows = Rows().size();
  RenameFromTheMenu();
  EXPECT_EQ(watcher.seen(), 1);
  EXPECT_EQ(Rows().size(), rows) << "the row stays, naming the value as it is now";
  EXPECT_TRUE(WaitForLastLine("Value Renamed"));
  reg::TRegistry reg(*api_);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kBase + "\\Other"));
  EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"renamed"});
  EXPECT_EQ(reg.ReadRaw("renamed"), before_.at("Other").at("kq7ζ name"));
  reg.CloseKey();
  ExpectTheUndoFileTakesItBack("\"renamed\"=-");
}

TEST_F(EditEndToEndTest, AKeyRenamedFromItsRowMovesItsTreeAndItsUndoFileTakesItBack) {
  ModalWatcher watcher([&](HWND dialog) {
    EXPECT_EQ(WindowTextUtf8(dialog), "Rename Registry Key");
    HWND field = GetDlgItem(dialog, IDC_EDIT_VALUE);
    EXPECT_EQ(WindowTextUtf8(field), "kq7ζ Key");
    SetWindowTextUtf8(field, "Moved Key");
    Click(GetDlgItem(dialog, IDOK));
  });
  SelectRow("kq7ζ Key", "");
  RenameFromTheMenu();
  EXPECT_TRUE(WaitForLastLine("Key Renamed"));
  auto expected = before_;
  expected["Moved Key"] = expected["kq7ζ Key"];
  expected["Moved Key\\Sub"] = expected["kq7ζ Key\\Sub"];
  expected.erase("kq7ζ Key");
  expected.erase("kq7ζ Key\\Sub");
  EXPECT_EQ(keyloom::testing::Differences(expected, Tree()), "");
  ExpectTheUndoFileTakesItBack("[-HKEY_CURRENT_USER\\Software\\KeyloomTest\\EditE2E\\Moved Key]");
}

}  // namespace
}  // namespace keyloom::shell::testing
