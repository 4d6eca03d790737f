// Replace Selected in the real main window over the real registry: a search finds five values,
// two rows are selected, and only those two change; their undo files, merged newest first with
// the 64-bit registry editor, give the tree back.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "shell/key_list_cells.h"
#include "shell/win32/main_window_fixture.h"
#include "support/value_data.h"

namespace keyloom::shell::testing {
namespace {

constexpr const char* kScratch = "\\Software\\KeyloomTest\\Selected";

class ReplaceSelectedWindowTest : public ScratchKeyWindowTest {
 protected:
  ReplaceSelectedWindowTest() : ScratchKeyWindowTest(kScratch) {}
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, std::string(kScratch).substr(1));
  }
};

TEST_F(ReplaceSelectedWindowTest, OnlyTheTwoSelectedRowsChangeAndTheirUndoFilesTakeThemBack) {
  {
    reg::TRegistry reg(*api_);
    reg.CreateKey(kScratch);
    ASSERT_TRUE(reg.OpenKey(kScratch));
    for (const char* name : {"V1", "V2", "V3", "V4", "V5"}) reg.WriteString(name, "a Zq9sel");
  }
  const auto before = Tree();
  WriteIni(
      "FIND=Zq9sel\r\nREPLACE=pin\r\nSEARCHKEY=2\r\nSEARCHVALUES=1\r\nUNDO=7\r\nSAUNDO=1\r\n"
      "UNDODIR=" +
      folder_.Utf8() + "UNDO\r\n");
  real_walk_ = true;
  TfrmMain& window = Open(std::nullopt);
  ClickControl(IDC_BTN_SEARCH);
  ASSERT_TRUE(WaitForIdle(std::chrono::seconds(120)));
  window.DrainOutput();
  const KeyListRows& rows = window.key_list().rows();
  ASSERT_EQ(rows.size(), 5u);
  std::vector<std::size_t> selected;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string name = CellText(rows, i, kColumnValueName, {});
    if (name == "V2" || name == "V4") selected.push_back(i);
  }
  ASSERT_EQ(selected.size(), 2u);
  window.key_list().Select(selected);

  Command(IDM_REPLACE_SELECTED);
  ASSERT_TRUE(WaitForIdle(std::chrono::seconds(120)));
  window.DrainOutput();
  reg::testing::TreeSnapshot expected = before;
  for (const char* name : {"V2", "V4"}) {
    expected[""][name] = {reg::kRegSz, keyloom::testing::Utf16Z(u"a pin")};
  }
  EXPECT_EQ(keyloom::testing::Differences(expected, Tree()), "");
  for (const std::size_t row : selected) {
    EXPECT_EQ(CellText(rows, row, kColumnResult, {}), "Replaced");
    EXPECT_EQ(CellText(rows, row, kColumnData, {}), "a pin");
  }
  EXPECT_EQ(rows.size(), 5u);  // the other rows stay
  const auto lines = StatusLines();
  EXPECT_THAT(lines, ::testing::Contains("Finished, Replaced [2] Entries."));
  ASSERT_FALSE(lines.empty());
  EXPECT_THAT(lines.back(), ::testing::StartsWith("Undo files: [2] written to ["));

  ASSERT_EQ(MergeUndoFilesNewestFirst(), 2u);
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

}  // namespace
}  // namespace keyloom::shell::testing
