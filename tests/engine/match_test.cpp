#include "engine/match.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"

namespace keyloom::engine {
namespace {

using reg::DataKind;

reg::RawValue Dword(std::uint32_t v) {
  return {reg::kRegDword,
          {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
           static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}};
}

reg::RawValue Qword(std::int64_t v) {
  reg::RawValue value{reg::kRegQword, {}};
  auto bits = static_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i, bits >>= 8) value.data.push_back(static_cast<std::uint8_t>(bits));
  return value;
}

reg::RawValue Utf16Value(std::uint32_t type, std::u16string_view s) {
  return {type, text::Utf16ToBytes(s)};
}

TEST(MatchText, CaseRulesFoldOnlyAToZ) {
  const MatchOptions folding{false, true}, exact{true, true};
  EXPECT_TRUE(MatchText("SOFT", "Software", DataKind::kString, true, folding));
  EXPECT_FALSE(MatchText("SOFT", "Software", DataKind::kString, true, exact));
  EXPECT_TRUE(MatchText("Soft", "Software", DataKind::kString, true, exact));
  EXPECT_FALSE(MatchText("É", "é", DataKind::kString, true, folding)) << "accents are not folded";
  EXPECT_FALSE(MatchText("x", "", DataKind::kString, true, folding)) << "empty text never matches";
  EXPECT_TRUE(MatchText(" lead", "a lead", DataKind::kString, true, folding));
  EXPECT_FALSE(MatchText(" lead", "lead", DataKind::kString, true, folding)) << "not trimmed";
  EXPECT_TRUE(MatchText("Default", "(Default)", DataKind::kString, false, folding));
}

TEST(MatchText, WholeNumbersApplyOnlyToNumericData) {
  const MatchOptions whole{false, true}, partial{false, false};
  EXPECT_TRUE(MatchText("12", "12", DataKind::kInteger, true, whole));
  EXPECT_FALSE(MatchText("12", "112", DataKind::kInteger, true, whole));
  EXPECT_TRUE(MatchText("12", "112", DataKind::kInteger, true, partial));
  EXPECT_TRUE(MatchText("12", "112", DataKind::kInteger, false, whole)) << "names are not data";
  EXPECT_TRUE(MatchText("12", "112", DataKind::kString, true, whole)) << "strings are not numbers";
  EXPECT_FALSE(MatchText("12", "112", DataKind::kInt64, true, whole));
}

TEST(ValueText, EveryKindHasItsTextForm) {
  EXPECT_EQ(ValueText(Dword(0xFFFFFFFF)), "-1");
  EXPECT_EQ(ValueText(Dword(1234)), "1234");
  EXPECT_EQ(ValueText(Qword(1234567890123456789)), "1234567890123456789");
  EXPECT_EQ(ValueText(Qword(123456789012345)), "123456789012345");
  EXPECT_EQ(ValueText(Qword(-5)), "-5");
  EXPECT_EQ(ValueText(Qword(1000000000000000)), "1000000000000000");
  EXPECT_EQ(Int64Text(1000000000000000), "1E15");
  EXPECT_EQ(Int64Text(1234567890123456789), "1.23456789012346E18");
  EXPECT_EQ(ValueText(Utf16Value(reg::kRegSz, std::u16string(u"head\0tail\0", 10))), "head");
  EXPECT_EQ(ValueText(Utf16Value(reg::kRegExpandSz, u"%PATH%")), "%PATH%");
  EXPECT_EQ(ValueText(Utf16Value(reg::kRegMultiSz, std::u16string(u"a\0b\0\0", 5))),
            std::string("a\0b\0\0", 5));
  EXPECT_EQ(ValueText({reg::kRegMultiSz, {}}), "");
  EXPECT_EQ(ValueText({reg::kRegBinary, {1, 2, 3}}), "");
  EXPECT_EQ(ValueText({reg::kRegDwordBigEndian, {0, 0, 0, 1}}), "");
  EXPECT_EQ(ValueText({reg::kRegDword, {1, 2, 3, 4, 5}}), "") << "a DWORD of the wrong size";
}

TEST(ReplaceText, LeftToRightWithoutOverlapOrRescanning) {
  EXPECT_EQ(ReplaceText("aaaa", "aa", "a", true), "aa");
  EXPECT_EQ(ReplaceText("abc", "b", "bb", true), "abbc");
  EXPECT_EQ(ReplaceText("1234", "23", "9", true), "194");
  EXPECT_EQ(ReplaceText("\\Software\\OldApp\\Old", "Old", "New", true), "\\Software\\NewApp\\New");
  EXPECT_EQ(ReplaceText("OLD old Old", "old", "new", true), "OLD new Old");
  EXPECT_EQ(ReplaceText("OLD old Old", "old", "new", false), "new new new");
  EXPECT_EQ(ReplaceText("x", "", "y", false), "x");
}

TEST(ReplaceText, FoldsWholeCharactersWithoutCaseSensitivity) {
  EXPECT_EQ(ReplaceText("Écrit écrit", "é", "e", false), "ecrit ecrit");
  EXPECT_EQ(ReplaceText("ΑΘΗΝΑ αθηνα", "αθηνα", "Athens", false), "Athens Athens");
  EXPECT_EQ(ReplaceText("日本 \U0001F600 x", "\U0001F600", "!", false), "日本 ! x");
  EXPECT_EQ(ReplaceText("Écrit", "é", "e", true), "Écrit");
}

TEST(ReplaceText, MultiStringsReplaceElementWise) {
  const std::string raw("abc\0a\0xyz\0\0", 11);
  EXPECT_EQ(ReplaceInMultiString(raw, "a", "b", true), std::string("bbc\0b\0xyz\0\0", 11));
  EXPECT_EQ(ReplaceInMultiString(std::string("a\0tail", 6), "a", "b", true),
            std::string("b\0tbil\0", 7))
      << "text after the last NUL is a final element";
  EXPECT_EQ(ReplaceInMultiString("no nul", "n", "m", true), "no nul");
  const std::string two("ab\0cd\0\0", 7);
  EXPECT_EQ(ReplaceInMultiString(two, std::string_view("b\0c", 3), "x", true), two)
      << "a find text never spans two elements";
}

TEST(TypeFilter, AcceptsTheKindsOfEachItem) {
  using K = DataKind;
  EXPECT_TRUE(TypeFilterAccepts(0, K::kUnknown, false));
  EXPECT_TRUE(TypeFilterAccepts(1, K::kMultiString, false));
  EXPECT_FALSE(TypeFilterAccepts(1, K::kInteger, true));
  EXPECT_TRUE(TypeFilterAccepts(2, K::kBinary, true));
  EXPECT_FALSE(TypeFilterAccepts(2, K::kInteger, false)) << "numbers only for a numeric find text";
  EXPECT_TRUE(TypeFilterAccepts(3, K::kString, false));
  EXPECT_FALSE(TypeFilterAccepts(3, K::kExpandString, false));
  EXPECT_TRUE(TypeFilterAccepts(4, K::kExpandString, false));
  EXPECT_TRUE(TypeFilterAccepts(5, K::kInteger, true));
  EXPECT_FALSE(TypeFilterAccepts(5, K::kInt64, true));
  EXPECT_FALSE(TypeFilterAccepts(6, K::kBinary, true));
  EXPECT_TRUE(TypeFilterAccepts(6, K::kBinary, false, /*hex=*/true));
  EXPECT_FALSE(TypeFilterAccepts(6, K::kString, false, /*hex=*/true));
  EXPECT_TRUE(TypeFilterAccepts(7, K::kMultiString, false));
  EXPECT_TRUE(TypeFilterAccepts(8, K::kInt64, true));
  EXPECT_FALSE(TypeFilterAccepts(8, K::kInt64, false));
  EXPECT_EQ(DisplayName(""), "(Default)");
  EXPECT_EQ(DisplayName("x"), "x");
}

}  // namespace
// A number is found by the exact decimal text of its value, signed and unsigned, under either
// number rule; and by every text the rule of earlier versions found it by, when a double holds it
// exactly.
TEST(NumberTexts, ExtremesAreFoundByTheirExactDecimalText) {
  struct Case {
    reg::RawValue value;
    std::vector<std::string> texts;
  };
  const std::int64_t two53 = std::int64_t{1} << 53;
  const Case cases[] = {
      {Dword(0), {"0"}},
      {Dword(0xFFFFFFFF), {"-1", "4294967295"}},
      {Dword(0x80000000), {"-2147483648", "2147483648"}},
      {Qword(0), {"0"}},
      {Qword(0xFFFFFFFF), {"4294967295"}},
      {Qword(two53), {"9007199254740992", "9.00719925474099E15"}},
      {Qword(two53 + 1), {"9007199254740993"}},  // no double holds it: no rounded text
      {Qword(INT64_MAX), {"9223372036854775807"}},
      {Qword(-1), {"-1", "18446744073709551615"}},  // 2^64 - 1
      {Qword(INT64_MIN), {"-9223372036854775808", "9223372036854775808", "-9.22337203685478E18"}},
  };
  for (const Case& c : cases) {
    const NumberTexts number(c.value.type, c.value.data);
    const std::vector<std::string> texts(number.texts().begin(), number.texts().end());
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(ValueText(c.value), c.texts.front());
    for (const bool whole : {true, false}) {
      for (const std::string& text : c.texts) {
        SCOPED_TRACE(text + (whole ? " whole numbers" : ""));
        EXPECT_TRUE(MatchValue(text, c.value, {false, whole}));
        reg::ValueBuffer buffer;
        buffer.Assign(u"n", c.value.type, c.value.data);
        EXPECT_TRUE(MatchData(FindUnits(text, false), buffer, {false, whole}));
      }
    }
  }
  // The rounded text of 2^53 + 1 is 2^53's, not its own; a part of the exact text is found only
  // without the whole-numbers rule.
  EXPECT_FALSE(MatchValue("9.00719925474099E15", Qword(two53 + 1), {false, true}));
  EXPECT_FALSE(MatchValue("7199254740993", Qword(two53 + 1), {false, true}));
  EXPECT_TRUE(MatchValue("7199254740993", Qword(two53 + 1), {false, false}));
  EXPECT_TRUE(MatchValue("78437695752307201", Qword(578437695752307201), {false, false}));
  EXPECT_EQ(NumberTexts(reg::kRegDword, std::vector<std::uint8_t>{1, 2, 3}).texts().size(), 0u);
  EXPECT_EQ(NumberTexts(reg::kRegSz, std::vector<std::uint8_t>{'1', 0}).texts().size(), 0u);
  // A number is replaced in the text it was found by.
  const NumberTexts minus(reg::kRegDword, Dword(0xFFFFFFFF).data);
  EXPECT_EQ(*MatchNumber("4294967295", minus, {false, true}), "4294967295");
  EXPECT_EQ(*MatchNumber("-1", minus, {false, true}), "-1");
  EXPECT_EQ(MatchNumber("1", minus, {false, true}), nullptr);
}

// The walk matches values as it reads them, in UTF-16, and makes the text form only of a hit: the
// in-place answers must be the text path's on every kind of value, for every option.
TEST(MatchInPlace, GivesTheTextPathsAnswerForEveryValueAndOption) {
  const std::u16string pair = u"\U0001F511";  // one character, two units
  const char16_t high = pair[0], low = pair[1];
  auto units = [](std::initializer_list<char16_t> list) { return std::u16string(list); };
  struct Case {
    std::string find;
    std::u16string name;
    reg::RawValue value;
    bool data_hit;  // case-insensitive, whole numbers on
  };
  const std::vector<Case> cases = {
      {"soft", u"n", Utf16Value(reg::kRegSz, u"C:\\SOFTWARE\\x\0"), true},
      {"é", u"n", Utf16Value(reg::kRegSz, u"É"), false},  // only a to z fold
      {"tail", u"n", Utf16Value(reg::kRegSz, std::u16string(u"head\0tail", 9)), false},
      {"tail", u"n", Utf16Value(reg::kRegExpandSz, u"%tail%"), true},
      {"b", u"n", Utf16Value(reg::kRegMultiSz, std::u16string(u"a\0b\0\0", 5)), true},
      {"a b", u"n", Utf16Value(reg::kRegMultiSz, std::u16string(u"a\0b\0\0", 5)), false},
      {"ab", u"n", {reg::kRegSz, {'a', 0, 'b'}}, false},  // the odd byte is not a unit
      {std::string("a\0b", 3), u"n", Utf16Value(reg::kRegMultiSz, std::u16string(u"a\0b\0", 4)),
       true},
      {std::string("a\0b", 3), u"n", Utf16Value(reg::kRegSz, std::u16string(u"a\0b\0", 4)), false},
      {"[x", u"n", Utf16Value(reg::kRegSz, u"{X"), false},  // only letters fold
      {"x", u"n", Utf16Value(reg::kRegSz, std::u16string(u"\0x", 2)), false},
      {"鍵\U0001F511", u"n", Utf16Value(reg::kRegSz, u"x鍵\U0001F511y"), true},
      {text::Utf16ToUtf8(units({high})), u"n", Utf16Value(reg::kRegSz, pair), false},
      {text::Utf16ToUtf8(units({low})), u"n", Utf16Value(reg::kRegSz, pair), false},
      {text::Utf16ToUtf8(units({high})), u"n", Utf16Value(reg::kRegSz, units({high, u'x'})), true},
      {text::Utf16ToUtf8(units({u'x', low})), u"n", Utf16Value(reg::kRegSz, units({u'x', low})),
       true},
      {"\xF0\x9F", u"n", Utf16Value(reg::kRegSz, pair), true},  // stray bytes: part of a character
      {"42", u"n", Dword(42), true},
      {"4", u"n", Dword(42), false},  // whole numbers only
      {"E1", u"n", Qword(1234567890123456789), false},
      {"-1", u"n", Dword(0xFFFFFFFF), true},
      {"1234567890123456789", u"n", Qword(1234567890123456789), true},
      // The rounded form finds only numbers a double holds exactly, as it always did.
      {"1.23456789012346E18", u"n", Qword(1234567890123456789), false},
      {"1.15292150460685E18", u"n", Qword(std::int64_t{1} << 60), true},
      {"4294967295", u"n", Dword(0xFFFFFFFF), true},
      {"1", u"n", {reg::kRegDword, {1, 0, 0}}, false},  // the wrong size has no text
      {"1", u"n", {reg::kRegBinary, {1}}, false},
      {"x", u"n", {reg::kRegNone, {'x', 0}}, false},
      {"", u"n", Utf16Value(reg::kRegSz, u"any"), true},
      {"", u"n", Utf16Value(reg::kRegSz, u""), false},
      {"DEFAULT", u"", Utf16Value(reg::kRegSz, u"v"), false},
      {"name", u"Value NAME", Utf16Value(reg::kRegSz, u"v"), false},
      {"É", u"É", Dword(1), false},
  };
  for (const Case& c : cases) {
    for (const bool case_sensitive : {false, true}) {
      const FindUnits find(c.find, case_sensitive);
      reg::ValueBuffer buffer;
      buffer.Assign(c.name, c.value.type, c.value.data);
      const reg::DataKind kind = reg::KindOfType(c.value.type);
      const std::string shown = DisplayName(text::Utf16ToUtf8(c.name));
      for (const bool whole_numbers : {true, false}) {
        const MatchOptions options{case_sensitive, whole_numbers};
        const bool by_text = MatchValue(c.find, c.value, options);
        if (!case_sensitive && whole_numbers) {
          EXPECT_EQ(by_text, c.data_hit) << c.find;
        }
        if (!find.usable()) continue;  // the walk asks MatchText for such a find text
        SCOPED_TRACE(c.find + (case_sensitive ? " case-sensitive" : "") +
                     (whole_numbers ? " whole numbers" : ""));
        EXPECT_EQ(MatchData(find, buffer, options), by_text);
        EXPECT_EQ(MatchName(find, buffer.name()), MatchText(c.find, shown, kind, false, options));
      }
    }
  }
  EXPECT_FALSE(FindUnits("\xF0\x9F", false).usable());
  EXPECT_TRUE(MatchName(FindUnits("DEFAULT", false), u""));
  EXPECT_FALSE(MatchName(FindUnits("DEFAULT", true), u""));
  EXPECT_TRUE(MatchName(FindUnits("e na", false), u"Value NAME"));
}

// Values are scanned several units at a time: a match at any place of a long text, and a near
// miss beside it, answer as MatchText does on the UTF-8 form.
TEST(FindUnitsTest, LongTextsAnswerAsMatchTextAtEveryPlace) {
  for (const std::string find : {"k", "Key", "kEy1", "éK"}) {
    for (const bool case_sensitive : {false, true}) {
      const FindUnits units(find, case_sensitive);
      for (std::size_t length = 0; length <= 13; ++length) {
        for (std::size_t at = 0; at <= length; ++at) {
          for (const char* inserted : {"KEY1", "kEy1", "ke", "\xC3\xA9k", "x"}) {
            std::string text(length, 'j');
            text.insert(at, inserted);
            const std::u16string wide = text::Utf8ToUtf16(text);
            SCOPED_TRACE(find + " in " + text + (case_sensitive ? " case-sensitive" : ""));
            EXPECT_EQ(units.In(wide),
                      MatchText(find, text, reg::DataKind::kString, true, {case_sensitive, true}));
          }
        }
      }
    }
  }
}

}  // namespace keyloom::engine
