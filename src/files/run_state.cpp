#include "files/run_state.h"

#include <map>
#include <set>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "files/undo_ledger.h"

namespace keyloom::files {

using text::Cat;

namespace {

constexpr std::string_view kStatePrefix = "RUNSTATE-";
constexpr std::string_view kUndoPrefix = "UNDO-";
constexpr std::string_view kStateExtension = ".TXT";
constexpr std::string_view kStateSignature = "Keyloom run state (not to be merged)";

std::string Fold(std::string_view name) {
  std::u16string units = text::Utf8ToUtf16(name);
  for (auto& unit : units) unit = text::UpcaseUnit(unit);
  return text::Utf16ToUtf8(units);
}

std::string KeyName(const reg::RootKey* root, const std::string& path) {
  return path.empty() ? root->name : Cat({root->name, "\\", path});
}

std::string KeyId(const reg::RootKey* root, const std::string& path) {
  return LedgerKeyId("", root->name, path);
}

std::string FileName(const std::string& path) {
  return base::PathToUtf8(base::PathFromUtf8(path).filename());
}

// What a state file (or the registry now) says of every key it names.
struct KeyState {
  bool removed = false;                         // [-key]
  std::map<std::string, RegValueEntry> values;  // by folded name; an entry may remove its value
};
using StateMap = std::map<std::string, KeyState>;

StateMap MapOf(const std::vector<RegRecord>& records) {
  StateMap map;
  for (const RegRecord& record : records) {
    KeyState& key = map[KeyId(record.root, record.path)];
    key.removed = record.remove_key;
    if (record.remove_key) key.values.clear();
    for (const RegValueEntry& entry : record.values) key.values[Fold(entry.name)] = entry;
  }
  return map;
}

bool SameValue(const RegValueEntry* a, const RegValueEntry* b) {
  const bool a_gone = a == nullptr || a->remove;
  const bool b_gone = b == nullptr || b->remove;
  if (a_gone || b_gone) return a_gone == b_gone;
  return a->value == b->value;
}

bool SameKey(const KeyState& a, const KeyState& b) {
  if (a.removed != b.removed || a.values.size() != b.values.size()) return false;
  for (const auto& [name, entry] : a.values) {
    const auto other = b.values.find(name);
    if (other == b.values.end() || !SameValue(&entry, &other->second)) return false;
  }
  return true;
}

// The entries of `map` at or below the key `id`.
std::vector<std::pair<std::string, const KeyState*>> Tree(const StateMap& map,
                                                          const std::string& id) {
  std::vector<std::pair<std::string, const KeyState*>> tree;
  for (auto it = map.lower_bound(id); it != map.end(); ++it) {
    if (it->first != id && it->first.rfind(Cat({id, "\\"}), 0) != 0) break;
    tree.emplace_back(it->first, &it->second);
  }
  return tree;
}

// Whether `item` is named by both maps (`known`), and if so whether its states are the same.
bool SameItem(const RunItem& item, const StateMap& then, const StateMap& now, bool* known) {
  const std::string id = KeyId(item.root, item.path);
  const auto a = then.find(id);
  const auto b = now.find(id);
  *known = a != then.end() && b != now.end();
  if (!*known) return false;
  if (a->second.removed || b->second.removed) return a->second.removed == b->second.removed;
  switch (item.kind) {
    case RunItem::Kind::kKey:
      return true;
    case RunItem::Kind::kValue: {
      const auto find = [&](const KeyState& key) -> const RegValueEntry* {
        const auto at = key.values.find(Fold(item.value_name));
        return at == key.values.end() ? nullptr : &at->second;
      };
      const RegValueEntry* x = find(a->second);
      const RegValueEntry* y = find(b->second);
      *known = x != nullptr && y != nullptr;
      return *known && SameValue(x, y);
    }
    case RunItem::Kind::kTree: {
      const auto x = Tree(then, id);
      const auto y = Tree(now, id);
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i].first != y[i].first || !SameKey(*x[i].second, *y[i].second)) return false;
      }
      return true;
    }
  }
  return false;
}

// The registry editor file of `lines`.
std::string RegBytes(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : RegFileHeaderLines("")) text += Cat({line, kCrLf});
  for (const std::string& line : lines) text += Cat({line, kCrLf});
  return Cat({kUtf16Bom, EncodeUtf16Le(text)});
}

// The state file: its own first line, then the registry editor file. A registry editor refuses a
// file whose first line is not its signature, so the state is never merged, whatever it is called.
std::string StateFileBytes(const std::vector<std::string>& lines) {
  const std::string bytes = RegBytes(lines);
  return Cat(
      {kUtf16Bom, EncodeUtf16Le(Cat({kStateSignature, kCrLf})), bytes.substr(kUtf16Bom.size())});
}

// The registry editor file inside a state file's bytes; false when they are no state file.
bool RegBytesOfState(const std::string& bytes, std::string* reg) {
  const std::string head = Cat({kUtf16Bom, EncodeUtf16Le(Cat({kStateSignature, kCrLf}))});
  if (bytes.rfind(head, 0) != 0) return false;
  *reg = Cat({kUtf16Bom, std::string_view(bytes).substr(head.size())});
  return true;
}

// Reads and parses state files into one map; "" or why they cannot be used.
std::string ReadStates(const std::vector<std::string>& files, StateMap* map) {
  for (const std::string& file : files) {
    std::string bytes;
    if (!base::ReadWholeFile(base::PathFromUtf8(file), &bytes)) {
      return Cat({FileName(file), " cannot be read [", base::LastFileErrorText(), "]"});
    }
    std::string reg;
    if (!RegBytesOfState(bytes, &reg)) return Cat({FileName(file), " is no run state file"});
    const RegFileContents contents = ParseRegFile(reg);
    if (!contents.error.empty()) return Cat({FileName(file), " is damaged [", contents.error, "]"});
    for (auto& [id, key] : MapOf(contents.records)) (*map)[id] = std::move(key);
  }
  return "";
}

}  // namespace

std::string RunItem::Line() const {
  const std::string key = KeyName(root, path);
  switch (kind) {
    case Kind::kValue:
      return Cat({key, " ",
                  value_name.empty() ? std::string(reg::kDefaultValueName)
                                     : Cat({"\"", value_name, "\""})});
    case Kind::kKey:
      return key;
    case Kind::kTree:
      return Cat({key, " (tree)"});
  }
  return key;
}

std::string RunItem::Id() const {
  const std::string key = Fold(KeyName(root, path));
  switch (kind) {
    case Kind::kValue:
      return Cat({key, "\x01", Fold(value_name)});
    case Kind::kKey:
      return key;
    case Kind::kTree:
      return Cat({key, "\x02"});
  }
  return key;
}

std::vector<RunItem> RunItemsOf(const std::vector<const std::vector<RegRecord>*>& files) {
  std::vector<RunItem> items;
  std::set<std::string> seen;
  const auto add = [&](RunItem item) {
    if (seen.insert(item.Id()).second) items.push_back(std::move(item));
  };
  for (const auto* records : files) {
    for (const RegRecord& record : *records) {
      if (record.root == nullptr) continue;
      if (record.remove_key) {
        add({RunItem::Kind::kTree, record.root, record.path, ""});
        continue;
      }
      if (record.values.empty()) add({RunItem::Kind::kKey, record.root, record.path, ""});
      for (const RegValueEntry& entry : record.values) {
        add({RunItem::Kind::kValue, record.root, record.path, entry.name});
      }
    }
  }
  return items;
}

std::string RunStatePath(const std::string& first_undo_file) {
  const auto path = base::PathFromUtf8(first_undo_file);
  std::string stem = base::PathToUtf8(path.stem());
  if (stem.rfind(kUndoPrefix, 0) == 0) stem.erase(0, kUndoPrefix.size());
  return base::PathToUtf8(path.parent_path() /
                          base::PathFromUtf8(Cat({kStatePrefix, stem, kStateExtension})));
}

std::string RunStateLines(const RegistryReader& reader, const reg::Target& target,
                          const std::vector<RunItem>& items, std::vector<std::string>* lines) {
  RegistrySnapshot snapshot(reader, target.view);
  for (const RunItem& item : items) {
    SnapshotSource& source = snapshot.Source(item.root->handle, target.machine);
    if (!source.error().empty()) return source.error();
    const std::string path = WithLeadingBackslash(item.path);
    const std::string bracket = Cat({"[", KeyName(item.root, item.path), "]"});
    std::string line;
    std::string error;
    // A value is read at once (the common case: one key opened); only a failure asks why.
    const bool value = item.kind == RunItem::Kind::kValue;
    if (value && source.ValueLine(path, item.value_name, &line, &error)) {
      if (line.empty()) line = RegRemoveValueLine(item.value_name);
      lines->insert(lines->end(), {"", bracket, line});
      continue;
    }
    const reg::ErrorCode rc = source.Probe(path);
    if (rc == reg::kFileNotFound) {
      lines->insert(lines->end(), {"", Cat({"[-", KeyName(item.root, item.path), "]"})});
      continue;
    }
    // What cannot be read now is left out: a comparison then cannot tell its state.
    if (rc != reg::kSuccess || value) continue;
    if (item.kind == RunItem::Kind::kKey) {
      lines->insert(lines->end(), {"", bracket});
    } else {
      SnapshotTree tree;
      if (!source.KeyTree(path, {path, ""}, nullptr, &tree, &error) || !tree.gaps.empty()) {
        continue;
      }
      const auto tree_lines = tree.Lines();
      lines->insert(lines->end(), tree_lines.begin(), tree_lines.end());
    }
  }
  return "";
}

std::string WriteRunState(const RegistryReader& reader, const reg::Target& target,
                          const std::vector<std::string>& undo_files,
                          const std::string& state_file) {
  std::vector<RegFileContents> parsed;
  for (const std::string& file : undo_files) {
    std::string bytes;
    if (!base::ReadWholeFile(base::PathFromUtf8(file), &bytes)) {
      return Cat({"Unable to read [", file, "] [", base::LastFileErrorText(), "]"});
    }
    parsed.push_back(ParseRegFile(bytes));
  }
  std::vector<const std::vector<RegRecord>*> records;
  for (const auto& contents : parsed) records.push_back(&contents.records);
  std::vector<std::string> lines;
  const std::string error = RunStateLines(reader, target, RunItemsOf(records), &lines);
  if (!error.empty()) return error;
  base::FileReplacement out(base::PathFromUtf8(state_file));
  if (!out.Begin() || !out.Write(StateFileBytes(lines)) || !out.Commit()) {
    return Cat({state_file, ": ", out.error()});
  }
  return "";
}

RunStateChanges CompareRunState(const RegistryReader& reader, const reg::Target& target,
                                const std::vector<RunItem>& items,
                                const std::vector<std::string>& state_files) {
  RunStateChanges changes;
  StateMap then;
  changes.unknown = ReadStates(state_files, &then);
  if (!changes.unknown.empty()) return changes;
  std::vector<std::string> lines;
  changes.unknown = RunStateLines(reader, target, items, &lines);
  if (!changes.unknown.empty()) return changes;
  const StateMap now = MapOf(ParseRegFile(RegBytes(lines)).records);
  std::size_t unknown = 0;
  for (const RunItem& item : items) {
    bool known = false;
    if (SameItem(item, then, now, &known)) continue;
    if (known) {
      changes.changed.push_back(item.Line());
    } else {
      ++unknown;
    }
  }
  if (unknown > 0) {
    changes.unknown = Cat({"the state the run left or the registry now does not tell of ",
                           std::to_string(unknown), unknown == 1 ? " item" : " items"});
  }
  return changes;
}

}  // namespace keyloom::files
