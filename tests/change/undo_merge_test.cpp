// The promise of the undo files, natively: changes made through TRegAction with undo on, then the
// undo file merged (by the test merger, which applies a file as the registry editor does), give
// back exactly the registry from before, also when one file holds many changes of the same items.
#include <gtest/gtest.h>

#include <functional>

#include "change/reg_action.h"
#include "files/undo_fixture.h"
#include "registry/registry_contract.h"

namespace keyloom::change {
namespace {

using files::testing::Utf16Z;
using reg::Bytes;

class UndoMergeTest : public files::testing::UndoFixture {
 protected:
  void Change(int kind, const std::string& path, const std::string& value, const std::string& data,
              bool unnamed = false) {
    TRegAction action = TRegAction::Create(*api_, undo_, settings_);
    action.RootKey = reg::kCurrentUser;
    action.KeyPath = path;
    action.ValueName = value;
    action.UnnamedValue = unnamed;
    action.NewData = data;
    action.CreateUndo = true;
    action.ActionKind = kind;
    action.Execute();
    EXPECT_EQ(action.ErrorText, "") << path << " " << value;
  }
  void Remove(const std::string& path, const std::string& value, bool unnamed = false) {
    TRegAction action = TRegAction::Create(*api_, undo_, settings_);
    action.RootKey = reg::kCurrentUser;
    action.KeyPath = path;
    action.ValueName = value;
    action.UnnamedValue = unnamed;
    action.CreateUndo = true;
    action.Delete();
    EXPECT_EQ(action.ErrorText, "") << path << " " << value;
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software");
  }

  // Runs `changes` as one run writing one undo file (SAUNDO off), merges it, and expects the
  // registry from before.
  void ExpectOneFileUndoes(const std::function<void()>& changes) {
    settings_.separate_undo_files = false;
    undo_.RaiseNewFileFlag();
    const auto before = Tree();
    changes();
    ASSERT_NE(Tree(), before);
    const int file = undo_.Counter();
    files::testing::MergeRegFile(*api_, UndoPath(file));
    EXPECT_EQ(Tree(), before);
    if (Tree() != before) {
      for (const auto& line : UndoLines(file)) ADD_FAILURE() << line;
    }
  }

  void SampleTree() {
    PutString("Software\\K", "A", u"alpha");
    PutString("Software\\K", "C", u"gamma");
    PutString("Software\\K", "", u"default");
    Put("Software\\K", "n", {reg::kRegDword, {7, 0, 0, 0}});
    PutString("Software\\K\\Sub", "s", u"sub");
    PutString("Software\\K\\Sub\\Deep", "d", u"deep");
    PutString("Software\\Other", "o", u"other");
  }
};

TEST_F(UndoMergeTest, AValueHitByItsDataAndItsName) {
  SampleTree();
  ExpectOneFileUndoes([&] {
    Change(akUpdate, "\\Software\\K", "A", "alpha2");
    Change(akRename, "\\Software\\K", "A", "A2");
  });
  ExpectOneFileUndoes([&] {
    Change(akRename, "\\Software\\K", "A", "A2");
    Change(akUpdate, "\\Software\\K", "A2", "alpha2");
    Change(akRename, "\\Software\\K", "A2", "A3");
  });
}

TEST_F(UndoMergeTest, ChangesInsideAKeyTheRunRenamedBefore) {
  SampleTree();
  ExpectOneFileUndoes([&] {
    Change(akRename, "\\Software\\K", "", "\\Software\\K2");
    Change(akUpdate, "\\Software\\K2", "A", "changed");
    Change(akRename, "\\Software\\K2", "C", "C2");
    Change(akRename, "\\Software\\K2\\Sub", "", "\\Software\\K2\\Sub2");
    Change(akUpdate, "\\Software\\K2\\Sub2\\Deep", "d", "changed");
    Remove("\\Software\\K2", "n");
  });
}

TEST_F(UndoMergeTest, AValueChangedBeforeItsKeyWasRenamedOrDeleted) {
  SampleTree();
  ExpectOneFileUndoes([&] {
    Change(akUpdate, "\\Software\\K\\Sub", "s", "changed");
    Change(akRename, "\\Software\\K\\Sub\\Deep", "", "\\Software\\K\\Sub\\Deeper");
    Change(akRename, "\\Software\\K", "", "\\Software\\K2");
  });
  ExpectOneFileUndoes([&] {
    Change(akRename, "\\Software\\K", "C", "C2");
    Change(akUpdate, "\\Software\\K", "", "new default");
    Remove("\\Software\\K", "");
  });
}

TEST_F(UndoMergeTest, ItemsRenamedAwayAndNamesTakenAgain) {
  SampleTree();
  // A value renamed back and forth, a name freed by a rename and taken by another value.
  ExpectOneFileUndoes([&] {
    Change(akRename, "\\Software\\K", "A", "B");
    Change(akRename, "\\Software\\K", "B", "A");
    Change(akRename, "\\Software\\K", "A", "Z");
    Change(akRename, "\\Software\\K", "C", "A");
  });
  // A key renamed twice, and a key name freed by a rename and taken by another key.
  ExpectOneFileUndoes([&] {
    Change(akRename, "\\Software\\K\\Sub", "", "\\Software\\K\\Sub2");
    Change(akRename, "\\Software\\K\\Sub2", "", "\\Software\\K\\Sub3");
    Change(akRename, "\\Software\\K", "", "\\Software\\K2");
    Change(akRename, "\\Software\\Other", "", "\\Software\\K");
  });
}

TEST_F(UndoMergeTest, DeletesAndTheUnnamedValue) {
  SampleTree();
  ExpectOneFileUndoes([&] {
    Remove("\\Software\\K", "A");
    Change(akRename, "\\Software\\K", "", "Was default", true);
    Remove("\\Software\\K\\Sub", "");
    Remove("\\Software\\Other", "");
  });
}

TEST_F(UndoMergeTest, AKeyRenameCarriesEveryKindOfValueBack) {
  PutString("Software\\K", "plain", u"text with \\ and \" and ; and =");
  Put("Software\\K", "after nul", {reg::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}});
  Put("Software\\K", "no terminator", {reg::kRegSz, {'a', 0, 'b', 0}});
  Put("Software\\K", "odd", {reg::kRegSz, {'a', 0, 0}});
  Put("Software\\K", "empty sz", {reg::kRegSz, {}});
  Put("Software\\K", "lines", {reg::kRegSz, Utf16Z(u"one\r\ntwo")});
  Put("Software\\K", "expand", {reg::kRegExpandSz, Utf16Z(u"%SystemRoot%\\€")});
  Put("Software\\K", "empty expand", {reg::kRegExpandSz, {}});
  Put("Software\\K", "dword", {reg::kRegDword, {1, 2, 3, 4}});
  Put("Software\\K", "short dword", {reg::kRegDword, {1}});
  Put("Software\\K", "qword", {reg::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}});
  Put("Software\\K", "multi", {reg::kRegMultiSz, Utf16Z(std::u16string(u"a\0ü\0", 4))});
  Put("Software\\K", "binary", {reg::kRegBinary, Bytes(300, 0xA5)});
  Put("Software\\K", "empty binary", {reg::kRegBinary, {}});
  Put("Software\\K", "none", {reg::kRegNone, {1, 2}});
  Put("Software\\K", "big endian", {reg::kRegDwordBigEndian, {0, 0, 0, 1}});
  Put("Software\\K", "link", {reg::kRegLink, Utf16Z(u"\\Registry\\Machine")});
  Put("Software\\K", "resources", {reg::kRegResourceList, {1, 2, 3}});
  Put("Software\\K", "descriptor", {reg::kRegFullResourceDescriptor, {4}});
  Put("Software\\K", "requirements", {reg::kRegResourceRequirementsList, {5}});
  Put("Software\\K", "own type", {0x4242, {6}});
  PutString("Software\\K\\Ünïcödé 日本", "名前 \"quoted\" \\slash\\", u"värde");
  PutString("Software\\K\\Empty values", "", u"");
  MakeKey("Software\\K\\Empty key");
  ExpectOneFileUndoes([&] { Change(akRename, "\\Software\\K", "", "\\Software\\K2"); });
}

TEST_F(UndoMergeTest, RenamesThatFailHalfWayComeBackToo) {
  SampleTree();
  using Op = reg::MemoryRegistry::Op;
  settings_.separate_undo_files = false;
  undo_.RaiseNewFileFlag();
  const auto before = Tree();
  // The copy is made, then the old tree is only partly deleted.
  api_->InjectFault({Op::kDeleteKey, "HKEY_CURRENT_USER\\Software\\K", 2, reg::kAccessDenied});
  TRegAction key = TRegAction::Create(*api_, undo_, settings_);
  key.RootKey = reg::kCurrentUser;
  key.KeyPath = "\\Software\\K";
  key.NewData = "\\Software\\K2";
  key.CreateUndo = true;
  key.ActionKind = akRename;
  key.Execute();
  EXPECT_EQ(key.ErrorText, "Access is denied");
  // The new value is written, the old one stays: both names exist.
  api_->ClearFaults();
  api_->InjectFault(
      {Op::kDeleteValue, "HKEY_CURRENT_USER\\Software\\Other", 0, reg::kAccessDenied});
  TRegAction value = TRegAction::Create(*api_, undo_, settings_);
  value.RootKey = reg::kCurrentUser;
  value.KeyPath = "\\Software\\Other";
  value.ValueName = "o";
  value.NewData = "o2";
  value.CreateUndo = true;
  value.ActionKind = akRename;
  value.Execute();
  EXPECT_EQ(value.ErrorText, "Access is denied");
  api_->ClearFaults();
  ASSERT_NE(Tree(), before);
  files::testing::MergeRegFile(*api_, UndoPath(undo_.Counter()));
  EXPECT_EQ(Tree(), before);
}

TEST_F(UndoMergeTest, SeparateFilesMergedNewestFirstUndoTheRun) {
  SampleTree();
  const auto before = Tree();
  undo_.RaiseNewFileFlag();
  Change(akUpdate, "\\Software\\K", "A", "one");
  Change(akRename, "\\Software\\K", "A", "B");
  Change(akUpdate, "\\Software\\K", "B", "two");
  Change(akRename, "\\Software\\K", "", "\\Software\\K2");
  Remove("\\Software\\K2\\Sub", "");
  EXPECT_EQ(undo_.Counter(), 5);
  for (int file = undo_.Counter(); file >= 1; --file) {
    files::testing::MergeRegFile(*api_, UndoPath(file));
  }
  EXPECT_EQ(Tree(), before);
}

}  // namespace
}  // namespace keyloom::change
