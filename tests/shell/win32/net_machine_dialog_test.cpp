// The Network Machine dialog opened by the main window's "&N" button, driven through its real
// controls. Wine connects to the local computer's name and to no other machine ("Bad network
// path."); connections that never answer are tested against the memory registry.
#include "shell/win32/net_machine_dialog.h"

#include <algorithm>
#include <cstdlib>

#include "registry/registry.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

std::string LocalComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  EXPECT_TRUE(GetComputerNameW(name, &size));
  return FromWide(name);
}

std::string DialogStatus(HWND dialog) { return StatusBarText(GetDlgItem(dialog, IDC_STS_WAIT)); }

class NetMachineDialogTest : public MainWindowTest {
 protected:
  // Opens the window searching `machine`, with the Key List filled.
  TfrmMain& OpenWithRows(const std::string& machine) {
    TfrmMain& window = Open();
    window.context().machine = machine;
    window.UpdateKeysCombo();
    FillKeyList();
    return window;
  }
  // Two rows in the Key List, as an earlier run leaves them.
  void FillKeyList() {
    window_->key_list().rows().Append("HKEY_CURRENT_USER\t\\Software\\A\tPath");
    window_->key_list().rows().Append("HKEY_CURRENT_USER\t\\Software\\B\tPath");
    window_->key_list().ShowRows(true);
  }
  std::size_t KeyListRows() { return window_->key_list().rows().size(); }
  // The local machine again, the Key List kept.
  void ExpectLocalWithRows() {
    EXPECT_EQ(window_->context().machine, "");
    EXPECT_EQ(WindowTextUtf8(window_->hwnd()), "Keyloom");
    EXPECT_EQ(KeyListRows(), 2u);
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
  TfrmMain& window = OpenWithRows("\\\\EARLIER");
  ModalWatcher watcher([&](HWND dialog) {
    HWND name = GetDlgItem(dialog, IDC_EDT_NET_MACHINE);
    EXPECT_EQ(WindowTextUtf8(dialog), "Network Machine");
    EXPECT_EQ(ChildTexts(dialog), (std::vector<std::string>{"Enter &Machine Name to connect to :",
                                                            "", "&Connect", "C&ancel", ""}));
    EXPECT_FALSE(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU);
    EXPECT_EQ(GetFocus(), name);
    EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDOK);
    EXPECT_EQ(WindowTextUtf8(GetDlgItem(dialog, IDOK)), "&Connect");
    RECT own{}, main{};
    GetWindowRect(dialog, &own);
    GetWindowRect(window.hwnd(), &main);
    EXPECT_LE(std::abs((own.left + own.right) - (main.left + main.right)), 2) << "centred";
    EXPECT_LE(std::abs((own.top + own.bottom) - (main.top + main.bottom)), 2) << "centred";
    EXPECT_EQ(DialogHint(dialog, IDC_EDT_NET_MACHINE),
              "Enter the Name or IP Address of the Machine to Connect to.");
    EXPECT_EQ(DialogHint(dialog, IDCANCEL), "Cancel Network Machine Selection (connect to local)");
    // Enter on an empty name tests nothing.
    PostKey(name, VK_RETURN);
    PumpUntil([&] { return !DialogStatus(dialog).empty(); }, std::chrono::seconds(10),
              [&](MSG& message) { return IsDialogMessageW(dialog, &message) != FALSE; });
    EXPECT_EQ(DialogStatus(dialog), "Invalid Machine Name.");
    PostKey(name, VK_ESCAPE);
  });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(watcher.seen(), 1);
  // Escape is Cancel.
  ExpectLocalWithRows();
  EXPECT_EQ(SendMessageW(Control(IDC_CMB_KEYS), CB_GETCURSEL, 0, 0), 0);
}

TEST_F(NetMachineDialogTest, TheLocalComputersNameConnectsAndRunsThenReachItUntilCancel) {
  TfrmMain& window = OpenWithRows("");
  const std::string name = LocalComputerName();
  ModalWatcher connect([&](HWND dialog) {
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), "  \\\\" + name + " ");
    PostKey(GetDlgItem(dialog, IDC_EDT_NET_MACHINE), VK_RETURN);  // the dialog closes itself
  });
  SendMessageW(Control(IDC_CMB_KEYS), CB_SETCURSEL, 3, 0);  // the new machine's list shows "All"
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(connect.seen(), 1);
  EXPECT_EQ(window.context().machine, "\\\\" + name);
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom [\\\\" + name + "]");
  EXPECT_EQ(SendMessageW(Control(IDC_CMB_KEYS), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(SendMessageW(Control(IDC_CMB_KEYS), CB_GETCOUNT, 0, 0), 7);
  EXPECT_EQ(KeyListRows(), 0u);
  EXPECT_EQ(SendMessageW(window.key_list().hwnd(), LVM_GETITEMCOUNT, 0, 0), 0);

  // "All" over the network: HKEY_LOCAL_MACHINE and HKEY_USERS only.
  std::vector<std::string> lines = SearchLines();
  EXPECT_TRUE(Contains(lines, "Connecting to remote registry on \\\\" + name));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_LOCAL_MACHINE"));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_USERS"));
  EXPECT_FALSE(Contains(lines, "Checking Key : HKEY_CLASSES_ROOT"));
  EXPECT_FALSE(Contains(lines, "Checking Key : HKEY_CURRENT_USER"));

  // Cancel: the local machine again, whatever was chosen before; the Key List stays.
  FillKeyList();
  ModalWatcher cancel([&](HWND dialog) { Click(GetDlgItem(dialog, IDCANCEL)); });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(cancel.seen(), 1);
  ExpectLocalWithRows();
  lines = SearchLines();
  EXPECT_FALSE(Contains(lines, "Connecting to remote registry on \\\\" + name));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_CLASSES_ROOT"));
  EXPECT_TRUE(Contains(lines, "Checking Key : HKEY_CURRENT_CONFIG"));
}

// Closed otherwise (the caption's close message) the dialog keeps the machine searched before;
// a machine that does not answer shows its error, leaves the dialog open and changes nothing.
TEST_F(NetMachineDialogTest, ClosingKeepsTheMachineAndOneThatDoesNotAnswerChangesNothing) {
  TfrmMain& window = OpenWithRows("\\\\EARLIER");
  int step = 0;
  ModalWatcher watcher([&](HWND dialog) {
    HWND name = GetDlgItem(dialog, IDC_EDT_NET_MACHINE);
    if (step++ == 0) {
      SetWindowTextUtf8(name, "OTHER");
      PostMessageW(dialog, WM_CLOSE, 0, 0);
      return;
    }
    SetWindowTextUtf8(name, "\\\\nosuchhost");
    Click(GetDlgItem(dialog, IDOK));
    PumpUntil([&] { return DialogStatus(dialog).rfind("Error: [", 0) == 0; });
    PumpUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; });
    reg::TRegistry probe(*api_);
    probe.SetRootKey(reg::kLocalMachine);
    EXPECT_FALSE(probe.RegistryConnect("\\\\nosuchhost"));
    EXPECT_EQ(DialogStatus(dialog), "Error: [" + probe.LastErrorText() + "]");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(window.context().machine, "\\\\EARLIER");
    EXPECT_EQ(KeyListRows(), 2u);
    Click(GetDlgItem(dialog, IDCANCEL));
  });
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_EQ(window.context().machine, "\\\\EARLIER");
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom [\\\\EARLIER]");
  ClickControl(IDC_BTN_NETWORK);
  ASSERT_EQ(watcher.seen(), 2);
  ExpectLocalWithRows();  // after Cancel
}

}  // namespace
}  // namespace keyloom::shell::testing
