#include "engine/pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/text.h"

namespace keyloom::engine {
namespace {

std::unique_ptr<const Pattern> Make(MatchMode mode, std::string_view find,
                                    std::string_view replace = {}, bool case_sensitive = false) {
  std::string error;
  auto pattern = Pattern::Make(mode, find, replace, case_sensitive, &error);
  EXPECT_TRUE(pattern) << find << ": " << error;
  return pattern;
}

struct TextCase {
  MatchMode mode;
  const char* find;
  bool case_sensitive;
  std::u16string text;
  bool matches;
  const char* replace;   // null: no replacement checked
  std::u16string after;  // the text with every match replaced
};

TEST(Pattern, RegexAndWildcardsMatchAndReplaceUtf16) {
  const std::u16string pair = u"\U0001F600";          // a surrogate pair
  const std::u16string lone = std::u16string(1, u'\xD800');  // a lone high surrogate
  const std::vector<TextCase> cases = {
      // Captures, numbered and named; $$ is a dollar sign.
      {MatchMode::kRegex, R"((\w+)@(\w+))", true, u"mail bob@host now", true, "$2 at $1",
       u"mail host at bob now"},
      {MatchMode::kRegex, R"((?<server>srv\d+)\.old)", true, u"\\\\srv12.old\\share", true,
       "${server}.new$$", u"\\\\srv12.new$\\share"},
      {MatchMode::kRegex, R"(\d+)", true, u"a1b22c333", true, "<$0>", u"a<1>b<22>c<333>"},
      // Backslashes in the replacement are a path's, not escapes; an unknown group is empty.
      {MatchMode::kRegex, R"(v(\d+))", true, u"v12", true, R"(C:\new\$1${9}${nope}\n)",
       u"C:\\new\\12\\n"},
      // Anchors hold for the whole text.
      {MatchMode::kRegex, "^Soft", true, u"Software", true, "Hard", u"Hardware"},
      {MatchMode::kRegex, "^ware", true, u"Software", false, nullptr, u""},
      {MatchMode::kRegex, "ware$", true, u"Software", true, "", u"Soft"},
      // Case: without case sensitivity accented and Cyrillic letters fold too.
      {MatchMode::kRegex, "CAFÉ", false, u"le café", true, "bar", u"le bar"},
      {MatchMode::kRegex, "CAFÉ", true, u"le café", false, nullptr, u""},
      {MatchMode::kRegex, "[а-я]+", false, u"ПРИВЕТ", true, "x", u"x"},
      // Surrogate pairs and lone surrogates go through untouched.
      {MatchMode::kRegex, "a.b", true, u"a" + lone + u"b", true, "<$0>", u"<a" + lone + u"b>"},
      {MatchMode::kRegex, "x", true, pair + u"x" + lone, true, "y", pair + u"y" + lone},
      // A quantifier takes one UTF-16 unit: a pair repeats as a group.
      {MatchMode::kRegex, "(?:\U0001F600)+", true, u"a" + pair + pair, true, "!", u"a!"},
      {MatchMode::kRegex, "\U0001F600+", true, u"a" + pair + pair, true, "!", u"a!!"},
      // Empty text never matches.
      {MatchMode::kRegex, ".*", true, u"", false, nullptr, u""},
      // Wildcards match the whole text; the replacement takes the whole text.
      {MatchMode::kWildcards, "C:\\*\\app?.exe", false, u"c:\\Program Files\\App1.EXE", true,
       "D:\\new.exe", u"D:\\new.exe"},
      {MatchMode::kWildcards, "*.exe", true, u"app.exe.bak", false, nullptr, u""},
      {MatchMode::kWildcards, "a?c", true, u"a" + pair + u"c", true, nullptr, u""},
      {MatchMode::kWildcards, "a??c", true, u"a" + pair + u"c", false, nullptr, u""},
      {MatchMode::kWildcards, "(x)[y]+$", true, u"(x)[y]+$", true, nullptr, u""},
      {MatchMode::kWildcards, "*", true, u"", false, nullptr, u""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.find);
    const auto pattern = Make(c.mode, c.find, c.replace ? c.replace : "", c.case_sensitive);
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->Matches(std::u16string_view(c.text)), c.matches);
    if (c.replace != nullptr) {
      EXPECT_EQ(pattern->Replace(std::u16string_view(c.text)), c.after);
    }
  }
}

TEST(Pattern, UnitsSurviveTheUtf8Forms) {
  const auto pattern = Make(MatchMode::kRegex, "b", "c", true);
  const std::string text = text::Utf16ToUtf8(std::u16string{u'a', u'\xDC00', u'b'});
  EXPECT_EQ(text::Utf8ToUtf16(pattern->Replace(std::string_view(text))),
            (std::u16string{u'a', u'\xDC00', u'c'}));
}

TEST(Pattern, HexBytesMatchAndReplaceRawData) {
  const std::vector<std::uint8_t> data = {0x00, 0xDE, 0xAD, 0xBE, 0xEF, 0xDE, 0xAD, 0xDE, 0xAD};
  const auto spaced = Make(MatchMode::kHex, "DE AD", "01 02 03");
  const auto packed = Make(MatchMode::kHex, "deadbeef", "00");
  EXPECT_TRUE(spaced->MatchesBytes(data));
  EXPECT_TRUE(packed->MatchesBytes(data));
  EXPECT_FALSE(Make(MatchMode::kHex, "EF 00")->MatchesBytes(data));
  EXPECT_EQ(spaced->ReplaceBytes(data),
            (std::vector<std::uint8_t>{0x00, 1, 2, 3, 0xBE, 0xEF, 1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(packed->ReplaceBytes(data), (std::vector<std::uint8_t>{0x00, 0x00, 0xDE, 0xAD, 0xDE, 0xAD}));
  EXPECT_FALSE(packed->Matches(std::u16string_view(u"deadbeef"))) << "hex looks at data only";
}

TEST(Pattern, RefusesWhatDoesNotCompileWithTheEnginesMessage) {
  struct Refusal {
    MatchMode mode;
    const char* find;
    const char* replace;
    const char* says;
  };
  const std::vector<Refusal> refusals = {
      {MatchMode::kRegex, "(abc", "", "The regular expression is not valid ["},
      {MatchMode::kRegex, "a{2,1}", "", "The regular expression is not valid ["},
      {MatchMode::kRegex, "[z-a]", "", "The regular expression is not valid ["},
      {MatchMode::kRegex, "(?<n>a)\\k<m>", "", "The regular expression is not valid ["},
      {MatchMode::kHex, "DEA", "", "The find text is not hex bytes"},
      {MatchMode::kHex, "XY", "", "The find text is not hex bytes"},
      {MatchMode::kHex, " ", "", "The find text is not hex bytes"},
      {MatchMode::kHex, "DE", "G0", "The replace text is not hex bytes"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.find);
    std::string error;
    EXPECT_EQ(Pattern::Make(r.mode, r.find, r.replace, true, &error), nullptr);
    EXPECT_EQ(error.rfind(r.says, 0), 0u) << error;
    EXPECT_EQ(PatternError(r.mode, r.find, r.replace, false), error);
  }
  EXPECT_EQ(PatternError(MatchMode::kHex, "DE", "G0", true), "") << "a search has no replacement";
  EXPECT_EQ(PatternError(MatchMode::kText, "(abc", "", false), "");
}

TEST(Pattern, ACatastrophicPatternGivesUpInBoundedTime) {
  const auto pattern = Make(MatchMode::kRegex, "(a|aa)+(b|c)$", "", true);
  const std::u16string value(1 << 19, u'a');  // 1 MB of UTF-16
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(pattern->Matches(std::u16string_view(value)), PatternTooComplex);
  EXPECT_THROW(pattern->Replace(std::u16string_view(value)), PatternTooComplex);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace keyloom::engine
