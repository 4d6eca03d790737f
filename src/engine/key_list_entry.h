// One Key List row: the root's long name, the key path below it and the value name, joined by TABs:
//   HKEY_CURRENT_USER <TAB> \Software\Vendor\App <TAB> Setting
// The path begins with a backslash. The value name is empty for a key-name hit and "(Default)" for
// the unnamed value. The row is built and split in this one place; the window's columns, the
// exports and the edit and delete flows all read rows through ParseKeyListEntry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "registry/registry.h"

namespace keyloom::engine {

using reg::kDefaultValueName;

struct KeyListEntry {
  std::string root;        // field 1: HKEY_CLASSES_ROOT ... HKEY_CURRENT_CONFIG
  std::string path;        // field 2: \Key\Subkey
  std::string value_name;  // field 3: empty for a key-name hit, "(Default)" for the unnamed value

  // The row text: root TAB path TAB value name.
  std::string ToRow() const;

  // The name to hand to the registry: "(Default)" becomes the empty name of the unnamed value.
  std::string RegistryValueName() const;

  bool operator==(const KeyListEntry&) const = default;
};

// root + TAB + path + TAB + value name.
std::string MakeKeyListEntry(std::string_view root, std::string_view path,
                             std::string_view value_name);

// A row's three fields as views into the row, split by the rule below.
struct KeyListFields {
  std::string_view root;
  std::string_view path;
  std::string_view value_name;
};
std::optional<KeyListFields> SplitKeyListEntry(std::string_view row);

// Splits a row: field 1 is the text before the first TAB, field 3 everything after the second TAB
// (it may hold TABs of its own), field 2 the text in between. A row with a single TAB has an empty
// field 3. A text without any TAB is not a result row: nullopt.
std::optional<KeyListEntry> ParseKeyListEntry(std::string_view row);

// A value name as shown ("(Default)" for the unnamed value) turned into the registry's name.
std::string RegistryValueName(std::string_view shown_name);

}  // namespace keyloom::engine
