// A small INI reader and writer for KEYLOOM.INI.
//
// The document is kept line by line, so saving changes only the keys that were set: comments,
// unknown keys, other sections and the order of lines survive, as they do with the platform's
// profile-string functions. A key that is set but not present is appended at the end of its
// section; a section that is not present is appended at the end of the file.
//
// Text inside is UTF-8. A file is read as UTF-8 when it is valid UTF-8 (a byte-order mark is
// dropped), as UTF-16 when it starts with a UTF-16 byte-order mark, and as Windows-1252 otherwise
// (files written by earlier versions in the ANSI code page). It is always written as UTF-8 without
// a byte-order mark, lines ended by CR LF.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace keyloom::shell {

using text::Windows1252ToUtf8;

// The bytes of an INI file as UTF-8 text (see the top of this file for the rules).
std::string DecodeIniText(std::string_view bytes);

// An integer as INI files hold it: decimal, or hexadecimal after "0x", "0X" or "$", with an
// optional sign in front. Hexadecimal up to FFFFFFFF wraps to a negative number as a 32-bit
// pattern. nullopt for anything else (empty, trailing characters, out of range).
std::optional<int> ParseIniInteger(std::string_view text);

class IniFile {
 public:
  IniFile() = default;

  // Parses raw bytes of any of the encodings above.
  static IniFile FromBytes(std::string_view bytes);

  // Reads a file. A missing or unreadable file gives an empty document; this never throws (an
  // exhausted memory included).
  static IniFile Load(const std::filesystem::path& path);

  // The value of `key` in `section` (names compare ignoring ASCII case; the first section and the
  // first key of that name count). Blanks around the value are dropped, and so is one pair of
  // enclosing double quotes. nullopt when the key is absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Sets `key` in `section` to `value`: replaces the key's first line, or appends the key. A value
  // with blanks at either end, or enclosed in double quotes, is written in quotes so that Get
  // returns it unchanged; CR, LF and NUL cannot be held on one line and are written as blanks.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole document as UTF-8, every line ended by CR LF.
  std::string ToText() const;

 private:
  // Index of the first line of the section's body and one past its last line; nullopt if absent.
  struct Range {
    std::size_t begin;
    std::size_t end;
  };
  std::optional<Range> FindSection(std::string_view section) const;
  std::optional<std::size_t> FindKey(const Range& range, std::string_view key) const;

  std::vector<std::string> lines_;
};

}  // namespace keyloom::shell
