// The promise Keyloom makes, on the real registry: a change made through TRegAction with undo on,
// then its undo file merged by the system's registry editor, gives back exactly the registry from
// before: every value's type and bytes, compared through the registry API (an export by the
// registry editor would not do: it cuts a REG_SZ at its NUL).
//
// Files are merged as a user of 64-bit Windows merges them: with the 64-bit registry editor, which
// a double click starts. A change in the 32-bit view of HKEY_LOCAL_MACHINE\Software must come back
// there, and the same-named keys of the 64-bit view must stay as they are; files of the 32-bit view
// are merged with the 32-bit registry editor too.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "change/reg_action.h"
#include "files/reg_file_format.h"
#include "files/reg_file_testing.h"
#include "files/undo_file.h"
#include "registry/registry.h"
#include "registry/registry_contract.h"
#include "registry/win32/win32_reg_api.h"
#include "support/temp_folder.h"
#include "support/value_data.h"
#include "support/win32/registry_editor.h"

namespace keyloom::change {
namespace {

using reg::Bytes;
using reg::RawValue;

using keyloom::testing::Utf16Z;

using keyloom::testing::RegistryEditor;

struct ViewCase {
  const char* name;
  reg::KeyHandle root;
  std::uint32_t view;   // the view flag the scratch tree lives in
  std::uint32_t other;  // the other view, holding a twin tree that must stay untouched; 0: none
  int scan_method;      // SCANMETHOD selecting the view
  RegistryEditor editor;
};

void PrintTo(const ViewCase& view, std::ostream* out) { *out << view.name; }

class UndoRoundTrip : public ::testing::TestWithParam<ViewCase> {
 protected:
  static constexpr const char* kBase = "Software\\KeyloomTest";

  UndoRoundTrip()
      : api_(reg::NewWin32RegApi()),
        undo_(*api_, [this](const std::string& line) { log_.push_back(line); }) {
    settings_.undo_folder = folder_.Utf8();
    settings_.target.view = reg::ScanView(reg::DetectIs64BitWindows(*api_), GetParam().scan_method);
  }
  void SetUp() override {
    Scrub();
    Populate();
    if (GetParam().other != 0) {
      Put("K", "twin", {reg::kRegSz, Utf16Z(u"the other view's")}, GetParam().other);
      Put("K\\Ünïcödé 日本\\Deep", "d", {reg::kRegDword, {1, 0, 0, 0}}, GetParam().other);
      Put("Other", "o", {reg::kRegSz, Utf16Z(u"twin")}, GetParam().other);
      twin_ = Tree(GetParam().other);
    }
  }
  void TearDown() override { Scrub(); }

  void Scrub() {
    files::testing::detail::DeleteTree(*api_, GetParam().root, kBase, GetParam().view);
    if (GetParam().other != 0) {
      files::testing::detail::DeleteTree(*api_, GetParam().root, kBase, GetParam().other);
    }
  }

  void Put(const std::string& path, const std::string& name, RawValue value,
           std::uint32_t view = ~0u) {
    if (view == ~0u) view = GetParam().view;
    files::testing::detail::PutValue(*api_, GetParam().root, std::string(kBase) + "\\" + path, name,
                                     value, view);
  }

  // A tree with every value type, empty values, a string with data after its NUL and names
  // beyond ASCII.
  void Populate() {
    Put("K", "", {reg::kRegSz, Utf16Z(u"default")});
    Put("K", "plain", {reg::kRegSz, Utf16Z(u"text with \\ and \" and ; and =")});
    Put("K", "after nul", {reg::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}});
    // (A string without terminator is left out here: Wine's registry editor adds a NUL to
    // hex(1), hex(2) and hex(7) data that lacks one. The native merge tests cover it.)
    Put("K", "empty sz", {reg::kRegSz, {}});
    Put("K", "lines", {reg::kRegSz, Utf16Z(u"one\r\ntwo")});
    Put("K", "expand", {reg::kRegExpandSz, Utf16Z(u"%SystemRoot%\\€")});
    Put("K", "empty expand", {reg::kRegExpandSz, {}});
    Put("K", "dword", {reg::kRegDword, {1, 2, 3, 4}});
    Put("K", "qword", {reg::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}});
    Put("K", "multi", {reg::kRegMultiSz, Utf16Z(std::u16string(u"a\0ü\0", 4))});
    Put("K", "binary", {reg::kRegBinary, Bytes(200, 0xA5)});
    Put("K", "empty binary", {reg::kRegBinary, {}});
    Put("K", "none", {reg::kRegNone, {1, 2}});
    Put("K", "big endian", {reg::kRegDwordBigEndian, {0, 0, 0, 1}});
    Put("K", "resources", {reg::kRegResourceList, {1, 2, 3}});
    Put("K", "descriptor", {reg::kRegFullResourceDescriptor, {4}});
    Put("K", "requirements", {reg::kRegResourceRequirementsList, {5}});
    Put("K\\Ünïcödé 日本", "名前 \"quoted\" \\slash\\", {reg::kRegSz, Utf16Z(u"värde")});
    Put("K\\Ünïcödé 日本\\Deep", "d", {reg::kRegDword, {9, 0, 0, 0}});
    Put("K\\Empty values", "", {reg::kRegSz, Utf16Z(u"")});
    Put("K\\Empty values", "e", {reg::kRegMultiSz, {}});
    Put("Other", "o", {reg::kRegSz, Utf16Z(u"other")});
  }

  reg::testing::TreeSnapshot Tree(std::uint32_t view = ~0u) {
    return reg::testing::Snapshot(*api_, GetParam().root, kBase,
                                  view == ~0u ? GetParam().view : view);
  }

  TRegAction Action(const std::string& path, const std::string& value) {
    TRegAction action = TRegAction::Create(*api_, undo_, settings_);
    action.RootKey = GetParam().root;
    action.KeyPath = "\\" + std::string(kBase) + path;
    action.ValueName = value;
    action.CreateUndo = true;
    return action;
  }
  void Execute(int kind, const std::string& path, const std::string& value, const std::string& data,
               bool unnamed = false) {
    TRegAction action = Action(path, value);
    action.UnnamedValue = unnamed;
    action.NewData =
        kind == akRename && value.empty() && !unnamed ? "\\" + std::string(kBase) + data : data;
    action.ActionKind = kind;
    action.Execute();
    EXPECT_EQ(action.ErrorText, "") << path << " " << value;
  }
  void Delete(const std::string& path, const std::string& value, bool unnamed = false) {
    TRegAction action = Action(path, value);
    action.UnnamedValue = unnamed;
    action.Delete();
    EXPECT_EQ(action.ErrorText, "") << path << " " << value;
  }

  // Merges the current undo file with the case's registry editor.
  void Merge() {
    const auto file = keyloom::base::PathFromUtf8(undo_.CurrentFileName(settings_));
    ASSERT_TRUE(std::filesystem::exists(file));
    ASSERT_EQ(keyloom::testing::MergeRegFile(file, GetParam().editor), 0u);
  }

  // Makes one change with its own undo file, merges that file and expects the tree from before.
  void ExpectUndone(const char* what, const std::function<void()>& change) {
    SCOPED_TRACE(what);
    const auto before = Tree();
    change();
    ASSERT_NE(Tree(), before);
    Merge();
    ExpectSame(before);
  }

  void ExpectSame(const reg::testing::TreeSnapshot& before) {
    std::string differences = keyloom::testing::Differences(before, Tree());
    if (GetParam().other != 0) {
      differences += keyloom::testing::Differences(twin_, Tree(GetParam().other));
    }
    EXPECT_EQ(differences, "") << "(the other view's twin tree included)";
    if (!differences.empty()) {
      for (const auto& line : files::testing::ReadRegFileLines(
               keyloom::base::PathFromUtf8(undo_.CurrentFileName(settings_)))) {
        ADD_FAILURE() << "undo file: " << line;
      }
    }
  }

  keyloom::testing::TempFolder folder_;
  std::unique_ptr<reg::RegApi> api_;
  std::vector<std::string> log_;
  files::ChangeSettings settings_;
  files::UndoFile undo_;
  reg::testing::TreeSnapshot twin_;
};

TEST_P(UndoRoundTrip, ValueUpdatesComeBack) {
  ExpectUndone("string", [&] { Execute(akUpdate, "\\K", "plain", "new text"); });
  ExpectUndone("string after a NUL", [&] { Execute(akUpdate, "\\K", "after nul", "new"); });
  ExpectUndone("expandable", [&] { Execute(akUpdate, "\\K", "expand", "%NEW%"); });
  ExpectUndone("integer", [&] { Execute(akUpdate, "\\K", "dword", "$FF"); });
  ExpectUndone("64-bit integer", [&] { Execute(akUpdate, "\\K", "qword", "-5"); });
  ExpectUndone("multi-string", [&] { Execute(akUpdate, "\\K", "multi", std::string("x\0y", 3)); });
  ExpectUndone("unnamed", [&] { Execute(akUpdate, "\\K", "", "new default"); });
}

TEST_P(UndoRoundTrip, RenamesComeBack) {
  ExpectUndone("value", [&] { Execute(akRename, "\\K", "plain", "renamed"); });
  ExpectUndone("unnamed value", [&] { Execute(akRename, "\\K", "", "was default", true); });
  ExpectUndone("key with every kind of value", [&] { Execute(akRename, "\\K", "", "\\K2"); });
}

TEST_P(UndoRoundTrip, DeletesComeBack) {
  ExpectUndone("value", [&] { Delete("\\K", "binary"); });
  ExpectUndone("unnamed value", [&] { Delete("\\K", "", true); });
  ExpectUndone("key", [&] { Delete("\\K", ""); });
}

TEST_P(UndoRoundTrip, OneFileForAWholeRunTakesItAllBack) {
  settings_.separate_undo_files = false;
  undo_.RaiseNewFileFlag();
  const auto before = Tree();
  Execute(akUpdate, "\\K", "plain", "first");
  Execute(akRename, "\\K", "plain", "plain2");
  Execute(akRename, "\\K", "", "\\K2");
  Execute(akUpdate, "\\K2", "dword", "7");
  Execute(akRename, "\\K2\\Ünïcödé 日本", "", "\\K2\\Renamed");
  Delete("\\K2", "expand");
  Execute(akRename, "\\Other", "", "\\K");
  ASSERT_NE(Tree(), before);
  Merge();
  ExpectSame(before);
}

constexpr std::uint32_t k32 = reg::access::kWow64_32Key;
constexpr std::uint32_t k64 = reg::access::kWow64_64Key;

// The 32-bit registry editor cannot reach the 64-bit view of HKEY_LOCAL_MACHINE\Software at all.
INSTANTIATE_TEST_SUITE_P(
    Views, UndoRoundTrip,
    ::testing::Values(
        ViewCase{"CurrentUser", reg::kCurrentUser, 0, 0, 0, RegistryEditor::k64Bit},
        ViewCase{"CurrentUserBy32BitEditor", reg::kCurrentUser, 0, 0, 0, RegistryEditor::k32Bit},
        ViewCase{"LocalMachine32", reg::kLocalMachine, k32, k64, 0, RegistryEditor::k64Bit},
        ViewCase{"LocalMachine32By32BitEditor", reg::kLocalMachine, k32, k64, 0,
                 RegistryEditor::k32Bit},
        ViewCase{"LocalMachine64", reg::kLocalMachine, k64, k32, 1, RegistryEditor::k64Bit}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keyloom::change
