#include "shell/machine_list.h"

#include <algorithm>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"

namespace keyloom::shell {
namespace {

// A character that a computer's name never holds and a folder's name must not.
bool ForbiddenInName(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
         std::string_view("\\/:*?\"<>| ").find(c) != std::string_view::npos;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text::IsBlank(text.front()) || text.front() == '\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text::IsBlank(text.back()) || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return text::CompareNamesIgnoringCase(text::Utf8ToUtf16(a), text::Utf8ToUtf16(b)) == 0;
}

}  // namespace

MachineList ParseMachineList(std::string_view text) {
  MachineList list;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::vector<std::string_view> lines = text::SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view name = Trimmed(lines[i]);
    if (name.empty() || name.front() == '#') continue;
    while (name.starts_with("\\")) name.remove_prefix(1);
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    if (!text::IsValidUtf8(name, false)) {
      list.error = where + "the name is not UTF-8 text";
    } else if (name.empty() || name == "." || name == "..") {
      list.error = where + "no computer's name";
    } else if (std::any_of(name.begin(), name.end(), ForbiddenInName)) {
      list.error = where + "\"" + std::string(name) +
                   "\" is not a computer's name (blanks and \\ / : * ? \" < > | are not allowed)";
    } else if (name.size() > 255) {
      list.error = where + "the name is longer than 255 characters";
    }
    if (!list.error.empty()) {
      list.names.clear();
      return list;
    }
    const bool seen = std::any_of(list.names.begin(), list.names.end(),
                                  [name](const std::string& n) { return SameName(n, name); });
    if (!seen) list.names.emplace_back(name);
  }
  if (list.names.empty()) list.error = "the list names no computer";
  return list;
}

MachineList ReadMachineList(const std::string& file) {
  std::string bytes;
  if (!base::ReadWholeFile(base::PathFromUtf8(file), &bytes)) {
    MachineList list;
    list.error = "cannot read " + file + " [" + base::LastFileErrorText() + "]";
    return list;
  }
  MachineList list = ParseMachineList(bytes);
  if (!list.error.empty()) list.error = file + " " + list.error;
  return list;
}

std::string MachineListText(const std::vector<std::string>& names, std::string_view heading) {
  std::string out;
  if (!heading.empty()) out += text::Cat({"# ", heading, "\r\n"});
  for (const std::string& name : names) out += text::Cat({name, "\r\n"});
  return out;
}

}  // namespace keyloom::shell
