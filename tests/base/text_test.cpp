#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace keyloom::text {
namespace {

TEST(Text, EveryUtf16StringSurvivesTheRoundTrip) {
  const std::u16string samples[] = {
      u"",
      u"plain ASCII",
      u"Ελληνικά",
      u"日本語のキー",
      u"emoji \U0001F600 pair",
      std::u16string(1, char16_t{0xD800}) + u"lone high",
      u"lone low " + std::u16string(1, char16_t{0xDC00}),
      std::u16string{char16_t{0xDC00}, char16_t{0xD800}},  // reversed pair: two lone units
      std::u16string(u"nul\0inside", 10)};
  for (const auto& s : samples) {
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
  }
}

TEST(Text, Utf8IsStandardForValidText) {
  EXPECT_EQ(Utf16ToUtf8(u"\u00E9\u4E2D\U0001F600"), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_TRUE(IsValidUtf8("\xC3\xA9"));
  EXPECT_FALSE(IsValidUtf8("\xC3"));                 // truncated
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));             // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80", false));  // lone surrogate, strict
  EXPECT_TRUE(IsValidUtf8("\xED\xA0\x80", true));
}

TEST(Text, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b\x80"),
            u"a\uFFFDb\uFFFD");
}

TEST(Text, LittleEndianBytes) {
  const auto bytes = Utf16ToBytes(u"A\u20AC");
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x41, 0x00, 0xAC, 0x20}));
  EXPECT_EQ(BytesToUtf16(bytes), u"A\u20AC");
  EXPECT_EQ(BytesToUtf16({0x41, 0x00, 0x42}), u"A");  // odd byte dropped
}

TEST(Text, NamesCompareIgnoringCaseAcrossScripts) {
  EXPECT_EQ(CompareNamesIgnoringCase(u"Software", u"SOFTWARE"), 0);
  EXPECT_EQ(CompareNamesIgnoringCase(u"ελλάδα", u"ΕΛΛΆΔΑ"), 0);
  EXPECT_EQ(CompareNamesIgnoringCase(u"привет", u"ПРИВЕТ"), 0);
  EXPECT_EQ(CompareNamesIgnoringCase(u"\u00E9t\u00E9", u"\u00C9T\u00C9"), 0);
  EXPECT_LT(CompareNamesIgnoringCase(u"a", u"B"), 0);
  EXPECT_LT(CompareNamesIgnoringCase(u"ab", u"ABC"), 0);
  EXPECT_NE(CompareNamesIgnoringCase(u"i", u"\u0130"), 0);  // no locale-specific folding
}

TEST(Text, MessagesLoseTrailingBlanksFullStopsAndLineEnds) {
  const std::pair<std::string, std::string> cases[] = {
      {"Access is denied.\r\n", "Access is denied"},
      {"Path not found. \t", "Path not found"},
      {"v1.2 is here", "v1.2 is here"},
      {" .\r\n", ""},
      {"", ""},
  };
  for (const auto& [message, shown] : cases) EXPECT_EQ(TrimMessage(message), shown) << message;
}

}  // namespace
}  // namespace keyloom::text
