#include "files/registry_snapshot.h"

#include <exception>

#include "base/text.h"
#include "files/reg_file_format.h"

namespace keyloom::files {

using text::Cat;

namespace {

// Enough to read values and list subkeys, nothing more.
constexpr std::uint32_t kReadAccess = reg::access::kQueryValue | reg::access::kEnumerateSubKeys;
constexpr std::u16string_view kWow64Node = u"Wow6432Node";

bool Fail(std::string text, std::string* error) {
  *error = std::move(text);
  return false;
}

std::string RootNameOf(reg::KeyHandle root) {
  const reg::RootKey* found = reg::RootByHandle(root);
  return found != nullptr ? found->name : std::string();
}

}  // namespace

bool HasLineBreak(std::string_view name) {
  return name.find_first_of("\r\n") != std::string_view::npos;
}

std::string LineBreakRefusal(std::string_view kind, std::string_view item) {
  std::string shown;
  for (const char c : item) {
    if (c == '\r') {
      shown += "<CR>";
    } else if (c == '\n') {
      shown += "<LF>";
    } else {
      shown += c;
    }
  }
  return Cat({"the name of ", kind, " ", shown,
              " holds a line break, which a registry file cannot carry"});
}

std::string WithLeadingBackslash(std::string_view path) {
  if (!path.empty() && path.front() == '\\') return std::string(path);
  return Cat({"\\", path});
}

std::vector<std::string> SnapshotTree::Lines() const {
  std::vector<std::string> lines;
  for (const SnapshotKey& key : keys) {
    lines.emplace_back();
    lines.push_back(key.bracket);
    for (const auto& value : key.values) lines.push_back(value.second);
  }
  return lines;
}

// Walks one key tree depth first, as KeyTree describes.
class SnapshotSource::Walk {
 public:
  Walk(SnapshotSource& source, const SnapshotSkip* skip, SnapshotTree* tree)
      : source_(source), skip_(skip), tree_(tree) {}

  // `path` is the key's path as opened, `named` its name in the file.
  void Key(reg::KeyHandle key, const std::string& path, const EditorPaths::Named& named,
           const std::string& id) {
    const std::string& root_name = source_.root_name_;
    SnapshotKey& own = tree_->keys.emplace_back();
    own.path = named.path;
    own.bracket = Cat({"[", root_name, named.path, "]"});
    const std::size_t index = tree_->keys.size() - 1;
    std::string name;
    reg::RawValue value;
    for (std::uint32_t i = 0;; ++i) {
      const reg::ErrorCode rc = api().EnumValue(key, i, &name, &value.type, &value.data);
      if (rc == reg::kNoMoreItems) break;
      if (rc != reg::kSuccess) {
        Gap(source_.Message(rc));
        break;
      }
      if (HasLineBreak(name)) {
        Gap(LineBreakRefusal("value", Cat({root_name, named.path, "\\", name})));
      }
      if (skip_ != nullptr && skip_->SkipsValue(id, name)) continue;
      tree_->keys[index].values.emplace_back(name, RegValueLine(name, value));
    }
    for (const std::string& subkey : Subkeys(key, named)) {
      Subkey(key, path, named, subkey);
    }
  }

 private:
  reg::RegApi& api() { return source_.reg_.api(); }
  void Gap(std::string text) { tree_->gaps.push_back(std::move(text)); }

  std::vector<std::string> Subkeys(reg::KeyHandle key, const EditorPaths::Named& named) {
    std::vector<std::string> subkeys;
    std::string name;
    for (std::uint32_t i = 0;; ++i) {
      const reg::ErrorCode rc = api().EnumKey(key, i, &name);
      if (rc == reg::kNoMoreItems) break;
      if (rc != reg::kSuccess) {
        Gap(source_.Message(rc));
        break;
      }
      if (HasLineBreak(name)) {
        Gap(LineBreakRefusal("key", Cat({source_.root_name_, named.path, "\\", name})));
      }
      subkeys.push_back(name);
    }
    return subkeys;
  }

  void Subkey(reg::KeyHandle parent, const std::string& parent_path,
              const EditorPaths::Named& parent_named, const std::string& subkey) {
    const std::string path =
        parent_path.back() == '\\' ? parent_path + subkey : Cat({parent_path, "\\", subkey});
    // The subkey's name in the file when the system does not place it elsewhere.
    const std::string plain = parent_named.path.back() == '\\'
                                  ? parent_named.path + subkey
                                  : Cat({parent_named.path, "\\", subkey});
    reg::UniqueKey child;
    const reg::ErrorCode rc = source_.Open(path, &child);
    if (rc != reg::kSuccess) {
      if (Skips(plain)) return;
      Gap(Cat({path, ": ", source_.Message(rc)}));
      tree_->left_out.push_back(plain);
      return;
    }
    if (RedirectionNode(parent, subkey, child.get())) {
      tree_->left_out.push_back(plain);
      return;
    }
    const EditorPaths::Named named =
        source_.paths_->NameSubkey(parent_named, path, subkey, child.get());
    const std::string id = skip_ != nullptr ? skip_->KeyId(named.path) : std::string();
    if (skip_ != nullptr && skip_->SkipsKey(id)) return;
    Key(child.get(), path, named, id);
  }

  bool Skips(const std::string& path) const {
    return skip_ != nullptr && skip_->SkipsKey(skip_->KeyId(path));
  }

  // Whether subkey `name` of `parent`, opened as `child`, is the system's node of the other
  // view: a key named Wow6432Node that the system keeps somewhere else than below the parent.
  // Every other key of that name, an ordinary one the user made, belongs to the tree; so does one
  // the system does not name, which a change moves or deletes with the rest.
  bool RedirectionNode(reg::KeyHandle parent, std::string_view name, reg::KeyHandle child) {
    if (text::CompareNamesIgnoringCase(text::Utf8ToUtf16(name), kWow64Node) != 0) return false;
    std::string parent_name;
    std::string child_name;
    if (api().KeyRealName(parent, &parent_name) != reg::kSuccess ||
        api().KeyRealName(child, &child_name) != reg::kSuccess) {
      return false;
    }
    const std::string own = Cat({parent_name, "\\", name});
    return text::CompareNamesIgnoringCase(text::Utf8ToUtf16(child_name), text::Utf8ToUtf16(own)) !=
           0;
  }

  SnapshotSource& source_;
  const SnapshotSkip* skip_;
  SnapshotTree* tree_;
};

SnapshotSource::SnapshotSource(const RegistryReader& reader, reg::KeyHandle root,
                               std::string_view machine, reg::RegView view)
    : reg_(*reader.api), view_flag_(reg::ViewFlag(view)), root_name_(RootNameOf(root)) {
  reg_.SetRootKey(root);
  if (!machine.empty() && !reg_.RegistryConnect(machine)) {
    error_ = reg_.LastErrorText();
    if (reader.log)
      reader.log("Error connecting to remote machine while saving UNDO: [" + error_ + "]");
  }
  // Without the machine's registry no key is asked about: a record fails or lists nothing.
  paths_.emplace(*reader.api, reg_.RootKeyHandle(), error_.empty() ? view : reg::RegView::kNone,
                 root_name_, reader.debug_log);
}

SnapshotSource::~SnapshotSource() = default;

reg::ErrorCode SnapshotSource::Open(std::string_view path, reg::UniqueKey* key) {
  reg::KeyHandle handle = reg::kNullKey;
  const reg::ErrorCode rc = reg_.api().OpenKey(
      reg_.RootKeyHandle(), reg::WithoutLeadingBackslash(path), kReadAccess | view_flag_, &handle);
  if (rc == reg::kSuccess) *key = reg::UniqueKey(reg_.api(), handle);
  return rc;
}

std::string SnapshotSource::Message(reg::ErrorCode code) const {
  return text::TrimMessage(reg_.api().ErrorMessage(code));
}

reg::ErrorCode SnapshotSource::Probe(std::string_view path) {
  reg::UniqueKey key;
  return Open(path, &key);
}

EditorPaths::Named SnapshotSource::NameOf(const std::string& path) { return paths_->NameOf(path); }

bool SnapshotSource::ValueLine(const std::string& path, std::string_view name, std::string* line,
                               std::string* error) {
  line->clear();
  if (!error_.empty()) return Fail(error_, error);
  reg::UniqueKey key;
  reg::ErrorCode rc = Open(path, &key);
  if (rc != reg::kSuccess) return Fail(Message(rc), error);
  reg::RawValue value;
  rc = reg_.api().QueryValue(key.get(), name, &value.type, &value.data);
  if (rc == reg::kFileNotFound) return true;
  if (rc != reg::kSuccess) return Fail(Message(rc), error);
  *line = RegValueLine(name, value);
  return true;
}

bool SnapshotSource::KeyTree(const std::string& path, const EditorPaths::Named& top,
                             const SnapshotSkip* skip, SnapshotTree* tree, std::string* error) {
  if (!error_.empty()) return Fail(error_, error);
  reg::UniqueKey key;
  const reg::ErrorCode rc = Open(path, &key);
  if (rc != reg::kSuccess) return Fail(Message(rc), error);
  const std::string id = skip != nullptr ? skip->KeyId(top.path) : std::string();
  Walk(*this, skip, tree).Key(key.get(), path, top, id);
  return true;
}

std::optional<std::string> SnapshotSource::ValueText(std::string_view path, std::string_view name,
                                                     ValueForm form, std::string* error) {
  if (!error_.empty()) {
    if (error != nullptr) *error = error_;
    return std::nullopt;
  }
  reg::UniqueKey key;
  const reg::ErrorCode rc = Open(path, &key);
  if (rc != reg::kSuccess) {
    if (error != nullptr) *error = Message(rc);
    return std::nullopt;
  }
  reg::RawValue value;
  if (reg_.api().QueryValue(key.get(), name, &value.type, &value.data) != reg::kSuccess) {
    return std::string();
  }
  return form == ValueForm::kRecord ? RegValueLine(name, value) : PlainValueText(value);
}

RegistrySnapshot::RegistrySnapshot(RegistryReader reader, reg::RegView view)
    : reader_(std::move(reader)), view_(view) {}

RegistrySnapshot::~RegistrySnapshot() = default;

SnapshotSource& RegistrySnapshot::Source(reg::KeyHandle root, std::string_view machine) {
  for (const Entry& entry : entries_) {
    if (entry.root == root && entry.machine == machine) return *entry.source;
  }
  entries_.push_back({root, std::string(machine),
                      std::make_unique<SnapshotSource>(reader_, root, machine, view_)});
  return *entries_.back().source;
}

std::string RegistrySnapshot::ItemLines(const SnapshotItem& item, std::vector<std::string>* lines) {
  try {
    const reg::RootKey* root = reg::RootByHandle(item.root);
    if (root == nullptr) return "no root key specified";
    const std::string path = WithLeadingBackslash(item.key_path);
    SnapshotSource& source = Source(item.root, item.machine_name);
    const EditorPaths::Named named = source.NameOf(path);
    const std::string bracket = Cat({"[", root->name, named.path, "]"});
    std::string error;
    if (!item.value_name.empty() || item.unnamed_value) {
      std::string line;
      source.ValueLine(path, item.value_name, &line, &error);
      *lines = {"", bracket, line};
      return "";
    }
    SnapshotTree tree;
    if (!source.KeyTree(path, named, nullptr, &tree, &error)) {
      *lines = {"", bracket};
      return "";
    }
    *lines = tree.Lines();
    return "";
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::optional<std::string> RegistrySnapshot::ReadValueText(reg::KeyHandle root,
                                                           std::string_view key_path,
                                                           std::string_view value_name,
                                                           std::string_view machine_name,
                                                           ValueForm form, std::string* error) {
  return Source(root, machine_name).ValueText(key_path, value_name, form, error);
}

std::string RegistrySnapshot::ValueText(reg::KeyHandle root, std::string_view key_path,
                                        std::string_view value_name, std::string_view machine_name,
                                        ValueForm form) {
  return ReadValueText(root, key_path, value_name, machine_name, form).value_or(std::string());
}

}  // namespace keyloom::files
