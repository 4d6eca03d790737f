#include "shell/after_replace.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"
#include "change/integer_text.h"
#include "engine/hit_details.h"
#include "engine/key_list_entry.h"
#include "engine/match.h"

namespace keyloom::shell {
namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // ends a preview cut short
constexpr std::string_view kElementSeparator = " | ";   // between a multi-string's elements
constexpr std::string_view kRefused = "refused: ";

// A row's data without the ellipsis of a cut preview, and whether it was cut.
struct KeptData {
  std::string_view text;
  bool cut = false;
};
KeptData Kept(std::string_view preview) {
  if (preview.size() < kEllipsis.size() ||
      preview.substr(preview.size() - kEllipsis.size()) != kEllipsis) {
    return {preview, false};
  }
  return {preview.substr(0, preview.size() - kEllipsis.size()), true};
}

// The data's new form as the Data column shows it, marked as cut when what it was made from was.
std::string Shown(const reg::RawValue& value, bool cut) {
  std::string text = engine::DataPreview(value);
  if (cut && Kept(text).text.size() == text.size()) text.append(kEllipsis);
  return text;
}

// A multi-string's elements as the Data column joins them, back in its raw form: each element
// followed by a NUL.
std::string MultiStringRaw(std::string_view shown) {
  std::string raw;
  if (shown.empty()) return raw;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(shown.find(kElementSeparator, start), shown.size());
    raw.append(shown.substr(start, end - start)).push_back('\0');
    if (end == shown.size()) return raw;
    start = end + kElementSeparator.size();
  }
}

reg::Bytes UnitsData(std::string_view text) { return text::Utf16ToBytes(text::Utf8ToUtf16(text)); }

// A number's data from its Data cell ("0x0000001a (26)"), or nullopt.
std::optional<reg::Bytes> NumberData(std::string_view shown, bool qword) {
  if (shown.substr(0, 2) != "0x") return std::nullopt;
  std::uint64_t number = 0;
  const char* end = shown.data() + shown.size();
  const auto parsed = std::from_chars(shown.data() + 2, end, number, 16);
  if (parsed.ec != std::errc()) return std::nullopt;
  if (qword) return reg::LittleEndian(number);
  return reg::LittleEndian(static_cast<std::uint32_t>(number));
}

// Any other kind's data from its Data cell: hexadecimal bytes.
reg::Bytes ByteData(std::string_view shown) {
  reg::Bytes data;
  for (std::size_t i = 0; i + 2 <= shown.size(); i += 3) {
    std::uint8_t byte = 0;
    if (std::from_chars(shown.data() + i, shown.data() + i + 2, byte, 16).ec != std::errc()) break;
    data.push_back(byte);
  }
  return data;
}

std::uint32_t TypeNamed(std::string_view name) {
  for (std::uint32_t type = 0; type <= reg::kRegQword; ++type) {
    if (engine::TypeName(type) == name) return type;
  }
  return reg::kRegNone;
}

std::unique_ptr<const engine::Pattern> MakePattern(const ReplaceInputs& inputs,
                                                   std::string* error) {
  if (inputs.mode == engine::MatchMode::kText) return nullptr;
  return engine::Pattern::Make(inputs.mode, inputs.find, inputs.replace, inputs.case_sensitive,
                               error);
}

}  // namespace

AfterReplace::AfterReplace(ReplaceInputs inputs)
    : inputs_(std::move(inputs)),
      error_(),
      pattern_(MakePattern(inputs_, &error_)),
      rule_(inputs_.find, inputs_.replace, inputs_.case_sensitive, pattern_.get()) {}

std::string AfterReplace::CellText(const KeyListRows& rows, std::size_t row) const {
  const auto fields = engine::SplitKeyListEntry(rows[row]);
  const RowDetails details = rows.Details(row);
  if (!fields || !details.present) return {};
  if (!error_.empty()) return std::string(kRefused) + error_;
  const bool hex = inputs_.mode == engine::MatchMode::kHex;
  try {
    switch (details.found_in) {
      case engine::FoundIn::kKeyName: {
        const std::string_view name = fields->path.substr(fields->path.rfind('\\') + 1);
        return hex ? std::string(name) : rule_.Replace(name);
      }
      case engine::FoundIn::kValueName:
        return hex ? std::string(fields->value_name) : rule_.Replace(fields->value_name);
      case engine::FoundIn::kData:
        return hex ? HexText(details) : DataText(details);
    }
  } catch (const std::exception& error) {
    return std::string(kRefused) + error.what();
  }
  return {};
}

std::string AfterReplace::DataText(const RowDetails& details) const {
  const std::uint32_t type = TypeNamed(details.type);
  const KeptData kept = Kept(details.data);
  switch (type) {
    case reg::kRegSz:
    case reg::kRegExpandSz:
      return Shown({type, reg::StringData(rule_.Replace(kept.text))}, kept.cut);
    case reg::kRegMultiSz:
      return Shown({type, UnitsData(rule_.ReplaceMultiString(MultiStringRaw(kept.text)))},
                   kept.cut);
    case reg::kRegDword:
    case reg::kRegQword:
      return NumberText(details, type == reg::kRegQword);
    default:
      return std::string(details.data);  // a run replaces nothing in other kinds
  }
}

// The number the run writes: the text it was found by, replaced and read as an integer.
std::string AfterReplace::NumberText(const RowDetails& details, bool qword) const {
  const std::uint32_t type = qword ? reg::kRegQword : reg::kRegDword;
  const std::optional<reg::Bytes> data = NumberData(details.data, qword);
  if (!data) return std::string(details.data);
  const engine::NumberTexts number(type, *data);
  const std::string* found = rule_.NumberFound(number, inputs_.whole_numbers);
  if (found == nullptr) return std::string(details.data);  // the run leaves it as it is
  const std::string replaced = rule_.Replace(*found);
  const std::optional<std::int64_t> value = change::ParseIntegerText(replaced);
  if (!value) return std::string(kRefused) + change::InvalidIntegerMessage(replaced);
  if (qword) return Shown({type, reg::LittleEndian(*value)}, false);
  return Shown(
      {type, reg::LittleEndian(static_cast<std::uint32_t>(static_cast<std::uint64_t>(*value)))},
      false);
}

// A Hex run replaces the bytes in the data of any kind: the data as the row keeps it, in bytes.
std::string AfterReplace::HexText(const RowDetails& details) const {
  const std::uint32_t type = TypeNamed(details.type);
  const KeptData kept = Kept(details.data);
  reg::Bytes data;
  switch (type) {
    case reg::kRegSz:
    case reg::kRegExpandSz:
      data = reg::StringData(kept.text);
      break;
    case reg::kRegMultiSz:
      data = UnitsData(MultiStringRaw(kept.text) + std::string(1, '\0'));  // and the list's end
      break;
    case reg::kRegDword:
    case reg::kRegQword: {
      const auto number = NumberData(details.data, type == reg::kRegQword);
      if (!number) return std::string(details.data);
      data = *number;
      break;
    }
    default:
      if (kept.text != "(zero-length binary value)") data = ByteData(kept.text);
      break;
  }
  return Shown({type, pattern_->ReplaceBytes(data)}, kept.cut);
}

}  // namespace keyloom::shell
