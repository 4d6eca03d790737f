#include "edit/value_text.h"

#include "registry/text.h"

namespace keyloom::edit {
namespace {

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != std::string_view::npos;
       at = text.find(from, start)) {
    out.append(text.substr(start, at - start));
    out.append(to);
    start = at + from.size();
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace

std::string ReadValueAsText(reg::TRegistry& reg, std::string_view name) {
  switch (reg.GetDataType(name)) {
    case reg::DataKind::kString:
    case reg::DataKind::kExpandString:
      return reg.ReadString(name);
    case reg::DataKind::kInteger:
      return std::to_string(reg.ReadInteger(name));
    case reg::DataKind::kInt64:
      return std::to_string(reg.ReadInt64(name));
    case reg::DataKind::kMultiString:
      return text::Utf16ToUtf8(text::BytesToUtf16(reg.ReadBinaryData(name)));
    default:
      return {};
  }
}

std::string MultiSzToLines(std::string_view text) {
  return ReplaceAll(text, std::string_view("\0", 1), "\r\n");
}

std::string LinesToMultiSz(std::string_view text) {
  return ReplaceAll(text, "\r\n", std::string_view("\0", 1));
}

std::string TerminatedMultiString(std::string text) {
  const std::size_t size = text.size();
  if (size >= 2 && text[size - 1] == '\0' && text[size - 2] == '\0') return text;
  text.append(!text.empty() && text.back() == '\0' ? 1 : 2, '\0');
  return text;
}

std::string_view WithoutTerminator(std::string_view text) {
  for (int i = 0; i < 2 && !text.empty() && text.back() == '\0'; ++i) text.remove_suffix(1);
  return text;
}

}  // namespace keyloom::edit
