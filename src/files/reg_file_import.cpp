#include "files/reg_file_import.h"

#include <cstdint>
#include <optional>

#include "base/ascii.h"
#include "base/file_io.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "registry/registry.h"

namespace keyloom::files {

using text::Cat;

namespace {

constexpr std::string_view kRegedit4 = "REGEDIT4";

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && text::IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && text::IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(s[i]) != Upper(prefix[i])) return false;
  }
  return true;
}

// 1 to `max_digits` hexadecimal digits and nothing else.
std::optional<std::uint32_t> HexNumber(std::string_view s, std::size_t max_digits) {
  if (s.empty() || s.size() > max_digits) return std::nullopt;
  std::uint32_t n = 0;
  for (const char c : s) {
    const int d = base::AsciiHexDigit(c);
    if (d < 0) return std::nullopt;
    n = (n << 4) | static_cast<std::uint32_t>(d);
  }
  return n;
}

// The file's text as UTF-8.
std::string DecodeFile(std::string_view bytes) {
  if (bytes.substr(0, 2) == kUtf16Bom) {
    return text::Utf16ToUtf8(text::BytesToUtf16(reg::Bytes(bytes.begin() + 2, bytes.end())));
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  if (StartsWithIgnoringCase(bytes, kRegedit4) || !text::IsValidUtf8(bytes, false)) {
    return text::Windows1252ToUtf8(bytes);
  }
  return std::string(bytes);
}

// Thrown inside the parser with the reason a line is malformed; `cut` when the file ends inside
// the line's record.
struct Malformed {
  std::string reason;
  bool cut = false;
};

// A registry name cannot hold a control character (a tab aside): one in a key path or a value's
// name is damage, and taken as it stands the system would read a shorter name than the file's.
void RefuseControlCodes(std::string_view name, std::string_view what) {
  for (const char c : name) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 || c == '\t') continue;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const char hex[] = {'0', 'x', kDigits[code >> 4], kDigits[code & 0xF], '\0'};
    throw Malformed{Cat({"a control character (", hex, ") in ", what})};
  }
}

// A quoted, escaped text at the start of `s` (which begins with '"'); `s` moves past it.
// With `name_of`, a control character written as such (not escaped) is refused as damage to
// that name.
std::string Unquote(std::string_view* s, std::string_view name_of = {}) {
  std::string out;
  std::size_t i = 1;
  for (; i < s->size(); ++i) {
    const char c = (*s)[i];
    if (c == '"') {
      s->remove_prefix(i + 1);
      return out;
    }
    if (c != '\\') {
      if (!name_of.empty()) RefuseControlCodes(std::string_view(&c, 1), name_of);
      out += c;
      continue;
    }
    if (++i == s->size()) break;
    switch ((*s)[i]) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        throw Malformed{Cat({"unknown escape \\", s->substr(i, 1)})};
    }
  }
  throw Malformed{"a quoted text without its closing double quote"};
}

class Parser {
 public:
  explicit Parser(std::string_view bytes)
      : text_(DecodeFile(bytes)),
        lines_(text::SplitLines(text_)),
        // Every line a registry editor writes ends with a line end, and UTF-16 has whole units.
        cut_(!text_.empty() && text_.back() != '\n' && text_.back() != '\r'),
        odd_units_(bytes.substr(0, 2) == kUtf16Bom && bytes.size() % 2 != 0) {}

  RegFileContents Run() {
    RegFileContents out;
    try {
      Header();
      for (; next_ < lines_.size();) Line(&out);
      if (odd_units_) throw Malformed{"half a character at the end", true};
      Finish(&out);
    } catch (const Malformed& bad) {
      // A line the file ends in without its line end, that is not a whole record, was cut.
      out.cut = bad.cut || OnCutLine();
      out.error_line = number_;
      out.error = out.cut
                      ? Cat({"Cut line ", std::to_string(number_),
                             " [the file ends in the middle of this record]"})
                      : Cat({"Malformed line ", std::to_string(number_), " [", bad.reason, "]"});
    }
    return out;
  }

 private:
  std::string_view Take() {
    number_ = next_ + 1;
    return lines_[next_++];
  }

  // The line just taken is the file's last one, and it has no line end.
  bool OnCutLine() const { return cut_ && number_ == lines_.size(); }

  void Header() {
    if (lines_.empty()) {
      number_ = 1;
      throw Malformed{"the file is empty"};
    }
    const auto first = TrimRight(Take());
    if (first == kRegFileSignature) return;
    if (first == kRegedit4) {
      ansi_ = true;
      return;
    }
    throw Malformed{"not a registry editor file"};
  }

  void Finish(RegFileContents* out) {
    if (current_) out->records.push_back(std::move(*current_));
    current_.reset();
  }

  void Line(RegFileContents* out) {
    const auto line = TrimRight(TrimLeft(Take()));
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
      Finish(out);
      current_ = KeyLine(line);
      return;
    }
    if (line.front() == '@' || line.front() == '"') {
      if (!current_) throw Malformed{"a value line before the first key"};
      auto entry = ValueLine(line);
      if (!current_->remove_key) current_->values.push_back(std::move(entry));
      return;
    }
    throw Malformed{"neither a key, a value nor a comment"};
  }

  RegRecord KeyLine(std::string_view line) {
    if (line.back() != ']') throw Malformed{"a key name without its closing bracket"};
    auto name = line.substr(1, line.size() - 2);
    RegRecord record;
    record.line = number_;
    if (!name.empty() && name.front() == '-') {
      record.remove_key = true;
      name.remove_prefix(1);
    }
    RefuseControlCodes(name, "the key's name");
    while (!name.empty() && name.back() == '\\') name.remove_suffix(1);
    const auto slash = name.find('\\');
    const auto root_name = name.substr(0, slash);
    for (const auto& root : reg::RootKeys()) {
      if (root_name.size() == std::string_view(root.name).size() &&
          StartsWithIgnoringCase(root.name, root_name)) {
        record.root = &root;
      }
    }
    if (record.root == nullptr) throw Malformed{Cat({"unknown root key ", root_name})};
    if (slash != std::string_view::npos) record.path = std::string(name.substr(slash + 1));
    if (record.remove_key && record.path.empty()) throw Malformed{"a root key cannot be removed"};
    return record;
  }

  RegValueEntry ValueLine(std::string_view line) {
    RegValueEntry entry;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else {
      entry.name = Unquote(&line, "the value's name");
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != '=') throw Malformed{"no \"=\" after the value's name"};
    line = TrimLeft(line.substr(1));
    if (line == "-") {
      entry.remove = true;
    } else if (!line.empty() && line.front() == '"') {
      const std::string data = Unquote(&line);
      if (!line.empty()) throw Malformed{"text after the string's closing double quote"};
      entry.value.type = reg::kRegSz;
      entry.value.data = reg::StringData(data);
    } else if (StartsWithIgnoringCase(line, "dword:")) {
      const auto digits = line.substr(6);
      const auto number = HexNumber(digits, 8);
      if (!number) throw Malformed{"a dword needs one to eight hexadecimal digits"};
      // Editors write all eight digits: fewer at the end of a cut file are its first ones.
      if (digits.size() < 8 && OnCutLine()) throw Malformed{"a dword cut short", true};
      entry.value.type = reg::kRegDword;
      entry.value.data = reg::LittleEndian(*number);
    } else if (StartsWithIgnoringCase(line, "hex:")) {
      entry.value.type = reg::kRegBinary;
      entry.value.data = ByteList(line.substr(4));
    } else if (StartsWithIgnoringCase(line, "hex(")) {
      const auto close = line.find("):");
      const auto type =
          close == std::string_view::npos ? std::nullopt : HexNumber(line.substr(4, close - 4), 8);
      if (!type) throw Malformed{"a hex(type) without a hexadecimal type"};
      entry.value.type = *type;
      entry.value.data = ByteList(line.substr(close + 2));
      if (ansi_ && (*type == reg::kRegExpandSz || *type == reg::kRegMultiSz)) {
        const std::string bytes(entry.value.data.begin(), entry.value.data.end());
        entry.value.data = text::Utf16ToBytes(text::Windows1252ToUtf16(bytes));
      }
    } else {
      throw Malformed{"the value's data has no known form"};
    }
    return entry;
  }

  // A byte list, with its continuation lines.
  reg::Bytes ByteList(std::string_view rest) {
    reg::Bytes bytes;
    std::string list;
    for (;;) {
      rest = TrimRight(rest);
      if (rest.empty() || rest.back() != '\\') {
        list += rest;
        break;
      }
      list += rest.substr(0, rest.size() - 1);
      if (next_ == lines_.size()) throw Malformed{"a continued byte list without a next line"};
      rest = TrimLeft(Take());
    }
    // A list that a cut file ends in may lack bytes after its last comma or digit.
    if (OnCutLine()) {
      const auto tail = TrimRight(std::string_view(list));
      const auto comma = tail.rfind(',');
      const auto last = comma == std::string_view::npos ? tail : tail.substr(comma + 1);
      if (tail.empty() || TrimLeft(last).size() < 2) throw Malformed{"a byte list cut short", true};
    }
    std::string_view items = list;
    while (!items.empty()) {
      const auto comma = items.find(',');
      const auto item = TrimRight(TrimLeft(items.substr(0, comma)));
      const auto byte = HexNumber(item, 2);
      if (!byte) throw Malformed{Cat({"not a byte: ", item.empty() ? "(nothing)" : item})};
      bytes.push_back(static_cast<std::uint8_t>(*byte));
      if (comma == std::string_view::npos) break;
      items.remove_prefix(comma + 1);
      if (TrimLeft(items).empty()) break;  // a trailing comma
    }
    return bytes;
  }

  std::string text_;
  std::vector<std::string_view> lines_;
  bool cut_ = false;
  bool odd_units_ = false;
  std::size_t next_ = 0;
  std::size_t number_ = 0;
  bool ansi_ = false;
  std::optional<RegRecord> current_;
};

std::string ValueLabel(std::string_view name) {
  return std::string(name.empty() ? reg::kDefaultValueName : name);
}

// The highest key of `path` (below the open root) that does not exist; "" when the key does.
std::string HighestMissingKey(reg::TRegistry& registry, const std::string& path) {
  for (std::size_t start = 0; !path.empty();) {
    const auto end = path.find('\\', start);
    const std::string prefix = path.substr(0, end);
    if (!registry.KeyExists(Cat({"\\", prefix}))) return prefix;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "";
}

// Sets or removes one value of the open key; "" or why not.
std::string Apply(reg::TRegistry& registry, const std::string& name,
                  const std::optional<reg::RawValue>& value) {
  if (!value) {
    if (!registry.ValueExists(name) || registry.DeleteValue(name)) return "";
    return registry.LastErrorText();
  }
  try {
    registry.WriteRaw(name, *value);
  } catch (const reg::ERegistryException& e) {
    return e.what();
  }
  return "";
}

// Merges one record whole or not at all: when one of its values cannot be written, the values
// written before it get their former state back and a key the record created goes again. False
// when anything of it failed, which `errors` then tells.
bool MergeRecord(reg::RegApi& api, const reg::Target& target, const RegRecord& record,
                 std::vector<std::string>* errors) {
  reg::TRegistry registry(api);
  const auto fail = [&](std::string_view what) {
    errors->push_back(
        Cat({"Unable to ", what, " [", record.KeyName(), "] [", registry.LastErrorText(), "]"}));
    return false;
  };
  registry.SetRootKey(record.root->handle);
  registry.SetView(target.view);
  if (!target.machine.empty() && !registry.RegistryConnect(target.machine)) {
    return fail(Cat({"connect to ", target.machine, " for"}));
  }
  const std::string path = Cat({"\\", record.path});
  if (record.remove_key) {
    return !registry.KeyExists(path) || registry.DeleteKey(path) || fail("delete key");
  }
  const std::string created = HighestMissingKey(registry, record.path);
  try {
    if (!record.path.empty()) registry.CreateKey(path);
  } catch (const reg::ERegistryException&) {
    return fail("create key");
  }
  registry.SetAccess(reg::access::kQueryValue | reg::access::kSetValue);
  if (!record.path.empty() && !registry.OpenKey(path)) return fail("open key");
  // The state of every value the record names, before the first is written.
  std::vector<std::optional<reg::RawValue>> before;
  for (const auto& entry : record.values) {
    before.emplace_back();
    if (!registry.ValueExists(entry.name)) continue;
    try {
      before.back() = registry.ReadRaw(entry.name);
    } catch (const reg::ERegistryException&) {
      return fail(Cat({"read value ", ValueLabel(entry.name), " of"}));
    }
  }
  for (std::size_t i = 0; i < record.values.size(); ++i) {
    const auto& entry = record.values[i];
    const std::string reason =
        Apply(registry, entry.name, entry.remove ? std::nullopt : std::optional(entry.value));
    if (reason.empty()) continue;
    errors->push_back(Cat({"Unable to ", entry.remove ? "delete" : "write", " value [",
                           record.KeyName(), "\\", ValueLabel(entry.name), "] [", reason, "]"}));
    bool restored = true;
    for (std::size_t j = i; j-- > 0;) {
      restored = Apply(registry, record.values[j].name, before[j]).empty() && restored;
    }
    registry.CloseKey();
    if (!created.empty()) restored = registry.DeleteKey(Cat({"\\", created})) && restored;
    errors->push_back(restored ? Cat({"Nothing of the record [", record.KeyName(), "] was merged"})
                               : Cat({"Unable to take back the rest of the record [",
                                      record.KeyName(), "] [", registry.LastErrorText(), "]"}));
    return false;
  }
  return true;
}

}  // namespace

std::string RegRecord::KeyName() const {
  if (path.empty()) return root->name;
  return Cat({root->name, "\\", path});
}

RegFileContents ParseRegFile(std::string_view bytes) { return Parser(bytes).Run(); }

MergeOutcome MergeRegRecords(reg::RegApi& api, const reg::Target& target,
                             const std::vector<RegRecord>& records) {
  MergeOutcome outcome;
  for (const auto& record : records) {
    if (MergeRecord(api, target, record, &outcome.errors)) ++outcome.records;
  }
  return outcome;
}

MergeOutcome MergeRegFile(reg::RegApi& api, const reg::Target& target, const std::string& file) {
  std::string bytes;
  if (!base::ReadWholeFile(base::PathFromUtf8(file), &bytes)) {
    MergeOutcome outcome;
    outcome.errors.push_back(
        Cat({"Unable to read [", file, "] [", base::LastFileErrorText(), "]"}));
    return outcome;
  }
  const auto contents = ParseRegFile(bytes);
  auto outcome = MergeRegRecords(api, target, contents.records);
  if (!contents.error.empty()) outcome.errors.push_back(contents.error);
  return outcome;
}

}  // namespace keyloom::files
