#include "change/value_text.h"

#include <algorithm>

#include "base/text.h"

namespace keyloom::change {
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

std::string WithoutEmptyLines(std::string_view text, std::size_t* removed) {
  constexpr std::string_view kLineEnd = "\r\n";
  std::string kept;
  kept.reserve(text.size());
  std::size_t empty = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(kLineEnd, start), text.size());
    const std::string_view line = text.substr(start, end - start);
    if (line.empty()) {
      ++empty;
    } else {
      if (!kept.empty()) kept += kLineEnd;
      kept += line;
    }
    start = end + kLineEnd.size();
  }
  if (removed != nullptr) *removed = empty;
  return kept;
}

std::string EmptyLinesRemovedText(std::size_t removed) {
  const std::string count = std::to_string(removed);
  return "A multi-string value cannot hold empty strings: " +
         (removed == 1 ? "1 empty line was removed." : count + " empty lines were removed.");
}

std::string LinesToMultiSz(std::string_view text) {
  return ReplaceAll(WithoutEmptyLines(text), "\r\n", std::string_view("\0", 1));
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

}  // namespace keyloom::change
