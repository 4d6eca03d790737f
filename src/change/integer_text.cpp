#include "change/integer_text.h"

#include <limits>

#include "base/ascii.h"

namespace keyloom::change {

std::optional<std::int64_t> ParseIntegerText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::string_view rest = text.substr(i);
  std::size_t digits_at = 0;
  bool hex = false;
  if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    digits_at = 1;
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    hex = true;
    digits_at = 2;
  }
  const std::string_view digits = rest.substr(digits_at);
  if (digits.empty()) return std::nullopt;

  if (hex) {
    std::uint64_t bits = 0;
    int significant = 0;
    for (const char c : digits) {
      const int digit = base::AsciiHexDigit(c);
      if (digit < 0) return std::nullopt;
      if (significant > 0 || digit != 0) ++significant;
      if (significant > 16) return std::nullopt;
      bits = (bits << 4) | static_cast<std::uint64_t>(digit);
    }
    if (negative) bits = ~bits + 1;
    return static_cast<std::int64_t>(bits);
  }

  // Decimal: accumulated as a magnitude, which may reach 2^63 for the most negative value.
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t magnitude = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) return static_cast<std::int64_t>(~magnitude + 1);
  return static_cast<std::int64_t>(magnitude);
}

std::string InvalidIntegerMessage(std::string_view text) {
  std::string message = "'";
  message.append(text);
  message.append("' is not a valid integer value");
  return message;
}

}  // namespace keyloom::change
