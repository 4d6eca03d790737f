// Deleting selected Key List rows against the memory registry: every kind of row, the undo files
// merged back, SIMULATE, the confirmation, the search's machine and view.
#include "shell/delete_rows.h"

#include "shell/key_list_cells.h"
#include "shell/row_results.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "files/undo_fixture.h"
#include "registry/registry_contract.h"

namespace keyloom::shell {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ScriptedUi : public DeleteRowsUi {
 public:
  bool Confirm(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  void Log(const std::string& line) override { lines.push_back(line); }

  bool answer = true;
  std::vector<std::string> questions;
  std::vector<std::string> lines;
};

class DeleteRowsTest : public files::testing::UndoFixture {
 protected:
  void SampleTree() {
    PutString("Software\\K", "A", u"alpha");
    PutString("Software\\K", "C", u"gamma");
    PutString("Software\\K", "", u"default");
    PutString("Software\\K\\Sub", "s", u"sub");
    PutString("Software\\K\\Sub\\Deep", "d", u"deep");
    PutString("Software\\Other", "o", u"other");
  }
  // What each row's item went through, as "Result" or "Failed: reason".
  std::vector<std::string> Delete(const std::vector<std::string_view>& rows) {
    run_settings_.undodir = folder_.Utf8();
    store_.Replace(run_settings_);
    engine::RunContext context;
    context.api = api_.get();
    context.undo = &undo_;
    context.settings = &store_;
    context.program.is_64bit_windows = is_64bit_windows_;
    context.machine = machine_;
    std::vector<std::string> results;
    for (const RowDeletion& row : DeleteRows(rows, context, ui_)) {
      results.push_back(std::string(change::ChangeResultName(row.result)) +
                        (row.reason.empty() ? "" : ": " + row.reason));
    }
    return results;
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software");
  }
  std::string NotFound() { return text::TrimMessage(api_->ErrorMessage(reg::kFileNotFound)); }
  std::size_t UndoFileCount() const {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(folder_.path()),
                      std::filesystem::directory_iterator()));
  }

  // A value, a key with its subtree, a key's unnamed value, a key that is gone, another key.
  const std::vector<std::string_view> rows_ = {
      "HKEY_CURRENT_USER\t\\Software\\K\tA", "HKEY_CURRENT_USER\t\\Software\\K\\Sub\t",
      "HKEY_CURRENT_USER\t\\Software\\K\t(Default)", "HKEY_CURRENT_USER\t\\Software\\Gone\tx",
      "HKEY_CURRENT_USER\t\\Software\\Other\t"};
  ScriptedUi ui_;
  // What the deletes run with: the settings record, the machine and the kind of Windows.
  config::Settings run_settings_;
  config::SettingsStore store_;
  std::string machine_;
  bool is_64bit_windows_ = false;
};

// The vanished key is the only line; the rows after it are still deleted, and the undo files,
// merged newest first, give back the registry from before, from which the next case starts.
TEST_F(DeleteRowsTest, EveryRowInListOrderAndTheUndoFilesTakeTheDeletesBack) {
  SampleTree();
  const auto before = Tree();
  auto deleted = before;
  deleted["K"].erase("A");
  deleted["K"].erase("");  // only the unnamed value: the key and C stay
  deleted.erase("K\\Sub");
  deleted.erase("K\\Sub\\Deep");
  deleted.erase("Other");
  const int all = config::kUndoEdits | config::kUndoDeletes | config::kUndoRenames;
  const struct {
    const char* what;
    bool separate_undo_files;
    int undo_mask;
    bool simulate;
    int undo_files;
  } cases[] = {
      {"SIMULATE changes nothing", true, all, true, 0},
      {"one undo file per delete", true, all, false, 4},
      {"one undo file for the selection", false, all, false, 1},
      {"no undo file without its delete bit", true, all & ~config::kUndoDeletes, false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    run_settings_.saundo = c.separate_undo_files;
    run_settings_.undo = c.undo_mask;
    run_settings_.simulate = c.simulate;
    if (!c.separate_undo_files) undo_.RaiseNewFileFlag();
    ui_.questions.clear();
    ui_.lines.clear();
    const std::size_t files_before = UndoFileCount();
    const std::string done = c.simulate ? "Simulated" : "Deleted";
    EXPECT_THAT(
        Delete(rows_),
        ElementsAre(done, done, done, "Failed: Unable to Open Registry Key, " + NotFound(), done));
    EXPECT_THAT(ui_.questions,
                ElementsAre("Are you sure you wish to delete the Selected Key/Value(s)"));
    EXPECT_THAT(ui_.lines, ElementsAre("Unable to Open Registry Key, " + NotFound()));
    EXPECT_EQ(Tree(), c.simulate ? before : deleted);
    ASSERT_EQ(UndoFileCount() - files_before, static_cast<std::size_t>(c.undo_files));
    for (int file = undo_.Counter(); file > undo_.Counter() - c.undo_files; --file) {
      files::testing::MergeRegFile(*api_, UndoPath(file));
    }
    if (c.undo_files > 0) {
      EXPECT_EQ(Tree(), before);
    }
  }
}

TEST_F(DeleteRowsTest, OneRowIsNamedInTheQuestionAndNoKeepsIt) {
  SampleTree();
  const auto before = Tree();
  ui_.answer = false;
  EXPECT_THAT(Delete({rows_[1]}), IsEmpty());
  EXPECT_THAT(ui_.questions, ElementsAre("Are you sure you wish to delete the Key/Value : "
                                         "HKEY_CURRENT_USER\t\\Software\\K\\Sub\t"));
  EXPECT_EQ(Tree(), before);
  EXPECT_THAT(ui_.lines, IsEmpty());
  EXPECT_EQ(UndoFileCount(), 0u);

  // No selection, or one row that is not a result row: nothing is asked.
  Delete({});
  Delete({"Search Matched 3 Keys."});
  EXPECT_EQ(ui_.questions.size(), 1u);
}

TEST_F(DeleteRowsTest, RowsAreDeletedOnTheSearchMachineInTheSearchView) {
  api_->AddMachine("FAR", true);
  reg::KeyHandle far_root = reg::kNullKey;
  ASSERT_EQ(api_->ConnectRegistry("\\\\FAR", reg::kLocalMachine, &far_root), reg::kSuccess);
  reg::KeyHandle key = reg::kNullKey;
  ASSERT_EQ(api_->CreateKey(far_root, "Software\\Far", 0,
                            reg::access::kAllAccess | reg::access::kWow64_64Key, &key, nullptr),
            reg::kSuccess);
  api_->CloseKey(key);
  MakeKey("Software\\Far", reg::kLocalMachine);  // the local key of that name stays
  machine_ = "\\\\FAR";
  is_64bit_windows_ = true;
  run_settings_.scanmethod = 1;

  Delete({"HKEY_LOCAL_MACHINE\t\\Software\\Far\t"});
  EXPECT_THAT(ui_.lines, IsEmpty());
  EXPECT_FALSE(reg::KeyExists(*api_, far_root, "Software\\Far", reg::RegView::k64));
  EXPECT_TRUE(reg::KeyExists(*api_, reg::kLocalMachine, "Software\\Far", reg::RegView::kNone));
  api_->CloseKey(far_root);

  api_->SetMachineReachable("FAR", false);
  Delete({"HKEY_LOCAL_MACHINE\t\\Software\\Far\t"});
  ASSERT_EQ(ui_.lines.size(), 1u);
  EXPECT_THAT(ui_.lines[0], ::testing::StartsWith("Remote Registry Error: ["));
}

}  // namespace
}  // namespace keyloom::shell

namespace keyloom::shell {
namespace {

using change::ChangeResult;

// The rows after the user's edit, rename, delete and failures: each rewritten where it stands for
// its item as the registry holds it now.
TEST_F(DeleteRowsTest, RowsShowTheUsersChangesWithTheItemsReadAgain) {
  PutString("Software\\K", "A", u"new data");
  PutString("Software\\K", "", u"unnamed");
  PutString("Software\\K\\Renamed", "v", u"x");
  KeyListRows rows;
  const engine::HitDetails old{"REG_SZ", "old data", engine::FoundIn::kData, 7};
  const std::string a = "HKEY_CURRENT_USER\t\\Software\\K\tA";
  const std::string key = "HKEY_CURRENT_USER\t\\Software\\K\\Sub\t";
  const std::string unnamed = "HKEY_CURRENT_USER\t\\Software\\K\tB";
  for (const std::string& row : {a, key, unnamed, a}) rows.Append(row, old);
  const auto cells = [&rows](std::size_t row) {
    std::vector<std::string> cells;
    for (int column = 0; column < kKeyListColumnCount; ++column) {
      cells.push_back(
          CellText(rows, row, column, [](std::uint64_t t) { return t == 7 ? "then" : "now"; }));
    }
    return cells;
  };

  ApplyChange(rows, 0, a,
              {ChangeResult::kReplaced, {}, {"HKEY_CURRENT_USER", "\\Software\\K", "A"}}, *api_,
              settings_.target);
  EXPECT_EQ(cells(0), (std::vector<std::string>{"HKEY_CURRENT_USER", "\\Software\\K", "A", "REG_SZ",
                                                "new data", "Data", "now", "Replaced", ""}));
  ApplyChange(rows, 1, key,
              {ChangeResult::kRenamed, {}, {"HKEY_CURRENT_USER", "\\Software\\K\\Renamed", ""}},
              *api_, settings_.target);
  EXPECT_EQ(rows[1], "HKEY_CURRENT_USER\t\\Software\\K\\Renamed\t");
  EXPECT_EQ(cells(1)[kColumnResult], "Renamed");
  // A value renamed to the unnamed one shows as "(Default)".
  ApplyChange(rows, 2, unnamed,
              {ChangeResult::kRenamed, {}, {"HKEY_CURRENT_USER", "\\Software\\K", ""}}, *api_,
              settings_.target);
  EXPECT_EQ(rows[2], "HKEY_CURRENT_USER\t\\Software\\K\t(Default)");
  EXPECT_EQ(cells(2)[kColumnData], "unnamed");
  // A refusal keeps the row and says why; nothing done changes nothing.
  ApplyChange(rows, 3, a, {ChangeResult::kFailed, "Unable to Update String [denied]", {}}, *api_,
              settings_.target);
  EXPECT_EQ(cells(3)[kColumnResult], "Failed: Unable to Update String [denied]");
  EXPECT_EQ(cells(3)[kColumnData], "old data");
  ApplyChange(rows, 3, a, {}, *api_, settings_.target);
  EXPECT_EQ(cells(3)[kColumnResult], "Failed: Unable to Update String [denied]");

  // Deleted rows keep their last data; the edit of one says the item is gone.
  ApplyDeletions(rows, {3, 0}, {{ChangeResult::kDeleted, {}}, {ChangeResult::kNone, {}}});
  EXPECT_EQ(cells(3)[kColumnResult], "Deleted");
  EXPECT_EQ(cells(3)[kColumnData], "old data");
  EXPECT_TRUE(RowDeleted(rows, 3));
  EXPECT_FALSE(RowDeleted(rows, 0));
  EXPECT_EQ(DeletedItemLine(a),
            "This item was deleted, there is nothing to edit [HKEY_CURRENT_USER\\Software\\K\\A]");
}

}  // namespace
}  // namespace keyloom::shell
