#include "engine/pattern.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "base/text.h"
#include "engine/u16_regex_traits.h"

namespace keyloom::engine {
namespace detail {
namespace {

enum ClassBit : std::uint32_t {
  kSpace = 1u << 0,
  kPrint = 1u << 1,
  kControl = 1u << 2,
  kUpper = 1u << 3,
  kLower = 1u << 4,
  kAlpha = 1u << 5,
  kDigit = 1u << 6,
  kPunct = 1u << 7,
  kXdigit = 1u << 8,
  kBlank = 1u << 9,
  kWord = 1u << 10,
  kUnicode = 1u << 11,
  kHorizontal = 1u << 12,
  kVertical = 1u << 13,
};

bool IsVerticalSpace(char16_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}
bool IsHorizontalSpace(char16_t c) {
  return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}
bool IsPunctuation(char16_t c) {
  if (c < 0x80) return c > 0x20 && c < 0x7F && std::isalnum(c) == 0;
  return (c >= 0xA1 && c <= 0xBF && c != 0xAA && c != 0xB5 && c != 0xBA) || c == 0xD7 ||
         c == 0xF7 || (c >= 0x2010 && c <= 0x205E) || (c >= 0x3001 && c <= 0x3003);
}
bool IsLetter(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  return c >= 0xAA && !IsHorizontalSpace(c) && !IsVerticalSpace(c) && !IsPunctuation(c) &&
         !(c >= 0x80 && c < 0xA0) && c != 0xFEFF;
}

}  // namespace

char16_t U16RegexTraits::translate_nocase(char16_t c) const { return text::UpcaseUnit(c); }
char16_t U16RegexTraits::toupper(char16_t c) const { return text::UpcaseUnit(c); }

char16_t U16RegexTraits::tolower(char16_t c) const {
  // The inverse of UpcaseUnit where it has one: the nearest following units are tried, as the
  // mapping pairs a capital with its small letter close by.
  if (c >= 'A' && c <= 'Z') return static_cast<char16_t>(c + 32);
  if (c < 0x80 || text::UpcaseUnit(c) != c) return c;
  for (char16_t small : {static_cast<char16_t>(c + 32), static_cast<char16_t>(c + 1),
                         static_cast<char16_t>(c + 80), static_cast<char16_t>(c + 48)}) {
    if (small != c && text::UpcaseUnit(small) == c) return small;
  }
  return c;
}

std::u16string U16RegexTraits::transform_primary(const char16_t* p1, const char16_t* p2) const {
  std::u16string folded(p1, p2);
  for (char16_t& c : folded) c = text::UpcaseUnit(c);
  return folded;
}

U16RegexTraits::char_class_type U16RegexTraits::lookup_classname(const char16_t* p1,
                                                                 const char16_t* p2) const {
  // In the order of the engine's class names: alnum alpha blank cntrl d digit graph h l lower
  // print punct s space u unicode upper v w word xdigit.
  static constexpr char_class_type kMasks[] = {
      0,      kAlpha | kDigit, kAlpha,   kBlank,   kControl, kDigit,         kDigit,
      kAlpha | kDigit | kPunct, kHorizontal, kLower, kLower, kPrint,       kPunct, kSpace,
      kSpace, kUpper,          kUnicode, kUpper,   kVertical, kAlpha | kDigit | kWord,
      kAlpha | kDigit | kWord, kXdigit,
  };
  std::u16string name(p1, p2);
  int id = boost::BOOST_REGEX_DETAIL_NS::get_default_class_id(name.data(), name.data() + name.size());
  if (id < 0) {
    for (char16_t& c : name) c = tolower(c);
    id = boost::BOOST_REGEX_DETAIL_NS::get_default_class_id(name.data(), name.data() + name.size());
  }
  return kMasks[id + 1];
}

std::u16string U16RegexTraits::lookup_collatename(const char16_t* p1, const char16_t* p2) const {
  std::string narrow;
  for (const char16_t* p = p1; p != p2; ++p) {
    if (*p >= 0x80) return p2 - p1 == 1 ? std::u16string(p1, p2) : std::u16string();
    narrow += static_cast<char>(*p);
  }
  const std::string name = boost::BOOST_REGEX_DETAIL_NS::lookup_default_collate_name(narrow);
  if (!name.empty()) return std::u16string(name.begin(), name.end());
  return p2 - p1 == 1 ? std::u16string(p1, p2) : std::u16string();
}

bool U16RegexTraits::isctype(char16_t c, char_class_type mask) const {
  const bool letter = IsLetter(c);
  const bool digit = c >= '0' && c <= '9';
  return ((mask & kSpace) && (IsHorizontalSpace(c) || IsVerticalSpace(c))) ||
         ((mask & kPrint) && c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) ||
         ((mask & kControl) && (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))) ||
         ((mask & kUpper) && letter && tolower(c) != c) ||
         ((mask & kLower) && letter && text::UpcaseUnit(c) != c) ||
         ((mask & kAlpha) && letter) || ((mask & kDigit) && digit) ||
         ((mask & kPunct) && IsPunctuation(c)) ||
         ((mask & kXdigit) && (digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) ||
         ((mask & kBlank) && IsHorizontalSpace(c)) || ((mask & kWord) && c == '_') ||
         ((mask & kUnicode) && c >= 0x100) || ((mask & kHorizontal) && IsHorizontalSpace(c)) ||
         ((mask & kVertical) && IsVerticalSpace(c));
}

int U16RegexTraits::value(char16_t c, int radix) const {
  int digit = -1;
  if (c >= '0' && c <= '9') digit = c - '0';
  if (c >= 'a' && c <= 'z') digit = c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') digit = c - 'A' + 10;
  return digit < radix ? digit : -1;
}

}  // namespace detail

namespace {

using Regex = boost::basic_regex<char16_t, detail::U16RegexTraits>;
using Iterator = std::u16string_view::const_iterator;

bool IsGiveUp(const boost::regex_error& error) {
  return error.code() == boost::regex_constants::error_complexity ||
         error.code() == boost::regex_constants::error_stack;
}

// A pattern's find text in UTF-16 (UTF-8 converted without loss, lone surrogates too).
std::u16string Units(std::string_view text) { return text::Utf8ToUtf16(text); }

// "*" any run of characters, "?" one character (a surrogate pair is one), every other character
// itself; the expression matches the whole text.
std::u16string WildcardExpression(std::u16string_view find) {
  std::u16string out = u"(?s)";
  for (const char16_t c : find) {
    if (c == u'*') {
      out += u".*";
    } else if (c == u'?') {
      out += u"(?>[\\x{D800}-\\x{DBFF}][\\x{DC00}-\\x{DFFF}]|.)";
    } else if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
      out += c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += u"\\x{";
      for (int shift = 12; shift >= 0; shift -= 4) out += static_cast<char16_t>(kHex[(c >> shift) & 0xF]);
      out += u'}';
    }
  }
  return out;
}

Regex::flag_type Flags(bool case_sensitive) {
  return static_cast<Regex::flag_type>(case_sensitive ? boost::regex_constants::perl
                                                      : boost::regex_constants::perl |
                                                            boost::regex_constants::icase);
}

using Match = boost::match_results<Iterator>;

// A group of `match` by its number or name; an unknown one is empty.
std::u16string_view Group(const Match& match, std::u16string_view name) {
  const bool number = !name.empty() && std::all_of(name.begin(), name.end(), [](char16_t c) {
    return c >= u'0' && c <= u'9';
  });
  if (number) {
    std::size_t index = 0;
    for (const char16_t c : name) index = index * 10 + static_cast<std::size_t>(c - u'0');
    if (index >= match.size() || !match[static_cast<int>(index)].matched) return {};
    return {match[static_cast<int>(index)].first, match[static_cast<int>(index)].second};
  }
  const std::u16string key(name);
  const auto& group = match[key.c_str()];
  if (!group.matched) return {};
  return {group.first, group.second};
}

class ExpressionPattern final : public Pattern {
 public:
  ExpressionPattern(MatchMode mode, const std::u16string& expression, std::u16string replace,
                    bool case_sensitive)
      : Pattern(mode, case_sensitive),
        regex_(expression, Flags(case_sensitive)),
        replace_(std::move(replace)) {}

  bool Matches(std::u16string_view text) const override {
    if (text.empty()) return false;
    try {
      if (mode() == MatchMode::kWildcards) return boost::regex_match(text.begin(), text.end(), regex_);
      return boost::regex_search(text.begin(), text.end(), regex_);
    } catch (const boost::regex_error& error) {
      if (IsGiveUp(error)) throw PatternTooComplex(error.what());
      throw;
    }
  }

  std::u16string Replace(std::u16string_view text) const override {
    if (mode() == MatchMode::kWildcards) return Matches(text) ? replace_ : std::u16string(text);
    try {
      std::u16string out;
      Iterator rest = text.begin();
      const boost::regex_iterator<Iterator, char16_t, detail::U16RegexTraits> end;
      for (boost::regex_iterator<Iterator, char16_t, detail::U16RegexTraits> it(text.begin(),
                                                                               text.end(), regex_);
           it != end; ++it) {
        out.append((*it).prefix().first, (*it).prefix().second);
        AppendFormatted(*it, &out);
        rest = (*it)[0].second;
      }
      out.append(rest, text.end());
      return out;
    } catch (const boost::regex_error& error) {
      if (IsGiveUp(error)) throw PatternTooComplex(error.what());
      throw;
    }
  }

  bool MatchesBytes(std::span<const std::uint8_t>) const override { return false; }
  std::vector<std::uint8_t> ReplaceBytes(std::span<const std::uint8_t> data) const override {
    return {data.begin(), data.end()};
  }

 private:
  // The replacement with $0-$9, ${number}, ${name} and $$ filled in; every other character,
  // backslashes included (a path's), stands for itself.
  void AppendFormatted(const Match& match, std::u16string* out) const {
    const std::u16string_view format = replace_;
    for (std::size_t i = 0; i < format.size(); ++i) {
      const char16_t c = format[i];
      const char16_t next = i + 1 < format.size() ? format[i + 1] : u'\0';
      if (c != u'$' || i + 1 >= format.size()) {
        *out += c;
      } else if (next == u'$') {
        *out += u'$';
        ++i;
      } else if (next >= u'0' && next <= u'9') {
        *out += Group(match, format.substr(i + 1, 1));
        ++i;
      } else if (const std::size_t close = format.find(u'}', i + 2);
                 next == u'{' && close != std::u16string_view::npos) {
        *out += Group(match, format.substr(i + 2, close - i - 2));
        i = close;
      } else {
        *out += c;
      }
    }
  }

  Regex regex_;
  std::u16string replace_;
};

class HexPattern final : public Pattern {
 public:
  HexPattern(std::vector<std::uint8_t> find, std::vector<std::uint8_t> replace)
      : Pattern(MatchMode::kHex, true), find_(std::move(find)), replace_(std::move(replace)) {}

  bool Matches(std::u16string_view) const override { return false; }
  std::u16string Replace(std::u16string_view text) const override { return std::u16string(text); }
  bool MatchesBytes(std::span<const std::uint8_t> data) const override {
    return std::search(data.begin(), data.end(), find_.begin(), find_.end()) != data.end();
  }
  std::vector<std::uint8_t> ReplaceBytes(std::span<const std::uint8_t> data) const override {
    std::vector<std::uint8_t> out;
    out.reserve(data.size());
    auto at = data.begin();
    for (auto hit = std::search(at, data.end(), find_.begin(), find_.end()); hit != data.end();
         hit = std::search(at, data.end(), find_.begin(), find_.end())) {
      out.insert(out.end(), at, hit);
      out.insert(out.end(), replace_.begin(), replace_.end());
      at = hit + static_cast<std::ptrdiff_t>(find_.size());
    }
    out.insert(out.end(), at, data.end());
    return out;
  }

 private:
  std::vector<std::uint8_t> find_;
  std::vector<std::uint8_t> replace_;
};

}  // namespace

std::unique_ptr<const Pattern> Pattern::Make(MatchMode mode, std::string_view find,
                                             std::string_view replace, bool case_sensitive,
                                             std::string* error) {
  error->clear();
  if (mode == MatchMode::kHex) {
    auto bytes = ParseHexBytes(find);
    if (!bytes) {
      *error = "The find text is not hex bytes (DE AD BE EF or deadbeef).";
      return nullptr;
    }
    std::optional<std::vector<std::uint8_t>> new_bytes = std::vector<std::uint8_t>();
    if (!text::IsBlank(replace)) new_bytes = ParseHexBytes(replace);
    if (!new_bytes) {
      *error = "The replace text is not hex bytes (DE AD BE EF or deadbeef).";
      return nullptr;
    }
    return std::make_unique<HexPattern>(std::move(*bytes), std::move(*new_bytes));
  }
  const std::u16string expression =
      mode == MatchMode::kWildcards ? WildcardExpression(Units(find)) : Units(find);
  try {
    return std::make_unique<ExpressionPattern>(mode, expression, Units(replace), case_sensitive);
  } catch (const boost::regex_error& failure) {
    *error = std::string("The regular expression is not valid [") + failure.what() + "]";
    return nullptr;
  }
}

bool Pattern::Matches(std::string_view text) const { return Matches(Units(text)); }

std::string Pattern::Replace(std::string_view text) const {
  return text::Utf16ToUtf8(Replace(Units(text)));
}

std::string PatternError(MatchMode mode, std::string_view find, std::string_view replace,
                         bool search_only) {
  if (mode == MatchMode::kText) return {};
  std::string error;
  Pattern::Make(mode, find, search_only ? std::string_view() : replace, true, &error);
  return error;
}

}  // namespace keyloom::engine
