#include "engine/replace_rule.h"

namespace keyloom::engine {

std::string ReplaceRule::Replace(std::string_view text) const {
  if (pattern_ == nullptr) return ReplaceText(text, find_, replace_, case_sensitive_);
  return pattern_->Replace(text);
}

std::string ReplaceRule::ReplaceMultiString(std::string_view raw) const {
  if (pattern_ == nullptr) return ReplaceInMultiString(raw, find_, replace_, case_sensitive_);
  return ReplaceInMultiString(
      raw, [this](std::string_view element) { return pattern_->Replace(element); });
}

const std::string* ReplaceRule::NumberFound(const NumberTexts& number, bool whole_numbers) const {
  if (pattern_ == nullptr) return MatchNumber(find_, number, {case_sensitive_, whole_numbers});
  for (const std::string& text : number.texts()) {
    if (pattern_->Matches(std::string_view(text))) return &text;
  }
  return nullptr;
}

}  // namespace keyloom::engine
