// The Key List exports and the log save through the real main window under Wine: a real search
// over a scratch tree fills the list, the menu commands open the real save dialog, and the files
// are compared with what they must hold; the REG export merged with the registry editor into the
// emptied tree brings the listed items back; the status list's pop-up menu saves the log; a long
// export keeps the window answering and Escape cancels it without touching the former file.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "engine/key_list_entry.h"
#include "files/list_export.h"
#include "files/reg_file_testing.h"
#include "registry/registry.h"
#include "registry/registry_contract.h"
#include "shell/win32/main_window_fixture.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell::testing {
namespace {

constexpr const char* kBase = "Software\\KeyloomTest\\Export";
constexpr const char* kRowPath = "\\Software\\KeyloomTest\\Export";

// A timer procedure that presses and releases S once.
void CALLBACK TypeS(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  INPUT press[2] = {};
  press[0].type = press[1].type = INPUT_KEYBOARD;
  press[0].ki.wVk = press[1].ki.wVk = 'S';
  press[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, press, sizeof(INPUT));
}

class ListExportWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    Clear();
    reg::TRegistry reg(*api_);
    const std::string base = std::string("\\") + kBase;
    reg.CreateKey(base + "\\KlxHit\\Sub");
    reg.OpenKey(base + "\\KlxHit");
    reg.WriteString("", "abc");
    reg.OpenKey(base + "\\KlxHit\\Sub");
    reg.WriteString("Deep", "d");
    reg.CreateKey(base + "\\Other");
    reg.OpenKey(base + "\\Other");
    reg.WriteString("KlxHit,Name", "x");
    reg.WriteInteger("KlxHitCount", -1);
    reg.WriteBinaryData("KlxHitData", reg::Bytes{0x01, 0x02});
    reg.WriteString("Note", "Grüße KlxHit");
  }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    Clear();
  }
  void Clear() { files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, kBase, 0); }

  // The window with the registry walk, after a search of HKEY_CURRENT_USER for KlxHit in key
  // names, value names and value data.
  TfrmMain& SearchScratchTree() {
    OpenWithRegistryWalk();
    SetText(IDC_EDT_FIND, "KlxHit");
    SelectItem(IDC_CMB_KEYS, 2);  // HKEY_CURRENT_USER
    for (const int check : {IDC_CHK_VALUES, IDC_CHK_NAMES, IDC_CHK_TREE}) {
      SendMessageW(Control(check), BM_SETCHECK, BST_CHECKED, 0);
    }
    ClickControl(IDC_BTN_SEARCH);
    EXPECT_TRUE(WaitForIdle());
    window_->DrainOutput();
    return *window_;
  }

  // Answers the save dialog with `file` and every Yes/No question with `yes`; records what it saw.
  std::unique_ptr<ModalWatcher> AnswerDialogs(const std::filesystem::path& file, bool yes = true) {
    seen_.clear();
    return std::make_unique<ModalWatcher>([this, file, yes](HWND dialog) {
      const std::string title = WindowTextUtf8(dialog);
      HWND name = GetDlgItem(dialog, 0x47c);  // the file name box (cmb13), else edt1
      if (name == nullptr) name = GetDlgItem(dialog, 0x480);
      if (name != nullptr && title.rfind("Save ", 0) == 0) {
        std::string types;  // cmb1: the file types
        for (const auto& type : ComboItems(GetDlgItem(dialog, 0x470))) {
          types += (types.empty() ? "" : "|") + type;
        }
        seen_.push_back(title + " [" + types + "]");
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.wstring().c_str()));
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        return;
      }
      seen_.push_back(MessageBoxText(dialog));
      SendMessageW(dialog, WM_COMMAND, yes ? IDYES : IDNO, 0);
    });
  }

  // Runs the export `command`, answering its dialogs as AnswerDialogs does; true when it ended.
  bool Export(int command, const std::filesystem::path& file, bool yes = true) {
    {
      auto answers = AnswerDialogs(file, yes);
      Command(command);
    }
    return WaitForExport();
  }
  bool WaitForExport(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    return PumpUntil([&] { return !window_->list_export().Busy(); }, timeout,
                     [&](MSG& m) { return window_->PreTranslate(m); });
  }
  std::string StatusBar() { return WindowTextUtf8(window_->status_bar()); }

  std::vector<std::string> seen_;
};

TEST_F(ListExportWindowTest, CsvAndRegExportsOfARealRunHoldTheListAndTheRegFileRecreatesIt) {
  TfrmMain& window = SearchScratchTree();
  ASSERT_EQ(window.key_list().rows().size(), 5u) << WindowTextUtf8(window.status_bar());

  const auto csv = folder_.path() / "list.csv";
  ASSERT_TRUE(Export(IDM_SAVE_CSV, folder_.path() / "list"));  // the dialog adds the extension
  EXPECT_EQ(seen_,
            (std::vector<std::string>{"Save CSV List [Comma Delimited|Text File|All Files]"}));
  const std::string row = std::string("HKEY_CURRENT_USER,") + kRowPath;
  EXPECT_EQ(keyloom::testing::ReadBytes(csv),
            std::string(files::kUtf8Bom) + row + "\\KlxHit,,abc\r\n" + row +
                "\\Other,\"KlxHit,Name\",x\r\n" + row + "\\Other,KlxHitCount,-1\r\n" + row +
                "\\Other,KlxHitData,\"01,02\"\r\n" + row + "\\Other,Note,Grüße KlxHit\r\n");
  EXPECT_EQ(StatusLines().back(), "** File Saved **");
  for (const int id : {IDC_BTN_SEARCH, IDC_BTN_REPLACE, IDC_BTN_NETWORK}) EXPECT_TRUE(Enabled(id));
  EXPECT_TRUE(IsWindowEnabled(window.key_list().hwnd()));

  const auto before = reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase);
  const auto regfile = folder_.path() / "list.reg";
  ASSERT_TRUE(Export(IDM_SAVE_REG, regfile));
  EXPECT_EQ(seen_, (std::vector<std::string>{"Save REG File [REG File|All Files]"}));
  std::vector<std::string> expected{"Windows Registry Editor Version 5.00", "",
                                    ";This registry file was created by Keyloom (keyloom.dev)",
                                    ";This undo file should be run on the [] machine"};
  const std::pair<const char*, const char*> items[] = {{"KlxHit", "@=\"abc\""},
                                                       {"KlxHit\\Sub", "\"Deep\"=\"d\""},
                                                       {"Other", "\"KlxHit,Name\"=\"x\""},
                                                       {"Other", "\"KlxHitCount\"=dword:ffffffff"},
                                                       {"Other", "\"KlxHitData\"=hex:01,02"},
                                                       {"Other", "\"Note\"=\"Grüße KlxHit\""}};
  for (const auto& [key, line] : items) {
    expected.insert(expected.end(),
                    {"", std::string("[HKEY_CURRENT_USER") + kRowPath + "\\" + key + "]", line});
  }
  EXPECT_EQ(files::testing::ReadRegFileLines(regfile), expected);

  // Merged by the registry editor into the emptied tree, the file brings every listed item back.
  Clear();
  ASSERT_TRUE(reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase).empty());
  ASSERT_EQ(keyloom::testing::MergeRegFile(regfile, keyloom::testing::RegistryEditor::k64Bit), 0u);
  EXPECT_EQ(keyloom::testing::Differences(before,
                                          reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase)),
            "");

  // No to the erase question: the file stays, nothing is logged.
  const std::string saved = keyloom::testing::ReadBytes(regfile);
  const std::size_t lines = StatusLines().size();
  ASSERT_TRUE(Export(IDM_SAVE_REG, regfile, false));
  EXPECT_EQ(seen_, (std::vector<std::string>{"Save REG File [REG File|All Files]",
                                             "Erase " + regfile.string() + "?"}));
  EXPECT_EQ(keyloom::testing::ReadBytes(regfile), saved);
  EXPECT_EQ(StatusLines().size(), lines);
  EXPECT_TRUE(Enabled(IDC_BTN_SEARCH));
}

TEST_F(ListExportWindowTest, TheStatusLogsMenuSavesTheLinesTheListHolds) {
  TfrmMain& window = Open();
  for (int i = 1; i <= 85; ++i) window.output().AddStatusLine("line " + std::to_string(i));
  window.DrainOutput();

  HMENU menu = window.list_export().status_menu();
  ASSERT_NE(menu, nullptr);
  wchar_t label[32] = {};
  GetMenuStringW(menu, 0, label, 32, MF_BYPOSITION);
  EXPECT_EQ(FromWide(label), "&Save to Logfile");
  ASSERT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_SAVE_LOG));

  const auto file = folder_.path() / "run.log";
  keyloom::testing::WriteBytes(file, "former");
  {
    auto answers = AnswerDialogs(folder_.path() / "run");
    // A right click on the status list opens its menu; S (its item's accelerator) chooses the
    // item, typed from a timer while the menu's own loop runs.
    HWND list = window.status_list().hwnd();
    RECT rect{};
    GetWindowRect(list, &rect);
    const UINT_PTR key = SetTimer(nullptr, 0, 100, TypeS);
    SendMessageW(window.hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list),
                 MAKELPARAM(rect.left + 10, rect.top + 10));
    KillTimer(nullptr, key);
    PumpUntil([&] { return seen_.size() >= 2; }, std::chrono::seconds(10));
  }
  EXPECT_EQ(seen_, (std::vector<std::string>{"Save Log File [Log Files|Text File|All Files]",
                                             "Erase " + file.string() + "?"}));
  const std::vector<std::string> held = StatusLines();
  ASSERT_LE(held.size(), 80u);
  EXPECT_EQ(held.back(), "line 85");
  std::string expected(files::kUtf8Bom);
  for (const std::string& line : held) expected += line + "\r\n";
  EXPECT_EQ(keyloom::testing::ReadBytes(file), expected);
}

TEST_F(ListExportWindowTest, ALongExportKeepsTheWindowAnsweringAndEscapeLeavesTheFormerFile) {
  TfrmMain& window = Open();
  // 200,000 rows, each read afresh from the registry: several seconds of work under Wine.
  for (int i = 0; i < 200000; ++i) {
    window.key_list().rows().Append(engine::MakeKeyListEntry(
        "HKEY_CURRENT_USER", std::string(kRowPath) + "\\Other", i % 2 ? "Note" : "KlxHit,Name"));
  }
  window.key_list().ShowRows(true);
  const auto file = folder_.path() / "big.csv";
  keyloom::testing::WriteBytes(file, "former");
  {
    auto answers = AnswerDialogs(file);
    Command(IDM_SAVE_CSV);
    PumpFor(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(window.list_export().Busy());
  for (const int id : {IDC_BTN_SEARCH, IDC_BTN_REPLACE, IDC_BTN_NETWORK}) EXPECT_FALSE(Enabled(id));
  EXPECT_FALSE(IsWindowEnabled(window.key_list().hwnd()));

  // The window answers while the worker writes, and the bar's dots move at the paced rate.
  std::vector<std::string> bars;
  std::vector<std::string> counts;  // the bar's right part
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
  while (std::chrono::steady_clock::now() < until) {
    DWORD_PTR ignored = 0;
    ASSERT_NE(SendMessageTimeoutW(window.hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 200, &ignored), 0);
    PumpFor(std::chrono::milliseconds(20));
    if (bars.empty() || bars.back() != StatusBar()) bars.push_back(StatusBar());
    wchar_t count[128] = {};
    SendMessageW(window.status_bar(), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(count));
    if (counts.empty() || counts.back() != FromWide(count)) counts.push_back(FromWide(count));
  }
  // The rows written of all with the time, as a run's figures show; the taskbar the same share.
  ASSERT_FALSE(counts.empty());
  for (const auto& count : counts) {
    EXPECT_EQ(count.rfind("Rows ", 0), 0u) << count;
    EXPECT_NE(count.find(" of 200,000 | 0:"), std::string::npos) << count;
  }
  EXPECT_EQ(window.taskbar().shown().state, TaskbarState::kNormal);
  EXPECT_EQ(window.taskbar().shown().total, 200000u);
  ASSERT_GE(bars.size(), 2u);
  for (const auto& bar : bars) {
    EXPECT_EQ(bar.rfind("Please wait Creating export file", 0), 0u) << bar;
    EXPECT_LE(bar.size(), 51u);
  }

  // Escape in the find box, through the window's keyboard handling.
  ASSERT_TRUE(window.list_export().Busy());
  SetFocus(Control(IDC_EDT_FIND));
  PostMessageW(Control(IDC_EDT_FIND), WM_KEYDOWN, VK_ESCAPE, 1);
  ASSERT_TRUE(WaitForExport(std::chrono::seconds(10)));
  window.DrainOutput();
  EXPECT_EQ(StatusLines().back(), "Export cancelled, the file was not written.");
  EXPECT_EQ(window.taskbar().shown().state, TaskbarState::kNone);  // a cancel is no failure
  EXPECT_EQ(keyloom::testing::ReadBytes(file), "former");
  EXPECT_FALSE(std::filesystem::exists(base::TempPathFor(file)));
  EXPECT_TRUE(Enabled(IDC_BTN_SEARCH));
  EXPECT_TRUE(IsWindowEnabled(window.key_list().hwnd()));
}

}  // namespace
}  // namespace keyloom::shell::testing
