// The edit and rename flow against the memory registry, its dialogs scripted: what each branch
// writes, logs and records, the permission repair undone on every path, the remote machine.
#include "edit/change_key.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

#include "base/text.h"
#include "files/undo_fixture.h"
#include "registry/registry_contract.h"
#include "registry/security_descriptor.h"

namespace keyloom::edit {
namespace {

using namespace std::string_literals;
using files::testing::Utf16Z;
using reg::Bytes;
using reg::RawValue;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Answers each dialog with the next scripted answer (a function of the text put in) and notes
// what it was shown: "EditReg|caption|label|text", "EditDword|label|text|64",
// "MultiEdit|label|text".
class ScriptedDialogs : public EditDialogs {
 public:
  using Answer = std::function<std::string(const std::string&)>;
  std::deque<Answer> answers;
  std::vector<std::string> shown;

  void Reply(std::string text) {
    answers.push_back([text](const std::string&) { return text; });
  }
  void Cancel() {
    answers.push_back([](const std::string& in) { return in; });
  }

  std::string ShowEditReg(const std::string& caption, const std::string& key_label,
                          const std::string& text) override {
    shown.push_back("EditReg|" + caption + "|" + key_label + "|" + text);
    return Next(text);
  }
  std::string ShowEditDword(const std::string& key_label, const std::string& text,
                            bool is_64bit) override {
    shown.push_back("EditDword|" + key_label + "|" + text + (is_64bit ? "|64" : "|32"));
    return Next(text);
  }
  std::string ShowMultiEdit(const std::string& value_label, const std::string& text) override {
    shown.push_back("MultiEdit|" + value_label + "|" + text);
    return Next(text);
  }

 private:
  std::string Next(const std::string& in) {
    if (answers.empty()) {
      ADD_FAILURE() << "no answer scripted";
      return in;
    }
    Answer answer = std::move(answers.front());
    answers.pop_front();
    return answer(in);
  }
};

class ChangeKeyTest : public files::testing::UndoFixture {
 protected:
  ChangeKeyTest() {
    context_.api = api_.get();
    context_.undo = &undo_;
    context_.account = &account_;
    context_.settings = &store_;
    context_.log = [this](const std::string& text, bool) { lines_.push_back(text); };
    run_settings_.undodir = folder_.Utf8();
  }

  RowOutcome Change(ChangeAction action, const std::string& path, const std::string& value,
                    const std::string& root = "HKEY_CURRENT_USER") {
    store_.Replace(run_settings_);
    return procChangeKey(context_, dialogs_, action, ChangeTarget{root, path, value});
  }
  RowOutcome Edit(const std::string& value, const std::string& path = "\\Software\\X") {
    return Change(ChangeAction::kEdit, path, value);
  }
  RowOutcome Rename(const std::string& value, const std::string& path = "\\Software\\X") {
    return Change(ChangeAction::kRename, path, value);
  }
  RawValue Get(const std::string& path, const std::string& name) {
    reg::TRegistry reg(*api_);
    if (!reg.OpenKey(path)) return {99, {}};
    return reg.ValueExists(name) ? reg.ReadRaw(name) : RawValue{98, {}};
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, "Software");
  }
  bool NoUndoFile() const { return std::filesystem::is_empty(folder_.path()); }
  // Merges the undo files newest first.
  void MergeUndoFiles() {
    for (int n = undo_.Counter(); n >= 1; --n) {
      if (std::filesystem::exists(UndoPath(n))) files::testing::MergeRegFile(*api_, UndoPath(n));
    }
  }
  std::string Message(reg::ErrorCode code) { return text::TrimMessage(api_->ErrorMessage(code)); }

  reg::ProgramAccount account_{"root"};
  ScriptedDialogs dialogs_;
  config::Settings run_settings_;
  config::SettingsStore store_;
  engine::RunContext context_;
  std::vector<std::string> lines_;
};

TEST_F(ChangeKeyTest, EditsEachEditableTypeInItsEditorWithAnUndoRecord) {
  const struct {
    const char* name;
    RawValue before;
    std::string shown;  // what the dialog was shown
    std::string answer;
    RawValue after;
  } cases[] = {
      {"s", RawValue{reg::kRegSz, Utf16Z(u"old\0tail"s)},
       "EditReg|Edit Registry Key|\\Software\\X\\s|old", "new",
       RawValue{reg::kRegSz, Utf16Z(u"new\0tail"s)}},
      {"e", RawValue{reg::kRegExpandSz, Utf16Z(u"%A%")},
       "EditReg|Edit Registry Key|\\Software\\X\\e|%A%", "%B%",
       RawValue{reg::kRegExpandSz, Utf16Z(u"%B%")}},
      {"d", RawValue{reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}}, "EditDword|\\Software\\X\\d|-1|32",
       "4081", RawValue{reg::kRegDword, {0xF1, 0x0F, 0, 0}}},
      {"q", RawValue{reg::kRegQword, reg::LittleEndian<std::int64_t>(1234567890123456789)},
       "EditDword|\\Software\\X\\q|1234567890123456789|64", "1234567890123456788",
       RawValue{reg::kRegQword, reg::LittleEndian<std::int64_t>(1234567890123456788)}},
      {"m", RawValue{reg::kRegMultiSz, text::Utf16ToBytes(u"a\0b\0\0"s)},
       "MultiEdit|HKEY_CURRENT_USER\\Software\\X\\m|a\r\nb", "a\r\nb\r\nc",
       RawValue{reg::kRegMultiSz, text::Utf16ToBytes(u"a\0b\0c\0\0"s)}},
      // An empty string, which hides the strings after it from every reader, is not stored, and
      // one stored already goes with the next edit.
      {"m0", RawValue{reg::kRegMultiSz, text::Utf16ToBytes(u"alpha01\0\0qaserver\0beta\0\0"s)},
       "MultiEdit|HKEY_CURRENT_USER\\Software\\X\\m0|alpha01\r\n\r\nqaserver\r\nbeta",
       "\r\nalpha01\r\n\r\nqaserver\r\nbeta\r\n\r\n",
       RawValue{reg::kRegMultiSz, text::Utf16ToBytes(u"alpha01\0qaserver\0beta\0\0"s)}},
      {"", RawValue{reg::kRegSz, Utf16Z(u"def")}, "EditReg|Edit Registry Key|\\Software\\X\\|def",
       "DEF", RawValue{reg::kRegSz, Utf16Z(u"DEF")}},
  };
  for (const auto& c : cases) Put("Software\\X", c.name, c.before);
  const auto before = Tree();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.Reply(c.answer);
    EXPECT_NE(Edit(c.name).result, change::ChangeResult::kRenamed);
    EXPECT_EQ(dialogs_.shown.back(), c.shown);
    EXPECT_EQ(Get("\\Software\\X", c.name), c.after);
  }
  EXPECT_THAT(lines_, IsEmpty()) << "a successful edit logs nothing";
  EXPECT_EQ(undo_.Counter(), 7) << "one undo file per change";
  MergeUndoFiles();
  EXPECT_EQ(Tree(), before);
}

TEST_F(ChangeKeyTest, ACancelAnUnchangedValueOrWhatCannotBeEditedWritesNothing) {
  Put("Software\\X", "s", {reg::kRegSz, Utf16Z(u"same")});
  Put("Software\\X", "d", {reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}});
  // A multi-string without its final NUL is shown as its lines; taken back unchanged it is not
  // rewritten with an extra empty string.
  Put("Software\\X", "m", {reg::kRegMultiSz, text::Utf16ToBytes(u"a\0b"s)});
  Put("Software\\X", "m2", {reg::kRegMultiSz, text::Utf16ToBytes(u"a\0b\0\0"s)});
  Put("Software\\X", "bin", {reg::kRegBinary, {1, 2}});
  Put("Software\\X", "lines", {reg::kRegSz, Utf16Z(u"one\r\ntwo")});
  const auto before = Tree();
  dialogs_.Cancel();
  Edit("s");
  dialogs_.Cancel();
  Edit("d");
  dialogs_.Reply("4294967295");  // the same number written another way
  Edit("d");
  dialogs_.Cancel();
  Edit("m");
  dialogs_.Reply("a\r\nb\r\n");  // a final line break adds no string
  Edit("m2");
  EXPECT_THAT(lines_, IsEmpty());
  // Said without a dialog.
  Edit("bin");
  Edit("");  // a key row of a key without an unnamed value
  Edit("lines");
  dialogs_.Reply("12abc");  // what the integer rule refuses reaches the action's message
  Edit("d");
  EXPECT_THAT(dialogs_.shown,
              ElementsAre("EditReg|Edit Registry Key|\\Software\\X\\s|same",
                          "EditDword|\\Software\\X\\d|-1|32", "EditDword|\\Software\\X\\d|-1|32",
                          "MultiEdit|HKEY_CURRENT_USER\\Software\\X\\m|a\r\nb",
                          "MultiEdit|HKEY_CURRENT_USER\\Software\\X\\m2|a\r\nb",
                          "EditDword|\\Software\\X\\d|-1|32"));
  EXPECT_THAT(lines_, ElementsAre("Keyloom cannot edit this type of Key ",
                                  "Keyloom cannot edit this type of Key ",
                                  "Keyloom cannot edit a string that holds line breaks "
                                  "[\\Software\\X\\lines]",
                                  "\rUnable to Update Integer ['12abc' is not a valid integer "
                                  "value]"));
  EXPECT_EQ(Tree(), before);
  EXPECT_TRUE(NoUndoFile());
}

TEST_F(ChangeKeyTest, RenamesAValueOrAKeyWithItsTreeAndTheUndoFilesGiveTheOldNamesBack) {
  PutString("Software\\X", "old", u"data");
  PutString("Software\\X", "taken", u"other");
  PutString("Software\\P\\Old\\Sub", "v", u"x");
  PutString("Software\\P\\Old", "", u"def");
  MakeKey("Software\\P\\Taken");
  const auto before = Tree();
  const std::string value_dialog =
      "EditReg|Rename Registry Value|HKEY_CURRENT_USER\\Software\\X|old";
  const std::string key_dialog =
      "EditReg|Rename Registry Key|HKEY_CURRENT_USER\\Software\\P\\Old|Old";
  const char *x = "\\Software\\X", *old = "\\Software\\P\\Old";
  const struct {
    const char* answer;  // nullptr: Cancel
    const char* path;
    const char* value;
    bool renamed;  // the row goes
    std::string shown;
    const char* line;  // the one line logged, if any
  } steps[] = {
      {nullptr, x, "old", false, value_dialog, nullptr},
      {"  ", x, "old", false, value_dialog, "You cannot rename the key to nothing"},
      {"taken", x, "old", false, value_dialog, "Value already exists"},
      {"Taken", old, "", false, key_dialog, "Key to rename to already exists"},
      {"", old, "", false, key_dialog, "You cannot rename the key to nothing"},
      // Blanks are kept.
      {" new ", x, "old", true, value_dialog, "Value Renamed"},
      {" New ", old, "", true, key_dialog, "Key Renamed"},
      // From the unnamed value's row, deeper: the missing key A is made.
      {"A\\B", "\\Software\\P\\ New ", "", true,
       "EditReg|Rename Registry Key|HKEY_CURRENT_USER\\Software\\P\\ New | New ", "Key Renamed"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.answer ? step.answer : "Cancel");
    step.answer ? dialogs_.Reply(step.answer) : dialogs_.Cancel();
    lines_.clear();
    EXPECT_EQ(Rename(step.value, step.path).result == change::ChangeResult::kRenamed, step.renamed);
    EXPECT_EQ(dialogs_.shown.back(), step.shown);
    EXPECT_EQ(lines_, step.line ? std::vector<std::string>{step.line} : std::vector<std::string>{});
    if (!step.renamed) {
      EXPECT_EQ(Tree(), before);
    }
  }
  EXPECT_EQ(Get("\\Software\\X", " new "), (RawValue{reg::kRegSz, Utf16Z(u"data")}));
  EXPECT_EQ(Get("\\Software\\P\\A\\B\\Sub", "v"), (RawValue{reg::kRegSz, Utf16Z(u"x")}));
  EXPECT_EQ(Get("\\Software\\P\\A\\B", ""), (RawValue{reg::kRegSz, Utf16Z(u"def")}));
  EXPECT_EQ(Get("\\Software\\P\\ New ", ""), (RawValue{99, {}}));
  // Merged newest first, the files put the names back and remove the intermediate key A.
  MergeUndoFiles();
  EXPECT_EQ(Tree(), before);

  // A path without any "\" is no key that can be renamed.
  lines_.clear();
  dialogs_.shown.clear();
  EXPECT_EQ(Change(ChangeAction::kRename, "Software", "").result, change::ChangeResult::kNone);
  EXPECT_THAT(dialogs_.shown, IsEmpty());
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(ChangeKeyTest, AKeyThatWentWhileTheDialogWasOpenIsReported) {
  MakeKey("Software\\P\\Old");
  dialogs_.answers.push_back([this](const std::string&) {
    reg::TRegistry reg(*api_);
    reg.DeleteKey("\\Software\\P\\Old");
    return std::string("New");
  });
  const RowOutcome gone = Rename("", "\\Software\\P\\Old");
  EXPECT_EQ(gone.result, change::ChangeResult::kFailed);
  EXPECT_EQ(gone.reason, "Unable to Rename Key [" + Message(reg::kFileNotFound) + "]");
  EXPECT_THAT(lines_, ElementsAre("Unable to Rename Key [" + Message(reg::kFileNotFound) + "]"));
}

TEST_F(ChangeKeyTest, ChangingOnlyTheLetterCaseRenamesAndTheUndoFilesGiveTheOldNameBack) {
  PutString("Software\\P\\name\\Sub", "value", u"x");
  PutString("Software\\P\\name\\Sub", "value~1", u"in the way of the first temporary name");
  const auto before = Tree();
  dialogs_.Reply("VALUE");
  const RowOutcome renamed = Rename("value", "\\Software\\P\\name\\Sub");
  EXPECT_EQ(renamed.result, change::ChangeResult::kRenamed);
  EXPECT_EQ(renamed.now.key_path, "\\Software\\P\\name\\Sub");
  EXPECT_EQ(renamed.now.value_name, "VALUE");
  dialogs_.Reply("Name");
  EXPECT_EQ(Rename("", "\\Software\\P\\name").result, change::ChangeResult::kRenamed);
  EXPECT_THAT(lines_, ElementsAre("Value Renamed", "Key Renamed"));
  auto expected = before;
  expected.erase("P\\name");
  expected.erase("P\\name\\Sub");
  expected["P\\Name"];
  expected["P\\Name\\Sub"] = before.at("P\\name\\Sub");
  expected["P\\Name\\Sub"].erase("value");
  expected["P\\Name\\Sub"]["VALUE"] = before.at("P\\name\\Sub").at("value");
  EXPECT_EQ(Tree(), expected);
  MergeUndoFiles();
  EXPECT_EQ(Tree(), before);
}

TEST_F(ChangeKeyTest, ACaseOnlyRenameWhoseSecondStepFailsIsTakenBack) {
  PutString("Software\\P\\name", "v", u"x");
  const auto before = Tree();
  // The key's new name is refused when it is created (the temporary one is not).
  api_->InjectFault({reg::MemoryRegistry::Op::kCreateKey, "HKEY_CURRENT_USER\\Software\\P\\NAME", 1,
                     reg::kAccessDenied});
  dialogs_.Reply("NAME");
  const RowOutcome refused = Rename("", "\\Software\\P\\name");
  EXPECT_EQ(refused.result, change::ChangeResult::kFailed);
  EXPECT_THAT(refused.reason, HasSubstr(Message(reg::kAccessDenied)));
  EXPECT_EQ(refused.now.key_path, "\\Software\\P\\name");
  EXPECT_EQ(Tree(), before);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_NE(lines_[0].find(Message(reg::kAccessDenied)), std::string::npos) << lines_[0];
}

TEST_F(ChangeKeyTest, SimulateChangesNothingAndTheUndoBitsDecideWhatIsRecorded) {
  PutString("Software\\X", "s", u"old");
  const auto before = Tree();
  run_settings_.simulate = true;  // the dialogs are still shown
  dialogs_.Reply("new");
  EXPECT_EQ(Edit("s").result, change::ChangeResult::kSimulated);
  dialogs_.Reply("other");
  const RowOutcome simulated = Rename("s");
  EXPECT_EQ(simulated.result, change::ChangeResult::kSimulated);
  EXPECT_EQ(simulated.now.value_name, "s");  // the row still names the value
  dialogs_.Reply("Y");
  EXPECT_EQ(Rename("", "\\Software\\X").result, change::ChangeResult::kSimulated);
  EXPECT_EQ(dialogs_.shown.size(), 3u);
  EXPECT_EQ(Tree(), before);

  run_settings_.simulate = false;
  run_settings_.undo = config::kUndoRenames;
  dialogs_.Reply("new");
  Edit("s");
  run_settings_.undo = config::kUndoEdits;
  dialogs_.Reply("t");
  Rename("s");
  EXPECT_EQ(Get("\\Software\\X", "t"), (RawValue{reg::kRegSz, Utf16Z(u"new")}));
  EXPECT_TRUE(NoUndoFile());
}

TEST_F(ChangeKeyTest, ARemoteMachineIsChangedAndAnUnreachableOneShowsNoDialog) {
  PutRemoteString("\\\\FAR", "Software\\X", "s", u"far");
  context_.machine = "\\\\FAR";
  dialogs_.Reply("changed");
  Change(ChangeAction::kEdit, "\\Software\\X", "s", "HKEY_LOCAL_MACHINE");
  EXPECT_THAT(dialogs_.shown, ElementsAre("EditReg|Edit Registry Key|\\Software\\X\\s|far"));
  reg::TRegistry far(*api_);
  far.SetRootKey(reg::kLocalMachine);
  ASSERT_TRUE(far.RegistryConnect("\\\\FAR"));
  ASSERT_TRUE(far.OpenKey("\\Software\\X"));
  EXPECT_EQ(far.ReadString("s"), "changed");
  far.CloseKey();
  api_->SetMachineReachable("FAR", false);
  Change(ChangeAction::kEdit, "\\Software\\X", "s", "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_THAT(lines_, ElementsAre("Remote Registry Error: [" + Message(reg::kBadNetPath) + "]"));
}

// The user is denied everything on Software\Locked.
class LockedKeyChangeTest : public ChangeKeyTest {
 protected:
  void SetUp() override {
    PutString("Software\\Locked", "s", u"old");
    PutString("Software\\Locked\\Sub", "v", u"x");
    const reg::Sid user = *reg::Sid::FromText("S-1-5-21-0-0-0-1000");
    reg::SecurityDescriptor sd;
    sd.control = reg::kSdSelfRelative | reg::kSdDaclPresent | reg::kSdDaclProtected;
    sd.owner = user;
    sd.dacl = reg::Acl{reg::kAclRevision,
                       {reg::Ace{reg::kAceTypeDenied, 0, reg::access::kAllAccess, user, {}}}};
    ASSERT_EQ(api_->SetKeySecurityForTest(kPath, sd.Serialize()), reg::kSuccess);
    locked_ = Security(kPath);
    run_settings_.logging = 1;
  }
  Bytes Security(const std::string& path) {
    Bytes bytes;
    EXPECT_EQ(api_->GetKeySecurityForTest(path, &bytes), reg::kSuccess);
    return bytes;
  }
  std::optional<reg::Acl> Dacl(const std::string& path) {
    const auto sd = reg::SecurityDescriptor::Parse(Security(path));
    return sd ? sd->dacl : std::nullopt;
  }
  static constexpr const char* kPath = "HKEY_CURRENT_USER\\Software\\Locked";
  Bytes locked_;
};

TEST_F(LockedKeyChangeTest, TheRepairedKeyGetsItsDaclBackOnEveryPath) {
  // Without repair only the open failure is logged.
  const std::string open_failed = "Unable to Open Registry Key, " + Message(reg::kAccessDenied);
  Edit("s", "\\Software\\Locked");
  EXPECT_THAT(lines_, ElementsAre(open_failed));
  EXPECT_THAT(dialogs_.shown, IsEmpty());

  run_settings_.fixperms = true;
  lines_.clear();
  const std::string repaired[] = {
      "Security - Manual Edit - Error accessing registry \\Software\\Locked [" +
          Message(reg::kAccessDenied) + "], attempting to modify perissions",
      "Security - Manual Edit - Re-open of key after permission change successful",
      "Security - Manual Edit - Registry permissions have been changed, setting permissions "
      "back to original settings"};
  // An edit.
  dialogs_.Reply("new");
  Edit("s", "\\Software\\Locked");
  EXPECT_THAT(lines_, ElementsAre(repaired[0], repaired[1], repaired[2]));
  EXPECT_EQ(Security(kPath), locked_);
  // A cancelled rename, a refused one, a type that cannot be edited.
  dialogs_.Cancel();
  Rename("s", "\\Software\\Locked");
  EXPECT_EQ(Security(kPath), locked_);
  dialogs_.Reply("");
  Rename("s", "\\Software\\Locked");
  EXPECT_EQ(Security(kPath), locked_);
  Edit("none", "\\Software\\Locked");
  EXPECT_EQ(Security(kPath), locked_);
  // A dialog that fails: the failure still reaches the caller, after the restore.
  dialogs_.answers.push_back(
      [](const std::string&) -> std::string { throw std::runtime_error("dialog failed"); });
  EXPECT_THROW(Edit("s", "\\Software\\Locked"), std::runtime_error);
  EXPECT_EQ(Security(kPath), locked_);
  // A key rename: the key under its new name has the DACL the old one had.
  const auto locked_dacl = Dacl(kPath);
  ASSERT_TRUE(locked_dacl);
  dialogs_.Reply("Moved");
  EXPECT_EQ(Rename("", "\\Software\\Locked").result, change::ChangeResult::kRenamed);
  EXPECT_EQ(lines_.back(), repaired[2]);
  EXPECT_EQ(Dacl("HKEY_CURRENT_USER\\Software\\Moved"), locked_dacl);
  EXPECT_EQ(api_->OpenHandleCount(), 0u);
  run_settings_.fixperms = false;
  lines_.clear();
  Edit("s", "\\Software\\Moved");
  EXPECT_THAT(lines_, ElementsAre(open_failed));
  EXPECT_EQ(Get("\\Software\\Locked", "s"), (RawValue{99, {}}));
}

}  // namespace
}  // namespace keyloom::edit
