// Letter case of ASCII text, the same in every locale: the program's own names (options, INI keys,
// accelerators) and the Key List's case-insensitive comparisons fold A to Z only. And the value of
// a hexadecimal digit, in either case.
#pragma once

#include <string>
#include <string_view>

namespace keyloom::base {

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

// 0 to 15 for a hexadecimal digit, -1 for any other character.
inline int AsciiHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace keyloom::base
