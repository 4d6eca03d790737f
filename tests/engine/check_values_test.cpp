#include "engine/check_values.h"

#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"

namespace keyloom::engine::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

reg::RawValue Qword(std::int64_t v) {
  reg::RawValue value{reg::kRegQword, {}};
  auto bits = static_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i, bits >>= 8) value.data.push_back(static_cast<std::uint8_t>(bits));
  return value;
}

reg::RawValue Multi(std::u16string_view elements) {
  return {reg::kRegMultiSz, text::Utf16ToBytes(elements)};
}

TEST_F(WalkTest, NumbersMatchByTheirExactTextAndWholeNumbersRule) {
  PutDword("N", "minus", 0xFFFFFFFF);
  PutDword("N", "twelve", 12);
  PutDword("N", "hundred twelve", 112);
  controls_.find = "-1";
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\N\tminus"));
  controls_.find = "4294967295";  // as the registry editor shows it
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\N\tminus"));
  // Replaced in the text it was found by.
  controls_.replace = "7";
  Run(true);
  EXPECT_EQ(ValueText(Read("N", "minus")), "7");

  controls_.find = "12";
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\N\ttwelve"));
  settings_.wholenum = false;
  Run();
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(WalkTest, CaseRulesForFindingAndReplacing) {
  PutString("C", "word", "Écrit école SOFT soft");
  controls_.find = "soft";
  Run();
  EXPECT_EQ(Rows().size(), 1u) << "a to z fold when finding";
  controls_.find = "ÉCOLE";
  Run();
  EXPECT_TRUE(Rows().empty()) << "accented letters do not fold when finding";
  controls_.find = "Soft";
  controls_.replace = "x";
  Run(true);
  EXPECT_EQ(Read("C", "word").data, text::Utf16ToBytes(std::u16string(u"Écrit école x x\0", 16)));
}

TEST_F(WalkTest, MultiStringsAreReplacedElementByElement) {
  Put("M", "list", Multi(std::u16string(u"abc\0a\0xyz\0\0", 11)));
  controls_.find = "a";
  controls_.replace = "b";
  const auto lines = Run(true);
  EXPECT_EQ(Read("M", "list").data, text::Utf16ToBytes(std::u16string(u"bbc\0b\0xyz\0\0", 11)));
  EXPECT_THAT(lines, Contains("New String is : bbc b xyz  "));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("New MultiString is : "))));
  // At the informational level the new data is shown too, its NULs as blanks like the old data.
  Put("M", "list", Multi(std::u16string(u"abc\0a\0xyz\0\0", 11)));
  settings_.logging = 1;
  EXPECT_THAT(Run(true), Contains("New MultiString is : bbc b xyz  "));
}

TEST_F(WalkTest, AQwordIsFoundAndReplacedByItsExactTextAndRefusesANonIntegerReplacement) {
  Put("Q", "big", Qword(578437695752307201));
  Put("Q", "round", Qword(std::int64_t{1} << 60));  // a double holds it exactly
  controls_.find = "578437695752307201";
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Q\tbig"));
  controls_.find = "5.78437695752307E17";  // its rounded text: not its own
  Run();
  EXPECT_TRUE(Rows().empty());
  controls_.find = "307201";
  controls_.replace = "000000";
  settings_.wholenum = false;
  Run(true);
  EXPECT_EQ(Read("Q", "big"), Qword(578437695752000000));

  // The rounded text found a number a double holds before, and still does; a replacement in it
  // is no integer.
  controls_.find = "E18";
  controls_.replace = "x";
  const auto lines = Run(true);
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Q\tround"));
  EXPECT_THAT(lines, Contains(HasSubstr("Unable to Update LongInteger [")));
  EXPECT_EQ(Read("Q", "round"), Qword(std::int64_t{1} << 60));
  EXPECT_THAT(Last(lines, 2),
              ElementsAre("Finished, Replaced [0] Entries.", "Failed to change [1] Entries."))
      << "a refused update is not counted as made";
}

TEST_F(WalkTest, AValueHitByDataAndNameGetsTwoRowsAndBothChanges) {
  PutString("Both", "needle", "needle");
  controls_.find = "needle";
  controls_.value_names = true;
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Both\tneedle",
                                  "HKEY_CURRENT_USER\t\\Both\tneedle"));
  controls_.replace = "pin";
  Run(true);
  EXPECT_EQ(Read("Both", "pin").data, text::Utf16ToBytes(std::u16string(u"pin\0", 4)));
}

TEST_F(WalkTest, AHitCarriesWhatTheValueIsAndWhereItWasFound) {
  PutString("Both", "needle", "a needle here");
  PutDword("Both", "count", 7);
  PutString("needle key", "other", "x");
  controls_.find = "needle";
  controls_.value_names = true;
  controls_.key_names = true;
  Run();
  std::vector<std::string> details;
  for (const auto& e : output_.Events()) {
    if (e.rfind("details: ", 0) == 0) details.push_back(e.substr(9));
  }
  EXPECT_THAT(details,
              ElementsAre("REG_SZ | a needle here | Data | dated",
                          "REG_SZ | a needle here | Value name | dated", " |  | Key name | dated"));
}

TEST_F(WalkTest, DefaultMatchesTheUnnamedValueAndDeletesOnlyIt) {
  PutString("D1", "", "one");
  PutString("D1", "kept", "x");
  PutString("D2", "", "two");
  controls_.find = "Default";
  controls_.values = false;
  controls_.value_names = true;
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\D1\t(Default)",
                                  "HKEY_CURRENT_USER\t\\D2\t(Default)"));
  controls_.delete_mode = true;
  const auto lines = Run(true);
  EXPECT_THAT(lines, Contains("Key Value Deleted Successfully"));
  EXPECT_TRUE(Exists("D1")) << "deleting the unnamed value never deletes its key";
  EXPECT_TRUE(Exists("D2"));
  EXPECT_EQ(Read("D1", "kept").data, text::Utf16ToBytes(std::u16string(u"x\0", 2)));
  reg::TRegistry reg(*registry_);
  ASSERT_TRUE(reg.OpenKey("\\D1"));
  EXPECT_FALSE(reg.ValueExists(""));
}

TEST_F(WalkTest, UnknownTypesAreReportedAtLevelOneOnly) {
  Put("T", "odd", {reg::kRegDwordBigEndian, {0, 0, 0, 1}});
  controls_.find = "x";
  settings_.logging = 1;
  EXPECT_THAT(Run(), Contains("Unrecognized Data Type in key [\\T\\odd], skipping."));
  settings_.logging = 0;
  EXPECT_THAT(Run(), Not(Contains(HasSubstr("Unrecognized"))));
}

// A value that cannot be read as its type is named and counted; it hides nothing else: not the
// values before and after it, not its key's subkeys, not the keys after it.
TEST_F(WalkTest, AValueThatCannotBeReadIsReportedAndCountedAndHidesNothingElse) {
  const auto build = [this] {
    PutString("Bad", "first", "needle-1");
    Put("Bad", "bad", {reg::kRegDword, {1, 2, 3}});
    Put("Bad", "long", {reg::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8, 9}});
    PutString("Bad", "last", "needle-4");
    PutString("Bad\\Sub", "v", "needle-2");
    PutString("Good", "v", "needle-3");
  };
  const std::vector<std::string> reported = {
      "Unable to read value [\\Bad\\bad] as REG_DWORD (3 bytes), skipping",
      "Unable to read value [\\Bad\\long] as REG_QWORD (9 bytes), skipping"};
  // Reset makes a new controller, and with it a new session.
  const auto session = [this]() -> const SearchSession& { return controller_->engine().session(); };
  struct Case {
    const char* what;
    bool replace, delete_mode;
  };
  for (const Case& c :
       {Case{"search", false, false}, Case{"replace", true, false}, Case{"delete", true, true}}) {
    SCOPED_TRACE(c.what);
    Reset();
    build();
    controls_.find = "needle";
    controls_.replace = "pin";
    controls_.delete_mode = c.delete_mode;
    const auto lines = Run(c.replace);
    EXPECT_THAT(Rows(),
                ElementsAre("HKEY_CURRENT_USER\t\\Bad\tfirst", "HKEY_CURRENT_USER\t\\Bad\tlast",
                            "HKEY_CURRENT_USER\t\\Bad\\Sub\tv", "HKEY_CURRENT_USER\t\\Good\tv"));
    EXPECT_THAT(lines, ::testing::IsSupersetOf(reported));
    EXPECT_EQ(session().matched_count, 4);
    EXPECT_EQ(session().changed_count, c.replace ? 4 : 0);
    EXPECT_EQ(session().failed_count, 0);
    EXPECT_EQ(session().unreadable_values, 2);
    EXPECT_EQ(session().unreadable_count, 0);
    EXPECT_EQ(Read("Bad", "bad"), (reg::RawValue{reg::kRegDword, {1, 2, 3}})) << "left as it is";
    if (c.replace) {
      reg::TRegistry reg(*registry_);
      ASSERT_TRUE(reg.OpenKey("\\Good"));
      EXPECT_EQ(reg.ValueExists("v"), !c.delete_mode);
      if (!c.delete_mode) {
        EXPECT_EQ(ValueText(Read("Bad\\Sub", "v")), "pin-2");
      }
    }
  }

  // A value the key cannot even name is skipped by its place; the others are read on.
  Reset();
  build();
  registry_->InjectFault(
      {reg::MemoryRegistry::Op::kEnumValue, "HKEY_CURRENT_USER\\Bad", 1, reg::kAccessDenied});
  const auto lines = Run();
  EXPECT_THAT(lines, Contains(HasSubstr("Unable to read value 0 of key [\\Bad], skipping [")));
  EXPECT_THAT(Rows(),
              ElementsAre("HKEY_CURRENT_USER\t\\Bad\tlast", "HKEY_CURRENT_USER\t\\Bad\\Sub\tv",
                          "HKEY_CURRENT_USER\t\\Good\tv"));
  EXPECT_EQ(session().unreadable_values, 3);
}

TEST_F(WalkTest, NonNumericFindTextMatchesNoNameUnderTheNumbersFilter) {
  // A number value whose name holds both find texts: only the numeric one is looked for.
  Put("F", "n12", {reg::kRegDword, {7, 0, 0, 0}});
  controls_.values = false;
  controls_.value_names = true;
  controls_.type_filter = 2;
  controls_.find = "12";
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\F\tn12"));
  controls_.find = "n1";
  Run();
  EXPECT_TRUE(Rows().empty());
}

// A change that was refused is logged by its reason alone: no line says it was made, the summary
// counts only the changes made and then tells how many were refused.
TEST_F(WalkTest, RefusedChangesAreNeitherShownNorCountedAsMade) {
  using Op = reg::MemoryRegistry::Op;
  struct Case {
    const char* what;
    bool delete_mode;
    std::function<void()> refuse;
    std::vector<std::string> summary;
    std::vector<std::string> made;     // lines that must appear
    std::vector<std::string> refused;  // beginnings of lines that must not appear
  };
  const std::string kA = "HKEY_CURRENT_USER\\Software\\A";
  const std::string undo_line =
      "Undo files: [1] written to [" + undo_folder_.Utf8() + "]. Ctrl+Z takes this run back.";
  const Case cases[] = {
      {"undo folder missing",
       false,
       [&] { std::filesystem::remove_all(undo_folder_.path()); },
       {"Finished, Replaced [0] Entries.", "Failed to change [6] Entries."},
       {},
       {"New String is", "New MultiString is", "New Key is", "Key Renamed Successfully",
        "New Tree is"}},
      {"writes refused in one key",
       false,
       [&] {
         registry_->InjectFault({Op::kSetValue, kA, 0, reg::kAccessDenied});
       },
       {"Finished, Replaced [3] Entries.", "Failed to change [3] Entries.", undo_line},
       {"New String is : x pin", "New Key is : pin b", "Key Renamed Successfully"},
       {"New String is : pin a", "New Key is : pin a", "New MultiString is",
        "New String is : pin m"}},
      {"deletes refused in one key",
       true,
       [&] {
         registry_->InjectFault({Op::kDeleteValue, kA, 0, reg::kAccessDenied});
       },
       // A value hit by data and by name is deleted (or refused) once, not tried again.
       {"Finished, Deleted [2] Entries.", "Failed to change [2] Entries.", undo_line},
       {"Key Deleted Successfully", "Key Value Deleted Successfully"},
       {}},
  };
  controls_.find = "needle";
  controls_.replace = "pin";
  controls_.key_names = true;
  controls_.value_names = true;
  settings_.logging = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    PutString("Software\\A", "needle a", "needle a");  // hit by data and by name
    Put("Software\\A", "list", Multi(std::u16string(u"needle m\0\0", 10)));
    PutString("Software\\B", "needle b", "x needle");
    MakeKey("Software\\needleKey");
    const auto before = reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software");
    controls_.delete_mode = c.delete_mode;
    c.refuse();
    const auto lines = Run(true);
    registry_->ClearFaults();
    EXPECT_THAT(Last(lines, c.summary.size()), ::testing::ElementsAreArray(c.summary));
    // The output counted them as they came, for the run's progress, as the summary does.
    EXPECT_EQ("Finished, " + std::string(c.delete_mode ? "Deleted" : "Replaced") + " [" +
                  std::to_string(output_.changes) + "] Entries.",
              c.summary[0]);
    EXPECT_EQ("Failed to change [" + std::to_string(output_.failures) + "] Entries.", c.summary[1]);
    for (const auto& line : c.made) EXPECT_THAT(lines, Contains(line));
    for (const auto& line : c.refused)
      EXPECT_THAT(lines, Not(Contains(::testing::StartsWith(line))));
    if (c.made.empty()) {
      EXPECT_EQ(reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software"), before);
    }
  }
}

// Every row of a changing run says what the change did to its item and shows the item as it is
// after it: replaced data, a new name, a deleted item's last data, a simulated change's untouched
// item, a refused change with the refusal's text.
TEST_F(WalkTest, EachRowOfARunSaysWhatItsChangeDidAndShowsTheItemAsItIsNow) {
  using Op = reg::MemoryRegistry::Op;
  // "row => details" for every row, in order.
  const auto hits = [this] {
    std::vector<std::string> hits;
    std::string details;
    for (const std::string& e : output_.Events()) {
      if (e.rfind("details: ", 0) == 0) details = e.substr(9);
      if (e.rfind("row: ", 0) == 0) hits.push_back(e.substr(5) + " => " + details);
    }
    return hits;
  };
  const std::string a = "HKEY_CURRENT_USER\t\\Software\\A\t";
  const std::string b = "HKEY_CURRENT_USER\t\\Software\\B\tv => REG_SZ | ";
  struct Case {
    const char* what;
    bool delete_mode;
    bool simulate;
    std::vector<std::string> rows;
  };
  const std::string key = "HKEY_CURRENT_USER\t\\Software\\needleKey\t =>  |  | Key name | dated | ";
  const Case cases[] = {
      {"replace, writes refused in A",
       false,
       false,
       {a + "needle a => REG_SZ | needle a | Data | dated | Failed: Unable to Update String "
            "[Failed to set data for 'needle a']",
        a + "needle a => REG_SZ | needle a | Value name | dated | Failed: Access is denied",
        b + "x pin | Data | dated | Replaced", key + "Failed: Access is denied"}},
      {"simulated",
       false,
       true,
       {a + "needle a => REG_SZ | needle a | Data | dated | Simulated",
        a + "needle a => REG_SZ | needle a | Value name | dated | Simulated",
        b + "x needle | Data | dated | Simulated", key + "Simulated"}},
      {"delete",
       true,
       false,
       // The second hit of a deleted value finds it gone.
       {a + "needle a => REG_SZ | needle a | Data | dated | Deleted",
        a + "needle a => REG_SZ |  | Value name | dated | Deleted",
        b + "x needle | Data | dated | Deleted", key + "Deleted"}},
  };
  controls_.find = "needle";
  controls_.replace = "pin";
  controls_.key_names = true;
  controls_.value_names = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    PutString("Software\\A", "needle a", "needle a");
    PutString("Software\\B", "v", "x needle");
    MakeKey("Software\\needleKey");
    controls_.delete_mode = c.delete_mode;
    settings_.simulate = c.simulate;
    if (!c.delete_mode && !c.simulate) {
      registry_->InjectFault(
          {Op::kSetValue, "HKEY_CURRENT_USER\\Software\\A", 0, reg::kAccessDenied});
      registry_->InjectFault(
          {Op::kCreateKey, "HKEY_CURRENT_USER\\Software\\pinKey", 0, reg::kAccessDenied});
    }
    Run(true);
    registry_->ClearFaults();
    EXPECT_THAT(hits(), ::testing::ElementsAreArray(c.rows));
  }
  settings_.simulate = false;

  // A key renamed for real: the row names its new path.
  Reset();
  MakeKey("Software\\needleKey");
  controls_.delete_mode = false;
  Run(true);
  EXPECT_THAT(hits(), ElementsAre("HKEY_CURRENT_USER\t\\Software\\pinKey\t =>  |  | Key name | "
                                  "dated | Renamed"));
}

// No fault at all, then the first 40 calls of a kind, one at a time.
std::vector<int> FaultPoints() {
  std::vector<int> points{1'000'000};
  for (int nth = 1; nth <= 40; ++nth) points.push_back(nth);
  return points;
}

// Every registry call of a replace run may fail; the run still ends with its summary, and merging
// its undo file gives back the registry from before, whatever was changed and whatever was not.
TEST_F(WalkTest, FailuresOfAnyRegistryCallLoseNothingTheUndoFileCannotBringBack) {
  using Op = reg::MemoryRegistry::Op;
  const Op ops[] = {Op::kOpenKey,     Op::kCreateKey,  Op::kEnumKey,
                    Op::kEnumValue,   Op::kQueryValue, Op::kSetValue,
                    Op::kDeleteValue, Op::kDeleteKey,  Op::kQueryInfoKey};
  controls_.find = "Old";
  controls_.key_names = true;
  controls_.value_names = true;
  for (Op op : ops) {
    for (int nth : FaultPoints()) {
      SCOPED_TRACE("op " + std::to_string(static_cast<int>(op)) + ", call " + std::to_string(nth));
      Reset();
      PutString("Software\\OldApp", "Old name", "Old data");
      PutString("Software\\OldApp", "", "Old default");
      PutString("Software\\OldApp\\Sub", "v", "Old sub");
      Put("Software\\OldApp\\Sub", "list", Multi(std::u16string(u"Old\0keep\0\0", 10)));
      PutDword("Software\\Other", "Old count", 7);
      const auto before = reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software");

      registry_->InjectFault({op, "", nth, reg::kAccessDenied});
      const auto lines = Run(true);
      registry_->ClearFaults();
      EXPECT_THAT(lines, Contains(HasSubstr("Search Matched ")));
      // Every change made or refused reached the output's counts as the summary counts it.
      EXPECT_THAT(lines, Contains("Finished, Replaced [" + std::to_string(output_.changes) +
                                  "] Entries."));
      if (output_.failures > 0) {
        EXPECT_THAT(lines, Contains("Failed to change [" + std::to_string(output_.failures) +
                                    "] Entries."));
      } else {
        EXPECT_THAT(lines, Not(Contains(HasSubstr("Failed to change ["))));
      }
      for (const auto& file : UndoFiles()) files::testing::MergeRegFile(*registry_, file);
      const auto after = reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software");
      EXPECT_EQ(after, before);
      if (after != before) {
        for (const auto& line : lines) ADD_FAILURE() << "log: " << line;
        for (const auto& file : UndoFiles()) {
          for (const auto& line : files::testing::ReadRegFileLines(file)) {
            ADD_FAILURE() << file.filename() << ": " << line;
          }
        }
      }
      EXPECT_EQ(registry_->OpenHandleCount(), 0u);
    }
  }
}

}  // namespace
}  // namespace keyloom::engine::testing
