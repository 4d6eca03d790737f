#include "change/integer_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace keyloom::change {
namespace {

TEST(IntegerText, AcceptsDecimalAndTheFiveHexadecimalPrefixes) {
  EXPECT_EQ(ParseIntegerText("0"), 0);
  EXPECT_EQ(ParseIntegerText("255"), 255);
  EXPECT_EQ(ParseIntegerText("  -12"), -12);
  EXPECT_EQ(ParseIntegerText("+7"), 7);
  EXPECT_EQ(ParseIntegerText("007"), 7);
  EXPECT_EQ(ParseIntegerText("$FF"), 255);
  EXPECT_EQ(ParseIntegerText("xff"), 255);
  EXPECT_EQ(ParseIntegerText("XfF"), 255);
  EXPECT_EQ(ParseIntegerText("0x10"), 16);
  EXPECT_EQ(ParseIntegerText("0X10"), 16);
  EXPECT_EQ(ParseIntegerText("-$10"), -16);
  EXPECT_EQ(ParseIntegerText("4294967296"), 4294967296LL);
}

TEST(IntegerText, RangesOfDecimalAndHexadecimalValues) {
  EXPECT_EQ(ParseIntegerText("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(ParseIntegerText("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(ParseIntegerText("9223372036854775808"), std::nullopt);
  EXPECT_EQ(ParseIntegerText("99999999999999999999"), std::nullopt);
  // Sixteen hexadecimal digits; from 8000000000000000 upward the value reads negative.
  EXPECT_EQ(ParseIntegerText("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(ParseIntegerText("0x8000000000000000"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(ParseIntegerText("$0000FFFFFFFFFFFFFFFF"), -1);  // leading zeros are not digits
  EXPECT_EQ(ParseIntegerText("$1FFFFFFFFFFFFFFFF"), std::nullopt);
}

TEST(IntegerText, RefusesEverythingElse) {
  for (const char* text : {"", " ", "12abc", "12 ", "1 2", "-", "+", "$", "x", "0x", "$G", "0x-1",
                           "--1", "1.5", "1e3", "\t1", "١"}) {
    EXPECT_EQ(ParseIntegerText(text), std::nullopt) << text;
  }
  EXPECT_EQ(InvalidIntegerMessage("12abc"), "'12abc' is not a valid integer value");
}

}  // namespace
}  // namespace keyloom::change
