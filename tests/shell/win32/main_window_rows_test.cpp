// The Key List's row commands in the real window: deleting selected rows (the Delete key, the
// menu, Ctrl+A) checked through the registry, and "&Open Regedit" with Wine's registry editor,
// started by the command and already running, its selection read back afterwards, and refused
// for a vanished key and a remote machine.
#include "base/text.h"
#include "edit/open_regedit.h"
#include "edit/win32/registry_editor_window.h"
#include "engine/key_list_entry.h"
#include "registry/registry.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

constexpr const char* kScratch = "\\Software\\KeyloomTest\\Rows";

class MainWindowRowsTest : public ScratchKeyWindowTest {
 protected:
  MainWindowRowsTest() : ScratchKeyWindowTest(kScratch) {}
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    CloseEditor();
    ScratchKeyWindowTest::TearDown();
  }

  // String values named `names` in `key` below the scratch key.
  void PutStrings(const std::string& key, std::initializer_list<const char*> names) {
    reg::TRegistry reg(*api_);
    reg.CreateKey(kScratch + key);
    ASSERT_TRUE(reg.OpenKey(kScratch + key));
    for (const char* name : names) reg.WriteString(name, "x");
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
  // A key press on the Key List, with Ctrl held or not.
  void KeyOnList(WORD key, bool control = false) {
    WithModifiers(control, false,
                  [&] { SendMessageW(window_->key_list().hwnd(), WM_KEYDOWN, key, 1); });
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

TEST_F(MainWindowRowsTest, CtrlASelectsAllAndDeleteAsksOnceThenDeletesTheRowsAndLogsAVanishedKey) {
  PutStrings("\\Gone", {"v"});
  PutStrings("\\Tree\\Deep", {"d"});
  PutStrings("\\Unnamed", {"", "keep"});
  PutStrings("\\Untouched", {"u"});
  TfrmMain& window = Open();
  AddRows(window,
          {{"\\Gone", "v"}, {"\\Tree", ""}, {"\\Unnamed", "(Default)"}, {"\\Untouched", "u"}});
  KeyOnList('A');
  EXPECT_EQ(window.key_list().SelectedCount(), 0u);
  KeyOnList('A', true);
  EXPECT_EQ(window.key_list().SelectedRows(), (std::vector<std::size_t>{0, 1, 2, 3}));
  {
    ModalWatcher no([](HWND box) { Click(GetDlgItem(box, IDNO)); });
    Command(IDM_DELETE);
    EXPECT_EQ(no.seen(), 1);
  }
  EXPECT_TRUE(HasValue("\\Gone", "v"));
  EXPECT_TRUE(Exists("\\Tree\\Deep"));

  window.key_list().Select({0, 1, 2});
  reg::TRegistry(*api_).DeleteKey(std::string(kScratch) + "\\Gone");
  ModalWatcher yes([&](HWND box) { Click(GetDlgItem(box, IDYES)); });
  KeyOnList(VK_DELETE);
  EXPECT_EQ(yes.texts(),
            std::vector<std::string>{"Are you sure you wish to delete the Selected Key/Value(s)"});
  const std::string missing = text::TrimMessage(api_->ErrorMessage(reg::kFileNotFound));
  EXPECT_EQ(LastLine(), "Unable to Open Registry Key, " + missing);
  EXPECT_FALSE(Exists("\\Tree"));
  EXPECT_TRUE(Exists("\\Unnamed"));
  EXPECT_FALSE(HasValue("\\Unnamed", ""));
  EXPECT_TRUE(HasValue("\\Unnamed", "keep"));
  EXPECT_TRUE(HasValue("\\Untouched", "u"));
  EXPECT_EQ(window.key_list().rows().size(), 4u);  // the rows stay
}

TEST_F(MainWindowRowsTest,
       OpenRegeditStartsTheEditorAtTheRowSteersARunningOneAndRefusesGoneOrRemoteKeys) {
  CloseEditor();
  PutStrings("\\Example", {"Alpha", "Setting", "Zulu"});
  PutStrings("\\Other", {"Beta", "Omega"});
  for (const char* key : {"\\Examples", "\\A", "\\A b"}) PutStrings(key, {"a"});
  TfrmMain& window = Open();
  AddRows(window, {{"\\Example", "Setting"}, {"\\Other", "Omega"}, {"\\A b", ""}});
  const std::string scratch = "HKEY_CURRENT_USER" + std::string(kScratch);

  window.key_list().Select({0});
  Command(IDM_OPEN_REGEDIT);
  edit::RegistryEditorWindow editor;
  ASSERT_TRUE(editor.IsRunning());
  EXPECT_EQ(editor.SelectedKey(), scratch + "\\Example");
  EXPECT_EQ(SelectedValueIndex(), 2);  // (Default), Alpha, Setting

  window.key_list().Select({1});
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(editor.SelectedKey(), scratch + "\\Other");
  EXPECT_EQ(SelectedValueIndex(), 2);  // (Default), Beta, Omega
  for (const std::string& line : StatusLines()) {
    EXPECT_EQ(line.find("Regedit could not reach"), std::string::npos) << line;
  }
  // The editor's own account of where it was, written when it closes.
  CloseEditor();
  EXPECT_EQ(edit::KeyOfEditorPath(LastKey()), scratch + "\\Other");

  // A new editor opens at a key whose name holds a blank; a running one cannot be steered there,
  // since the tree's incremental search cannot type a blank, and the user is told where it stopped.
  const std::string blank = scratch + "\\A b";
  window.key_list().Select({2});
  Command(IDM_OPEN_REGEDIT);
  ASSERT_TRUE(editor.IsRunning());
  EXPECT_EQ(editor.SelectedKey(), blank);
  EXPECT_EQ(LastLine(), "");
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(LastLine(),
            "Regedit could not reach [" + blank + "], it stopped at [" + scratch + "\\A]");

  // A key that is gone, and any key of a remote machine, open no editor.
  CloseEditor();
  AddRows(window, {{"\\Vanished", ""}});
  window.key_list().Select({3});
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(LastLine(), "Registry Key no longer exists?");
  window.context().machine = "\\\\FAR";
  window.key_list().Select({0});
  Command(IDM_OPEN_REGEDIT);
  EXPECT_EQ(LastLine(), "You cannot open regedit on a Remote Registry");
  EXPECT_EQ(FindWindowW(edit::RegistryEditorWindow::kMainClass, nullptr), nullptr);
}

}  // namespace
}  // namespace keyloom::shell::testing
