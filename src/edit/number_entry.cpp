#include "edit/number_entry.h"

#include <cinttypes>
#include <cstdio>
#include <limits>

#include "base/text.h"
#include "change/integer_text.h"

namespace keyloom::edit {
namespace {

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDecimalDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The number of hexadecimal digits after the leading zeros.
std::size_t SignificantDigits(std::string_view text) {
  const std::size_t first = text.find_first_not_of('0');
  return first == std::string_view::npos ? 0 : text.size() - first;
}

}  // namespace

bool IsNumberKey(char32_t c) { return c < 0x80 && IsHexDigit(static_cast<char>(c)); }

bool FitsNumberField(std::string_view text, NumberBase base, bool is_64bit) {
  if (text.empty()) return false;
  if (base == NumberBase::kHexadecimal) {
    for (char c : text) {
      if (!IsHexDigit(c)) return false;
    }
    return SignificantDigits(text) <= (is_64bit ? 16u : 8u);
  }
  // Decimal: an optional minus sign (only ever put there by the program), then digits.
  const std::string_view digits = text.front() == '-' ? text.substr(1) : text;
  if (digits.empty()) return false;
  for (char c : digits) {
    if (!IsDecimalDigit(c)) return false;
  }
  const std::optional<std::int64_t> value = change::ParseIntegerText(text);
  if (!value) return false;
  return is_64bit || (*value >= std::numeric_limits<std::int32_t>::min() &&
                      *value <= std::numeric_limits<std::int32_t>::max());
}

bool AcceptsTyping(std::u16string_view text, std::size_t start, std::size_t end,
                   std::u16string_view typed, NumberBase base, bool is_64bit) {
  if (typed.empty()) return true;
  for (char16_t c : typed) {
    if (!IsNumberKey(c)) return false;
  }
  start = std::min(start, text.size());
  end = std::min(std::max(end, start), text.size());
  std::u16string after(text.substr(0, start));
  after.append(typed);
  after.append(text.substr(end));
  return FitsNumberField(text::Utf16ToUtf8(after), base, is_64bit);
}

std::optional<std::string> DecimalToHex(std::string_view text) {
  const std::optional<std::int64_t> value = change::ParseIntegerText(text);
  if (!value) return std::nullopt;
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%02" PRIX64, static_cast<std::uint64_t>(*value));
  return std::string(buffer);
}

std::optional<std::string> HexToDecimal(std::string_view text) {
  std::string prefixed = "$";
  prefixed += text;
  const std::optional<std::int64_t> value = change::ParseIntegerText(prefixed);
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

}  // namespace keyloom::edit
