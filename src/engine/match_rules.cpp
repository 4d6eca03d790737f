#include "engine/match_rules.h"

#include <array>
#include <ctime>

#include "base/ascii.h"
#include "base/text.h"

namespace keyloom::engine {
namespace {

constexpr std::array<std::string_view, 4> kModeNames = {"text", "wildcards", "regex", "hex"};
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kUnixEpochSeconds = 11'644'473'600;  // 1601-01-01 to 1970-01-01

// Reads exactly `count` digits at `at`.
bool Digits(std::string_view text, std::size_t at, std::size_t count, int* value) {
  if (at + count > text.size()) return false;
  *value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::string_view MatchModeName(MatchMode mode) { return kModeNames[static_cast<std::size_t>(mode)]; }

std::optional<MatchMode> MatchModeNamed(std::string_view name) {
  for (std::size_t i = 0; i < kModeNames.size(); ++i) {
    if (text::CompareNamesIgnoringCase(text::Utf8ToUtf16(name), text::Utf8ToUtf16(kModeNames[i])) ==
        0) {
      return static_cast<MatchMode>(i);
    }
  }
  return std::nullopt;
}

bool MatchRules::KeyWrittenInRange(std::uint64_t file_time) const {
  if (!FiltersTimes()) return true;
  if (file_time == 0) return false;  // unknown: not shown to be in the range
  const std::uint64_t second = file_time / kTicksPerSecond;
  if (modified_after && second < *modified_after / kTicksPerSecond) return false;
  if (modified_before && second >= *modified_before / kTicksPerSecond) return false;
  return true;
}

int MatchRules::ExclusionOf(int root_index, std::string_view path) const {
  std::u16string units;
  for (std::size_t i = 0; i < exclusions.size(); ++i) {
    const ExcludedKey& excluded = exclusions[i];
    if (excluded.root_index != root_index || excluded.path.size() != path.size()) continue;
    if (units.empty()) units = text::Utf8ToUtf16(path);
    if (text::CompareNamesIgnoringCase(units, text::Utf8ToUtf16(excluded.path)) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::optional<std::uint64_t> ParseLocalTime(std::string_view text) {
  std::tm local{};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 4, &year) || text.size() < 10 || text[4] != '-' || text[7] != '-' ||
      !Digits(text, 5, 2, &month) || !Digits(text, 8, 2, &day)) {
    return std::nullopt;
  }
  if (text.size() > 10) {
    if ((text[10] != ' ' && text[10] != 'T') || !Digits(text, 11, 2, &hour) || text.size() < 16 ||
        text[13] != ':' || !Digits(text, 14, 2, &minute)) {
      return std::nullopt;
    }
    if (text.size() > 16 && (text.size() != 19 || text[16] != ':' || !Digits(text, 17, 2, &second))) {
      return std::nullopt;
    }
  }
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;  // the clock's own rule for that day
  const std::tm asked = local;
  const std::time_t when = std::mktime(&local);
  // mktime moves a day that does not exist (2 30) into the next month.
  if (when == static_cast<std::time_t>(-1) || local.tm_mday != asked.tm_mday ||
      local.tm_mon != asked.tm_mon) {
    return std::nullopt;
  }
  const std::int64_t seconds = static_cast<std::int64_t>(when) + kUnixEpochSeconds;
  if (seconds < 0) return std::nullopt;
  return static_cast<std::uint64_t>(seconds) * kTicksPerSecond;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::size_t i = 0;
  auto separator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '-'; };
  while (i < text.size()) {
    if (separator(text[i])) {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return std::nullopt;
    const int high = base::AsciiHexDigit(text[i]), low = base::AsciiHexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    i += 2;
  }
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

}  // namespace keyloom::engine
