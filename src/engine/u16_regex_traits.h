// The character traits the expression engine reads UTF-16 through, the same on every platform:
// no locale, letter case by the registry's own mapping (text::UpcaseUnit), digits 0 to 9, and as
// letters the ASCII ones and every unit from Latin-1's letters on that is neither blank nor
// punctuation (so a surrogate pair counts as two letters). Included by pattern.cpp alone.
#pragma once

#include <boost/regex.hpp>
#include <cstdint>
#include <string>

namespace keyloom::engine::detail {

class U16RegexTraits {
 public:
  using char_type = char16_t;
  using size_type = std::size_t;
  using string_type = std::u16string;
  using locale_type = int;
  using char_class_type = std::uint32_t;
  struct boost_extensions_tag {};

  static size_type length(const char_type* p) { return std::char_traits<char16_t>::length(p); }
  char_type translate(char_type c) const { return c; }
  char_type translate_nocase(char_type c) const;
  char_type translate(char_type c, bool icase) const { return icase ? translate_nocase(c) : c; }
  char_type tolower(char_type c) const;
  char_type toupper(char_type c) const;
  string_type transform(const char_type* p1, const char_type* p2) const { return {p1, p2}; }
  string_type transform_primary(const char_type* p1, const char_type* p2) const;
  char_class_type lookup_classname(const char_type* p1, const char_type* p2) const;
  string_type lookup_collatename(const char_type* p1, const char_type* p2) const;
  bool isctype(char_type c, char_class_type mask) const;
  int value(char_type c, int radix) const;
  std::intmax_t toi(const char_type*& p1, const char_type* p2, int radix) const {
    return boost::BOOST_REGEX_DETAIL_NS::global_toi(p1, p2, radix, *this);
  }
  locale_type imbue(locale_type locale) { return locale; }
  locale_type getloc() const { return 0; }
  std::string error_string(boost::regex_constants::error_type code) const {
    return boost::BOOST_REGEX_DETAIL_NS::get_default_error_string(code);
  }
  boost::regex_constants::syntax_type syntax_type(char_type c) const {
    return c < 0x80 ? boost::BOOST_REGEX_DETAIL_NS::get_default_syntax_type(static_cast<char>(c))
                    : boost::regex_constants::syntax_char;
  }
  boost::regex_constants::escape_syntax_type escape_syntax_type(char_type c) const {
    return c < 0x80
               ? boost::BOOST_REGEX_DETAIL_NS::get_default_escape_syntax_type(static_cast<char>(c))
               : boost::regex_constants::escape_type_identity;
  }
};

}  // namespace keyloom::engine::detail
