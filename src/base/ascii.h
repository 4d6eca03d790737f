// Letter case of ASCII text, the same in every locale: the program's own names (options, INI keys,
// accelerators) and the Key List's case-insensitive comparisons fold A to Z only.
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

}  // namespace keyloom::base
