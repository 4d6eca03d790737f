// Paths are kept as UTF-8 text inside the program. These two helpers turn such a text into a
// std::filesystem::path and back, so that a folder with non-ASCII characters in its name works on
// Windows too (where the narrow path constructor would use the ANSI code page).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace keyloom::base {

// The path named by UTF-8 text.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 text of a path.
inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The separator this platform's folders end with: a backslash on Windows.
inline constexpr char kPathSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// Whether the text ends in a path separator (on Windows a forward slash counts too).
inline bool EndsWithPathSeparator(std::string_view text) {
  if (text.empty()) return false;
  const char last = text.back();
  return last == '/' || last == kPathSeparator;
}

}  // namespace keyloom::base
