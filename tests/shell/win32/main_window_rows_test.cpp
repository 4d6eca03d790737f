// The Key List's row commands in the real window: deleting selected rows (the Delete key, the
// menu, Ctrl+A) checked through the registry, and "&Open Regedit" with Wine's registry editor,
// started by the command and already running, its selection read back afterwards.
#include "edit/open_regedit.h"
#include "edit/win32/registry_editor_window.h"
#include "engine/key_list_entry.h"
#include "registry/registry.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

constexpr const char* kScratch = "\\Software\\KeyloomTest\\Rows";

class MainWindowRowsTest : public MainWindowTest {
 protected:
  void SetUp() override { reg::TRegistry(*api_).DeleteKey(kScratch); }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    CloseEditor();
    reg::TRegistry(*api_).DeleteKey(kScratch);
  }

  void PutString(const std::string& key, const std::string& name, const std::string& data) {
    reg::TRegistry reg(*api_);
    reg.CreateKey(std::string(kScratch) + key);
    ASSERT_TRUE(reg.OpenKey(std::string(kScratch) + key));
    reg.WriteString(name, data);
  }
  bool Exists(const std::string& key) { return reg::TRegistry(*api_).KeyExists(kScratch + key); }
  bool HasValue(const std::string& key, const std::string& name) {
    reg::TRegistry reg(*api_);
    return reg.OpenKey(kScratch + key) && reg.ValueExists(name);
  }
  void AddRows(TfrmMain& window, const std::vector<std::pair<std::string, std::string>>& rows) {
    for (const auto& [key, value] : rows) {
      window.output().AddKeyListEntry(
          engine::MakeKeyListEntry("HKEY_CURRENT_USER", kScratch + key, value));
    }
    window.DrainOutput();
  }
  std::string LastLine() {
    window_->DrainOutput();
    const auto lines = StatusLines();
    return lines.empty() ? std::string() : lines.back();
  }
  void Command(int id) { SendMessageW(window_->hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // A key press on the Key List, with Ctrl held or not.
  void KeyOnList(WORD key, bool control = false) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    const BYTE before = state[VK_CONTROL];
    state[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(state);
    SendMessageW(window_->key_list().hwnd(), WM_KEYDOWN, key, 1);
    state[VK_CONTROL] = before;
    SetKeyboardState(state);
  }

  static void CloseEditor() {
    HWND editor = FindWindowW(edit::RegistryEditorWindow::kMainClass, nullptr);
    if (editor == nullptr) return;
    PostMessageW(editor, WM_CLOSE, 0, 0);
    PumpUntil(
        [] { return FindWindowW(edit::RegistryEditorWindow::kMainClass, nullptr) == nullptr; });
  }
  std::string LastKey() {
    reg::TRegistry reg(*api_);
    if (!reg.OpenKey("\\" + std::string(edit::kRegeditAppletKey))) return {};
    return reg.ReadString(edit::kLastKeyValue);
  }
  // The row the editor's value list has selected, by its index.
  static int SelectedValueIndex() {
    HWND editor = FindWindowW(edit::RegistryEditorWindow::kMainClass, nullptr);
    HWND list = edit::FindDescendant(editor, edit::RegistryEditorWindow::kListClass);
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
};

TEST_F(MainWindowRowsTest, TheDeleteKeyDeletesThreeRowsAfterOneQuestionAndLogsTheVanishedKey) {
  PutString("\\Gone", "v", "data");
  PutString("\\Tree\\Deep", "d", "deep");
  PutString("\\Unnamed", "", "default");
  PutString("\\Unnamed", "keep", "kept");
  PutString("\\Untouched", "u", "data");
  TfrmMain& window = Open();
  AddRows(window,
          {{"\\Gone", "v"}, {"\\Tree", ""}, {"\\Unnamed", "(Default)"}, {"\\Untouched", "u"}});
  window.key_list().Select({0, 1, 2});
  reg::TRegistry(*api_).DeleteKey(std::string(kScratch) + "\\Gone");

  std::vector<std::string> questions;
  ModalWatcher yes([&](HWND box) {
    questions.push_back(MessageBoxText(box));
    Click(GetDlgItem(box, IDYES));
  });
  KeyOnList(VK_DELETE);
  window_->DrainOutput();

  EXPECT_EQ(questions,
            std::vector<std::string>{"Are you sure you wish to delete the Selected Key/Value(s)"});
  const std::string missing = reg::TrimMessage(api_->ErrorMessage(reg::kFileNotFound));
  EXPECT_EQ(LastLine(), "Unable to Open Registry Key, " + missing);
  EXPECT_FALSE(Exists("\\Tree"));
  EXPECT_TRUE(Exists("\\Unnamed"));
  EXPECT_FALSE(HasValue("\\Unnamed", ""));
  EXPECT_TRUE(HasValue("\\Unnamed", "keep"));
  EXPECT_TRUE(HasValue("\\Untouched", "u"));
  EXPECT_EQ(window.key_list().rows().size(), 4u);  // the rows stay
}

TEST_F(MainWindowRowsTest, CtrlASelectsEveryRowAndDeleteAnsweredNoKeepsThem) {
  PutString("\\One", "a", "1");
  PutString("\\Two", "b", "2");
  TfrmMain& window = Open();
  AddRows(window, {{"\\One", "a"}, {"\\Two", "b"}, {"\\Two", ""}});
  KeyOnList('A');
  EXPECT_EQ(window.key_list().SelectedCount(), 0u);
  KeyOnList('A', true);
  EXPECT_EQ(window.key_list().SelectedRows(), (std::vector<std::size_t>{0, 1, 2}));

  ModalWatcher no([](HWND box) { Click(GetDlgItem(box, IDNO)); });
  Command(IDM_DELETE);
  EXPECT_EQ(no.seen(), 1);
  EXPECT_TRUE(HasValue("\\One", "a"));
  EXPECT_TRUE(HasValue("\\Two", "b"));
}

TEST_F(MainWindowRowsTest, OpenRegeditStartsTheEditorAtTheRowAndSteersARunningOneToTheNext) {
  CloseEditor();
  for (const char* name : {"Alpha", "Setting", "Zulu"}) PutString("\\Example", name, "x");
  PutString("\\Examples", "a", "x");
  PutString("\\Other", "Beta", "x");
  PutString("\\Other", "Omega", "x");
  PutString("\\A", "a", "x");
  PutString("\\A b", "a", "x");
  TfrmMain& window = Open();
  AddRows(window, {{"\\Example", "Setting"}, {"\\Other", "Omega"}, {"\\A b", ""}});
  const std::string example = "HKEY_CURRENT_USER" + std::string(kScratch) + "\\Example";
  const std::string other = "HKEY_CURRENT_USER" + std::string(kScratch) + "\\Other";

  window.key_list().Select({0});
  Command(IDM_OPEN_REGEDIT);
  edit::RegistryEditorWindow editor;
  ASSERT_TRUE(editor.IsRunning());
  EXPECT_EQ(editor.SelectedKey(), example);
  EXPECT_EQ(SelectedValueIndex(), 2);  // (Default), Alpha, Setting

  window.key_list().Select({1});
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(editor.SelectedKey(), other);
  EXPECT_EQ(SelectedValueIndex(), 2);  // (Default), Beta, Omega
  for (const std::string& line : StatusLines()) {
    EXPECT_EQ(line.find("Regedit could not reach"), std::string::npos) << line;
  }
  // The editor's own account of where it was, written when it closes.
  CloseEditor();
  EXPECT_EQ(edit::KeyOfEditorPath(LastKey()), other);

  // A new editor opens at a key whose name holds a blank; a running one cannot be steered there,
  // since the tree's incremental search cannot type a blank, and the user is told where it stopped.
  const std::string blank = "HKEY_CURRENT_USER" + std::string(kScratch) + "\\A b";
  window.key_list().Select({2});
  Command(IDM_OPEN_REGEDIT);
  ASSERT_TRUE(editor.IsRunning());
  EXPECT_EQ(editor.SelectedKey(), blank);
  EXPECT_EQ(LastLine(), "");
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(LastLine(), "Regedit could not reach [" + blank + "], it stopped at [" +
                            "HKEY_CURRENT_USER" + std::string(kScratch) + "\\A]");
}

TEST_F(MainWindowRowsTest, OpenRegeditRefusesARemoteMachineAndAVanishedKey) {
  PutString("\\Example", "a", "x");
  TfrmMain& window = Open();
  AddRows(window, {{"\\Vanished", ""}});
  window.key_list().Select({0});
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(LastLine(), "Registry Key no longer exists?");

  window.globals().search_machine = "\\\\FAR";
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(LastLine(), "You cannot open regedit on a Remote Registry");
  EXPECT_EQ(FindWindowW(edit::RegistryEditorWindow::kMainClass, nullptr), nullptr);
}

}  // namespace
}  // namespace keyloom::shell::testing
