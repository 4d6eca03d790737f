#include "shell/ini_file.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

#include "base/ascii.h"
#include "base/text.h"

namespace keyloom::shell {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && text::IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && text::IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

using base::AsciiLower;

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The name of a section header line ("[Name]"), or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

std::u16string Utf16FromBytes(std::string_view bytes, bool big_endian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    out += static_cast<char16_t>(big_endian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }
  return out;
}

std::string EncodeValue(std::string_view value) {
  std::string out(value);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  const bool blank_ends = !out.empty() && (text::IsBlank(out.front()) || text::IsBlank(out.back()));
  const bool quoted = out.size() >= 2 && out.front() == '"' && out.back() == '"';
  if (blank_ends || quoted) out = '"' + out + '"';
  return out;
}

}  // namespace

std::string DecodeIniText(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    return text::Utf16ToUtf8(Utf16FromBytes(bytes.substr(2), false));
  }
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    return text::Utf16ToUtf8(Utf16FromBytes(bytes.substr(2), true));
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (text::IsValidUtf8(bytes, false)) return std::string(bytes);
  return Windows1252ToUtf8(bytes);
}

std::optional<int> ParseIniInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Decimal up to 2^31 (for the negative end), hexadecimal up to FFFFFFFF.
  const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : 0x80000000ull;
  std::uint64_t magnitude = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f') {
      digit = static_cast<unsigned>(AsciiLower(c) - 'a' + 10);
    } else {
      return std::nullopt;
    }
    magnitude = magnitude * static_cast<unsigned>(base) + digit;
    if (magnitude > limit) return std::nullopt;
  }
  if (base == 10 && !negative && magnitude > 0x7FFFFFFFull) return std::nullopt;
  // Two's complement pattern: the 32 low bits, negated when a minus sign stood in front.
  std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
  if (negative) bits = ~bits + 1u;
  return static_cast<int>(bits);
}

IniFile IniFile::FromBytes(std::string_view bytes) {
  IniFile file;
  const std::string text = DecodeIniText(bytes);
  for (const auto line : text::SplitLines(text)) file.lines_.emplace_back(line);
  return file;
}

IniFile IniFile::Load(const std::filesystem::path& path) {
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile();
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return FromBytes(bytes);
  } catch (...) {
    return IniFile();
  }
}

std::optional<IniFile::Range> IniFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i]);
    if (!name || !EqualsIgnoringAsciiCase(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines_.size() && !SectionName(lines_[end])) ++end;
    return Range{i + 1, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> IniFile::FindKey(const Range& range, std::string_view key) const {
  for (std::size_t i = range.begin; i < range.end; ++i) {
    const std::string_view line = lines_[i];
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualsIgnoringAsciiCase(Trim(line.substr(0, equals)), key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const auto range = FindSection(section);
  if (!range) return std::nullopt;
  const auto index = FindKey(*range, key);
  if (!index) return std::nullopt;
  const std::string_view line = lines_[*index];
  std::string_view value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string line = std::string(key) + '=' + EncodeValue(value);
  auto range = FindSection(section);
  if (!range) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back('[' + std::string(section) + ']');
    lines_.push_back(std::move(line));
    return;
  }
  if (const auto index = FindKey(*range, key)) {
    lines_[*index] = std::move(line);
    return;
  }
  // After the section's last non-blank line, so blank lines before the next section stay there.
  std::size_t at = range->end;
  while (at > range->begin && Trim(lines_[at - 1]).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::string IniFile::ToText() const {
  std::size_t size = 0;
  for (const auto& line : lines_) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines_) text.append(line).append("\r\n");
  return text;
}

}  // namespace keyloom::shell
