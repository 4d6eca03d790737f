// Text conversions between the program and Windows. Inside the program text is UTF-8; Windows speaks
// UTF-16. A registry name or string may hold a lone surrogate (Windows does not check), so the
// UTF-8 side uses the generalised form that encodes such a unit as its own three-byte sequence:
// every UTF-16 string survives UTF-16 -> UTF-8 -> UTF-16 unchanged.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom::text {

// UTF-16 code units to UTF-8. Paired surrogates become one four-byte sequence; a lone surrogate
// becomes its three-byte form.
std::string Utf16ToUtf8(std::u16string_view utf16);

// UTF-8 to UTF-16 code units; the exact inverse of Utf16ToUtf8. Bytes that are not UTF-8 (a stray
// continuation byte, a truncated sequence, an overlong form) become U+FFFD each.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Whether the bytes are well-formed UTF-8 (lone surrogates in their three-byte form allowed when
// `allow_surrogates`).
bool IsValidUtf8(std::string_view bytes, bool allow_surrogates = true);

// Windows-1252 bytes as UTF-16 units and as UTF-8. The five bytes the code page leaves undefined
// (81 8D 8F 90 9D) map to the control characters of the same number, as Windows maps them.
std::u16string Windows1252ToUtf16(std::string_view bytes);
std::string Windows1252ToUtf8(std::string_view bytes);

// The lines of a text, split at CR LF, LF or CR; a text ending in a line break gives no empty last
// line. The views point into `text`.
std::vector<std::string_view> SplitLines(std::string_view text);

// Little-endian byte views of UTF-16 text, as the registry stores REG_SZ data.
std::vector<std::uint8_t> Utf16ToBytes(std::u16string_view utf16);
// An odd trailing byte is dropped; callers that must keep it look at the size themselves.
std::u16string BytesToUtf16(const std::vector<std::uint8_t>& bytes);

// The upper-case form of a UTF-16 unit for comparing registry names: the simple one-to-one
// mapping of ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic, Armenian and the fullwidth Latin
// letters. Every other unit maps to itself, so names differing only in the case of letters of
// other scripts compare as different here, where Windows may take them as the same.
char16_t UpcaseUnit(char16_t unit);

// A UTF-8 name with every unit upper-cased by UpcaseUnit: names the registry takes as one name
// have one folded form.
std::string FoldName(std::string_view name);

// Compares two names as the registry does: unit by unit after UpcaseUnit. <0, 0, >0.
int CompareNamesIgnoringCase(std::u16string_view a, std::u16string_view b);

// The pieces one after the other. (Joining with "text" + std::string(...) makes GCC 12 warn
// falsely at -O2, and warnings are errors.)
inline std::string Cat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const auto part : parts) size += part.size();
  std::string out;
  out.reserve(size);
  for (const auto part : parts) out.append(part);
  return out;
}

// A blank: a space or a tab.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// Empty, or nothing but blanks.
bool IsBlank(std::string_view text);
// Empty, or nothing but white space: blanks, line breaks, vertical tabs and form feeds.
bool IsWhiteSpace(std::string_view text);
// Empty, or nothing but blanks, line breaks and other control characters: nothing a reader sees.
bool ShowsNothing(std::string_view text);

// A system's message text as messages show it: trailing blanks, tabs, full stops and line ends
// removed.
std::string TrimMessage(std::string message);

}  // namespace keyloom::text
