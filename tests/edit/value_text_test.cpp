// The value editors' text forms and the number editor's rules.
#include "change/value_text.h"

#include <gtest/gtest.h>

#include "edit/number_entry.h"
#include "files/undo_fixture.h"

namespace keyloom::edit {
namespace {

using namespace std::string_literals;
using files::testing::Utf16Z;

class ReadValueAsTextTest : public files::testing::UndoFixture {};

TEST_F(ReadValueAsTextTest, GivesEachTypeInTheEditorsForm) {
  const std::pair<reg::RawValue, std::string> cases[] = {
      {{reg::kRegSz, Utf16Z(u"text\0after"s)}, "text"},
      {{reg::kRegExpandSz, Utf16Z(u"%TEMP%\\ζ")}, "%TEMP%\\ζ"},
      {{reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}}, "-1"},
      {{reg::kRegDword, {0xFF, 0xFF, 0xFF, 0x7F}}, "2147483647"},
      // Every digit of a 19-digit number, not the floating-point form of the search.
      {{reg::kRegQword, reg::LittleEndian<std::int64_t>(1234567890123456789)},
       "1234567890123456789"},
      {{reg::kRegQword, reg::LittleEndian<std::int64_t>(-2)}, "-2"},
      {{reg::kRegMultiSz, text::Utf16ToBytes(u"a\0b\0\0"s)}, "a\0b\0\0"s},
      {{reg::kRegMultiSz, {}}, ""},
      {{reg::kRegBinary, {1, 2}}, ""},
  };
  reg::TRegistry reg(*api_);
  int n = 0;
  for (const auto& [value, text] : cases) {
    const std::string name = "v" + std::to_string(n++);
    Put("Software\\X", name, value);
    ASSERT_TRUE(reg.OpenKey("\\Software\\X"));
    EXPECT_EQ(change::ReadValueAsText(reg, name), text) << name;
  }
  EXPECT_EQ(change::ReadValueAsText(reg, "missing"), "");
}

TEST(MultiStringLinesTest, NulsAndLineBreaksTradePlaces) {
  EXPECT_EQ(change::MultiSzToLines("a\0b\0\0"s), "a\r\nb\r\n\r\n");
  EXPECT_EQ(change::LinesToMultiSz("a\r\nb"), "a\0b"s);
  EXPECT_EQ(change::LinesToMultiSz("a\nb\rc\r\n"), "a\nb\rc"s);  // only pairs are line breaks
  EXPECT_EQ(change::MultiSzToLines(""), "");
  // What an update stores for the strings, and the strings read back from it.
  const std::pair<std::string, std::string> terminated[] = {
      {"a\0b"s, "a\0b\0\0"s}, {"a\0b\0"s, "a\0b\0\0"s}, {"a\0b\0\0"s, "a\0b\0\0"s}, {"", "\0\0"s}};
  for (const auto& [text, stored] : terminated) EXPECT_EQ(change::TerminatedMultiString(text), stored);
  EXPECT_EQ(change::WithoutTerminator("a\0b\0\0"s), "a\0b"s);
  EXPECT_EQ(change::WithoutTerminator("a\0b\0"s), "a\0b"s);
  EXPECT_EQ(change::WithoutTerminator("a\0b"s), "a\0b"s);
  EXPECT_EQ(change::WithoutTerminator("\0\0"s), "");
}

// A multi-string cannot hold an empty string: empty lines are dropped wherever they are, and
// counted; a line of blanks is a string. A final line break ends the last line.
TEST(MultiStringLinesTest, EmptyLinesAreDroppedAndCounted) {
  struct Case {
    std::string lines;
    std::string kept;
    std::size_t removed;
    std::string stored;  // change::LinesToMultiSz, then the terminator an update adds
  };
  const Case cases[] = {
      {"alpha01\r\n\r\nqaserver\r\nbeta", "alpha01\r\nqaserver\r\nbeta", 1,
       "alpha01\0qaserver\0beta\0\0"s},
      {"\r\n\r\na\r\nb", "a\r\nb", 2, "a\0b\0\0"s},           // at the start
      {"a\r\nb\r\n", "a\r\nb", 0, "a\0b\0\0"s},               // a final line break
      {"a\r\nb\r\n\r\n\r\n", "a\r\nb", 2, "a\0b\0\0"s},       // at the end
      {"a\r\n \r\n\r\nb", "a\r\n \r\nb", 1, "a\0 \0b\0\0"s},  // a blank is a string
      {"\r\n", "", 1, "\0\0"s},
      {"", "", 0, "\0\0"s},
  };
  for (const Case& c : cases) {
    std::size_t removed = 99;
    EXPECT_EQ(change::WithoutEmptyLines(c.lines, &removed), c.kept);
    EXPECT_EQ(removed, c.removed);
    EXPECT_EQ(change::TerminatedMultiString(change::LinesToMultiSz(c.lines)), c.stored);
  }
  EXPECT_EQ(change::EmptyLinesRemovedText(1),
            "A multi-string value cannot hold empty strings: 1 empty line was removed.");
  EXPECT_EQ(change::EmptyLinesRemovedText(3),
            "A multi-string value cannot hold empty strings: 3 empty lines were removed.");
}

// Types `keys` one after the other at the end of the field (or over [start, end) for the first).
std::u16string Type(std::u16string text, std::u16string_view keys, NumberBase base, bool is_64bit,
                    std::size_t start = std::u16string::npos, std::size_t end = 0) {
  for (char16_t key : keys) {
    if (start == std::u16string::npos) start = end = text.size();
    if (AcceptsTyping(text, start, end, std::u16string_view(&key, 1), base, is_64bit)) {
      text.replace(start, end - start, 1, key);
    }
    start = std::u16string::npos;
  }
  return text;
}

TEST(NumberEntryTest, JudgesTheTextAsItWouldBeAfterTheKeyPress) {
  const NumberBase dec = NumberBase::kDecimal, hex = NumberBase::kHexadecimal;
  // 255 -> FF, typing 1 -> FF1, back to decimal 4081.
  EXPECT_EQ(DecimalToHex("255"), "FF");
  EXPECT_EQ(Type(u"FF", u"1", hex, false), u"FF1");
  EXPECT_EQ(HexToDecimal("FF1"), "4081");
  EXPECT_EQ(DecimalToHex("5"), "05");
  // -1 (a DWORD of FFFFFFFF) round trips.
  EXPECT_EQ(DecimalToHex("-1"), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(HexToDecimal("FFFFFFFFFFFFFFFF"), "-1");
  EXPECT_EQ(HexToDecimal("8000000000000000"), "-9223372036854775808");
  // The conversion error cases: an empty field, a text that is no integer.
  EXPECT_EQ(DecimalToHex(""), std::nullopt);
  EXPECT_EQ(HexToDecimal(""), std::nullopt);
  EXPECT_EQ(HexToDecimal("11112222333344445"), std::nullopt);

  // One digit more than the 32-bit range holds is refused unless the value is 64-bit.
  EXPECT_EQ(Type(u"2147483647", u"1", dec, false), u"2147483647");
  EXPECT_EQ(Type(u"2147483647", u"1", dec, true), u"21474836471");
  EXPECT_EQ(Type(u"9223372036854775807", u"0", dec, true), u"9223372036854775807");
  EXPECT_EQ(Type(u"FFFFFFFF", u"A", hex, false), u"FFFFFFFF");
  EXPECT_EQ(Type(u"0FFFFFFF", u"A", hex, false, 0, 1), u"AFFFFFFF");  // over the leading 0
  EXPECT_EQ(Type(u"FFFFFFFFFFFFFFF", u"F0", hex, true), u"FFFFFFFFFFFFFFFF");
  // Never: G, a blank, a comma, a minus sign; hex letters in decimal.
  EXPECT_EQ(Type(u"12", u"G ,-x$", dec, true), u"12");
  EXPECT_EQ(Type(u"12", u"G ,-", hex, true), u"12");
  EXPECT_EQ(Type(u"12", u"a", dec, true), u"12");
  EXPECT_EQ(Type(u"12", u"a", hex, true), u"12a");
  // Typing over a selection: all of 2147483647 selected, 5 replaces it.
  EXPECT_EQ(Type(u"2147483647", u"5", dec, false, 0, 10), u"5");
  // At the caret, not at the end: 9 in front of 214748364 overflows, 1 does not.
  EXPECT_EQ(Type(u"214748364", u"9", dec, false, 0, 0), u"214748364");
  EXPECT_EQ(Type(u"214748364", u"1", dec, false, 0, 0), u"1214748364");
  // A pasted text is judged as a whole.
  EXPECT_TRUE(AcceptsTyping(u"1", 1, 1, u"234", dec, false));
  EXPECT_FALSE(AcceptsTyping(u"1", 1, 1, u"2,34", dec, false));
  EXPECT_FALSE(AcceptsTyping(u"1", 0, 1, u"99999999999", dec, false));
  // Deleting is always allowed, also down to an empty field or from a text that does not parse.
  EXPECT_TRUE(AcceptsTyping(u"1.23456789012346E18", 18, 19, u"", dec, true));
  EXPECT_FALSE(AcceptsTyping(u"1.23456789012346E18", 19, 19, u"1", dec, true));
  // The minus sign the program put there stays usable.
  EXPECT_EQ(Type(u"-1", u"2", dec, false), u"-12");
}

}  // namespace
}  // namespace keyloom::edit
