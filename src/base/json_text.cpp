#include "base/json_text.h"

#include "base/text.h"

namespace keyloom::text {
namespace {

void AppendEscape(std::string& out, char16_t unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string JsonString(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit == u'"' || unit == u'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit == u'\n') {
      out += "\\n";
    } else if (unit == u'\r') {
      out += "\\r";
    } else if (unit == u'\t') {
      out += "\\t";
    } else if (unit < 0x20 || unit == 0x7F) {
      AppendEscape(out, unit);
    } else if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (IsHigh(unit) && i + 1 < units.size() && IsLow(units[i + 1])) {
      out += Utf16ToUtf8(std::u16string_view(units).substr(i, 2));
      ++i;
    } else if (IsHigh(unit) || IsLow(unit)) {
      AppendEscape(out, unit);  // a lone surrogate
    } else {
      out += Utf16ToUtf8(std::u16string_view(&units[i], 1));
    }
  }
  out += '"';
  return out;
}

}  // namespace keyloom::text
