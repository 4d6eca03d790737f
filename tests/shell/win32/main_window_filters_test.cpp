// The match mode and the Filters dialog in the real window: a refused regular expression runs
// nothing, the dialog refuses a date that does not exist and stays open, its values reach the run
// (an excluded subtree is not entered) and the settings file, and the run's regular-expression
// replace with a capture is taken back by the 64-bit registry editor merging its undo files.
#include <gmock/gmock.h>

#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "shell/filter_texts.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window_fixture.h"
#include "support/value_data.h"

namespace keyloom::shell::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kScratch = "\\Software\\KeyloomTest\\Filters";
constexpr int kRegexItem = 2;

class MainWindowFiltersTest : public ScratchKeyWindowTest {
 protected:
  MainWindowFiltersTest() : ScratchKeyWindowTest(kScratch) {}

  void PutString(const std::string& key, const std::string& name, const std::string& text) {
    reg::TRegistry reg(*api_);
    reg.CreateKey(kScratch + key);
    ASSERT_TRUE(reg.OpenKey(kScratch + key));
    reg.WriteString(name, text);
  }
  std::string ReadString(const std::string& key, const std::string& name) {
    reg::TRegistry reg(*api_);
    EXPECT_TRUE(reg.OpenKey(kScratch + key));
    return reg.ReadString(name);
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, std::string(kScratch).substr(1), 0);
  }
  // The filters' texts typed into the dialog, then OK; the message boxes it showed.
  std::vector<std::string> FillFilters(const FilterTexts& texts) {
    std::vector<std::string> boxes;
    ModalWatcher watcher([&](HWND dialog) {
      ModalWatcher answers([](HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }, dialog);
      const std::pair<int, const std::string*> fields[] = {
          {IDC_FLT_EDT_AFTER, &texts.modified_after},
          {IDC_FLT_EDT_BEFORE, &texts.modified_before},
          {IDC_FLT_EDT_MIN, &texts.min_size},
          {IDC_FLT_EDT_MAX, &texts.max_size},
          {IDC_FLT_EDT_EXCLUDED, &texts.excluded}};
      for (const auto& [id, text] : fields) SetWindowTextUtf8(GetDlgItem(dialog, id), *text);
      Click(GetDlgItem(dialog, IDOK));
      boxes = answers.texts();
      // Refused: the dialog is still shown (OK hides it at once).
      if (IsWindowVisible(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    ClickControl(IDC_BTN_FILTERS);
    EXPECT_EQ(watcher.seen(), 1);
    return boxes;
  }
};

TEST_F(MainWindowFiltersTest,
       ARegexReplaceWithFiltersSkipsTheExcludedKeyAndItsUndoFilesTakeItBack) {
  PutString("\\App", "path", "C:\\Old\\tool.exe");
  PutString("\\App", "note", "C:\\Old\\tool.exe is kept");  // no whole-text match: not changed
  PutString("\\Skip", "path", "C:\\Old\\skip.exe");
  const auto before = Tree();
  real_walk_ = true;
  Open();
  SelectItem(IDC_CMB_KEYS, 2);  // HKEY_CURRENT_USER
  SelectItem(IDC_CMB_MODE, kRegexItem);

  // A pattern that does not compile is refused with the engine's message; nothing runs.
  SetText(IDC_EDT_FIND, "(unclosed");
  SetText(IDC_EDT_REPLACE, "x");
  ClickControl(IDC_BTN_REPLACE);
  window_->DrainOutput();
  EXPECT_THAT(StatusLines(), Contains(HasSubstr("The regular expression is not valid [")));
  EXPECT_EQ(window_->controller().state(), engine::RunState::kIdle);

  // A date that does not exist: a message naming the field, and the dialog stays open.
  FilterTexts texts;
  texts.modified_after = "2026-02-30";
  const auto boxes = FillFilters(texts);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0], HasSubstr("\"Modified after\" is not a date"));
  EXPECT_EQ(Text(IDC_BTN_FILTERS), "Fi&lters...") << "nothing taken";

  texts.modified_after = "";
  texts.min_size = "1";
  texts.excluded = "HKCU\\Software\\KeyloomTest\\Filters\\Skip\r\n";
  EXPECT_TRUE(FillFilters(texts).empty());
  EXPECT_EQ(Text(IDC_BTN_FILTERS), "Fi&lters (2)...");

  SetText(IDC_EDT_FIND, R"(^C:\\Old\\(\w+)\.exe$)");
  SetText(IDC_EDT_REPLACE, R"(D:\New\$1.exe)");
  ClickControl(IDC_BTN_REPLACE);
  ASSERT_TRUE(WaitForIdle(std::chrono::seconds(120)));  // a walk of the whole root
  window_->DrainOutput();
  EXPECT_EQ(ReadString("\\App", "path"), "D:\\New\\tool.exe");
  EXPECT_EQ(ReadString("\\App", "note"), "C:\\Old\\tool.exe is kept");
  EXPECT_EQ(ReadString("\\Skip", "path"), "C:\\Old\\skip.exe");
  const auto lines = StatusLines();
  EXPECT_THAT(lines,
              Contains("Excluded Key not entered "
                       "[HKEY_CURRENT_USER\\Software\\KeyloomTest\\Filters\\Skip]: 1 time."));
  EXPECT_THAT(lines, Contains("Finished, Replaced [1] Entries."));

  // The filters and the mode are kept in the settings file and come back with the window.
  CloseWindow();
  EXPECT_EQ(SavedValue("MATCHMODE"), "regex");
  EXPECT_EQ(SavedValue("MINSIZE"), "1");
  EXPECT_EQ(SavedValue("EXCLUDE"), "HKEY_CURRENT_USER\\Software\\KeyloomTest\\Filters\\Skip");
  Open();
  EXPECT_EQ(Selection(Control(IDC_CMB_MODE)), kRegexItem);
  EXPECT_EQ(Text(IDC_BTN_FILTERS), "Fi&lters (2)...");
  CloseWindow();

  ASSERT_GT(MergeUndoFilesNewestFirst(), 0u);
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

}  // namespace
}  // namespace keyloom::shell::testing
