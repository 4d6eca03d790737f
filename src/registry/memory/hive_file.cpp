#include "registry/memory/hive_file.h"

#include <algorithm>
#include <charconv>

#include "base/ascii.h"
#include "base/text.h"
#include "registry/memory/key_node.h"

namespace keyloom::reg::memory {
namespace {

constexpr std::string_view kHeader = "KEYLOOM-HIVE 1";
constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::size_t kFlushSize = 1 << 16;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;

void AppendHex(std::string* out, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    out->push_back(kHex[data[i] >> 4]);
    out->push_back(kHex[data[i] & 0xF]);
  }
}

void AppendName(std::string* out, std::u16string_view name) {
  for (char c : text::Utf16ToUtf8(name)) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x21 || byte == '%' || byte == 0x7F) {
      out->push_back('%');
      AppendHex(out, &byte, 1);
    } else {
      out->push_back(c);
    }
  }
}

std::optional<Bytes> ParseHex(std::string_view field) {
  if (field.size() % 2 != 0) return std::nullopt;
  Bytes out;
  out.reserve(field.size() / 2);
  for (std::size_t i = 0; i < field.size(); i += 2) {
    const int high = base::AsciiHexDigit(field[i]);
    const int low = base::AsciiHexDigit(field[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return out;
}

std::optional<std::u16string> ParseName(std::string_view field) {
  std::string utf8;
  utf8.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (static_cast<std::uint8_t>(c) < 0x21 || c == 0x7F) return std::nullopt;
    if (c != '%') {
      utf8.push_back(c);
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int high = base::AsciiHexDigit(field[i + 1]);
    const int low = base::AsciiHexDigit(field[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    utf8.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return text::Utf8ToUtf16(utf8);
}

// Splits `line` at single blanks into exactly `count` fields (the last one takes the rest).
bool SplitFields(std::string_view line, std::size_t count, std::vector<std::string_view>* out) {
  out->clear();
  for (std::size_t i = 0; i + 1 < count; ++i) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return false;
    out->push_back(line.substr(0, blank));
    line.remove_prefix(blank + 1);
  }
  out->push_back(line);
  return true;
}

// Whether the names (upper-cased in place) hold no repeats.
bool AllDistinct(std::vector<std::u16string>& names) {
  std::sort(names.begin(), names.end());
  return std::adjacent_find(names.begin(), names.end()) == names.end();
}

bool NamesAreDistinct(const HiveKey& key) {
  std::vector<std::u16string> names;
  names.reserve(key.subkeys.size());
  for (const HiveKey& sub : key.subkeys) names.push_back(Upcase(sub.name));
  if (!AllDistinct(names)) return false;
  names.clear();
  for (const HiveValue& value : key.values) names.push_back(Upcase(value.name));
  return AllDistinct(names);
}

}  // namespace

HiveWriter::HiveWriter(std::ostream& out) : out_(out) {
  buffer_.append(kHeader);
  buffer_.push_back('\n');
}

void HiveWriter::BeginKey(std::u16string_view name, const SdBytes* security) {
  buffer_.append("K ");
  AppendName(&buffer_, name);
  buffer_.push_back('\n');
  if (security != nullptr) {
    buffer_.append("S ");
    AppendHex(&buffer_, security->data(), security->size());
    buffer_.push_back('\n');
  }
  FlushIfLarge();
}

void HiveWriter::AddValue(std::u16string_view name, std::uint32_t type, const Bytes& data) {
  buffer_.append("V ");
  buffer_.append(std::to_string(type));
  buffer_.push_back(' ');
  AppendHex(&buffer_, data.data(), data.size());
  buffer_.push_back(' ');
  AppendName(&buffer_, name);
  buffer_.push_back('\n');
  FlushIfLarge();
}

void HiveWriter::EndKey() {
  buffer_.append("E\n");
  FlushIfLarge();
}

void HiveWriter::FlushIfLarge() {
  if (buffer_.size() < kFlushSize) return;
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
}

bool HiveWriter::Finish() {
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
  out_.flush();
  return static_cast<bool>(out_);
}

std::optional<HiveKey> ParseHive(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  if (lines.empty() || lines[0] != kHeader) return std::nullopt;

  HiveKey top;
  std::vector<HiveKey*> open;  // the keys begun and not yet ended, innermost last
  bool finished = false;
  std::vector<std::string_view> fields;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.empty()) continue;
    if (finished) return std::nullopt;
    const char kind = line[0];
    if (line.size() > 1 && line[1] != ' ') return std::nullopt;
    const std::string_view rest = line.size() > 2 ? line.substr(2) : std::string_view();
    if (kind == 'K') {
      auto name = ParseName(rest);
      if (!name || name->size() > kMaxKeyName) return std::nullopt;
      if (open.empty()) {
        top.name = std::move(*name);
        open.push_back(&top);
        continue;
      }
      if (name->empty() || name->find(u'\\') != std::u16string::npos) return std::nullopt;
      if (open.size() >= kMaxHiveDepth) return std::nullopt;
      HiveKey& parent = *open.back();
      parent.subkeys.push_back(HiveKey{std::move(*name), std::nullopt, {}, {}});
      open.push_back(&parent.subkeys.back());
    } else if (kind == 'S') {
      if (open.empty() || open.back()->security || !open.back()->values.empty() ||
          !open.back()->subkeys.empty()) {
        return std::nullopt;
      }
      const auto bytes = ParseHex(rest);
      if (!bytes) return std::nullopt;
      open.back()->security = SecurityDescriptor::Parse(*bytes);
      if (!open.back()->security) return std::nullopt;
    } else if (kind == 'V') {
      if (open.empty() || !open.back()->subkeys.empty()) return std::nullopt;
      if (!SplitFields(rest, 3, &fields)) return std::nullopt;
      std::uint32_t type = 0;
      const auto [end, error] =
          std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), type);
      if (fields[0].empty() || error != std::errc() || end != fields[0].data() + fields[0].size()) {
        return std::nullopt;
      }
      auto data = ParseHex(fields[1]);
      auto name = ParseName(fields[2]);
      if (!data || !name || name->size() > kMaxValueName) return std::nullopt;
      open.back()->values.push_back(HiveValue{std::move(*name), type, std::move(*data)});
    } else if (kind == 'E' && line.size() == 1) {
      if (open.empty()) return std::nullopt;
      if (!NamesAreDistinct(*open.back())) return std::nullopt;
      open.pop_back();
      finished = open.empty();
    } else {
      return std::nullopt;
    }
  }
  if (!finished) return std::nullopt;
  return top;
}

}  // namespace keyloom::reg::memory
