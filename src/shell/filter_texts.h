// The filters of a search (the key's time, the value's size, the excluded keys) as people write
// them: in the Filters dialog and in KEYLOOM.INI. Times are local, "yyyy-mm-dd" or
// "yyyy-mm-dd hh:mm[:ss]"; sizes are numbers of bytes; an excluded key is a root and a key below
// it ("HKLM\SOFTWARE\Classes", long root names too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/match_rules.h"

namespace keyloom::shell {

struct FilterTexts {
  std::string modified_after;  // "" for none
  std::string modified_before;
  std::string min_size;
  std::string max_size;
  std::string excluded;  // one key a line
  bool operator==(const FilterTexts&) const = default;
};

enum class FilterField { kModifiedAfter, kModifiedBefore, kMinSize, kMaxSize, kExcluded };

struct FilterRefusal {
  FilterField field;
  std::string message;
};

// A key's time (a FILETIME) as the filters write it on the local clock: "yyyy-mm-dd" at midnight,
// else "yyyy-mm-dd hh:mm:ss". ParseLocalTime reads it back to the second.
std::string FilterTimeText(std::uint64_t file_time);
// A number of bytes: digits only, 0 or more.
std::optional<std::uint64_t> ParseByteCount(std::string_view text);
// "HKEY_CURRENT_USER\Software\X" for an excluded key, and back (nullopt for a root alone or text
// that names no root).
std::string ExcludedKeyText(const engine::ExcludedKey& key);
std::optional<engine::ExcludedKey> ParseExcludedKey(std::string_view text);

// A line of a file of excluded keys (UTF-8, one a line; blank lines and lines beginning with ";"
// or "#" left out): its number, counted from 1, and its text without the blanks around it.
struct ExclusionFileEntry {
  std::size_t line;
  std::string_view text;  // points into the file's bytes
};
std::vector<ExclusionFileEntry> ExclusionFileEntries(std::string_view bytes);
// The keys of such a file, one a line ended by CR LF, as the Filters dialog lists them.
std::string ExclusionFileLines(std::string_view bytes);

FilterTexts FilterTextsOf(const engine::MatchRules& rules);
// Sets the filters of `*rules` from `texts` (its mode stays), or leaves `*rules` as it was and
// says which text cannot be read and why. Blank texts and blank lines set nothing; a time range
// or size range that selects nothing is refused too.
std::optional<FilterRefusal> ReadFilterTexts(const FilterTexts& texts, engine::MatchRules* rules);
// Whether a time range or a size range is set that selects nothing: "after" not before "before"
// (to the second), "at least" above "at most".
bool TimeRangeSelectsNothing(const engine::MatchRules& rules);
bool SizeRangeSelectsNothing(const engine::MatchRules& rules);
// How many of the filters are set: each time, each size and the exclusions as one.
int FilterCount(const engine::MatchRules& rules);

}  // namespace keyloom::shell
