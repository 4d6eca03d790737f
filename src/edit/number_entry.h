// The rules of the number editor (TfrmEditDword): which text its field may hold in either base,
// and the switch between decimal and hexadecimal notation.
//
// A key press or a paste is judged by the text the field would hold afterwards (what is typed
// replaces the selection at the caret): every typed character must be a digit or a letter A to F,
// and the resulting text must read as a number of the editor's width in the current base. A
// decimal DWORD holds -2147483648 to 2147483647 and a hexadecimal one at most 8 digits; a QWORD
// the signed 64-bit range and at most 16 hexadecimal digits (leading zeros not counted).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keyloom::edit {

enum class NumberBase { kDecimal, kHexadecimal };

// Whether `c` may be typed at all: 0-9, A-F, a-f.
bool IsNumberKey(char32_t c);

// Whether the field may hold `text` in `base`.
bool FitsNumberField(std::string_view text, NumberBase base, bool is_64bit);

// Whether typing (or pasting) `typed` over `text`'s characters [start, end) is accepted. An empty
// `typed` (a deletion) always is.
bool AcceptsTyping(std::u16string_view text, std::size_t start, std::size_t end,
                   std::u16string_view typed, NumberBase base, bool is_64bit);

// A decimal text in hexadecimal: upper-case digits, at least two, no prefix; a negative number
// as its 16-digit two's complement. nullopt when the text is no integer.
std::optional<std::string> DecimalToHex(std::string_view text);
// A hexadecimal text (up to 16 digits, 8000000000000000 and above negative) in decimal.
std::optional<std::string> HexToDecimal(std::string_view text);

// The base switch's message when the text cannot be converted.
inline constexpr const char* kConversionError = "Error while converting value, try again.";

}  // namespace keyloom::edit
