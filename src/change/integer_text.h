// The program's one rule for integers typed as text (value updates, the value editors):
// optional leading blanks, an optional sign, then decimal digits, or hexadecimal digits (either
// letter case) after "$", "x", "X", "0x" or "0X". At least one digit, nothing after the digits.
// A decimal value must fit a signed 64-bit integer; a hexadecimal one may have up to 16 digits
// (leading zeros not counted), those from 8000000000000000 upward reading as negative.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom::change {

// The value of the text, or nullopt when it breaks the rule.
std::optional<std::int64_t> ParseIntegerText(std::string_view text);

// "'" + text + "' is not a valid integer value".
std::string InvalidIntegerMessage(std::string_view text);

}  // namespace keyloom::change
