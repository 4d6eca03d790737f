// What a run matches by besides the find text: how the find text is read (its mode) and which keys
// and values the walk considers at all (filters by time and size, excluded subtrees). One value,
// read from the request once at the start of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom::engine {

enum class MatchMode {
  kText,       // the find text occurs in the text (the classic rule)
  kWildcards,  // the whole text matches the find text, "*" any run of characters, "?" one
  kRegex,      // a Perl regular expression found in the text; $0-$9 and ${name} in the replacement
  kHex,        // the bytes of the find text ("DE AD BE EF", "deadbeef") in the raw data of any kind
};

// The mode's name as the command line and the settings file spell it: text, wildcards, regex, hex.
std::string_view MatchModeName(MatchMode mode);
std::optional<MatchMode> MatchModeNamed(std::string_view name);

// A key the walk does not enter, nor anything below it.
struct ExcludedKey {
  int root_index = 0;  // 1 to 5
  std::string path;    // below the root, beginning with "\" (as the status log shows paths)
  bool operator==(const ExcludedKey&) const = default;
};

struct MatchRules {
  MatchMode mode = MatchMode::kText;
  // The key's last write time as a FILETIME (UTC, 100 ns units), compared to the second as the
  // Modified column shows it: keys written at or after `modified_after` and before
  // `modified_before`. A key outside the range still has its subkeys walked.
  std::optional<std::uint64_t> modified_after;
  std::optional<std::uint64_t> modified_before;
  // Values whose data holds at least `min_size` and at most `max_size` bytes; others are passed
  // over, their names included, as the type filter passes values over.
  std::optional<std::uint64_t> min_size;
  std::optional<std::uint64_t> max_size;
  std::vector<ExcludedKey> exclusions;

  bool FiltersTimes() const { return modified_after || modified_before; }
  bool FiltersSizes() const { return min_size || max_size; }
  bool KeyWrittenInRange(std::uint64_t file_time) const;
  bool SizeInRange(std::uint64_t size) const {
    return (!min_size || size >= *min_size) && (!max_size || size <= *max_size);
  }
  // The index in `exclusions` of the one that names the key at `path` under root `root_index`
  // (letter case ignored), or -1.
  int ExclusionOf(int root_index, std::string_view path) const;
  bool operator==(const MatchRules&) const = default;
};

// "yyyy-mm-dd" or "yyyy-mm-dd hh:mm[:ss]" (also with "T" between) on the local clock, as a
// FILETIME; nullopt for any other text or a date that does not exist.
std::optional<std::uint64_t> ParseLocalTime(std::string_view text);

// "DE AD BE EF", "deadbeef", "de,ad,be,ef": pairs of hex digits, blanks, commas and hyphens between
// pairs. nullopt for anything else or no byte at all.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);

}  // namespace keyloom::engine
