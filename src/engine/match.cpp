#include "engine/match.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "registry/registry.h"

namespace keyloom::engine {
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char16_t UpperAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool ContainsFoldingAscii(std::string_view text, std::string_view find) {
  if (find.size() > text.size()) return false;
  const char first = UpperAscii(find.front());
  const std::size_t last_start = text.size() - find.size();
  for (std::size_t i = 0; i <= last_start; ++i) {
    if (UpperAscii(text[i]) != first) continue;
    std::size_t k = 1;
    while (k < find.size() && UpperAscii(text[i + k]) == UpperAscii(find[k])) ++k;
    if (k == find.size()) return true;
  }
  return false;
}

bool IsNumericKind(reg::DataKind kind) {
  return kind == reg::DataKind::kInteger || kind == reg::DataKind::kBinary ||
         kind == reg::DataKind::kInt64;
}

// Replacement on UTF-16 units, folding each unit through the registry's upper-case mapping.
std::u16string ReplaceUnits(std::u16string_view source, std::u16string_view find,
                            std::u16string_view replace, bool case_sensitive) {
  std::u16string out;
  out.reserve(source.size());
  std::size_t i = 0;
  while (i < source.size()) {
    bool hit = i + find.size() <= source.size();
    for (std::size_t k = 0; hit && k < find.size(); ++k) {
      const char16_t a = source[i + k], b = find[k];
      hit = case_sensitive ? a == b : text::UpcaseUnit(a) == text::UpcaseUnit(b);
    }
    if (hit) {
      out += replace;
      i += find.size();
    } else {
      out += source[i++];
    }
  }
  return out;
}

// The UTF-16 units of little-endian bytes (an odd last byte dropped).
std::u16string UnitsOf(std::span<const std::uint8_t> data) {
  std::u16string units(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return units;
}

// Whether a double holds `value` exactly: its significant bits, from the highest set one to the
// lowest, fit the 53 of a double. Asked of the bits, not by a round trip through a double, which
// the x87 unit of a 32-bit build answers in its wider registers.
bool DoubleHoldsExactly(std::int64_t value) {
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  if (magnitude == 0) return true;
  magnitude >>= std::countr_zero(magnitude);
  return magnitude < (std::uint64_t{1} << 53);
}

}  // namespace

FindUnits::FindUnits(std::string_view find, bool case_sensitive)
    : find_(find), units_(text::Utf8ToUtf16(find)), case_sensitive_(case_sensitive) {
  // Only a find text that is the exact form of its units matches as they do.
  usable_ = text::Utf16ToUtf8(units_) == find_;
  plain_ = !find_.empty() && find_.find('\0') == std::string::npos;
  may_be_number_ = !find_.empty() && find_.find_first_not_of("0123456789-.E") == std::string::npos;
  if (!case_sensitive_) {
    for (char16_t& unit : units_) unit = UpperAscii(unit);
  }
  if (!units_.empty()) {
    const char16_t first = units_.front();
    first_mask_ = !case_sensitive_ && first >= u'A' && first <= u'Z' ? 0x20 : 0;
    first_wanted_ = static_cast<char16_t>(first | first_mask_);
  }
}

std::size_t FindUnits::Find(std::u16string_view text) const {
  const std::size_t n = units_.size();
  if (n == 0 || n > text.size()) return std::u16string_view::npos;
  // A match must not split a surrogate pair of the text: in UTF-8 a pair is one character, which
  // a lone surrogate at either end of the find text does not match.
  const bool check_start = IsLowSurrogate(units_.front());
  const bool check_end = IsHighSurrogate(units_.back());
  const std::size_t last_start = text.size() - n;
  for (std::size_t i = NextStart(text, 0, last_start); i != std::u16string_view::npos;
       i = NextStart(text, i + 1, last_start)) {
    std::size_t k = 1;
    if (case_sensitive_) {
      while (k < n && text[i + k] == units_[k]) ++k;
    } else {
      while (k < n && UpperAscii(text[i + k]) == units_[k]) ++k;
    }
    if (k != n) continue;
    if (check_start && i > 0 && IsHighSurrogate(text[i - 1])) continue;
    if (check_end && i + n < text.size() && IsLowSurrogate(text[i + n])) continue;
    return i;
  }
  return std::u16string_view::npos;
}

std::size_t FindUnits::NextStart(std::u16string_view text, std::size_t i,
                                 std::size_t last) const {
  // Four units at a time while none of them can begin a match: each 16-bit lane of the word is
  // folded and compared with the first unit, and a lane that equals it is a zero lane, which the
  // borrow of the subtraction finds (never in a word without one).
  constexpr std::uint64_t kLanes = 0x0001000100010001;
  const std::uint64_t mask = std::uint64_t{first_mask_} * kLanes;
  const std::uint64_t wanted = std::uint64_t{first_wanted_} * kLanes;
  for (; i + 3 <= last; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    const std::uint64_t lanes = (word | mask) ^ wanted;
    if (((lanes - kLanes) & ~lanes & (kLanes << 15)) != 0) break;
  }
  for (; i <= last; ++i) {
    if ((text[i] | first_mask_) == first_wanted_) return i;
  }
  return std::u16string_view::npos;
}

bool FindUnits::In(std::u16string_view text) const {
  if (text.empty()) return false;
  return units_.empty() || Find(text) != std::u16string_view::npos;
}

bool MatchData(const FindUnits& find, const reg::ValueBuffer& value, const MatchOptions& options) {
  const reg::DataKind kind = reg::KindOfType(value.type());
  switch (kind) {
    case reg::DataKind::kString:
    case reg::DataKind::kExpandString: {
      // The text ends at the first NUL. A find text without NUL cannot reach across it, so its
      // first match in all the units counts when no NUL comes before it: the units are scanned
      // once, and the NUL looked for only in front of a match.
      const std::u16string_view units = value.data_units();
      if (!find.plain()) return find.In(units.substr(0, units.find(u'\0')));
      const std::size_t at = find.Find(units);
      return at != std::u16string_view::npos &&
             units.substr(0, at).find(u'\0') == std::u16string_view::npos;
    }
    case reg::DataKind::kMultiString:
      return find.In(value.data_units());
    case reg::DataKind::kInteger:
    case reg::DataKind::kInt64:
      // With whole numbers only a number's exact text matches, which no other text can be.
      if (options.whole_numbers && !find.may_be_number()) return false;
      return MatchNumber(find.text(), NumberTexts(value.type(), value.data()), options) != nullptr;
    default:
      return false;  // no text form: nothing matches
  }
}

bool MatchName(const FindUnits& find, std::u16string_view value_name) {
  static const std::u16string kDefaultName = text::Utf8ToUtf16(reg::kDefaultValueName);
  return find.In(value_name.empty() ? std::u16string_view(kDefaultName) : value_name);
}

bool MatchText(std::string_view find, std::string_view text, reg::DataKind kind, bool data,
               const MatchOptions& options) {
  if (text.empty()) return false;
  if (options.whole_numbers && data && IsNumericKind(kind)) return text == find;
  if (find.empty()) return true;
  if (options.case_sensitive) return text.find(find) != std::string_view::npos;
  return ContainsFoldingAscii(text, find);
}

std::string ReplaceText(std::string_view source, std::string_view find, std::string_view replace,
                        bool case_sensitive) {
  if (find.empty()) return std::string(source);
  if (case_sensitive) {
    // Byte-wise is exact for UTF-8: a character's bytes never start inside another character.
    std::string out;
    out.reserve(source.size());
    std::size_t i = 0;
    for (std::size_t at; (at = source.find(find, i)) != std::string_view::npos;
         i = at + find.size()) {
      out.append(source, i, at - i);
      out += replace;
    }
    out.append(source.substr(i));
    return out;
  }
  return text::Utf16ToUtf8(ReplaceUnits(text::Utf8ToUtf16(source), text::Utf8ToUtf16(find),
                                        text::Utf8ToUtf16(replace), false));
}

std::string Int64Text(std::int64_t value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", static_cast<double>(value));
  std::string text = buffer;
  // "1.23456789012346E+18" reads "1.23456789012346E18": no plus sign, no leading exponent zeros.
  const auto e = text.find('E');
  if (e != std::string::npos) {
    std::string exponent = text.substr(e + 1);
    std::string sign;
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
      if (exponent[0] == '-') sign = "-";
      exponent.erase(0, 1);
    }
    while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
    text = text.substr(0, e + 1) + sign + exponent;
  }
  return text;
}

std::string ValueText(const reg::RawValue& value) { return ValueText(value.type, value.data); }

std::string ValueText(std::uint32_t type, std::span<const std::uint8_t> data) {
  switch (reg::KindOfType(type)) {
    case reg::DataKind::kString:
    case reg::DataKind::kExpandString: {
      const std::u16string units = UnitsOf(data);
      return text::Utf16ToUtf8(std::u16string_view(units).substr(0, units.find(u'\0')));
    }
    case reg::DataKind::kInteger:
    case reg::DataKind::kInt64: {
      const NumberTexts number(type, data);
      return number.texts().empty() ? std::string() : number.texts().front();
    }
    case reg::DataKind::kMultiString:
      return text::Utf16ToUtf8(UnitsOf(data));
    default:
      return {};
  }
}

NumberTexts::NumberTexts(std::uint32_t type, std::span<const std::uint8_t> data) {
  const reg::DataKind kind = reg::KindOfType(type);
  if (kind == reg::DataKind::kInteger && data.size() == 4) {
    const std::uint32_t bits = reg::DwordOf(data);
    const auto value = static_cast<std::int32_t>(bits);
    Add(std::to_string(value));
    if (value < 0) Add(std::to_string(bits));
  } else if (kind == reg::DataKind::kInt64 && data.size() == 8) {
    const std::uint64_t bits = reg::QwordOf(data);
    const auto value = static_cast<std::int64_t>(bits);
    Add(std::to_string(value));
    if (value < 0) Add(std::to_string(bits));
    // Up to 15 digits the general format is the decimal text.
    constexpr std::int64_t kFifteenDigits = 1'000'000'000'000'000;
    if ((value >= kFifteenDigits || value <= -kFifteenDigits) && DoubleHoldsExactly(value)) {
      std::string general = Int64Text(value);
      if (general != texts_[0]) Add(std::move(general));
    }
  }
}

void NumberTexts::Add(std::string text) { texts_[count_++] = std::move(text); }

const std::string* MatchNumber(std::string_view find, const NumberTexts& number,
                               const MatchOptions& options) {
  for (const std::string& text : number.texts()) {
    if (MatchText(find, text, reg::DataKind::kInt64, true, options)) return &text;
  }
  return nullptr;
}

bool MatchValue(std::string_view find, const reg::RawValue& value, const MatchOptions& options) {
  const reg::DataKind kind = reg::KindOfType(value.type);
  if (kind == reg::DataKind::kInteger || kind == reg::DataKind::kInt64) {
    return MatchNumber(find, NumberTexts(value.type, value.data), options) != nullptr;
  }
  return MatchText(find, ValueText(value), kind, true, options);
}

std::string ReplaceInMultiString(std::string_view raw, std::string_view find,
                                 std::string_view replace, bool case_sensitive) {
  return ReplaceInMultiString(raw, [&](std::string_view element) {
    return ReplaceText(element, find, replace, case_sensitive);
  });
}

std::vector<std::string_view> MultiStringElements(std::string_view raw) {
  std::vector<std::string_view> elements;
  std::size_t start = 0;
  while (start < raw.size()) {
    const std::size_t nul = raw.find('\0', start);
    const std::size_t end = nul == std::string_view::npos ? raw.size() : nul;
    elements.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  return elements;
}

std::string ReplaceInMultiString(std::string_view raw,
                                 const std::function<std::string(std::string_view)>& replace_element) {
  if (raw.find('\0') == std::string_view::npos) return std::string(raw);
  std::string out;
  for (const std::string_view element : MultiStringElements(raw)) {
    out += replace_element(element);
    out += '\0';
  }
  return out;
}

bool TypeFilterAccepts(int filter, reg::DataKind kind, bool numeric, bool hex) {
  using reg::DataKind;
  switch (filter) {
    case 0:
      return true;
    case 1:
      return kind == DataKind::kString || kind == DataKind::kExpandString ||
             kind == DataKind::kMultiString;
    case 2:
      return numeric && IsNumericKind(kind);
    case 3:
      return kind == DataKind::kString;
    case 4:
      return kind == DataKind::kExpandString;
    case 5:
      return numeric && kind == DataKind::kInteger;
    case 7:
      return kind == DataKind::kMultiString;
    case kBinaryTypeFilter:
      return hex && kind == DataKind::kBinary;
    case 8:
      return numeric && kind == DataKind::kInt64;
    default:
      return false;
  }
}

std::string DisplayName(std::string_view value_name) {
  return std::string(value_name.empty() ? reg::kDefaultValueName : value_name);
}

}  // namespace keyloom::engine
