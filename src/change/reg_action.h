// TRegAction: exactly one change of the registry on behalf of a caller, the run's replacements as
// well as the user's edits: an update of a value from text, a rename of a value or a key, or a
// delete of a value or a whole key tree. The caller creates one action per change, fills its
// fields, calls Execute or Delete, reads ErrorText ("" on success; failures never raise) and lets
// the action go. Every operation opens its own connection through its own TRegistry, in the view
// of the settings, and closes it before it returns.
//
// With CreateUndo set, the undo writer records the item's state first: a value update or delete
// records the value line, a key rename or delete the key's whole tree, a value rename the value.
// A rename is made in several registry steps (copy, then delete): its one record, written before
// the first step, also holds the removal of what the copy creates, so that the undo file takes the
// rename back whichever step it stopped after (a failure, or the process killed). When a record
// cannot be written the change is not made and ErrorText says why. With SIMULATE on nothing is
// written or recorded; the connection, the opening of the key and the value's type are still
// checked.
//
// An action must not be shared between threads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "files/change_settings.h"
#include "files/undo_file.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::change {

// ActionKind values of Execute.
inline constexpr int akUpdate = 1;
inline constexpr int akRename = 2;

class TRegAction {
 public:
  // A new action: ActionKind 0, CreateUndo false, all texts empty, RootKey 0. `settings` are the
  // ones in force for this change (SIMULATE, the view, the undo files).
  static TRegAction Create(reg::RegApi& api, files::UndoFile& undo,
                           const files::ChangeSettings& settings);

  // One of the five predefined roots; 0 means not set.
  reg::KeyHandle RootKey = 0;
  // The key's path below the root, "\" between names; Execute puts a missing leading "\" in
  // front. Must not be empty.
  std::string KeyPath;
  // Record the item's former state in the undo file before the change.
  bool CreateUndo = false;
  // akUpdate or akRename; Execute opens the key and does nothing for any other value.
  int ActionKind = 0;
  // The value to act on. Empty: for an update the key's unnamed value; for a rename or a delete
  // the key itself, unless UnnamedValue is set.
  std::string ValueName;
  // ValueName is empty and means the key's unnamed value, also for a rename or a delete.
  bool UnnamedValue = false;
  // Update: the new data as text (per the value's type). Value rename: the new name. Key rename:
  // the complete new key path below the same root.
  std::string NewData;
  // Update: the new data as bytes, written as the value's own type in place of NewData (a Hex
  // run's replacement, in a value of any kind).
  std::optional<reg::Bytes> NewBytes;
  // "" for the local registry, else the remote computer ("\\NAME").
  std::string MachineName;
  // "" after success, else the reason. Cleared when an operation starts.
  std::string ErrorText;

  void Execute();
  void Delete();
  // SIMULATE: a change that succeeds is only logged.
  bool Simulated() const { return settings_.simulate; }

 private:
  TRegAction(reg::RegApi& api, files::UndoFile& undo, const files::ChangeSettings& settings);

  bool AddressesValue() const { return !ValueName.empty() || UnnamedValue; }
  std::string ShownValueName() const;
  files::UndoRequest UndoRequestFor(const std::string& key_path, const std::string& value_name,
                                    bool unnamed, files::RecordKind kind,
                                    files::RecordPhase phase) const;
  // Has the undo writer record the requests as one record; false (with ErrorText set) when that
  // failed.
  bool RecordUndo(const std::vector<files::UndoRequest>& requests);
  // The system's text for `code`.
  std::string Message(reg::ErrorCode code) const;
  bool RecordUndo(const std::string& key_path, const std::string& value_name, bool unnamed,
                  files::RecordKind kind, files::RecordPhase phase);
  // A wrapper on RootKey in the settings' view, opening keys with query-value, set-value and
  // enumerate-subkeys access, connected to MachineName; false (with ErrorText) when that fails.
  bool Connect(reg::TRegistry& reg);
  void Update(reg::TRegistry& reg);
  void RenameKey(reg::TRegistry& reg);
  void RenameValue(reg::TRegistry& reg);

  reg::RegApi* api_;
  files::UndoFile* undo_;
  files::ChangeSettings settings_;
};

}  // namespace keyloom::change
