// What the Key List shows of a hit besides its row: the value's type, a one-line preview of its
// data, where the text was found, when the key last changed and, in a user's hive, whose it is.
// Made by the walk at the moment of the hit, from what it has read anyway.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "change/change_report.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::engine {

enum class FoundIn : std::uint8_t { kKeyName, kValueName, kData };

struct HitDetails {
  std::string type;  // "REG_SZ", ...; empty for a key-name hit
  std::string data;  // DataPreview of the value; empty for a key-name hit
  FoundIn found_in = FoundIn::kKeyName;
  std::uint64_t modified = 0;  // the key's last write time (FILETIME count); 0 when unknown
  // What the run or the user's change did to the item; why, for a failure (its error text).
  change::ChangeResult result = change::ChangeResult::kNone;
  std::string reason = {};
  // The profile folder's name of the user whose hive holds the item, in a run over every user's
  // profile; empty otherwise.
  std::string user = {};
  // The value whole, as read for the preview; none for a key-name hit or a value that could not
  // be read. The Key List keeps the preview alone; a report may write the whole value.
  std::optional<reg::RawValue> value = {};
};

// The details of an item as it is now, read through the open `key`: the value `value_name`'s
// type and preview (a value row; none for a key row, `value_name` nullptr) and, when `read_time`,
// the key's last write time. What cannot be read stays empty (0 for the time).
HitDetails ReadHitDetails(reg::RegApi& api, reg::KeyHandle key, const std::string* value_name,
                          FoundIn found_in, bool read_time = true);

// "Key name", "Value name" or "Data".
std::string_view FoundInText(FoundIn found_in);

// The registry editor's name of a value type: "REG_SZ", "REG_BINARY", ...; another number as
// "0x" and eight hexadecimal digits.
std::string TypeName(std::uint32_t type);

// How many characters a preview keeps before its ellipsis.
inline constexpr std::size_t kPreviewCharacters = 200;

// The value's data on one line, as the registry editor's list shows it: strings as their text,
// multi-strings with " | " between the strings, numbers as 0x0000001a (26), every other kind as
// hexadecimal bytes, an empty binary as "(zero-length binary value)". Line breaks and TABs become
// blanks. Longer than kPreviewCharacters characters, the text is cut there (never inside a
// character) and ends with an ellipsis.
std::string DataPreview(const reg::RawValue& value);

}  // namespace keyloom::engine
