// How a run replaces the find text in a text it found it in: the Text mode's rule (every
// occurrence, letter case folded unless the case matters) or the pattern's. The run's changes and
// the Key List's "After replace" column both go through this one rule, so that what the column
// shows is what a run writes.
#pragma once

#include <string>
#include <string_view>

#include "engine/match.h"
#include "engine/pattern.h"

namespace keyloom::engine {

class ReplaceRule {
 public:
  // `pattern` is null in the Text mode. The texts and the pattern outlive the rule.
  ReplaceRule(std::string_view find, std::string_view replace, bool case_sensitive,
              const Pattern* pattern)
      : find_(find), replace_(replace), case_sensitive_(case_sensitive), pattern_(pattern) {}

  // A string, a name or a number's text with the find text replaced. A pattern may throw
  // PatternTooComplex.
  std::string Replace(std::string_view text) const;
  // A multi-string's raw text (NULs between its elements), replaced element by element.
  std::string ReplaceMultiString(std::string_view raw) const;
  // The text of a REG_DWORD or REG_QWORD the run finds the find text in, and so replaces it in:
  // the first of its texts that matches (`whole_numbers`: the WHOLENUM rule of the Text mode), or
  // null when none does.
  const std::string* NumberFound(const NumberTexts& number, bool whole_numbers) const;

 private:
  std::string_view find_;
  std::string_view replace_;
  bool case_sensitive_;
  const Pattern* pattern_;
};

}  // namespace keyloom::engine
