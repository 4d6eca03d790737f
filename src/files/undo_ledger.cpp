#include "files/undo_ledger.h"

#include "base/text.h"
#include "registry/registry.h"

namespace keyloom::files {
namespace {

std::string Fold(std::string_view name) {
  std::u16string units = text::Utf8ToUtf16(name);
  for (auto& unit : units) unit = text::UpcaseUnit(unit);
  return text::Utf16ToUtf8(units);
}

// The key itself and every ancestor up to its root, nearest first.
std::vector<std::string_view> SelfAndAncestors(std::string_view key_id) {
  std::vector<std::string_view> out;
  out.push_back(key_id);
  const auto root_end = key_id.find('\\');  // the machine and root part holds no backslash
  if (root_end == std::string_view::npos) return out;
  for (auto pos = key_id.size();;) {
    pos = key_id.rfind('\\', pos - 1);
    out.push_back(key_id.substr(0, pos));
    if (pos == root_end) break;
  }
  return out;
}

bool AtOrBelow(std::string_view key_id, std::string_view ancestor) {
  return key_id.size() >= ancestor.size() && key_id.substr(0, ancestor.size()) == ancestor &&
         (key_id.size() == ancestor.size() || key_id[ancestor.size()] == '\\');
}

}  // namespace

std::string LedgerKeyId(std::string_view machine, std::string_view root_name,
                        std::string_view key_path) {
  key_path = reg::WithoutLeadingBackslash(key_path);
  while (!key_path.empty() && key_path.back() == '\\') key_path.remove_suffix(1);
  while (!machine.empty() && machine.front() == '\\') machine.remove_prefix(1);
  std::string id = Fold(machine);
  id += '\x01';
  id += root_name;
  if (!key_path.empty()) {
    id += '\\';
    id += Fold(key_path);
  }
  return id;
}

void UndoLedger::Reset(std::string file) {
  file_ = std::move(file);
  sections_.clear();
  trees_.clear();
  trees_by_root_.clear();
  removals_.clear();
  values_.clear();
}

bool UndoLedger::Excluded(const Tree& tree, const std::string& key_id) const {
  for (const auto ancestor : SelfAndAncestors(key_id)) {
    if (ancestor.size() <= tree.root_id.size()) break;
    if (tree.excluded.count(std::string(ancestor)) != 0) return true;
  }
  return false;
}

UndoLedger::State UndoLedger::KeyState(const std::string& key_id) const {
  if (sections_.count(key_id) != 0) return State::kPresent;
  const auto ancestors = SelfAndAncestors(key_id);
  for (const auto ancestor : ancestors) {
    if (removals_.count(std::string(ancestor)) != 0) return State::kAbsent;
  }
  for (const auto ancestor : ancestors) {
    const auto found = trees_by_root_.find(std::string(ancestor));
    if (found == trees_by_root_.end()) continue;
    for (const std::size_t index : found->second) {
      if (!Excluded(trees_[index], key_id)) return State::kAbsentUnenforced;
    }
  }
  return State::kUnknown;
}

UndoLedger::State UndoLedger::ValueState(const std::string& key_id,
                                         std::string_view value_name) const {
  const std::string folded = Fold(value_name);
  const auto value = values_.find({key_id, folded});
  if (value != values_.end()) return value->second.present ? State::kPresent : State::kAbsent;
  const State key = KeyState(key_id);
  if (key == State::kPresent) {
    return sections_.at(key_id).value_names.count(folded) != 0 ? State::kPresent
                                                               : State::kAbsentUnenforced;
  }
  return key;
}

void UndoLedger::AddValue(const std::string& key_id, std::string_view value_name,
                          std::string bracket_line, std::string line) {
  ValueEntry entry;
  entry.present = !line.empty();
  entry.bracket_line = std::move(bracket_line);
  entry.line = std::move(line);
  values_[{key_id, Fold(value_name)}] = std::move(entry);
}

void UndoLedger::AddRemoval(const std::string& key_id) { removals_.insert(key_id); }

void UndoLedger::BeginTree(const std::string& key_id) {
  trees_by_root_[key_id].push_back(trees_.size());
  trees_.push_back(Tree{key_id, {}});
}

void UndoLedger::AddSection(const std::string& key_id, std::string bracket_line,
                            std::vector<std::pair<std::string, std::string>> values) {
  Section section;
  section.bracket_line = std::move(bracket_line);
  for (auto& [name, line] : values) {
    section.value_names.insert(Fold(name));
    section.lines.push_back(std::move(line));
  }
  sections_[key_id] = std::move(section);
}

void UndoLedger::Exclude(const std::string& key_id) {
  if (!trees_.empty()) trees_.back().excluded.insert(key_id);
}

std::vector<std::string> UndoLedger::RecordedLinesUnder(const std::string& key_id) const {
  std::vector<std::string> lines;
  for (auto it = sections_.lower_bound(key_id);
       it != sections_.end() && it->first.compare(0, key_id.size(), key_id) == 0; ++it) {
    if (!AtOrBelow(it->first, key_id)) continue;
    lines.emplace_back();
    lines.push_back(it->second.bracket_line);
    lines.insert(lines.end(), it->second.lines.begin(), it->second.lines.end());
  }
  for (auto it = values_.lower_bound({key_id, std::string()});
       it != values_.end() && it->first.first.compare(0, key_id.size(), key_id) == 0; ++it) {
    if (!it->second.present || !AtOrBelow(it->first.first, key_id)) continue;
    lines.emplace_back();
    lines.push_back(it->second.bracket_line);
    lines.push_back(it->second.line);
  }
  return lines;
}

}  // namespace keyloom::files
