// A replace run in the real main window over five hits, one of whose changes is refused: each
// row's Result and data, the run's last line, and Ctrl+Z opening "Undo a run..." on that run. The
// refusal comes from the memory registry, since Wine keeps no registry permissions to deny with.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "files/reg_file_testing.h"
#include "registry/memory/memory_registry.h"
#include "shell/key_list_cells.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST_F(MainWindowTest, AReplaceRunSaysWhatEachRowGotAndCtrlZOpensThatRun_MemoryRegistry) {
  auto memory = reg::NewMemoryRegistry();
  for (int i = 1; i <= 5; ++i) {
    reg::KeyHandle key = reg::kNullKey;
    const std::string path = "Software\\Results\\K" + std::to_string(i);
    ASSERT_EQ(memory->CreateKey(reg::kCurrentUser, path, 0, reg::access::kAllAccess, &key, nullptr),
              reg::kSuccess);
    ASSERT_EQ(memory->SetValue(key, "v", reg::kRegSz, keyloom::testing::Utf16Z(u"a needle")),
              reg::kSuccess);
    memory->CloseKey(key);
  }
  memory->InjectFault({reg::MemoryRegistry::Op::kSetValue,
                       "HKEY_CURRENT_USER\\Software\\Results\\K3", 0, reg::kAccessDenied});
  api_ = std::move(memory);
  WriteIni(
      "FIND=needle\r\nREPLACE=pin\r\nSEARCHKEY=2\r\nSEARCHVALUES=1\r\nUNDO=7\r\nSAUNDO=1\r\n"
      "UNDODIR=" +
      folder_.Utf8() + "UNDO\r\n");
  real_walk_ = true;
  Open(std::nullopt);
  ClickControl(IDC_BTN_REPLACE);
  ASSERT_TRUE(WaitForIdle(std::chrono::seconds(120)));

  const KeyListRows& rows = window_->key_list().rows();
  ASSERT_EQ(rows.size(), 5u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const bool refused = i == 2;
    EXPECT_EQ(rows[i], "HKEY_CURRENT_USER\t\\Software\\Results\\K" + std::to_string(i + 1) + "\tv");
    EXPECT_EQ(CellText(rows, i, kColumnData, {}), refused ? "a needle" : "a pin");
    const std::string result = CellText(rows, i, kColumnResult, {});
    if (refused) {
      EXPECT_THAT(result, HasSubstr("Failed: "));
    } else {
      EXPECT_EQ(result, "Replaced");
    }
  }
  const auto lines = StatusLines();
  ASSERT_FALSE(lines.empty());
  // Five undo files: the refused change's record was written before the registry refused it.
  EXPECT_THAT(lines.back(), ::testing::StartsWith("Undo files: [5] written to [" + folder_.Utf8()));
  EXPECT_THAT(lines.back(), ::testing::EndsWith("]. Ctrl+Z takes this run back."));

  // Ctrl+Z in the Key List opens the dialog, its newest run this one.
  std::vector<std::string> runs;
  ModalWatcher watcher([&runs](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_UNDO_LST_RUNS);
    if (list == nullptr) return;
    const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) runs.push_back(FromWide(ListBoxText(list, i)));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  MSG message{};
  message.hwnd = window_->key_list().hwnd();
  message.message = WM_KEYDOWN;
  message.wParam = 'Z';
  const bool taken = window_->PreTranslate(message);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_TRUE(taken);
  EXPECT_TRUE(PumpUntil([&] { return watcher.seen() == 1; }, std::chrono::seconds(30)));
  ASSERT_FALSE(runs.empty());
  EXPECT_THAT(runs.front(), HasSubstr("needle -> pin"));
}

}  // namespace
}  // namespace keyloom::shell::testing
