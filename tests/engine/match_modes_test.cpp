// Runs in the Wildcards, Regex and Hex modes and with the walk's filters, over the memory
// registry with the real walk, registry actions and undo files.
#include <chrono>

#include "engine/check_values.h"
#include "engine/walk_fixture.h"

namespace keyloom::engine::testing {
namespace {

using Op = reg::MemoryRegistry::Op;

std::string Row(const std::string& path, const std::string& name) {
  return "HKEY_CURRENT_USER\t\\" + path + "\t" + name;
}

// The units of a literal, its NULs included (its own terminator left out).
template <std::size_t N>
std::u16string Units(const char16_t (&units)[N]) {
  return std::u16string(units, N - 1);
}

reg::RawValue Bytes(std::initializer_list<std::uint8_t> bytes) {
  return {reg::kRegBinary, reg::Bytes(bytes)};
}

reg::RawValue Utf16(std::uint32_t type, std::u16string_view units) {
  return {type, text::Utf16ToBytes(units)};
}

class MatchModesTest : public WalkTest {
 protected:
  // One tree every mode's table runs over, seeded afresh for each row.
  void Seed() {
    Reset();
    PutString("Apps\\Tool", "Path", "C:\\Old\\tool.exe");
    PutString("Apps\\Tool", "Mail", "bob@old.example", reg::kRegExpandSz);
    Put("Apps\\Tool", "Servers", Utf16(reg::kRegMultiSz, Units(u"srv1.old\0web\0srv22.old\0\0")));
    PutDword("Apps\\Tool", "Port", 8080);
    Put("Apps\\Tool", "Blob", Bytes({0xDE, 0xAD, 0xBE, 0xEF, 0x00}));
    Put("Apps\\Tool", "Emoji", Utf16(reg::kRegSz, Units(u"a\U0001F600b\xD800z\0")));
    PutString("Apps\\OldKey", "OldName", "x");
  }

  void Mode(MatchMode mode, const std::string& find, const std::string& replace = "New") {
    controls_.rules.mode = mode;
    controls_.find = find;
    controls_.replace = replace;
  }
};

TEST_F(MatchModesTest, EachModeFindsAndReplacesItsHitsInEveryKind) {
  struct Case {
    MatchMode mode;
    const char* find;
    const char* replace;
    bool case_sensitive;
    std::vector<std::string> rows;  // value names found (data hits)
    const char* value;              // a value whose data the replacement changed...
    reg::RawValue after;            // ...to this
  };
  const std::vector<Case> cases = {
      // Captures and anchors, numbered and named.
      {MatchMode::kRegex, R"(^C:\\(\w+)\\(.*)$)", "D:\\$2\\$1", true, {"Path"}, "Path",
       Utf16(reg::kRegSz, Units(u"D:\\tool.exe\\Old\0"))},
      {MatchMode::kRegex, R"((?<user>\w+)@OLD)", "${user}@new", false, {"Mail"}, "Mail",
       Utf16(reg::kRegExpandSz, Units(u"bob@new.example\0"))},
      // Case: the same pattern without case sensitivity finds nothing when it must match exactly.
      {MatchMode::kRegex, R"(@OLD)", "x", true, {}, nullptr, {}},
      // Multi-string elements, each anchored on its own.
      {MatchMode::kRegex, R"(^srv(\d+)\.old$)", "host$1", true, {"Servers"}, "Servers",
       Utf16(reg::kRegMultiSz, Units(u"host1\0web\0host22\0\0"))},
      // Numbers as text.
      {MatchMode::kRegex, R"(^80(\d+)$)", "90$1", true, {"Port"}, "Port",
       {reg::kRegDword, {0x78, 0x23, 0, 0}}},  // 9080
      // A surrogate pair and a lone surrogate survive a replacement beside them.
      {MatchMode::kRegex, "b", "B", true, {"Emoji", "Mail", "Servers"}, "Emoji",
       Utf16(reg::kRegSz, Units(u"a\U0001F600B\xD800z\0"))},
      // Wildcards take the whole text.
      {MatchMode::kWildcards, "c:\\*.EXE", "D:\\new.exe", false, {"Path"}, "Path",
       Utf16(reg::kRegSz, Units(u"D:\\new.exe\0"))},
      {MatchMode::kWildcards, "*.exe?", "x", false, {}, nullptr, {}},
      {MatchMode::kWildcards, "a?b?z", "y", true, {"Emoji"}, nullptr, {}},
      // Hex bytes in the raw data of every kind: binary, a string's UTF-16 bytes, a number.
      {MatchMode::kHex, "ad be", "01 02 03", true, {"Blob"}, "Blob", Bytes({0xDE, 1, 2, 3, 0xEF, 0})},
      {MatchMode::kHex, "6F 00 6C 00 64 00", "6E00 6500 7700", true, {"Mail", "Servers"}, "Mail",
       Utf16(reg::kRegExpandSz, Units(u"bob@new.example\0"))},
      {MatchMode::kHex, "901F", "911F", true, {"Port"}, "Port", {reg::kRegDword, {0x91, 0x1F, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.find);
    Seed();
    Mode(c.mode, c.find, c.replace);
    controls_.case_sensitive = c.case_sensitive;
    Run();
    std::vector<std::string> expected;
    for (const std::string& name : c.rows) expected.push_back(Row("Apps\\Tool", name));
    EXPECT_THAT(Rows(), UnorderedElementsAreArray(expected));
    if (c.value == nullptr) continue;
    Run(true);
    const reg::RawValue now = Read("Apps\\Tool", c.value);
    EXPECT_EQ(now.type, c.after.type);
    EXPECT_EQ(now.data, c.after.data);
  }
}

TEST_F(MatchModesTest, KeyAndValueNamesAreMatchedAndRenamedByThePattern) {
  Seed();
  Mode(MatchMode::kRegex, "^Old(\\w*)$", "New$1");
  controls_.key_names = controls_.value_names = true;
  controls_.values = false;
  const auto lines = Run(true);
  EXPECT_TRUE(Exists("Apps\\NewKey"));
  EXPECT_FALSE(Exists("Apps\\OldKey"));
  EXPECT_EQ(ValueText(Read("Apps\\NewKey", "NewName")), "x");
  EXPECT_THAT(lines, Contains("Finished, Replaced [2] Entries."));
  // Hex bytes are not looked for in names.
  Mode(MatchMode::kHex, "4E 00");
  controls_.values = true;
  Run();
  EXPECT_THAT(Rows(), IsEmpty());
}

TEST_F(MatchModesTest, PatternsThatCannotRunAreRefusedBeforeTheRun) {
  Seed();
  struct Refused {
    MatchMode mode;
    const char* find;
    const char* replace;
    const char* line;
  };
  for (const Refused& r : std::vector<Refused>{
           {MatchMode::kRegex, "(unclosed", "x", "The regular expression is not valid ["},
           {MatchMode::kHex, "DE AD B", "x", "The find text is not hex bytes"},
           {MatchMode::kHex, "DEAD", "nothex", "The replace text is not hex bytes"}}) {
    Mode(r.mode, r.find, r.replace);
    output_.Clear();
    EXPECT_FALSE(controller_->btnReplaceClick());
    EXPECT_THAT(output_.Lines(), Contains(HasSubstr(r.line)));
    EXPECT_FALSE(controller_->Active());
  }
  // A Hex search needs value contents.
  Mode(MatchMode::kHex, "DEAD");
  controls_.values = false;
  controls_.value_names = true;
  output_.Clear();
  controller_->btnSearchClick();
  EXPECT_THAT(output_.Lines(), Contains("Hex bytes are found in value data only."));
}

TEST_F(MatchModesTest, AMatchPastTheComplexityLimitIsReportedForItsValueAndTheRunGoesOn) {
  Seed();
  PutString("Apps\\Tool", "Huge", std::string(1 << 19, 'a'));  // 1 MB of UTF-16
  Mode(MatchMode::kRegex, "(a|aa)+(b|c)$|old");
  const auto start = std::chrono::steady_clock::now();
  const auto lines = Run();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
  EXPECT_THAT(lines, Contains(HasSubstr("Unable to examine value [\\Apps\\Tool\\Huge], skipping [")));
  EXPECT_THAT(Rows(), Contains(Row("Apps\\Tool", "Mail")))
      << "the key's other values are matched all the same";
}

TEST_F(MatchModesTest, FiltersByTimeAndSizeHoldAtTheirEdges) {
  Seed();
  reg::KeyInfo info;
  {
    reg::TRegistry reg(*registry_);
    ASSERT_TRUE(reg.OpenKey("\\Apps\\Tool"));
    ASSERT_EQ(registry_->QueryInfoKey(reg.CurrentKey(), &info), reg::kSuccess);
  }
  const std::uint64_t written = info.last_write_time;
  const std::uint64_t second = 10'000'000;
  controls_.find = "old";
  struct Case {
    std::optional<std::uint64_t> after, before, min_size, max_size;
    std::vector<std::string> rows;
  };
  const std::vector<std::string> all = {Row("Apps\\Tool", "Path"), Row("Apps\\Tool", "Mail"),
                                        Row("Apps\\Tool", "Servers")};
  const std::vector<std::string> strings = {Row("Apps\\Tool", "Path"), Row("Apps\\Tool", "Mail")};
  for (const Case& c : std::vector<Case>{
           {written, std::nullopt, std::nullopt, std::nullopt, all},  // at the time: after it
           {std::nullopt, written, std::nullopt, std::nullopt, {}},   // not before it
           {written + second, std::nullopt, std::nullopt, std::nullopt, {}},
           {std::nullopt, written + second, std::nullopt, std::nullopt, all},
           {std::nullopt, std::nullopt, 32, 32, strings},  // 16 units each
           {std::nullopt, std::nullopt, 0, 0, {}},
           {std::nullopt, std::nullopt, 33, std::nullopt, {Row("Apps\\Tool", "Servers")}}}) {
    controls_.rules.modified_after = c.after;
    controls_.rules.modified_before = c.before;
    controls_.rules.min_size = c.min_size;
    controls_.rules.max_size = c.max_size;
    Run();
    EXPECT_THAT(Rows(), UnorderedElementsAreArray(c.rows));
  }
  // A value of no data at all is found by its name with a size of at most 0.
  Put("Apps\\Empty", "OldEmpty", {reg::kRegSz, {}});
  controls_.rules = {};
  controls_.rules.max_size = 0;
  controls_.value_names = true;
  Run();
  EXPECT_THAT(Rows(), ElementsAre(Row("Apps\\Empty", "OldEmpty")));
}

TEST_F(MatchModesTest, AnExcludedSubtreeIsNotEnteredAndCountedInTheSummary) {
  Seed();
  PutString("Apps\\Tool\\Deep", "More", "old");
  controls_.find = "old";
  controls_.rules.exclusions = {{2, "\\APPS\\tool"}, {2, "\\Apps\\Missing"}, {3, "\\Apps\\Tool"}};
  // Any registry call for the excluded key or below would fail and say so.
  registry_->InjectFault({Op::kAny, "HKEY_CURRENT_USER\\Apps\\Tool", 0, reg::kAccessDenied});
  registry_->InjectFault({Op::kAny, "HKEY_CURRENT_USER\\Apps\\Tool\\Deep", 0, reg::kAccessDenied});
  const auto lines = Run();
  EXPECT_THAT(Rows(), IsEmpty());
  EXPECT_THAT(lines, Not(Contains(HasSubstr("Unable to"))));
  EXPECT_THAT(lines, Contains("Excluded Key not entered [HKEY_CURRENT_USER\\APPS\\tool]: 1 time."));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("Missing"))));
  controls_.rules.exclusions.clear();
  registry_->ClearFaults();
  Run();
  EXPECT_EQ(Rows().size(), 4u);
}

}  // namespace
}  // namespace keyloom::engine::testing
