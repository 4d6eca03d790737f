#include "files/registry_snapshot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "files/undo_fixture.h"

namespace keyloom::files::testing {
namespace {

using ::testing::ElementsAre;
using Strings = std::vector<std::string>;
using Op = reg::MemoryRegistry::Op;

class RegistrySnapshotTest : public UndoFixture {
 protected:
  RegistryReader Reader() {
    return {api_.get(), [this](const std::string& line) { log_.push_back(line); }, {}};
  }
  // The lines of one snapshot's items, one after the other.
  Strings Exported(SnapshotItem item, std::initializer_list<std::string> value_names) {
    RegistrySnapshot snapshot(Reader(), ChangeView(settings_));
    Strings all;
    for (const std::string& name : value_names) {
      item.value_name = name;
      Strings lines;
      EXPECT_EQ(snapshot.ItemLines(item, &lines), "") << name;
      all.insert(all.end(), lines.begin(), lines.end());
    }
    return all;
  }
  std::string ValueText(reg::KeyHandle root, std::string_view path, std::string_view name,
                        ValueForm form) {
    return RegistrySnapshot(Reader(), ChangeView(settings_)).ValueText(root, path, name, "", form);
  }
};

TEST_F(RegistrySnapshotTest, ItemLinesGiveAValueLineOrAWholeTree) {
  PutString("Software\\X", "v", u"1");
  PutString("Software\\X\\Sub", "s", u"2");
  SnapshotItem item;
  item.root = reg::kCurrentUser;
  item.key_path = "\\Software\\X";
  // A key named twice is written twice.
  const Strings lines = Exported(item, {"", "", "v", "missing"});
  const Strings tree = {"", "[HKEY_CURRENT_USER\\Software\\X]",      "\"v\"=\"1\"",
                        "", "[HKEY_CURRENT_USER\\Software\\X\\Sub]", "\"s\"=\"2\""};
  Strings expected = tree;
  expected.insert(expected.end(), tree.begin(), tree.end());
  expected.insert(expected.end(), {"", "[HKEY_CURRENT_USER\\Software\\X]", "\"v\"=\"1\"", "",
                                   "[HKEY_CURRENT_USER\\Software\\X]", ""});
  EXPECT_EQ(lines, expected);
  item.key_path = "\\Software\\Nope";
  item.value_name.clear();
  EXPECT_THAT(Exported(item, {""}), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\Nope]"));
  item.root = reg::kNullKey;
  Strings lines_of_no_root;
  EXPECT_EQ(RegistrySnapshot(Reader(), reg::RegView::kNone).ItemLines(item, &lines_of_no_root),
            "no root key specified");
}

// What a walk cannot read it leaves out and names, in the order met; the rest of the tree is
// read all the same (an export lists it, the undo writer refuses the record).
TEST_F(RegistrySnapshotTest, ATreeKeepsWhatItCouldReadAndNamesEveryGap) {
  PutString("Software\\X", "a\nb", u"1");
  PutString("Software\\X\\Locked", "l", u"2");
  PutString("Software\\X\\Open", "o", u"3");
  PutString("Software\\X\\Unlisted", "u", u"4");
  api_->InjectFault(
      {Op::kOpenKey, "HKEY_CURRENT_USER\\Software\\X\\Locked", 0, reg::kAccessDenied});
  api_->InjectFault(
      {Op::kEnumValue, "HKEY_CURRENT_USER\\Software\\X\\Unlisted", 0, reg::kAccessDenied});
  RegistrySnapshot snapshot(Reader(), reg::RegView::kNone);
  SnapshotSource& source = snapshot.Source(reg::kCurrentUser, "");
  SnapshotTree tree;
  std::string error;
  ASSERT_TRUE(
      source.KeyTree("\\Software\\X", source.NameOf("\\Software\\X"), nullptr, &tree, &error));
  const std::string denied = text::TrimMessage(api_->ErrorMessage(reg::kAccessDenied));
  EXPECT_THAT(tree.gaps,
              ElementsAre("the name of value HKEY_CURRENT_USER\\Software\\X\\a<LF>b holds a line "
                          "break, which a registry file cannot carry",
                          "\\Software\\X\\Locked: " + denied, denied));
  EXPECT_THAT(tree.left_out, ElementsAre("\\Software\\X\\Locked"));
  EXPECT_THAT(tree.Lines(), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "\"a\nb\"=\"1\"",
                                        "", "[HKEY_CURRENT_USER\\Software\\X\\Open]", "\"o\"=\"3\"",
                                        "", "[HKEY_CURRENT_USER\\Software\\X\\Unlisted]"));
  EXPECT_FALSE(source.KeyTree("\\Software\\X\\Locked", {"\\Software\\X\\Locked", ""}, nullptr,
                              &tree, &error));
  EXPECT_EQ(error, denied);
}

TEST_F(RegistrySnapshotTest, ValueTextGivesTheRecordAndThePlainForm) {
  Put("Software\\X", "Count", {reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}});
  EXPECT_EQ(ValueText(reg::kCurrentUser, "\\Software\\X", "Count", ValueForm::kRecord),
            "\"Count\"=dword:ffffffff");
  EXPECT_EQ(ValueText(reg::kCurrentUser, "\\Software\\X", "Count", ValueForm::kPlain), "-1");
  EXPECT_EQ(ValueText(reg::kCurrentUser, "\\Software\\X", "None", ValueForm::kPlain), "");
  EXPECT_EQ(ValueText(reg::kCurrentUser, "\\Software\\Nope", "Count", ValueForm::kRecord), "");
}

TEST_F(RegistrySnapshotTest, ValuesAreReadInTheSelectedView) {
  Put("Software\\V", "v", {reg::kRegSz, Utf16Z(u"64")}, reg::kLocalMachine,
      reg::access::kWow64_64Key);
  Put("Software\\V", "v", {reg::kRegSz, Utf16Z(u"32")}, reg::kLocalMachine,
      reg::access::kWow64_32Key);
  settings_.target.view = reg::RegView::k64;
  EXPECT_EQ(ValueText(reg::kLocalMachine, "\\Software\\V", "v", ValueForm::kPlain), "64");
  settings_.target.view = reg::RegView::k32;
  EXPECT_EQ(ValueText(reg::kLocalMachine, "\\Software\\V", "v", ValueForm::kPlain), "32");
}

TEST_F(RegistrySnapshotTest, AnUnreachableMachineIsLoggedOnceAndItsItemsKeepTheirBracketLines) {
  api_->AddMachine("\\\\FAR", false);
  SnapshotItem item;
  item.root = reg::kLocalMachine;
  item.key_path = "\\Software\\X";
  item.machine_name = "\\\\FAR";
  EXPECT_THAT(Exported(item, {"A", "B"}), ElementsAre("", "[HKEY_LOCAL_MACHINE\\Software\\X]", "",
                                                      "", "[HKEY_LOCAL_MACHINE\\Software\\X]", ""));
  EXPECT_THAT(log_, ElementsAre("Error connecting to remote machine while saving UNDO: [The "
                                "network path was not found]"));
}

}  // namespace
}  // namespace keyloom::files::testing
