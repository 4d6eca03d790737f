// Reading registry items as a registry editor file records them: one value's line, or a key's
// whole tree (its values, then depth first every subkey with its bracket line and its values).
// The undo writer records before-states with it, the exports list the Key List's items with it.
//
// Keys are opened for reading alone (values and subkeys), so that a key the user may read but not
// change still gives its values, in the snapshot's view; each key is named by the path under which
// the 64-bit registry editor reaches it (see editor_path.h). A subkey named Wow6432Node that the
// system keeps somewhere else than below its parent (the system's node of the other view) is left
// out with its subtree: a change of this view does not touch that view.
//
// A snapshot connects once to each root (on the named machine, or the local one) it is asked
// about and keeps the connection for its life: an export makes one for the whole list, the undo
// writer one for each record. What a tree walk cannot read it leaves out and notes as a gap, in
// the order met: a list of values or subkeys that cannot be read, a subkey that cannot be opened,
// a name that holds a line break (which a registry file cannot carry). The undo writer refuses a
// record with a gap; an export lists what it could read.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/editor_path.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::files {

// What reading the registry is done with.
struct RegistryReader {
  reg::RegApi* api = nullptr;  // required
  // Status log lines: a remote machine that cannot be reached.
  std::function<void(const std::string&)> log;
  // Debug log lines: a key the system cannot name.
  std::function<void(const std::string&)> debug_log;
};

// Value text forms.
enum class ValueForm {
  kRecord,  // the value line of a registry editor file
  kPlain,   // the plain text of the CSV export
};

// One item to read: a value, or a key with its whole tree.
struct SnapshotItem {
  reg::KeyHandle root = reg::kNullKey;
  std::string key_path;  // below the root; a missing leading "\" is put in front
  // The value; empty means the key itself unless `unnamed_value` is set.
  std::string value_name;
  bool unnamed_value = false;
  std::string machine_name;  // "" for the local registry
};

// One key of a tree as read.
struct SnapshotKey {
  std::string path;     // below the root as a file names it, beginning with "\"
  std::string bracket;  // "[" + root name + path + "]"
  std::vector<std::pair<std::string, std::string>> values;  // name and value line, as enumerated
};

struct SnapshotTree {
  std::vector<SnapshotKey> keys;  // the top key first, then depth first
  // Subkeys left out, named by their parent's path and their own name: the system's node of the
  // other view, and subkeys that could not be opened.
  std::vector<std::string> left_out;
  std::vector<std::string> gaps;  // why the tree is not whole, in the order met; empty: whole

  // Each key as an empty line, its bracket line and its value lines.
  std::vector<std::string> Lines() const;
};

// Items the caller holds already: a walk neither reads nor lists them.
class SnapshotSkip {
 public:
  // The caller's name for the key a file names by `path`, asked once per key.
  virtual std::string KeyId(const std::string& path) const = 0;
  virtual bool SkipsKey(const std::string& key_id) const = 0;
  virtual bool SkipsValue(const std::string& key_id, std::string_view value_name) const = 0;

 protected:
  ~SnapshotSkip() = default;
};

// One root on one machine in a snapshot's view.
class SnapshotSource {
 public:
  SnapshotSource(const RegistryReader& reader, reg::KeyHandle root, std::string_view machine,
                 reg::RegView view);
  ~SnapshotSource();
  SnapshotSource(const SnapshotSource&) = delete;
  SnapshotSource& operator=(const SnapshotSource&) = delete;

  // Why the machine cannot be reached (logged when the source was made); "" when it can.
  const std::string& error() const { return error_; }
  // The root's long name; "" for a handle that names no root.
  const std::string& root_name() const { return root_name_; }

  // Whether the key at `path` can be opened: kSuccess, kFileNotFound when it does not exist, or
  // why not.
  reg::ErrorCode Probe(std::string_view path);
  // The system's words for `code`.
  std::string Message(reg::ErrorCode code) const;
  // The key at `path` (beginning with "\") as a file names it.
  EditorPaths::Named NameOf(const std::string& path);
  // The value line of one value: "" when the value does not exist. False (with `error`) when the
  // machine cannot be reached, the key cannot be opened or the value cannot be read.
  bool ValueLine(const std::string& path, std::string_view name, std::string* line,
                 std::string* error);
  // The tree of the key at `path` (beginning with "\"), named `top`; items `skip` holds (when
  // given) are left out. False (with `error`) when the machine cannot be reached or the key cannot
  // be opened; what cannot be read below it goes to `tree->gaps`.
  bool KeyTree(const std::string& path, const EditorPaths::Named& top, const SnapshotSkip* skip,
               SnapshotTree* tree, std::string* error);
  // One value as text: "" when it does not exist or cannot be read; nullopt (with the reason in
  // `error` when given) when the machine cannot be reached or the key cannot be opened.
  std::optional<std::string> ValueText(std::string_view path, std::string_view name, ValueForm form,
                                       std::string* error);

 private:
  class Walk;
  reg::ErrorCode Open(std::string_view path, reg::UniqueKey* key);

  reg::TRegistry reg_;
  std::uint32_t view_flag_;
  std::string root_name_;
  std::string error_;
  std::optional<EditorPaths> paths_;
};

class RegistrySnapshot {
 public:
  RegistrySnapshot(RegistryReader reader, reg::RegView view);
  ~RegistrySnapshot();
  RegistrySnapshot(const RegistrySnapshot&) = delete;
  RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

  // The source for `root` on `machine`, made (and connected) the first time it is asked for.
  SnapshotSource& Source(reg::KeyHandle root, std::string_view machine);

  // The lines an item adds to a registry editor file: an empty line, the key's bracket line and
  // the value's line ("" when the value cannot be read), or the key's tree (only its bracket line
  // when the key cannot be opened). What cannot be read is left out. "" or why nothing could be
  // read at all.
  std::string ItemLines(const SnapshotItem& item, std::vector<std::string>* lines);

  // One value of a key as text. nullopt (with the reason in `error` when given) when the machine
  // cannot be reached or the key cannot be opened, so that a caller can tell a value that does
  // not exist ("") from one it could not read.
  std::optional<std::string> ReadValueText(reg::KeyHandle root, std::string_view key_path,
                                           std::string_view value_name,
                                           std::string_view machine_name, ValueForm form,
                                           std::string* error = nullptr);
  // The same, "" when it could not be read.
  std::string ValueText(reg::KeyHandle root, std::string_view key_path, std::string_view value_name,
                        std::string_view machine_name, ValueForm form);

 private:
  struct Entry {
    reg::KeyHandle root;
    std::string machine;
    std::unique_ptr<SnapshotSource> source;
  };
  RegistryReader reader_;
  reg::RegView view_;
  std::vector<Entry> entries_;
};

// `path` with a leading "\" (put in front when missing).
std::string WithLeadingBackslash(std::string_view path);

// Whether a name holds a line break (CR or LF).
bool HasLineBreak(std::string_view name);
// Why a record cannot name an item whose name holds a line break: written raw, the break splits
// the record's line, and merging the file would put what follows on another key. `kind` is "key"
// or "value", `item` the item's full path; its line breaks are shown as <CR> and <LF>.
std::string LineBreakRefusal(std::string_view kind, std::string_view item);

}  // namespace keyloom::files
