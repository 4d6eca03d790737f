#include "files/run_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "files/run_journal.h"
#include "files/undo_fixture.h"

namespace keyloom::files::testing {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Kind = RecordKind;
using Phase = RecordPhase;

reg::RawValue Typed(std::uint32_t type, std::u16string_view text) {
  return {type, keyloom::testing::Utf16Z(text)};
}

class RunStateTest : public UndoFixture {
 public:
  using UndoFixture::Put;
  using UndoFixture::Record;

  RunStateTest() {
    undo_.SetWrittenObserver([this](const std::string& file) { journal_.FileWritten(file); });
    journal_.SetStateReader(Reader());
  }
  RegistryReader Reader() { return {api_.get(), {}, {}}; }

  // The value as a run changes it: its before-state recorded first.
  void Change(const std::string& key, const std::string& name, reg::RawValue value) {
    ASSERT_EQ(Record(Kind::kUpdate, Phase::kBefore, key, name), "");
    Put(key, name, std::move(value));
  }
  void RemoveValue(const std::string& key, const std::string& name) {
    reg::KeyHandle handle = reg::kNullKey;
    ASSERT_EQ(api_->OpenKey(reg::kCurrentUser, key, reg::access::kAllAccess, &handle),
              reg::kSuccess);
    reg::UniqueKey guard(*api_, handle);
    ASSERT_EQ(api_->DeleteValue(handle, name), reg::kSuccess);
  }
  void RemoveKey(const std::string& key) {
    ASSERT_EQ(api_->DeleteKey(reg::kCurrentUser, key, 0), reg::kSuccess);
  }

 protected:
  // The run's items, read from its undo files, and the comparison with the state it left.
  RunStateChanges Compare(const JournalRun& run) {
    std::vector<RegFileContents> parsed;
    for (const auto& file : run.files) {
      parsed.push_back(ParseRegFile(keyloom::testing::ReadBytes(base::PathFromUtf8(file))));
    }
    std::vector<const std::vector<RegRecord>*> records;
    for (const auto& contents : parsed) records.push_back(&contents.records);
    return CompareRunState(Reader(), reg::Target{}, RunItemsOf(records), run.states);
  }

  RunJournal journal_;
};

// One kind of change a run makes, the change a person makes by hand afterwards, and the line
// the take-back dialog lists for it.
struct Case {
  std::function<void(RunStateTest&)> before;  // the registry before the run
  std::function<void(RunStateTest&)> run;
  std::function<void(RunStateTest&)> hand;
  std::string listed;
};

// A value of key Software\KT\<key> that the run changes and a person then changes again.
struct ValueCase {
  const char* key;
  const char* name;
  reg::RawValue before, run, hand;
};

Case CaseOf(const ValueCase& v) {
  const std::string key = std::string("Software\\KT\\") + v.key;
  const std::string name = v.name;
  return {[=](RunStateTest& t) { t.Put(key, name, v.before); },
          [=](RunStateTest& t) { t.Change(key, name, v.run); },
          [=](RunStateTest& t) { t.Put(key, name, v.hand); },
          "HKEY_CURRENT_USER\\" + key + (name.empty() ? " (Default)" : " \"" + name + "\"")};
}

// Every kind is compared exactly with the state the run left: unchanged, nothing is listed;
// changed by hand, each item is listed once, whatever its kind.
TEST_F(RunStateTest, EveryKindIsComparedWithTheStateTheRunLeft) {
  const std::string hkcu = "HKEY_CURRENT_USER\\Software\\KT\\";
  const auto multi = [](std::u16string_view units) {
    return Typed(reg::kRegMultiSz, std::u16string(units));
  };
  const ValueCase values[] = {
      {"sz", "v", Typed(reg::kRegSz, u"old"), Typed(reg::kRegSz, u"new"),
       Typed(reg::kRegSz, u"hand")},
      {"expand", "", Typed(reg::kRegExpandSz, u"%A%"), Typed(reg::kRegExpandSz, u"%B%"),
       Typed(reg::kRegSz, u"%B%")},  // the type alone changed by hand
      {"multi", "m", multi({u"a\0b\0", 4}), multi({u"a\0c\0", 4}), multi({u"a\0c\0d\0", 6})},
      {"dword", "d", {reg::kRegDword, {1, 0, 0, 0}}, {reg::kRegDword, {2, 0, 0, 0}},
       {reg::kRegDword, {3, 0, 0, 0}}},
      {"qword", "q", {reg::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}},
       {reg::kRegQword, {2, 0, 0, 0, 0, 0, 0, 9}}, {reg::kRegQword, {2, 0, 0, 0, 0, 0, 0, 8}}},
      {"binary", "b", {reg::kRegBinary, {1, 2}}, {reg::kRegBinary, {1, 3}},
       {reg::kRegBinary, {1, 3, 0}}},
  };
  std::vector<Case> cases;
  for (const ValueCase& v : values) cases.push_back(CaseOf(v));
  cases.insert(
      cases.end(),
      {{[](auto& t) { t.Put("Software\\KT\\renamed", "a", Typed(reg::kRegSz, u"x")); },
        [](auto& t) {
          ASSERT_EQ(t.Record(Kind::kRename, Phase::kBefore, "Software\\KT\\renamed", "a"), "");
          ASSERT_EQ(t.Record(Kind::kRename, Phase::kAfter, "Software\\KT\\renamed", "b"), "");
          t.Put("Software\\KT\\renamed", "b", Typed(reg::kRegSz, u"x"));
          t.RemoveValue("Software\\KT\\renamed", "a");
        },
        [](auto& t) { t.Put("Software\\KT\\renamed", "b", Typed(reg::kRegSz, u"y")); },
        hkcu + "renamed \"b\""},
       {[](auto& t) { t.Put("Software\\KT\\Old\\Sub", "s", Typed(reg::kRegSz, u"x")); },
        [](auto& t) {
          ASSERT_EQ(t.Record(Kind::kRename, Phase::kBefore, "Software\\KT\\Old"), "");
          ASSERT_EQ(t.Record(Kind::kRename, Phase::kAfter, "Software\\KT\\New"), "");
          t.Put("Software\\KT\\New\\Sub", "s", Typed(reg::kRegSz, u"x"));
          t.RemoveKey("Software\\KT\\Old\\Sub");
          t.RemoveKey("Software\\KT\\Old");
        },
        [](auto& t) { t.Put("Software\\KT\\New\\Sub", "added", Typed(reg::kRegSz, u"y")); },
        hkcu + "New (tree)"},
       {[](auto& t) { t.Put("Software\\KT\\deleted", "gone", {reg::kRegDword, {7, 0, 0, 0}}); },
        [](auto& t) {
          ASSERT_EQ(t.Record(Kind::kUpdate, Phase::kBefore, "Software\\KT\\deleted", "gone"), "");
          t.RemoveValue("Software\\KT\\deleted", "gone");
        },
        [](auto& t) { t.Put("Software\\KT\\deleted", "gone", {reg::kRegDword, {7, 0, 0, 0}}); },
        hkcu + "deleted \"gone\""}});
  for (const Case& c : cases) c.before(*this);
  journal_.BeginRun({"", "find", "replace", "", ""});
  undo_.RaiseNewFileFlag();
  for (const Case& c : cases) c.run(*this);
  ASSERT_EQ(journal_.EndRun(), "");
  const auto runs = journal_.Runs(folder_.Utf8());
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].states.size(), 1u);
  EXPECT_EQ(base::PathFromUtf8(runs[0].states[0]).filename(), "RUNSTATE-20240131-001.TXT");
  EXPECT_EQ(undo_.Counter(), static_cast<int>(runs[0].files.size())) << "no number taken";

  RunStateChanges unchanged = Compare(runs[0]);
  EXPECT_THAT(unchanged.changed, IsEmpty());
  EXPECT_EQ(unchanged.unknown, "");

  for (const Case& c : cases) c.hand(*this);
  std::vector<std::string> listed;
  for (const Case& c : cases) listed.push_back(c.listed);
  const RunStateChanges changed = Compare(runs[0]);
  EXPECT_THAT(changed.changed, ::testing::UnorderedElementsAreArray(listed));
  EXPECT_EQ(changed.unknown, "");
}

// A state file that is damaged or gone never reads as "nothing changed": the comparison says it
// cannot tell.
TEST_F(RunStateTest, ADamagedOrMissingStateFileCannotTell) {
  Put("Software\\KT\\x", "v", Typed(reg::kRegSz, u"old"));
  journal_.BeginRun({"", "old", "new", "", ""});
  undo_.RaiseNewFileFlag();
  Change("Software\\KT\\x", "v", Typed(reg::kRegSz, u"new"));
  ASSERT_EQ(journal_.EndRun(), "");
  const auto runs = journal_.Runs(folder_.Utf8());
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].states.size(), 1u);
  const auto state = base::PathFromUtf8(runs[0].states[0]);
  const std::string bytes = keyloom::testing::ReadBytes(state);

  keyloom::testing::WriteBytes(state, bytes.substr(0, bytes.size() - 7));  // cut in its last line
  RunStateChanges changes = Compare(runs[0]);
  EXPECT_THAT(changes.unknown, HasSubstr("is damaged"));

  // Whole but naming another item only.
  keyloom::testing::WriteBytes(state, bytes.substr(0, bytes.find(EncodeUtf16Le("[HKEY"))));
  changes = Compare(runs[0]);
  EXPECT_THAT(changes.unknown, HasSubstr("does not tell of 1 item"));

  std::filesystem::remove(state);
  changes = Compare(runs[0]);
  EXPECT_THAT(changes.unknown, HasSubstr("cannot be read"));
  EXPECT_THAT(changes.changed, IsEmpty());
}

}  // namespace
}  // namespace keyloom::files::testing
