#include "edit/run_undo_order.h"

#include <algorithm>
#include <optional>
#include <set>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "engine/match.h"
#include "files/reg_file_format.h"
#include "files/run_state.h"
#include "registry/registry.h"

namespace keyloom::edit {
namespace {

using text::Cat;

std::string Fold(std::string_view name) {
  std::u16string units = text::Utf8ToUtf16(name);
  for (auto& unit : units) unit = text::UpcaseUnit(unit);
  return text::Utf16ToUtf8(units);
}

std::string ValueLine(const files::RegRecord& record, const std::string& name) {
  return Cat({record.KeyName(), " ", name.empty() ? std::string(reg::kDefaultValueName) : Cat({"\"", name, "\""})});
}

// Sorts `ids` and keeps `lines` in step; drops repeated ids.
void SortTogether(std::vector<std::string>* ids, std::vector<std::string>* lines) {
  std::vector<std::size_t> order(ids->size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return (*ids)[a] < (*ids)[b]; });
  std::vector<std::string> sorted_ids, sorted_lines;
  for (const auto i : order) {
    if (!sorted_ids.empty() && sorted_ids.back() == (*ids)[i]) continue;
    sorted_ids.push_back((*ids)[i]);
    sorted_lines.push_back((*lines)[i]);
  }
  *ids = std::move(sorted_ids);
  *lines = std::move(sorted_lines);
}

bool Contains(const std::vector<std::string>& sorted, const std::string& id) {
  return std::binary_search(sorted.begin(), sorted.end(), id);
}

bool IsStringKind(std::uint32_t type) {
  return type == reg::kRegSz || type == reg::kRegExpandSz || type == reg::kRegMultiSz;
}

// What the run's replacement made of `before`, with and without letter case.
std::vector<reg::Bytes> ReplacedForms(const reg::RawValue& before, const files::RunInfo& info) {
  std::vector<reg::Bytes> forms;
  const std::string text = text::Utf16ToUtf8(text::BytesToUtf16(before.data));
  for (const bool case_sensitive : {true, false}) {
    const std::string replaced =
        before.type == reg::kRegMultiSz
            ? engine::ReplaceInMultiString(text, info.find, info.replace, case_sensitive)
            : engine::ReplaceText(text, info.find, info.replace, case_sensitive);
    forms.push_back(text::Utf16ToBytes(text::Utf8ToUtf16(replaced)));
  }
  return forms;
}

// The present value, or nothing when it is absent or its key cannot be opened.
std::optional<reg::RawValue> Present(reg::TRegistry& registry, const files::RegRecord& record,
                                     const std::string& name) {
  registry.CloseKey();
  registry.SetRootKey(record.root->handle);
  if (!record.path.empty() && !registry.OpenKey(Cat({"\\", record.path}))) return std::nullopt;
  if (!registry.ValueExists(name)) return std::nullopt;
  try {
    return registry.ReadRaw(name);
  } catch (const reg::ERegistryException&) {
    return std::nullopt;
  }
}

// Whether `present` is what the run left of a value it found as `before` (the undo line).
bool AsTheRunLeftIt(const std::optional<reg::RawValue>& present, const files::RegValueEntry& before,
                    const files::RunInfo& info) {
  if (before.remove) return present.has_value();  // the run made the value
  if (!present) return true;  // renamed or deleted by the run: only a name's history tells
  if (*present == before.value) return true;  // not changed by its data
  if (present->type != before.value.type || !IsStringKind(before.value.type)) return true;
  // Strings end in one NUL as stored; the comparison ignores how many.
  const auto trimmed = [](reg::Bytes bytes) {
    while (bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0) {
      bytes.resize(bytes.size() - 2);
    }
    return bytes;
  };
  for (const auto& form : ReplacedForms(before.value, info)) {
    if (trimmed(form) == trimmed(present->data)) return true;
  }
  return false;
}

}  // namespace

ParsedRunFile ParseRunFile(const std::string& path) {
  ParsedRunFile file;
  file.path = path;
  std::string bytes;
  if (!base::ReadWholeFile(base::PathFromUtf8(path), &bytes)) {
    file.error = Cat({"Unable to read [", path, "] [", base::LastFileErrorText(), "]"});
    return file;
  }
  auto contents = files::ParseRegFile(bytes);
  file.records = std::move(contents.records);
  file.error = std::move(contents.error);
  return file;
}

std::vector<ParsedRunFile> ParseRunFiles(const files::JournalRun& run) {
  std::vector<ParsedRunFile> parsed;
  for (auto it = run.files.rbegin(); it != run.files.rend(); ++it) {
    parsed.push_back(ParseRunFile(*it));
  }
  return parsed;
}

RunItems::RunItems(const std::vector<ParsedRunFile>& files) {
  for (const auto& file : files) {
    for (const auto& record : file.records) {
      const std::string key = Fold(record.KeyName());
      if (record.remove_key) {
        trees_.push_back(key);
        tree_lines_.push_back(Cat({record.KeyName(), " (tree)"}));
      } else if (record.values.empty()) {
        keys_.push_back(key);
        key_lines_.push_back(record.KeyName());
      }
      for (const auto& entry : record.values) {
        values_.push_back(Cat({key, "\x01", Fold(entry.name)}));
        value_lines_.push_back(ValueLine(record, entry.name));
      }
    }
  }
  SortTogether(&values_, &value_lines_);
  SortTogether(&keys_, &key_lines_);
  SortTogether(&trees_, &tree_lines_);
}

bool RunItems::Reaches(const std::string& folded_key) const {
  for (std::string key = folded_key;;) {
    if (Contains(trees_, key)) return true;
    const auto slash = key.rfind('\\');
    if (slash == std::string::npos) return false;
    key.resize(slash);
  }
}

std::vector<std::string> RunItems::Shared(const RunItems& other) const {
  std::vector<std::string> shared;
  for (std::size_t i = 0; i < other.values_.size(); ++i) {
    const auto& id = other.values_[i];
    if (Contains(values_, id) || Reaches(id.substr(0, id.find('\x01')))) {
      shared.push_back(other.value_lines_[i]);
    }
  }
  for (std::size_t i = 0; i < other.keys_.size(); ++i) {
    if (Contains(keys_, other.keys_[i]) || Reaches(other.keys_[i])) {
      shared.push_back(other.key_lines_[i]);
    }
  }
  for (std::size_t i = 0; i < other.trees_.size(); ++i) {
    // A removed tree reaches this run's items below it, and the other way round.
    const auto& tree = other.trees_[i];
    const auto below = [&](const std::vector<std::string>& ids) {
      const auto at = std::lower_bound(ids.begin(), ids.end(), tree);
      return at != ids.end() && (*at == tree || at->rfind(Cat({tree, "\\"}), 0) == 0 ||
                                 at->rfind(Cat({tree, "\x01"}), 0) == 0);
    };
    if (Reaches(tree) || below(values_) || below(keys_) || below(trees_)) {
      shared.push_back(other.tree_lines_[i]);
    }
  }
  return shared;
}

std::vector<std::size_t> LaterRunsToTakeBackFirst(const std::vector<files::JournalRun>& runs,
                                                  std::size_t chosen) {
  std::vector<RunItems> joined;
  joined.emplace_back(ParseRunFiles(runs[chosen]));
  std::vector<std::size_t> later;
  // A take-back of the chosen run (one that was stopped, or the run is taken back again) brought
  // back what the chosen run brings back: it is no later change over it.
  const std::string its_take_back = Cat({kTakeBackFind, runs[chosen].info.date, ")"});
  for (std::size_t i = chosen; i-- > 0;) {  // oldest of the later runs first
    const auto& run = runs[i];
    if (!run.undone.empty() || run.files.empty() || run.info.find == its_take_back) continue;
    RunItems items(ParseRunFiles(run));
    const bool shares = std::any_of(joined.begin(), joined.end(), [&](const RunItems& member) {
      return !member.Shared(items).empty();
    });
    if (!shares) continue;
    later.push_back(i);
    joined.push_back(std::move(items));
  }
  std::reverse(later.begin(), later.end());
  return later;
}

namespace {

// The run's items compared with the state it left; `unknown` says why that cannot tell.
std::vector<std::string> ChangedSinceItsState(reg::RegApi& api, const reg::Target& target,
                                              const files::JournalRun& run,
                                              const std::vector<ParsedRunFile>& files,
                                              const std::set<std::string>& newer,
                                              std::string* unknown) {
  std::vector<const std::vector<files::RegRecord>*> records;
  for (const auto& file : files) records.push_back(&file.records);
  std::vector<files::RunItem> items;
  for (auto& item : files::RunItemsOf(records)) {
    if (newer.count(item.Id()) == 0) items.push_back(std::move(item));
  }
  auto changes = files::CompareRunState(files::RegistryReader{&api, {}, {}}, target, items,
                                        run.states);
  if (!changes.unknown.empty()) {
    *unknown = Cat({"Cannot tell exactly which items changed since the run of ", run.info.date,
                    " [", changes.unknown, "]"});
  }
  return std::move(changes.changed);
}

// Today's values whose present state is neither what the run found nor what it made of it.
std::vector<std::string> ValuesChangedSince(reg::RegApi& api, const reg::Target& target,
                                            const files::JournalRun& run,
                                            const std::vector<ParsedRunFile>& files,
                                            const std::set<std::string>& newer) {
  reg::TRegistry registry(api);
  registry.SetView(target.view);
  if (!target.machine.empty() && !registry.RegistryConnect(target.machine)) return {};
  registry.SetAccess(reg::access::kQueryValue);
  std::vector<std::string> changed;
  std::set<std::string> seen;
  const bool follows =
      !run.single_file && !run.info.find.empty() && run.info.find.rfind(kTakeBackFind, 0) != 0;
  // The oldest file's record of an item holds its state from before the run.
  for (auto file = files.rbegin(); file != files.rend(); ++file) {
    for (const auto& record : file->records) {
      for (const auto& entry : record.values) {
        const std::string id = Cat({Fold(record.KeyName()), "\x01", Fold(entry.name)});
        if (newer.count(id) != 0 || !seen.insert(id).second) continue;
        if (follows && !AsTheRunLeftIt(Present(registry, record, entry.name), entry, run.info)) {
          changed.push_back(ValueLine(record, entry.name));
        }
      }
    }
  }
  return changed;
}

}  // namespace

std::vector<std::string> ItemsChangedSince(reg::RegApi& api, const reg::Target& target,
                                           const files::JournalRun& run,
                                           const std::vector<ParsedRunFile>& files,
                                           std::set<std::string>* newer, std::string* unknown) {
  std::vector<std::string> changed;
  if (!run.states.empty()) changed = ChangedSinceItsState(api, target, run, files, *newer, unknown);
  if (run.states.empty() || !unknown->empty()) {
    // What the undo files alone tell, beside what the state could tell.
    for (auto& line : ValuesChangedSince(api, target, run, files, *newer)) {
      if (std::find(changed.begin(), changed.end(), line) == changed.end()) {
        changed.push_back(std::move(line));
      }
    }
  }
  std::vector<const std::vector<files::RegRecord>*> records;
  for (const auto& file : files) records.push_back(&file.records);
  for (const auto& item : files::RunItemsOf(records)) newer->insert(item.Id());
  return changed;
}

}  // namespace keyloom::edit
