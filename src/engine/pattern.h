// The find text of the Wildcards, Regex and Hex modes made ready once per run: a compiled regular
// expression over UTF-16 as the registry stores it, or the bytes to look for in raw data. The Text
// mode does not use it (FindUnits and MatchText serve it).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/match_rules.h"

namespace keyloom::engine {

// A match the expression engine gave up on: it would take more steps than its limit allows (a
// pattern that backtracks without end over a long text). Reported for the one text; the run goes on.
class PatternTooComplex : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Pattern {
 public:
  // `find` and `replace` as typed (UTF-8). nullptr with `*error` set when the find text does not
  // compile (the expression engine's message) or is not hex bytes, or the replacement of a Hex run
  // is not. `mode` is not kText.
  static std::unique_ptr<const Pattern> Make(MatchMode mode, std::string_view find,
                                             std::string_view replace, bool case_sensitive,
                                             std::string* error);
  virtual ~Pattern() = default;

  MatchMode mode() const { return mode_; }
  bool case_sensitive() const { return case_sensitive_; }

  // Wildcards and Regex: whether `text` matches (Wildcards: as a whole; Regex: anywhere). Empty
  // text never matches. Throws PatternTooComplex.
  virtual bool Matches(std::u16string_view text) const = 0;
  // `text` with every match replaced: by the replacement with $0-$9, ${name} and $$ filled in
  // (Regex), by the replacement text (Wildcards). Throws PatternTooComplex.
  virtual std::u16string Replace(std::u16string_view text) const = 0;
  // Hex: whether `data` holds the bytes, and `data` with every occurrence replaced, left to right
  // without overlap.
  virtual bool MatchesBytes(std::span<const std::uint8_t> data) const = 0;
  virtual std::vector<std::uint8_t> ReplaceBytes(std::span<const std::uint8_t> data) const = 0;

  // The UTF-8 forms, for names and texts the walk holds in UTF-8.
  bool Matches(std::string_view text) const;
  std::string Replace(std::string_view text) const;

 protected:
  Pattern(MatchMode mode, bool case_sensitive) : mode_(mode), case_sensitive_(case_sensitive) {}

 private:
  MatchMode mode_;
  bool case_sensitive_;
};

// The check a run makes before it starts: "" when the find text (and for Hex the replacement) can
// be used in `mode`, else the line that says why not.
std::string PatternError(MatchMode mode, std::string_view find, std::string_view replace,
                         bool search_only);

}  // namespace keyloom::engine
