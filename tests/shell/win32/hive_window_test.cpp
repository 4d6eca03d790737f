// The hive operations through the real Options dialog and Wine's registry: its buttons pressed,
// its file dialogs and message boxes answered from inside their modal loops. Wine saves hives in
// a text format of its own and loads those; its RegRestoreKey and RegReplaceKey do nothing, so
// Restore and Replace are tested against the memory registry only.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "base/local_date.h"
#include "base/utf8_path.h"
#include "engine/run_context.h"
#include "registry/registry.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/hive_maintenance.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/gui_test_support.h"
#include "shell/win32/hive_window.h"
#include "shell/win32/options_dialog.h"
#include "shell/win32/resource_ids.h"
#include "support/temp_folder.h"

namespace keyloom::shell::testing {
namespace {

constexpr char kSandbox[] = "Software\\KeyloomHiveTest";

// Answers a dialog the Options dialog `options` opened, from inside its own modal loop: a message
// box gets Yes (else OK) and its text is recorded; a file dialog gets the next of `files` (none:
// the proposal) and OK, and its title is recorded. Other windows (the Options dialog itself, the
// please-wait window) are left alone.
void Answer(HWND options, HWND dialog, std::deque<std::string>* files,
            std::vector<std::string>* seen) {
  if (GetWindow(dialog, GW_OWNER) != options) return;
  if (GetDlgItem(dialog, 0xFFFF) != nullptr) {  // a message box
    seen->push_back(MessageBoxText(dialog));
    const int answer = GetDlgItem(dialog, IDYES) != nullptr ? IDYES : IDOK;
    PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    return;
  }
  PumpFor(std::chrono::milliseconds(200));
  seen->push_back("file dialog: " + WindowTextUtf8(dialog));
  if (!files->empty()) {
    const std::wstring file = ToWide(files->front());
    files->pop_front();
    for (int id : {0x480, 0x47C}) {  // the file name's edit box, or its combo box
      if (HWND box = GetDlgItem(dialog, id)) SetWindowTextW(box, file.c_str());
    }
  }
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

class HiveWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Cleanup();
    reg::TRegistry registry(*api_);
    registry.CreateKey(kSandbox);
    ASSERT_TRUE(registry.OpenKey(kSandbox));
    registry.WriteString("name", "saved value");
  }
  void TearDown() override { Cleanup(); }
  void Cleanup() {
    reg::TRegistry registry(*api_);
    registry.DeleteKey(kSandbox);
    registry.SetRootKey(reg::kUsers);
    if (registry.KeyExists(kLoadedHiveKey)) {
      const reg::PrivilegeScope restore(*api_, "SeRestorePrivilege");
      registry.UnLoadKey(kLoadedHiveKey);
    }
  }

  // Opens the real Options dialog on its Backup/Restore page, selects root `root_index` and
  // presses the buttons in turn; returns what the dialogs it opened showed.
  std::vector<std::string> Press(int root_index, std::initializer_list<int> buttons,
                                 std::deque<std::string> files = {}) {
    engine::RunContext context;
    context.api = api_.get();
    context.settings = &settings_;
    context.program.folder = folder_.Utf8();
    TfrmOptions options(settings_, context, {});
    options.SetEditorOpener([this](const std::string& root, const std::string& key) {
      editor_opened_at_ = root + "\\" + key;
    });
    std::vector<std::string> seen;
    ModalWatcher watcher([&](HWND dialog) {
      PumpFor(std::chrono::milliseconds(60));
      SendMessageW(GetDlgItem(dialog, IDC_OPT_CMB_KEY_ROOT_LIST), CB_SETCURSEL,
                   static_cast<WPARAM>(root_index), 0);
      {
        ModalWatcher answers([&](HWND inner) { Answer(dialog, inner, &files, &seen); });
        for (int button : buttons) Click(GetDlgItem(dialog, button));
      }
      Click(GetDlgItem(dialog, IDCANCEL));
    });
    options.Show(GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(watcher.seen(), 1);
    return seen;
  }

  std::string Today() const { return ProposedBackupName(base::TodayLocalDate()); }
  std::filesystem::path Backups() const { return folder_.path() / "RegBack"; }

  keyloom::testing::TempFolder folder_;
  SettingsStore settings_;
  std::unique_ptr<reg::RegApi> api_ = reg::NewWin32RegApi();
  std::string editor_opened_at_;
};

using ::testing::ElementsAre;

TEST_F(HiveWindowTest, RefusalsBackupsOfCurrentUserAndUsersThenLoadAsKlLoadThenUnload) {
  const std::string refusal = "Please select a Key to Backup/Restore.";
  EXPECT_THAT(Press(0, {IDC_OPT_BTN_BACKUP, IDC_OPT_BTN_RESTORE, IDC_OPT_BTN_REPLACE}),
              ElementsAre(refusal, refusal, refusal));

  // HKEY_USERS: one file per subkey, next to the one file of HKEY_CURRENT_USER.
  std::vector<std::string> expected{"CU" + Today()};
  {
    reg::TRegistry users(*api_);
    users.SetRootKey(reg::kUsers);
    users.SetAccessMode(1);
    ASSERT_TRUE(users.OpenKey(""));
    for (const std::string& name : users.GetKeyNames()) {
      expected.push_back("US" + Today() + "_" + name);
    }
  }
  ASSERT_GT(expected.size(), 1u);
  EXPECT_THAT(Press(2, {IDC_OPT_BTN_BACKUP}),
              ElementsAre("file dialog: Backup Registry",
                          ::testing::StartsWith("Key Saved Successfully. [")));
  EXPECT_THAT(Press(4, {IDC_OPT_BTN_BACKUP}),
              ElementsAre("file dialog: Backup Registry", "All Keys Saved Successfully."));
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(Backups())) {
    files.push_back(base::PathToUtf8(entry.path().filename()));
  }
  EXPECT_THAT(files, ::testing::UnorderedElementsAreArray(expected));
  const std::filesystem::path saved = Backups() / ("CU" + Today());
  EXPECT_GT(std::filesystem::file_size(saved), 0u);

  // Loaded from the open-file dialog, unloaded, and the refusals on either side.
  const std::string file = base::PathToUtf8(saved);
  EXPECT_THAT(Press(0, {IDC_OPT_BTN_LOAD, IDC_OPT_BTN_LOAD}, {file, file}),
              ElementsAre("file dialog: Load Registry Backup",
                          "Keyloom Backup Key Loaded Successfully, Switching to Regedit.",
                          "file dialog: Load Registry Backup",
                          "There is already a Keyloom Backup Key Loaded please unload it first."));
  EXPECT_EQ(editor_opened_at_, "HKEY_USERS\\KL_Load");
  reg::TRegistry users(*api_);
  users.SetRootKey(reg::kUsers);
  ASSERT_TRUE(users.OpenKey(std::string(kLoadedHiveKey) + "\\" + kSandbox));
  EXPECT_EQ(users.ReadString("name"), "saved value");
  users.CloseKey();
  EXPECT_THAT(Press(0, {IDC_OPT_BTN_UNLOAD, IDC_OPT_BTN_UNLOAD}),
              ElementsAre("Ensure that you do not have the Keyloom Backup Key Open otherwise you "
                          "will not be able to unload it",
                          "Keyloom Backup UnLoaded Successfully.",
                          "There is no Keyloom Backup Key to Unload."));
  EXPECT_FALSE(users.KeyExists(kLoadedHiveKey));
}

HANDLE ticked_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { SetEvent(ticked_); }

// While the worker runs, the window's thread dispatches messages (here a timer's, which the worker
// waits for) and the dialog refuses input; afterwards the dialog takes input again.
TEST(OptionsHiveWindowTest, WaitForTheWorkerKeepsDispatchingMessagesAndRefusesInput) {
  HWND dialog = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(dialog, nullptr);
  OptionsHiveWindow window(dialog, GetModuleHandleW(nullptr), "", {}, {});
  ResetEvent(ticked_);
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, Tick);
  bool answered = false;
  bool refused_input = false;
  EXPECT_TRUE(window.RunInBackground([&] {
    refused_input = IsWindowEnabled(dialog) == FALSE;
    answered = WaitForSingleObject(ticked_, 5000) == WAIT_OBJECT_0;
  }));
  KillTimer(nullptr, timer);
  EXPECT_TRUE(answered);
  EXPECT_TRUE(refused_input);
  EXPECT_TRUE(IsWindowEnabled(dialog));
  DestroyWindow(dialog);
}

}  // namespace
}  // namespace keyloom::shell::testing
