#include "engine/match.h"

#include <gtest/gtest.h>

#include "registry/text.h"

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
  EXPECT_EQ(ValueText(Qword(1234567890123456789)), "1.23456789012346E18");
  EXPECT_EQ(ValueText(Qword(123456789012345)), "123456789012345");
  EXPECT_EQ(ValueText(Qword(-5)), "-5");
  EXPECT_EQ(ValueText(Qword(1000000000000000)), "1E15");
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
  EXPECT_TRUE(TypeFilterAccepts(7, K::kMultiString, false));
  EXPECT_TRUE(TypeFilterAccepts(8, K::kInt64, true));
  EXPECT_FALSE(TypeFilterAccepts(8, K::kInt64, false));
  EXPECT_EQ(DisplayName(""), "(Default)");
  EXPECT_EQ(DisplayName("x"), "x");
}

}  // namespace
}  // namespace keyloom::engine
