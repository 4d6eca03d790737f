// The one matching rule (MatchText) and the one replacement rule, used for value data, value names
// and key names; the text form of a value's data; the type filter.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::engine {

struct MatchOptions {
  bool case_sensitive = false;  // chkCase
  bool whole_numbers = true;    // WHOLENUM
};

// Whether `find` matches `text`. Empty text never matches. Numeric kinds (integer, binary, 64-bit
// integer) matched as data with whole numbers on must equal the find text exactly. Otherwise `find`
// must occur in `text`: exactly with case sensitivity, else after folding the letters a to z only.
bool MatchText(std::string_view find, std::string_view text, reg::DataKind kind, bool data,
               const MatchOptions& options);

// The find text made ready once per run for matching text as the registry stores it, UTF-16,
// without converting it: the walk reads every value of a tree, and only a hit needs its text.
// Each answer is the one MatchText gives on the UTF-8 form.
class FindUnits {
 public:
  FindUnits(std::string_view find, bool case_sensitive);

  std::string_view text() const { return find_; }
  bool case_sensitive() const { return case_sensitive_; }
  // False for a find text that is not the UTF-8 form of UTF-16 text (stray bytes): only MatchText
  // can answer for it, since its bytes may match part of a character.
  bool usable() const { return usable_; }
  // Whether the find text occurs in `text` (usable() only).
  bool In(std::u16string_view text) const;
  // Where the find text first occurs in `text`, or npos; the find text is not empty.
  std::size_t Find(std::u16string_view text) const;
  // Whether the find text is not empty and holds no NUL.
  bool plain() const { return plain_; }
  // Whether the find text could be the text form of an integer (digits, "-", "." and "E" only).
  bool may_be_number() const { return may_be_number_; }

 private:
  // The first position from `i` to `last` whose unit can begin a match, or npos.
  std::size_t NextStart(std::u16string_view text, std::size_t i, std::size_t last) const;

  std::string find_;
  std::u16string units_;  // letters a to z upper-cased when not case-sensitive
  bool case_sensitive_;
  bool usable_;
  bool plain_;
  bool may_be_number_;
  // A unit of the text can begin a match only if (unit | first_mask_) == first_wanted_: the mask
  // folds the two cases of a first letter into one comparison.
  char16_t first_mask_ = 0;
  char16_t first_wanted_ = 0;
};

// MatchText on value data: MatchText(find, ValueText(value), kind, true, options), the string kinds
// matched in place. `find` is usable and made with options.case_sensitive.
bool MatchData(const FindUnits& find, const reg::ValueBuffer& value, const MatchOptions& options);

// MatchText on a value's name as shown (DisplayName): the same answer, without converting it.
bool MatchName(const FindUnits& find, std::u16string_view value_name);

// Every occurrence of `find` in `source` replaced by `replace`, left to right, without overlap and
// without rescanning inserted text. Without case sensitivity whole characters are folded (accented
// and non-Latin letters too), the same on every platform. An empty find text changes nothing.
std::string ReplaceText(std::string_view source, std::string_view find, std::string_view replace,
                        bool case_sensitive);

// The text of a value's data, the one a search matches: strings up to their first NUL; REG_DWORD and REG_QWORD in
// exact signed decimal (a REG_DWORD of FFFFFFFF hex reads -1); multi-strings as their raw text
// with every NUL kept; every other kind, and a number of the wrong size, empty.
std::string ValueText(const reg::RawValue& value);
std::string ValueText(std::uint32_t type, std::span<const std::uint8_t> data);

// A number as the general format of its value as a double, with at most 15 significant digits
// (1234567890123456789 reads 1.23456789012346E18).
std::string Int64Text(std::int64_t value);

// The texts a REG_DWORD or REG_QWORD value is found by, in this order: its exact signed decimal
// (its ValueText); its exact unsigned decimal when that differs (4294967295 for FFFFFFFF hex, as the registry
// editor shows it); and, for a number a double holds exactly, its general format (Int64Text) when
// that differs (1E15 for 1000000000000000). A rounded general format is no text of the number:
// 9007199254740993 is not found by 9.00719925474099E15. No texts for other kinds and for numbers
// of the wrong size.
class NumberTexts {
 public:
  NumberTexts() = default;  // no texts
  NumberTexts(std::uint32_t type, std::span<const std::uint8_t> data);
  std::span<const std::string> texts() const { return {texts_.data(), count_}; }

 private:
  void Add(std::string text);

  std::array<std::string, 3> texts_;
  std::size_t count_ = 0;
};

// The first of the number's texts that `find` matches as value data (MatchText), or null.
const std::string* MatchNumber(std::string_view find, const NumberTexts& number,
                               const MatchOptions& options);

// MatchText on a value's data by its text forms: a number by any of its NumberTexts, any other
// kind by its ValueText.
bool MatchValue(std::string_view find, const reg::RawValue& value, const MatchOptions& options);

// The multi-string replacement: every element (the text before each NUL, and any text after the
// last one) replaced and followed by one NUL. Text without any NUL comes back unchanged.
std::string ReplaceInMultiString(std::string_view raw, std::string_view find,
                                 std::string_view replace, bool case_sensitive);
// The same with each element replaced by `replace_element`.
std::string ReplaceInMultiString(std::string_view raw,
                                 const std::function<std::string(std::string_view)>& replace_element);
// The elements of a multi-string's raw text, split the same way.
std::vector<std::string_view> MultiStringElements(std::string_view raw);

// The type filter's item "REG_BINARY": it examines binary values in the Hex bytes mode only.
constexpr int kBinaryTypeFilter = 6;

// Whether type filter `filter` (cmbType item index 0 to 8) examines a value of `kind`; `numeric` is
// the run's numeric flag, `hex` whether the run matches hex bytes.
bool TypeFilterAccepts(int filter, reg::DataKind kind, bool numeric, bool hex = false);

// The name a value is shown and matched by: its name, or "(Default)" for the unnamed value.
std::string DisplayName(std::string_view value_name);

}  // namespace keyloom::engine
