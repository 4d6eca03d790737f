// The memory registry's hive files: a key tree as UTF-8 text, one item a line.
//
//   KEYLOOM-HIVE 1
//   K <name>                   a key begins (the first one is the saved key itself)
//   S <hex bytes>              its self-relative security descriptor (optional, before values)
//   V <type> <hex bytes> <name>  a value: type in decimal, data in hex (may be empty)
//   E                          the key ends (after its values and subkeys)
//
// Names are UTF-8 with every byte below 0x21, 0x25 ("%") and 0x7F written as "%" and two hex
// digits, so a line never holds a blank inside a field and an empty name is an empty field.
// Lines end with LF; a CR before it is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_api.h"
#include "registry/security_descriptor.h"

namespace keyloom::reg::memory {

// Keys nest at most this deep in a hive file, as in the registry.
inline constexpr std::size_t kMaxHiveDepth = 512;

struct HiveValue {
  std::u16string name;
  std::uint32_t type = 0;
  Bytes data;
};

struct HiveKey {
  std::u16string name;
  std::optional<SecurityDescriptor> security;
  std::vector<HiveValue> values;
  std::vector<HiveKey> subkeys;
};

// Streams a key tree: BeginKey, then the key's values, then its subkeys (each Begin..End), then
// EndKey.
class HiveWriter {
 public:
  explicit HiveWriter(std::ostream& out);
  HiveWriter(const HiveWriter&) = delete;
  HiveWriter& operator=(const HiveWriter&) = delete;

  void BeginKey(std::u16string_view name, const SdBytes* security);
  void AddValue(std::u16string_view name, std::uint32_t type, const Bytes& data);
  void EndKey();
  // Writes what is buffered; false when the stream failed.
  bool Finish();

 private:
  void FlushIfLarge();

  std::ostream& out_;
  std::string buffer_;
};

// Reads a whole hive file. Empty when the text is not one: a wrong header, an unknown or
// malformed line, bad hex, an unreadable security descriptor, an empty, too long or repeated
// subkey name, a repeated or too long value name, nesting deeper than kMaxHiveDepth, unbalanced
// K/E lines, or anything after the top key ends.
std::optional<HiveKey> ParseHive(std::string_view text);

}  // namespace keyloom::reg::memory
