// The user's edit and rename of one Key List result (procChangeKey): the row's key is opened in
// the search's registry (local or SearchMachine) and view, repaired for the time of the change
// when it refuses access and FIXPERMS is on, the matching value editor is shown, and the change is
// made by a change::TRegAction. Every outcome goes to the status log, and what the change did comes back
// for the row (a rename with the item's new name).
//
// The editors are reached through EditDialogs, which the main window implements with its modal
// dialogs and tests script. Each call puts a text in and takes the text out after the dialog
// closed; "&Cancel" gives back exactly the text put in, and an unchanged text means no change.
#pragma once

#include <string>
#include <string_view>

#include "change/change_report.h"
#include "engine/run_context.h"

namespace keyloom::edit {

class EditDialogs {
 public:
  virtual ~EditDialogs() = default;
  // TfrmEditReg with `caption` and key label `key_label`, its field holding `text`.
  virtual std::string ShowEditReg(const std::string& caption, const std::string& key_label,
                                  const std::string& text) = 0;
  // TfrmEditDword: `text` is the decimal number; what comes back is decimal unless a conversion
  // failed.
  virtual std::string ShowEditDword(const std::string& key_label, const std::string& text,
                                    bool is_64bit) = 0;
  // TfrmMultiEdit, naming the value it edits (`value_label`: root, key path and value name): the
  // memo's whole text, lines separated by CR LF. Accept removes empty lines and says how many.
  virtual std::string ShowMultiEdit(const std::string& value_label, const std::string& text) = 0;
};

// The result row the flow acts on.
struct ChangeTarget {
  std::string root_name;   // "HKEY_CURRENT_USER" ...
  std::string key_path;    // "\Software\X"
  std::string value_name;  // the registry's name: "" for the key itself and the unnamed value
};

enum class ChangeAction : char { kEdit = 'E', kRename = 'R' };

// What the flow did to the row's item.
struct RowOutcome {
  // kNone when nothing was changed (cancelled, unchanged, or the key could not be opened for the
  // dialog, which the log says); kReplaced, kRenamed, kSimulated or kFailed otherwise.
  change::ChangeResult result = change::ChangeResult::kNone;
  std::string reason;  // a failure's text
  // Where the item is now: the target, or its new key path or value name after a rename.
  ChangeTarget now;
};

// Edits the data of the target's value, or renames the value (or, for an empty value name, the
// key), on the context's machine with the settings as they are when the flow starts.
RowOutcome procChangeKey(const engine::RunContext& context, EditDialogs& dialogs,
                         ChangeAction action, const ChangeTarget& target);

}  // namespace keyloom::edit
