// The Network Machine dialog opened by the main window's "&N" button, driven through its real
// controls. Wine connects to the local computer's name and to no other machine ("Bad network
// path."); connections that never answer are tested against the memory registry.
#include "shell/win32/net_machine_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "registry/registry.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

std::string StatusBarText(HWND dialog) {
  HWND bar = GetDlgItem(dialog, IDC_STS_WAIT);
  const auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return FromWide(text);
}

std::string LocalComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  EXPECT_TRUE(GetComputerNameW(name, &size));
  return FromWide(name);
}

// Presses a key in `control` the way the keyboard does.
void PressKey(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0x40000001);  // previous state down
}

class NetMachineDialogTest : public MainWindowTest {
 protected:
  // Two rows in the Key List, as an earlier run leaves them.
  void FillKeyList(TfrmMain& window) {
    window.key_list().rows().Append("HKEY_CURRENT_USER\t\\Software\\A\tPath");
    window.key_list().rows().Append("HKEY_CURRENT_USER\t\\Software\\B\tPath");
    window.key_list().ShowRows(true);
  }
  std::size_t KeyListRows(TfrmMain& window) { return window.key_list().rows().size(); }
  int RootSelection() {
    return static_cast<int>(SendMessageW(Control(IDC_CMB_KEYS), CB_GETCURSEL, 0, 0));
  }
  // Runs a search for "x" to its end and returns its status lines.
  std::vector<std::string> SearchLines() {
    SetText(IDC_EDT_FIND, "x");
    ClickControl(IDC_BTN_SEARCH);
    EXPECT_TRUE(WaitForIdle());
    return StatusLines();
  }
  static bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_F(NetMachineDialogTest, LayoutCaptionsFocusAndEscapeReturnsToTheLocalMachine) {
  WriteIni("SEARCHKEY=2\r\n");
  TfrmMain& window = Open();
  window.globals().search_machine = "\\\\EARLIER";
  window.UpdateKeysCombo();
  FillKeyList(window);
  std::string title;
  std::vector<std::string> texts;
  LONG_PTR style = 0;
  bool name_focused = false;
  bool connect_default = false;
  bool centred = false;
  std::string status;
  std::string name_hint;
  std::string cancel_hint;
  ModalWatcher watcher([&](HWND dialog) {
    title = WindowTextUtf8(dialog);
    texts = ChildTexts(dialog);
    style = GetWindowLongPtrW(dialog, GWL_STYLE);
    name_focused = GetFocus() == GetDlgItem(dialog, IDC_EDT_NET_MACHINE);
    connect_default = LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)) == IDOK &&
                      WindowTextUtf8(GetDlgItem(dialog, IDOK)) == "&Connect";
    RECT own{}, main{};
    GetWindowRect(dialog, &own);
    GetWindowRect(window.hwnd(), &main);
    centred = std::abs((own.left + own.right) - (main.left + main.right)) <= 2 &&
              std::abs((own.top + own.bottom) - (main.top + main.bottom)) <= 2;
    name_hint = DialogHint(dialog, IDC_EDT_NET_MACHINE);
    cancel_hint = DialogHint(dialog, IDCANCEL);
    // Enter on an empty name tests nothing.
    PressKey(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), VK_RETURN);
    PumpUntil([&] { return !StatusBarText(dialog).empty(); }, std::chrono::seconds(10),
              [&](MSG& message) { return IsDialogMessageW(dialog, &message) != FALSE; });
    status = StatusBarText(dialog);
    PressKey(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), VK_ESCAPE);
  });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_EQ(title, "Network Machine");
  EXPECT_EQ(texts, (std::vector<std::string>{"Enter Machine Name to connect to :", "", "&Connect",
                                             "C&ancel", ""}));
  EXPECT_FALSE(style & WS_SYSMENU);
  EXPECT_TRUE(name_focused);
  EXPECT_TRUE(connect_default);
  EXPECT_TRUE(centred);
  EXPECT_EQ(name_hint, "Enter the Name or IP Address of the Machine to Connect to.");
  EXPECT_EQ(cancel_hint, "Cancel Network Machine Selection (connect to local)");
  EXPECT_EQ(status, "Invalid Machine Name.");
  // Escape is Cancel: the local machine again, the Key List kept.
  EXPECT_EQ(window.globals().search_machine, "");
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom");
  EXPECT_EQ(RootSelection(), 0);
  EXPECT_EQ(KeyListRows(window), 2u);
}

TEST_F(NetMachineDialogTest, TheLocalComputersNameConnectsAndRunsThenReachItUntilCancel) {
  TfrmMain& window = Open();
  FillKeyList(window);
  const std::string name = LocalComputerName();
  ModalWatcher connect([&](HWND dialog) {
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), "  \\\\" + name + " ");
    PressKey(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), VK_RETURN);  // the dialog closes itself
  });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(connect.seen(), 1);
  EXPECT_EQ(window.globals().search_machine, "\\\\" + name);
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom [\\\\" + name + "]");
  EXPECT_EQ(RootSelection(), 0);
  EXPECT_EQ(SendMessageW(Control(IDC_CMB_KEYS), CB_GETCOUNT, 0, 0), 6);
  EXPECT_EQ(KeyListRows(window), 0u);
  EXPECT_EQ(SendMessageW(window.key_list().hwnd(), LVM_GETITEMCOUNT, 0, 0), 0);

  // "All" over the network: HKEY_LOCAL_MACHINE and HKEY_USERS only.
  std::vector<std::string> lines = SearchLines();
  EXPECT_TRUE(Contains(lines, "Connecting to remote registry on \\\\" + name));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_LOCAL_MACHINE"));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_USERS"));
  EXPECT_FALSE(Contains(lines, "Checking Key : HKEY_CLASSES_ROOT"));
  EXPECT_FALSE(Contains(lines, "Checking Key : HKEY_CURRENT_USER"));

  // Cancel: the local machine again, whatever was chosen before; the Key List stays.
  FillKeyList(window);
  ModalWatcher cancel([&](HWND dialog) { Click(GetDlgItem(dialog, IDCANCEL)); });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(cancel.seen(), 1);
  EXPECT_EQ(window.globals().search_machine, "");
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom");
  EXPECT_EQ(KeyListRows(window), 2u);
  lines = SearchLines();
  EXPECT_FALSE(Contains(lines, "Connecting to remote registry on \\\\" + name));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_CLASSES_ROOT"));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_CURRENT_CONFIG"));
}

TEST_F(NetMachineDialogTest, AMachineThatDoesNotAnswerShowsTheErrorAndChangesNothing) {
  TfrmMain& window = Open();
  window.globals().search_machine = "\\\\EARLIER";
  window.UpdateKeysCombo();
  FillKeyList(window);
  std::string status;
  bool connect_enabled = false;
  bool still_open = false;
  std::string machine_meanwhile;
  std::size_t rows_meanwhile = 0;
  ModalWatcher watcher([&](HWND dialog) {
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), "\\\\nosuchhost");
    Click(GetDlgItem(dialog, IDOK));
    PumpUntil([&] { return StatusBarText(dialog).rfind("Error: [", 0) == 0; });
    PumpUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; });
    status = StatusBarText(dialog);
    connect_enabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    still_open = IsWindowVisible(dialog) != FALSE;
    machine_meanwhile = window.globals().search_machine;
    rows_meanwhile = KeyListRows(window);
    Click(GetDlgItem(dialog, IDCANCEL));
  });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(watcher.seen(), 1);
  reg::TRegistry probe(*api_);
  probe.SetRootKey(reg::kLocalMachine);
  ASSERT_FALSE(probe.RegistryConnect("\\\\nosuchhost"));
  EXPECT_EQ(status, "Error: [" + probe.LastErrorText() + "]");
  EXPECT_TRUE(connect_enabled);
  EXPECT_TRUE(still_open);
  EXPECT_EQ(machine_meanwhile, "\\\\EARLIER");
  EXPECT_EQ(rows_meanwhile, 2u);
  // Then Cancel: the local caption is back.
  EXPECT_EQ(window.globals().search_machine, "");
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom");
  EXPECT_EQ(KeyListRows(window), 2u);
}

TEST_F(NetMachineDialogTest, ClosingTheDialogOtherwiseKeepsTheSearchMachine) {
  TfrmMain& window = Open();
  window.globals().search_machine = "\\\\EARLIER";
  window.UpdateKeysCombo();
  ModalWatcher watcher([&](HWND dialog) {
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), "OTHER");
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_EQ(window.globals().search_machine, "\\\\EARLIER");
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom [\\\\EARLIER]");
}

}  // namespace
}  // namespace keyloom::shell::testing
