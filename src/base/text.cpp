#include "base/text.h"

#include <algorithm>

namespace keyloom::text {
namespace {

// Code points of the bytes 80..9F in Windows-1252; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one sequence at `i`; returns the code point (surrogates included) or -1 for bytes that
// are not UTF-8. `length` receives the number of bytes consumed (1 for a bad byte).
long DecodeOne(std::string_view s, std::size_t i, std::size_t* length) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  *length = 1;
  if (b0 < 0x80) return b0;
  std::size_t n;
  std::uint32_t cp;
  std::uint32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    n = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return -1;
  }
  if (i + n > s.size()) return -1;
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF) return -1;
  *length = n;
  return static_cast<long>(cp);
}

// Upper-case partner for the alternating upper/lower pairs of Latin Extended-A and Cyrillic.
char16_t PairedUpcase(char16_t u, bool upper_is_even) {
  const bool even = (u % 2) == 0;
  if (even == upper_is_even) return u;
  return static_cast<char16_t>(u - 1);
}

}  // namespace

std::u16string Windows1252ToUtf16(std::string_view bytes) {
  std::u16string utf16;
  utf16.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    utf16 += (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return utf16;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  return Utf16ToUtf8(Windows1252ToUtf16(bytes));
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    std::uint32_t u = utf16[i];
    if (IsHighSurrogate(u) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<std::uint32_t>(utf16[i + 1]) - 0xDC00);
      ++i;
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length;
    const long cp = DecodeOne(utf8, i, &length);
    i += length;
    if (cp < 0) {
      out += kReplacement;
    } else if (cp >= 0x10000) {
      const auto v = static_cast<std::uint32_t>(cp) - 0x10000;
      out += static_cast<char16_t>(0xD800 + (v >> 10));
      out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes, bool allow_surrogates) {
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t length;
    const long cp = DecodeOne(bytes, i, &length);
    if (cp < 0) return false;
    if (!allow_surrogates && cp >= 0xD800 && cp <= 0xDFFF) return false;
    i += length;
  }
  return true;
}

std::vector<std::uint8_t> Utf16ToBytes(std::u16string_view utf16) {
  std::vector<std::uint8_t> out;
  out.reserve(utf16.size() * 2);
  for (char16_t u : utf16) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return out;
}

std::u16string BytesToUtf16(const std::vector<std::uint8_t>& bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  }
  return out;
}

char16_t UpcaseUnit(char16_t u) {
  if (u < 0x80) return (u >= u'a' && u <= u'z') ? static_cast<char16_t>(u - 0x20) : u;
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char16_t>(u - 0x20);
  if (u == 0xFF) return 0x178;
  if (u >= 0x100 && u <= 0x137 && u != 0x131) return PairedUpcase(u, true);
  if (u >= 0x139 && u <= 0x148) return PairedUpcase(u, false);
  if (u >= 0x14A && u <= 0x177) return PairedUpcase(u, true);
  if (u >= 0x179 && u <= 0x17E) return PairedUpcase(u, false);
  if (u >= 0x3B1 && u <= 0x3CB && u != 0x3C2) return static_cast<char16_t>(u - 0x20);
  if (u == 0x3C2) return 0x3A3;
  if (u == 0x3AC) return 0x386;
  if (u >= 0x3AD && u <= 0x3AF) return static_cast<char16_t>(u - 0x25);
  if (u == 0x3CC) return 0x38C;
  if (u == 0x3CD || u == 0x3CE) return static_cast<char16_t>(u - 0x3F);
  if (u >= 0x430 && u <= 0x44F) return static_cast<char16_t>(u - 0x20);
  if (u >= 0x450 && u <= 0x45F) return static_cast<char16_t>(u - 0x50);
  if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF)) return PairedUpcase(u, true);
  if (u >= 0x561 && u <= 0x586) return static_cast<char16_t>(u - 0x30);
  if (u >= 0xFF41 && u <= 0xFF5A) return static_cast<char16_t>(u - 0x20);
  return u;
}

std::string FoldName(std::string_view name) {
  std::u16string units = Utf8ToUtf16(name);
  for (auto& unit : units) unit = UpcaseUnit(unit);
  return Utf16ToUtf8(units);
}

int CompareNamesIgnoringCase(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = UpcaseUnit(a[i]);
    const char16_t y = UpcaseUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return IsBlank(c); });
}

bool IsWhiteSpace(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return IsBlank(c) || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  });
}

bool ShowsNothing(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::string TrimMessage(std::string message) {
  while (!message.empty()) {
    const char c = message.back();
    if (c != ' ' && c != '.' && c != '\r' && c != '\n' && c != '\t') break;
    message.pop_back();
  }
  return message;
}

}  // namespace keyloom::text
