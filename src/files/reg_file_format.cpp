#include "files/reg_file_format.h"

#include <cstdio>

#include "base/text.h"

namespace keyloom::files {

using text::Cat;

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The prefix of a kind written as a byte list, after the name field's closing quote.
std::string HexPrefix(std::uint32_t type) {
  switch (type) {
    case reg::kRegBinary:
      return "=hex:";
    case reg::kRegExpandSz:
      return "=hex(2):";
    case reg::kRegMultiSz:
      return "=hex(7):";
    case reg::kRegQword:
      return "=hex(b):";
    case reg::kRegResourceList:
      return "=hex(8):";
    case reg::kRegFullResourceDescriptor:
      return "=hex(9):";
    case reg::kRegResourceRequirementsList:
      return "=hex(a):";
    default:
      break;
  }
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "=hex(%x):", static_cast<unsigned>(type));
  return buffer;
}

}  // namespace

std::string EscapeRegText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string ValueNameField(std::string_view name) {
  if (name.empty()) return "@";
  return Cat({"\"", EscapeRegText(name), "\""});
}

std::string ByteList(const reg::Bytes& bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += ',';
    out += kHexDigits[bytes[i] >> 4];
    out += kHexDigits[bytes[i] & 0x0F];
  }
  return out;
}

std::string WrapValueLine(std::string_view line, std::size_t head_length) {
  const std::u16string units = text::Utf8ToUtf16(line);
  if (units.size() <= kWrapColumn) return std::string(line);
  // The line is cut after the last comma that still fits; continuation lines start with two blanks.
  std::u16string out;
  std::size_t start = 0;   // where the current output line's own text starts in `units`
  std::size_t indent = 0;  // blanks in front of it
  while (indent + units.size() - start > kWrapColumn) {
    const std::size_t comma = units.rfind(u',', start + kWrapColumn - 1 - indent);
    if (comma == std::u16string::npos || comma < start || comma - start + indent < head_length) {
      break;
    }
    head_length = 0;
    out.append(indent, u' ').append(units, start, comma + 1 - start).append(u"\\\r\n");
    start = comma + 1;
    indent = 2;
  }
  out.append(indent, u' ').append(units, start);
  return text::Utf16ToUtf8(out);
}

bool IsQuotableString(const reg::Bytes& data, std::string* text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const std::u16string units = text::BytesToUtf16(data);
  if (units.back() != u'\0') return false;
  for (std::size_t i = 0; i + 1 < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit == u'\0' || unit == u'\r' || unit == u'\n') return false;
  }
  if (text != nullptr)
    *text = text::Utf16ToUtf8(std::u16string_view(units).substr(0, units.size() - 1));
  return true;
}

std::string RegValueLine(std::string_view name, const reg::RawValue& value) {
  const std::string field = ValueNameField(name);
  std::string quoted;
  if (value.type == reg::kRegSz && IsQuotableString(value.data, &quoted)) {
    return Cat({field, "=\"", EscapeRegText(quoted), "\""});
  }
  if (value.type == reg::kRegDword && value.data.size() == 4) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(reg::DwordOf(value.data)));
    return field + "=dword:" + digits;
  }
  const std::string head = field + HexPrefix(value.type);
  return WrapValueLine(head + ByteList(value.data), text::Utf8ToUtf16(head).size());
}

std::string RegRemoveValueLine(std::string_view name) { return ValueNameField(name) + "=-"; }

std::vector<std::string> RegFileHeaderLines(std::string_view machine_name) {
  return {std::string(kRegFileSignature), "",
          Cat({";This registry file was created by Keyloom (", kProductDomain, ")"}),
          Cat({";This undo file should be run on the [", machine_name, "] machine"})};
}

std::string PlainValueText(const reg::RawValue& value) {
  switch (reg::KindOfType(value.type)) {
    case reg::DataKind::kString:
    case reg::DataKind::kExpandString:
      return reg::StringOf(value.data);
    case reg::DataKind::kInteger:
      if (value.data.size() == 4) {
        return std::to_string(static_cast<std::int32_t>(reg::DwordOf(value.data)));
      }
      return ByteList(value.data);
    case reg::DataKind::kBinary:
    case reg::DataKind::kMultiString:
    case reg::DataKind::kInt64:
    case reg::DataKind::kResourceList:
    case reg::DataKind::kFullResourceDescriptor:
    case reg::DataKind::kResourceRequirementsList:
      return ByteList(value.data);
    case reg::DataKind::kNone:
    case reg::DataKind::kUnknown:
      return "";
  }
  return "";
}

std::string EncodeUtf16Le(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  std::string out;
  out.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

}  // namespace keyloom::files
