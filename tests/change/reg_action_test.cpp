#include "change/reg_action.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "files/undo_fixture.h"
#include "registry/forwarding_reg_api.h"
#include "registry/registry_contract.h"
#include "support/file_errors.h"

namespace keyloom::change {
namespace {

using files::testing::Utf16Z;
using reg::Bytes;
using reg::RawValue;
using ::testing::ElementsAre;
using Op = reg::MemoryRegistry::Op;

class RegActionTest : public files::testing::UndoFixture {
 protected:
  TRegAction Action(const std::string& path, const std::string& value = "") {
    TRegAction action = TRegAction::Create(*api_, undo_, settings_);
    action.RootKey = reg::kCurrentUser;
    action.KeyPath = path;
    action.ValueName = value;
    return action;
  }
  std::string Update(const std::string& value, const std::string& data, bool undo = false) {
    TRegAction action = Action("\\Software\\X", value);
    action.NewData = data;
    action.CreateUndo = undo;
    action.ActionKind = akUpdate;
    action.Execute();
    return action.ErrorText;
  }
  RawValue Get(const std::string& path, const std::string& name, std::uint32_t view = 0,
               reg::KeyHandle root = reg::kCurrentUser) {
    RawValue value;
    reg::KeyHandle key = reg::kNullKey;
    if (api_->OpenKey(root, path, reg::access::kRead | view, &key) != reg::kSuccess) return value;
    reg::UniqueKey guard(*api_, key);
    if (api_->QueryValue(key, name, &value.type, &value.data) != reg::kSuccess) return {99, {}};
    return value;
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software");
  }
  bool UndoFilesWritten() const { return !std::filesystem::is_empty(folder_.path()); }
};

TEST_F(RegActionTest, CreateGivesAnEmptyAction) {
  const TRegAction action = TRegAction::Create(*api_, undo_, settings_);
  EXPECT_EQ(action.RootKey, 0u);
  EXPECT_EQ(action.ActionKind, 0);
  EXPECT_FALSE(action.CreateUndo);
  EXPECT_FALSE(action.UnnamedValue);
  EXPECT_TRUE(action.KeyPath.empty() && action.ValueName.empty() && action.NewData.empty() &&
              action.MachineName.empty() && action.ErrorText.empty());
}

TEST_F(RegActionTest, UpdatesEachEditableTypeFromText) {
  PutString("Software\\X", "s", u"old");
  Put("Software\\X", "e", {reg::kRegExpandSz, Utf16Z(u"%OLD%")});
  Put("Software\\X", "d", {reg::kRegDword, {1, 0, 0, 0}});
  Put("Software\\X", "q", {reg::kRegQword, Bytes(8, 0)});
  PutString("Software\\X", "", u"default");
  EXPECT_EQ(Update("s", "néw"), "");
  EXPECT_EQ(Get("Software\\X", "s"), (RawValue{reg::kRegSz, Utf16Z(u"néw")}));
  EXPECT_EQ(Update("e", "%NEW%"), "");
  EXPECT_EQ(Get("Software\\X", "e"), (RawValue{reg::kRegExpandSz, Utf16Z(u"%NEW%")}));
  EXPECT_EQ(Update("", "changed"), "");  // an empty name is the unnamed value
  EXPECT_EQ(Get("Software\\X", ""), (RawValue{reg::kRegSz, Utf16Z(u"changed")}));

  const std::pair<const char*, Bytes> dwords[] = {{"$FF", {0xFF, 0, 0, 0}},
                                                  {"-1", {0xFF, 0xFF, 0xFF, 0xFF}},
                                                  {"4294967295", {0xFF, 0xFF, 0xFF, 0xFF}},
                                                  {"4294967296", {0, 0, 0, 0}},
                                                  {" 0x10", {0x10, 0, 0, 0}}};
  for (const auto& [text, bytes] : dwords) {
    EXPECT_EQ(Update("d", text), "") << text;
    EXPECT_EQ(Get("Software\\X", "d"), (RawValue{reg::kRegDword, bytes})) << text;
  }
  EXPECT_EQ(Update("q", "-2"), "");
  EXPECT_EQ(Get("Software\\X", "q"),
            (RawValue{reg::kRegQword, Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}));
  EXPECT_EQ(Update("q", "$8000000000000000"), "");
  EXPECT_EQ(Get("Software\\X", "q").data, (Bytes{0, 0, 0, 0, 0, 0, 0, 0x80}));
}

TEST_F(RegActionTest, MultiStringsGetTheirTerminatorOnce) {
  Put("Software\\X", "m", {reg::kRegMultiSz, Utf16Z(u"")});
  const Bytes expected = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};
  for (const std::string& text :
       {std::string("a\0b", 3), std::string("a\0b\0", 4), std::string("a\0b\0\0", 5)}) {
    EXPECT_EQ(Update("m", text), "");
    EXPECT_EQ(Get("Software\\X", "m"), (RawValue{reg::kRegMultiSz, expected})) << text.size();
  }
  EXPECT_EQ(Update("m", ""), "");
  EXPECT_EQ(Get("Software\\X", "m").data, (Bytes{0, 0, 0, 0}));
}

TEST_F(RegActionTest, AStringUpdateKeepsTheBytesAfterTheFirstNul) {
  Put("Software\\X", "s", {reg::kRegSz, {'o', 0, 'l', 0, 'd', 0, 0, 0, 'x', 0, 'y', 0, 0, 0, 7}});
  EXPECT_EQ(Update("s", "new!"), "");
  EXPECT_EQ(Get("Software\\X", "s").data,
            (Bytes{'n', 0, 'e', 0, 'w', 0, '!', 0, 0, 0, 'x', 0, 'y', 0, 0, 0, 7}));
}

TEST_F(RegActionTest, FailedUpdatesBeginWithACarriageReturnAndChangeNothing) {
  Put("Software\\X", "d", {reg::kRegDword, {5, 0, 0, 0}});
  Put("Software\\X", "q", {reg::kRegQword, Bytes(8, 1)});
  PutString("Software\\X", "s", u"keep");
  Put("Software\\X", "m", {reg::kRegMultiSz, Utf16Z(u"")});
  EXPECT_EQ(Update("d", "12abc", true),
            "\rUnable to Update Integer ['12abc' is not a valid integer value]");
  EXPECT_EQ(Update("q", "1.5", true),
            "\rUnable to Update LongInteger ['1.5' is not a valid integer value]");
  EXPECT_EQ(Get("Software\\X", "d").data, (Bytes{5, 0, 0, 0}));
  EXPECT_EQ(Get("Software\\X", "q").data, Bytes(8, 1));
  EXPECT_FALSE(UndoFilesWritten());  // a text that does not parse asks for no undo record

  api_->InjectFault({Op::kSetValue, "HKEY_CURRENT_USER\\Software\\X", 0, reg::kAccessDenied});
  EXPECT_EQ(Update("s", "x"), "\rUnable to Update String [Failed to set data for 's']");
  EXPECT_EQ(Update("m", "x"), "\rUnable to Update MultiString [Failed to set data for 'm']");
  EXPECT_EQ(Update("d", "1"), "\rUnable to Update Integer [Failed to set data for 'd']");
  EXPECT_EQ(Update("q", "1"), "\rUnable to Update LongInteger [Failed to set data for 'q']");
  EXPECT_EQ(Get("Software\\X", "s"), (RawValue{reg::kRegSz, Utf16Z(u"keep")}));
}

TEST_F(RegActionTest, OtherTypesAreNotEditableAndRecordNothing) {
  Put("Software\\X", "b", {reg::kRegBinary, {1, 2}});
  Put("Software\\X", "n", {reg::kRegNone, {}});
  for (const char* name : {"b", "n", "missing"}) {
    EXPECT_EQ(Update(name, "1", true), "Keyloom cannot edit this type of Key ") << name;
  }
  EXPECT_EQ(Get("Software\\X", "b").data, (Bytes{1, 2}));
  EXPECT_FALSE(UndoFilesWritten());
}

TEST_F(RegActionTest, ConnectionAndOpeningErrors) {
  TRegAction action = Action("Software\\Missing", "v");
  action.ActionKind = akUpdate;
  action.Execute();
  EXPECT_EQ(action.ErrorText,
            "Unable to Open Registry Key, The system cannot find the file specified");
  EXPECT_EQ(action.KeyPath, "\\Software\\Missing");  // the leading "\" was put in front

  api_->AddMachine("\\\\FAR", false);
  action.MachineName = "\\\\FAR";
  action.Execute();
  EXPECT_EQ(action.ErrorText, "Remote Registry Error: [The network path was not found]");
  action.Delete();
  EXPECT_EQ(action.ErrorText, "Remote Registry Error: [The network path was not found]");

  MakeKey("Software\\X");
  action = Action("\\Software\\X");
  action.ActionKind = 9;  // opens the key and does nothing
  action.Execute();
  EXPECT_EQ(action.ErrorText, "");
}

TEST_F(RegActionTest, RenamesAValueOrAKey) {
  PutString("Software\\X", "A", u"a");
  PutString("Software\\X", "C", u"c");
  TRegAction action = Action("\\Software\\X", "A");
  action.NewData = "B";
  action.ActionKind = akRename;
  action.Execute();
  EXPECT_EQ(action.ErrorText, "");
  EXPECT_EQ(Get("Software\\X", "B"), (RawValue{reg::kRegSz, Utf16Z(u"a")}));
  EXPECT_EQ(Get("Software\\X", "A").type, 99u);
  action.ValueName = "C";
  action.NewData = "C";
  action.Execute();
  EXPECT_EQ(action.ErrorText, "Value already exists");
  action.NewData = "b";  // names are compared as the registry compares them
  action.Execute();
  EXPECT_EQ(action.ErrorText, "Value already exists");

  PutString("Software\\X\\Sub", "s", u"1");
  MakeKey("Software\\Taken");
  action = Action("\\Software\\X");
  action.NewData = "\\Software\\Taken";
  action.ActionKind = akRename;
  action.CreateUndo = true;
  action.Execute();
  EXPECT_EQ(action.ErrorText, "Key to rename to already exists");
  // Only the before-record was written: no removal of the existing key.
  for (const auto& line : Body(1)) EXPECT_EQ(line.find("[-"), std::string::npos) << line;
  action.NewData = "\\Software\\Y";
  action.Execute();
  EXPECT_EQ(action.ErrorText, "");
  EXPECT_EQ(Get("Software\\Y\\Sub", "s"), (RawValue{reg::kRegSz, Utf16Z(u"1")}));
  EXPECT_EQ(Get("Software\\X", "B").type, reg::kRegNone);  // the key is gone
}

// A port that raises from value enumeration and queries, as a failing allocation would.
class RaisingRegApi : public reg::ForwardingRegApi {
 public:
  using ForwardingRegApi::ForwardingRegApi;
  reg::ErrorCode EnumValue(reg::KeyHandle, std::uint32_t, std::string*, std::uint32_t*,
                           reg::Bytes*) override {
    throw std::runtime_error("out of luck");
  }
  reg::ErrorCode QueryValue(reg::KeyHandle, std::string_view, std::uint32_t*,
                            reg::Bytes*) override {
    throw std::runtime_error("out of luck");
  }
};

TEST_F(RegActionTest, RenamesThatRaiseOrLoseTheNewKey) {
  PutString("Software\\X", "A", u"a");
  RaisingRegApi raising(*api_);
  TRegAction action = TRegAction::Create(raising, undo_, settings_);
  action.RootKey = reg::kCurrentUser;
  action.KeyPath = "\\Software\\X";
  action.ActionKind = akRename;
  action.ValueName = "A";
  action.NewData = "B";
  action.Execute();
  EXPECT_EQ(action.ErrorText, "Unable to Rename Value [out of luck]");
  action.ValueName.clear();
  action.NewData = "\\Software\\Y";
  action.Execute();
  EXPECT_EQ(action.ErrorText, "Unable to Rename Key [out of luck]");
  EXPECT_EQ(Get("Software\\X", "A"), (RawValue{reg::kRegSz, Utf16Z(u"a")}));
  EXPECT_FALSE(reg::TRegistry(*api_).KeyExists("\\Software\\Y")) << "no partial copy stays";

  // The move reports success, yet the new key cannot be found afterwards.
  api_->InjectFault({Op::kOpenKey, "HKEY_CURRENT_USER\\Software\\Y", 0, reg::kFileNotFound});
  action = Action("\\Software\\X");
  action.ActionKind = akRename;
  action.NewData = "\\Software\\Y";
  action.Execute();
  EXPECT_EQ(action.ErrorText, "Unable to Rename Key");
}

TEST_F(RegActionTest, DeleteMessagesAndTheirOrder) {
  TRegAction action = TRegAction::Create(*api_, undo_, settings_);
  action.Delete();
  EXPECT_EQ(action.ErrorText, "Unable to Delete key, no Key Path specified");
  action.KeyPath = "\\Software\\X";
  action.Delete();
  EXPECT_EQ(action.ErrorText, "Unable to Delete with no RootKey specified");
  // The root itself is never deleted.
  action = Action("\\");
  action.Delete();
  EXPECT_EQ(action.ErrorText, "Unable to Delete key, no Key Path specified");

  PutString("Software\\X", "v", u"1");
  action = Action("\\Software\\X", "missing");
  action.Delete();
  EXPECT_EQ(action.ErrorText,
            "Unable to Delete Registry Value : missing[The system cannot find the file specified]");
  action = Action("\\Software\\Nope", "v");
  action.Delete();
  EXPECT_EQ(action.ErrorText,
            "Unable to Open Registry Key, The system cannot find the file specified");
  api_->InjectFault({Op::kDeleteKey, "HKEY_CURRENT_USER\\Software\\X", 0, reg::kAccessDenied});
  action = Action("\\Software\\X");
  action.Delete();
  EXPECT_EQ(action.ErrorText, "Unable to Delete Registry Key : \\Software\\X[Access is denied]");
}

TEST_F(RegActionTest, DeletesAValueOrAWholeKeyAndRecordsThemWhenAsked) {
  PutString("Software\\X", "v", u"1");
  PutString("Software\\X", "w", u"2");
  PutString("Software\\X\\Sub\\Deep", "d", u"3");
  TRegAction action = Action("\\Software\\X", "v");
  action.CreateUndo = true;
  action.Delete();
  EXPECT_EQ(action.ErrorText, "");
  EXPECT_EQ(Get("Software\\X", "v").type, 99u);
  EXPECT_THAT(Body(1), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "\"v\"=\"1\""));

  action = Action("Software\\X");
  action.CreateUndo = true;
  action.Delete();
  EXPECT_EQ(action.ErrorText, "");
  EXPECT_TRUE(reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software\\X").empty());
  EXPECT_THAT(Body(2), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "\"w\"=\"2\"", "",
                                   "[HKEY_CURRENT_USER\\Software\\X\\Sub]", "",
                                   "[HKEY_CURRENT_USER\\Software\\X\\Sub\\Deep]", "\"d\"=\"3\""));
}

TEST_F(RegActionTest, TheUnnamedValueIsAddressedWithoutFallingBackOnTheKey) {
  PutString("Software\\X", "", u"default");
  PutString("Software\\X", "other", u"o");
  TRegAction action = Action("\\Software\\X");
  action.UnnamedValue = true;
  action.CreateUndo = true;
  action.Delete();
  EXPECT_EQ(action.ErrorText, "");
  EXPECT_EQ(Get("Software\\X", "").type, 99u);
  EXPECT_EQ(Get("Software\\X", "other").type, reg::kRegSz);  // the key and its values stay
  EXPECT_THAT(Body(1), ElementsAre("", "[HKEY_CURRENT_USER\\Software\\X]", "@=\"default\""));
  action.Delete();
  EXPECT_EQ(
      action.ErrorText,
      "Unable to Delete Registry Value : (Default)[The system cannot find the file specified]");

  PutString("Software\\X", "", u"again");
  action.NewData = "Named";
  action.ActionKind = akRename;
  action.Execute();
  EXPECT_EQ(action.ErrorText, "");
  EXPECT_EQ(Get("Software\\X", "Named"), (RawValue{reg::kRegSz, Utf16Z(u"again")}));
  EXPECT_EQ(Get("Software\\X", "").type, 99u);
}

TEST_F(RegActionTest, SimulateChangesNothingButStillReportsWhatItChecks) {
  settings_.simulate = true;
  PutString("Software\\X", "s", u"1");
  Put("Software\\X", "d", {reg::kRegDword, {1, 0, 0, 0}});
  Put("Software\\X", "b", {reg::kRegBinary, {1}});
  PutString("Software\\X\\Sub", "s", u"2");
  const auto before = Tree();
  EXPECT_EQ(Update("s", "2", true), "");
  EXPECT_EQ(Update("d", "2", true), "");
  EXPECT_EQ(Update("b", "2", true), "Keyloom cannot edit this type of Key ");
  for (const char* value : {"s", ""}) {
    TRegAction action = Action("\\Software\\X", value);
    action.CreateUndo = true;
    action.NewData = "\\Software\\Renamed";
    action.ActionKind = akRename;
    action.Execute();
    EXPECT_EQ(action.ErrorText, "");
    action.Delete();
    EXPECT_EQ(action.ErrorText, "");
  }
  EXPECT_EQ(Tree(), before);
  EXPECT_FALSE(UndoFilesWritten());
  TRegAction action = Action("\\Software\\Missing");
  action.Delete();
  EXPECT_EQ(action.ErrorText,
            "Unable to Open Registry Key, The system cannot find the file specified");
}

TEST_F(RegActionTest, ChangesAreMadeInTheViewOfScanMethodOn64BitWindows) {
  Put("Software\\V", "v", {reg::kRegSz, Utf16Z(u"64")}, reg::kLocalMachine,
      reg::access::kWow64_64Key);
  Put("Software\\V", "v", {reg::kRegSz, Utf16Z(u"32")}, reg::kLocalMachine,
      reg::access::kWow64_32Key);
  auto update = [&](const char* data) {
    TRegAction action = TRegAction::Create(*api_, undo_, settings_);
    action.RootKey = reg::kLocalMachine;
    action.KeyPath = "\\Software\\V";
    action.ValueName = "v";
    action.NewData = data;
    action.ActionKind = akUpdate;
    action.Execute();
    EXPECT_EQ(action.ErrorText, "");
  };
  settings_.target.view = reg::RegView::k64;
  update("new64");
  settings_.target.view = reg::RegView::k32;
  update("new32");
  EXPECT_EQ(Get("Software\\V", "v", reg::access::kWow64_64Key, reg::kLocalMachine).data,
            Utf16Z(u"new64"));
  EXPECT_EQ(Get("Software\\V", "v", reg::access::kWow64_32Key, reg::kLocalMachine).data,
            Utf16Z(u"new32"));
}

TEST_F(RegActionTest, NoChangeIsMadeWhenItsUndoRecordCannotBeWritten) {
  PutString("Software\\X", "v", u"1");
  PutString("Software\\X\\Sub", "s", u"2");
  settings_.undo_folder =
      keyloom::base::PathToUtf8(folder_.path() / "gone") + keyloom::base::kPathSeparator;
  const auto before = Tree();
  const std::string refused = "Unable to write to undo file in " + settings_.undo_folder + " [" +
                              keyloom::testing::MissingFolderText() + "]";
  EXPECT_EQ(Update("v", "2", true), refused);
  for (const char* value : {"v", ""}) {
    TRegAction action = Action("\\Software\\X", value);
    action.CreateUndo = true;
    action.NewData = value[0] != '\0' ? "w" : "\\Software\\Y";
    action.ActionKind = akRename;
    action.Execute();
    EXPECT_EQ(action.ErrorText, refused) << value;
    action.Delete();
    EXPECT_EQ(action.ErrorText, refused) << value;
  }
  EXPECT_EQ(Tree(), before);
}

}  // namespace
}  // namespace keyloom::change
