#include "engine/key_list_entry.h"

namespace keyloom::engine {

std::string KeyListEntry::ToRow() const { return MakeKeyListEntry(root, path, value_name); }

std::string KeyListEntry::RegistryValueName() const {
  return engine::RegistryValueName(value_name);
}

std::string MakeKeyListEntry(std::string_view root, std::string_view path,
                             std::string_view value_name) {
  std::string row;
  row.reserve(root.size() + path.size() + value_name.size() + 2);
  row.append(root).append(1, '\t').append(path).append(1, '\t').append(value_name);
  return row;
}

std::optional<KeyListFields> SplitKeyListEntry(std::string_view row) {
  const auto first = row.find('\t');
  if (first == std::string_view::npos) return std::nullopt;
  KeyListFields fields;
  fields.root = row.substr(0, first);
  const auto second = row.find('\t', first + 1);
  if (second == std::string_view::npos) {
    fields.path = row.substr(first + 1);
  } else {
    fields.path = row.substr(first + 1, second - first - 1);
    fields.value_name = row.substr(second + 1);
  }
  return fields;
}

std::optional<KeyListEntry> ParseKeyListEntry(std::string_view row) {
  const auto fields = SplitKeyListEntry(row);
  if (!fields) return std::nullopt;
  return KeyListEntry{std::string(fields->root), std::string(fields->path),
                      std::string(fields->value_name)};
}

std::string RegistryValueName(std::string_view shown_name) {
  if (shown_name == kDefaultValueName) return std::string();
  return std::string(shown_name);
}

}  // namespace keyloom::engine
