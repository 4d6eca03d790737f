#include "shell/filter_texts.h"

#include <ctime>

#include "base/local_date.h"
#include "base/text.h"
#include "registry/registry.h"
#include "shell/command_line.h"

namespace keyloom::shell {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kUnixEpochSeconds = 11'644'473'600;  // 1601-01-01 to 1970-01-01
constexpr std::uint64_t kMaxSize = ~std::uint64_t{0};

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text::IsBlank(text.front()) || text.front() == '\r'))
    text.remove_prefix(1);
  while (!text.empty() && (text::IsBlank(text.back()) || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

std::optional<FilterRefusal> ReadTime(std::string_view text, FilterField field, const char* name,
                                      std::optional<std::uint64_t>* out) {
  text = Trimmed(text);
  out->reset();
  if (text.empty()) return std::nullopt;
  *out = engine::ParseLocalTime(text);
  if (*out) return std::nullopt;
  return FilterRefusal{field, std::string("\"") + name + "\" is not a date: write yyyy-mm-dd or " +
                                  "yyyy-mm-dd hh:mm[:ss] (local time), not \"" + std::string(text) +
                                  "\"."};
}

std::optional<FilterRefusal> ReadSize(std::string_view text, FilterField field, const char* name,
                                      std::optional<std::uint64_t>* out) {
  text = Trimmed(text);
  out->reset();
  if (text.empty()) return std::nullopt;
  *out = ParseByteCount(text);
  if (*out) return std::nullopt;
  return FilterRefusal{field, std::string("\"") + name + "\" is not a number of bytes: write 0 " +
                                  "or more in digits, not \"" + std::string(text) + "\"."};
}

}  // namespace

std::string FilterTimeText(std::uint64_t file_time) {
  const auto seconds = static_cast<std::int64_t>(file_time / kTicksPerSecond) - kUnixEpochSeconds;
  std::string text = base::DateTimeText(static_cast<std::time_t>(seconds));
  if (text.ends_with(" 00:00:00")) text.resize(text.size() - 9);
  return text;
}

std::optional<std::uint64_t> ParseByteCount(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t size = 0;
  for (const char c : text) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (c < '0' || c > '9' || size > (kMaxSize - digit) / 10) return std::nullopt;
    size = size * 10 + digit;
  }
  return size;
}

std::string ExcludedKeyText(const engine::ExcludedKey& key) {
  const reg::RootKey* root = reg::RootByIndex(key.root_index);
  return std::string(root != nullptr ? root->name : "") + key.path;
}

std::optional<engine::ExcludedKey> ParseExcludedKey(std::string_view text) {
  const std::optional<engine::StartPoint> key = ParseRootArgument(Trimmed(text));
  if (!key || key->path == "\\") return std::nullopt;
  return engine::ExcludedKey{key->root_index, key->path};
}

std::vector<ExclusionFileEntry> ExclusionFileEntries(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  const std::vector<std::string_view> lines = text::SplitLines(bytes);
  std::vector<ExclusionFileEntry> entries;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view entry = Trimmed(lines[i]);
    if (entry.empty() || entry.front() == ';' || entry.front() == '#') continue;
    entries.push_back({i + 1, entry});
  }
  return entries;
}

std::string ExclusionFileLines(std::string_view bytes) {
  std::string lines;
  for (const ExclusionFileEntry& entry : ExclusionFileEntries(bytes)) {
    lines.append(entry.text).append("\r\n");
  }
  return lines;
}

FilterTexts FilterTextsOf(const engine::MatchRules& rules) {
  FilterTexts texts;
  if (rules.modified_after) texts.modified_after = FilterTimeText(*rules.modified_after);
  if (rules.modified_before) texts.modified_before = FilterTimeText(*rules.modified_before);
  if (rules.min_size) texts.min_size = std::to_string(*rules.min_size);
  if (rules.max_size) texts.max_size = std::to_string(*rules.max_size);
  for (const engine::ExcludedKey& key : rules.exclusions) {
    texts.excluded += ExcludedKeyText(key) + "\r\n";
  }
  return texts;
}

std::optional<FilterRefusal> ReadFilterTexts(const FilterTexts& texts, engine::MatchRules* rules) {
  engine::MatchRules read = *rules;
  if (auto refused = ReadTime(texts.modified_after, FilterField::kModifiedAfter, "Modified after",
                              &read.modified_after)) {
    return refused;
  }
  if (auto refused = ReadTime(texts.modified_before, FilterField::kModifiedBefore,
                              "Modified before", &read.modified_before)) {
    return refused;
  }
  if (auto refused = ReadSize(texts.min_size, FilterField::kMinSize, "At least", &read.min_size)) {
    return refused;
  }
  if (auto refused = ReadSize(texts.max_size, FilterField::kMaxSize, "At most", &read.max_size)) {
    return refused;
  }
  if (TimeRangeSelectsNothing(read)) {
    return FilterRefusal{FilterField::kModifiedBefore,
                         "\"Modified before\" must be later than \"Modified after\": no key was "
                         "written in between."};
  }
  if (SizeRangeSelectsNothing(read)) {
    return FilterRefusal{FilterField::kMaxSize,
                         "\"At most\" must not be smaller than \"At least\": no value has a size "
                         "in between."};
  }
  read.exclusions.clear();
  const std::vector<std::string_view> lines = text::SplitLines(texts.excluded);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Trimmed(lines[i]).empty()) continue;
    const std::optional<engine::ExcludedKey> key = ParseExcludedKey(lines[i]);
    if (!key) {
      return FilterRefusal{FilterField::kExcluded,
                           "Excluded key " + std::to_string(i + 1) +
                               " is not a key: write a root " +
                               "and a key below it, one a line, as in HKLM\\SOFTWARE\\Classes " +
                               "(not \"" + std::string(Trimmed(lines[i])) + "\")."};
    }
    if (read.ExclusionOf(key->root_index, key->path) < 0) read.exclusions.push_back(*key);
  }
  *rules = std::move(read);
  return std::nullopt;
}

bool TimeRangeSelectsNothing(const engine::MatchRules& rules) {
  return rules.modified_after && rules.modified_before &&
         *rules.modified_after / kTicksPerSecond >= *rules.modified_before / kTicksPerSecond;
}

bool SizeRangeSelectsNothing(const engine::MatchRules& rules) {
  return rules.min_size && rules.max_size && *rules.min_size > *rules.max_size;
}

int FilterCount(const engine::MatchRules& rules) {
  return (rules.modified_after ? 1 : 0) + (rules.modified_before ? 1 : 0) +
         (rules.min_size ? 1 : 0) + (rules.max_size ? 1 : 0) + (rules.exclusions.empty() ? 0 : 1);
}

}  // namespace keyloom::shell
