#include "edit/change_key.h"

#include <cstdint>
#include <exception>

#include "base/text.h"
#include "change/change_report.h"
#include "change/integer_text.h"
#include "change/reg_action.h"
#include "change/value_text.h"
#include "registry/registry.h"

namespace keyloom::edit {
namespace {

// Two names the registry takes for the same one, written differently.
bool OnlyCaseDiffers(const std::string& a, const std::string& b) {
  return a != b && text::CompareNamesIgnoringCase(text::Utf8ToUtf16(a), text::Utf8ToUtf16(b)) == 0;
}

class ChangeFlow {
 public:
  ChangeFlow(const engine::RunContext& context, EditDialogs& dialogs, const reg::RootKey& root,
             const ChangeTarget& target)
      : context_(context),
        dialogs_(dialogs),
        settings_(context.SettingsNow()),
        change_(files::ChangeSettingsFor(
            settings_, engine::TargetFor(context.program, settings_, context.machine))),
        root_(root),
        target_(target),
        security_path_(target.key_path) {
    outcome_.now = target;
  }

  RowOutcome Run(ChangeAction action);

 private:
  void Log(const std::string& text) { context_.log(text, false); }
  bool Informational() const { return settings_.logging >= 1; }
  reg::PermissionRepairContext Repair() const { return context_.RepairOn(change_.target); }
  // "HKEY_CURRENT_USER\Software\X": the key as the rename dialogs name it.
  std::string KeyLabel() const {
    return std::string(root_.name) + "\\" +
           std::string(reg::WithoutLeadingBackslash(target_.key_path));
  }

  void Edit(reg::TRegistry& reg);
  void Update(const std::string& data);
  void RenameValue(reg::TRegistry& reg);
  void RenameKey(reg::TRegistry& reg);
  change::TRegAction NewAction(int undo_bit) const;
  // One rename by a change::TRegAction: of value `from` of the target's key, or of the key at path
  // `from` when `key` is set.
  bool RenameStep(const std::string& from, const std::string& to, bool key,
                  std::string_view success_line);
  // A rename that only changes the letter case goes through a free temporary name in the same
  // parent, since the registry takes the new name for the old one; when the second step fails
  // the first is taken back. `exists` tells whether a name (a value name or a key path) is taken.
  bool RenameItem(const std::string& from, const std::string& to, bool key,
                  std::string_view success_line,
                  const std::function<bool(const std::string&)>& exists);

  const engine::RunContext& context_;
  EditDialogs& dialogs_;
  // The settings and where the change goes, as the flow starts.
  const config::Settings settings_;
  const files::ChangeSettings change_;
  const reg::RootKey& root_;
  // Notes what a change made or refused by `action` did.
  void Note(const change::TRegAction& action, bool made, change::ChangeResult done) {
    outcome_.result = change::ResultOf(action, made, done);
    outcome_.reason = made ? std::string() : change::OneLineReason(action.ErrorText);
  }
  void Failed(const std::string& reason) {
    outcome_.result = change::ChangeResult::kFailed;
    outcome_.reason = change::OneLineReason(reason);
  }

  const ChangeTarget& target_;
  std::string security_path_;  // where the repaired key is: its new path after a rename
  RowOutcome outcome_;
};

RowOutcome ChangeFlow::Run(ChangeAction action) {
  reg::TRegistry reg(*context_.api);
  reg.SetRootKey(root_.handle);
  reg.SetView(change_.target.view);
  reg.SetAccessMode(0);
  const std::string& machine = change_.target.machine;
  if (!machine.empty() && !reg.RegistryConnect(machine)) {
    Log("Remote Registry Error: [" + reg.LastErrorText() + "]");
    return outcome_;
  }
  const std::string& path = target_.key_path;
  bool open = reg.OpenKey(path);
  bool repaired = false;
  reg::TAccessControlList saved;
  std::exception_ptr failure;
  try {
    if (!open && settings_.fixperms) {
      if (Informational()) {
        Log("Security - Manual Edit - Error accessing registry " + path + " [" +
            reg.LastErrorText() + "], attempting to modify perissions");
      }
      repaired = reg::AddKeySecurity(Repair(), root_.index, path, saved);
      if (repaired) {
        open = reg.OpenKey(path);
        if (open && Informational()) {
          Log("Security - Manual Edit - Re-open of key after permission change successful");
        }
      }
    }
    if (!open) {
      const std::string line = "Unable to Open Registry Key, " + reg.LastErrorText();
      Log(line);
      Failed(line);
    } else if (action == ChangeAction::kEdit) {
      Edit(reg);
    } else if (!target_.value_name.empty()) {
      RenameValue(reg);
    } else {
      RenameKey(reg);
    }
  } catch (...) {
    failure = std::current_exception();  // reported once the permissions are back
  }
  if (repaired) {
    if (Informational()) {
      Log("Security - Manual Edit - Registry permissions have been changed, setting permissions "
          "back to original settings");
    }
    reg.CloseKey();
    reg::RestoreKeySecurity(Repair(), root_.index, security_path_, saved);
  }
  if (failure) std::rethrow_exception(failure);
  return outcome_;
}

change::TRegAction ChangeFlow::NewAction(int undo_bit) const {
  change::TRegAction action = change::TRegAction::Create(*context_.api, *context_.undo, change_);
  action.RootKey = root_.handle;
  action.KeyPath = target_.key_path;
  action.CreateUndo = (change_.undo_mask & undo_bit) != 0;
  action.MachineName = change_.target.machine;
  return action;
}

void ChangeFlow::Edit(reg::TRegistry& reg) {
  const std::string& name = target_.value_name;
  const std::string label = target_.key_path + "\\" + name;
  const reg::DataKind kind = reg.GetDataType(name);
  switch (kind) {
    case reg::DataKind::kString:
    case reg::DataKind::kExpandString: {
      const std::string text = change::ReadValueAsText(reg, name);
      // The one-line field would lose them.
      if (text.find_first_of("\r\n") != std::string::npos) {
        Log("Keyloom cannot edit a string that holds line breaks [" + label + "]");
        return;
      }
      const std::string edited = dialogs_.ShowEditReg("Edit Registry Key", label, text);
      if (edited != text) Update(edited);
      return;
    }
    case reg::DataKind::kInteger:
    case reg::DataKind::kInt64: {
      const bool is_64bit = kind == reg::DataKind::kInt64;
      const std::string text = change::ReadValueAsText(reg, name);
      const std::string edited = dialogs_.ShowEditDword(label, text, is_64bit);
      if (edited == text) return;
      // The same number written another way (0255 for 255, -1 for 4294967295) changes nothing.
      const auto now = change::ParseIntegerText(text);
      const auto next = change::ParseIntegerText(edited);
      if (now && next &&
          (is_64bit ? *now == *next
                    : static_cast<std::uint32_t>(*now) == static_cast<std::uint32_t>(*next))) {
        return;
      }
      Update(edited);
      return;
    }
    case reg::DataKind::kMultiString: {
      // The memo shows the strings one per line, without the NULs that end the last one.
      const std::string stored = change::ReadValueAsText(reg, name);
      const std::string lines = change::MultiSzToLines(change::WithoutTerminator(stored));
      const std::string value_label = std::string(root_.name) + target_.key_path + "\\" +
                                      (name.empty() ? std::string(reg::kDefaultValueName) : name);
      const std::string edited = dialogs_.ShowMultiEdit(value_label, lines);
      if (edited == lines) return;
      const std::string data = change::LinesToMultiSz(edited);
      if (change::TerminatedMultiString(data) == stored) return;  // what is stored already
      Update(data);
      return;
    }
    default:
      Log("Keyloom cannot edit this type of Key ");
      return;
  }
}

void ChangeFlow::Update(const std::string& data) {
  change::TRegAction action = NewAction(config::kUndoEdits);
  action.ValueName = target_.value_name;
  action.NewData = data;
  action.ActionKind = change::akUpdate;
  const bool made = change::MakeChange(action, change::ChangeOp::kExecute,
                                       [this](const std::string& line) { Log(line); });
  Note(action, made, change::ChangeResult::kReplaced);
}

bool ChangeFlow::RenameStep(const std::string& from, const std::string& to, bool key,
                            std::string_view success_line) {
  change::TRegAction action = NewAction(config::kUndoRenames);
  if (key) {
    action.KeyPath = from;
  } else {
    action.ValueName = from;
  }
  action.NewData = to;
  action.ActionKind = change::akRename;
  const bool made = change::MakeChange(
      action, change::ChangeOp::kExecute, [this](const std::string& line) { Log(line); },
      success_line);
  Note(action, made, change::ChangeResult::kRenamed);
  return made;
}

bool ChangeFlow::RenameItem(const std::string& from, const std::string& to, bool key,
                            std::string_view success_line,
                            const std::function<bool(const std::string&)>& exists) {
  if (!OnlyCaseDiffers(from, to)) return RenameStep(from, to, key, success_line);
  std::string temporary;
  for (int n = 1; temporary.empty() || exists(temporary); ++n) {
    temporary = to + "~" + std::to_string(n);
  }
  if (!RenameStep(from, temporary, key, {})) return false;
  if (RenameStep(temporary, to, key, success_line)) return true;
  const RowOutcome refused = outcome_;  // what the row says, whatever the way back does
  RenameStep(temporary, from, key, {});
  outcome_ = refused;
  return false;
}

void ChangeFlow::RenameValue(reg::TRegistry& reg) {
  const std::string& name = target_.value_name;
  const std::string edited = dialogs_.ShowEditReg("Rename Registry Value", KeyLabel(), name);
  if (edited == name) return;
  if (text::ShowsNothing(edited)) {
    Log("You cannot rename the key to nothing");
    return;
  }
  try {
    const bool renamed =
        RenameItem(name, edited, false, "Value Renamed",
                   [&reg](const std::string& candidate) { return reg.ValueExists(candidate); });
    // A simulated rename changed nothing: the row still names the item.
    if (renamed && !change_.simulate) outcome_.now.value_name = edited;
  } catch (const std::exception& e) {
    const std::string line = std::string("Unable to Rename Value [") + e.what() + "]";
    Log(line);
    Failed(line);
  }
}

void ChangeFlow::RenameKey(reg::TRegistry& reg) {
  const std::string& path = target_.key_path;
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return;
  const std::string name = path.substr(slash + 1);
  const std::string edited = dialogs_.ShowEditReg("Rename Registry Key", KeyLabel(), name);
  if (edited == name) return;
  if (text::ShowsNothing(edited)) {
    Log("You cannot rename the key to nothing");
    return;
  }
  const std::string new_path = path.substr(0, slash + 1) + edited;
  try {
    // The key may have gone while the dialog was open.
    reg.CloseKey();
    if (!reg.OpenKey(path)) {
      const std::string line = "Unable to Rename Key [" + reg.LastErrorText() + "]";
      Log(line);
      Failed(line);
      return;
    }
    reg.CloseKey();
    const bool renamed =
        RenameItem(path, new_path, true, "Key Renamed",
                   [&reg](const std::string& candidate) { return reg.KeyExists(candidate); });
    if (!renamed || change_.simulate) return;
    security_path_ = new_path;
    outcome_.now.key_path = new_path;
  } catch (const std::exception& e) {
    const std::string line = std::string("Unable to Rename Key [") + e.what() + "]";
    Log(line);
    Failed(line);
  }
}

}  // namespace

RowOutcome procChangeKey(const engine::RunContext& context, EditDialogs& dialogs,
                         ChangeAction action, const ChangeTarget& target) {
  const reg::RootKey* root = reg::RootByName(target.root_name);
  if (root == nullptr) return RowOutcome{change::ChangeResult::kNone, {}, target};
  return ChangeFlow(context, dialogs, *root, target).Run(action);
}

}  // namespace keyloom::edit
