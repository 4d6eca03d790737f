#include "change/reg_action.h"

#include <algorithm>
#include <exception>

#include "base/text.h"
#include "change/integer_text.h"
#include "change/value_text.h"
#include "files/reg_file_format.h"
#include "registry/registry.h"

namespace keyloom::change {
namespace {

constexpr std::string_view kCr = "\r";

// Whether the path names a key below the root (not the root itself).
bool NamesSubkey(std::string_view path) {
  return path.find_first_not_of('\\') != std::string_view::npos;
}

// The new bytes of a string value: the text with its terminating NUL, followed by whatever the
// old data held after its first NUL, which a replacement of the text must not cut away.
reg::Bytes StringUpdate(std::string_view text, const reg::Bytes& old_data) {
  reg::Bytes data = reg::StringData(text);
  for (std::size_t i = 0; i + 1 < old_data.size(); i += 2) {
    if (old_data[i] == 0 && old_data[i + 1] == 0) {
      data.insert(data.end(), old_data.begin() + static_cast<std::ptrdiff_t>(i + 2),
                  old_data.end());
      break;
    }
  }
  return data;
}

// Whether the key at `path` exists: kSuccess, kFileNotFound, or the error that keeps it from being
// told (a failing query is no proof either way).
reg::ErrorCode KeyPresence(reg::TRegistry& reg, std::string_view path) {
  const auto relative = path.substr(std::min(path.find_first_not_of('\\'), path.size()));
  reg::KeyHandle key = reg::kNullKey;
  const reg::ErrorCode rc = reg.api().OpenKey(
      reg.RootKeyHandle(), relative, reg::access::kQueryValue | reg::ViewFlag(reg.View()), &key);
  if (rc == reg::kSuccess) reg.api().CloseKey(key);
  return rc;
}

// What a move to `path` creates: the topmost key on the way to `path` that does not exist, with
// everything below it (`path` itself when its parent exists); "" when `path` exists. Fails with
// the error that keeps a key on the way from being told to exist or not.
reg::ErrorCode KeyToBeCreated(reg::TRegistry& reg, std::string_view path, std::string* created) {
  created->clear();
  std::string prefix;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      prefix += '\\';
      prefix.append(path.substr(start, end - start));
      const reg::ErrorCode rc = KeyPresence(reg, prefix);
      if (rc == reg::kFileNotFound) {
        *created = prefix;
        return reg::kSuccess;
      }
      if (rc != reg::kSuccess) return rc;
    }
    start = end + 1;
  }
  return reg::kSuccess;
}

}  // namespace

TRegAction::TRegAction(reg::RegApi& api, files::UndoFile& undo,
                       const files::ChangeSettings& settings)
    : api_(&api), undo_(&undo), settings_(settings) {}

TRegAction TRegAction::Create(reg::RegApi& api, files::UndoFile& undo,
                              const files::ChangeSettings& settings) {
  return TRegAction(api, undo, settings);
}

std::string TRegAction::ShownValueName() const {
  return ValueName.empty() ? std::string(reg::kDefaultValueName) : ValueName;
}

files::UndoRequest TRegAction::UndoRequestFor(const std::string& key_path,
                                              const std::string& value_name, bool unnamed,
                                              files::RecordKind kind,
                                              files::RecordPhase phase) const {
  files::UndoRequest request;
  request.root = RootKey;
  request.key_path = key_path;
  request.value_name = value_name;
  request.unnamed_value = unnamed;
  request.kind = kind;
  request.phase = phase;
  request.machine_name = MachineName;
  return request;
}

bool TRegAction::RecordUndo(const std::vector<files::UndoRequest>& requests) {
  std::string error = undo_->RecordAll(requests, settings_);
  if (error.empty()) return true;
  ErrorText = std::move(error);
  return false;
}

bool TRegAction::RecordUndo(const std::string& key_path, const std::string& value_name,
                            bool unnamed, files::RecordKind kind, files::RecordPhase phase) {
  return RecordUndo({UndoRequestFor(key_path, value_name, unnamed, kind, phase)});
}

std::string TRegAction::Message(reg::ErrorCode code) const {
  return text::TrimMessage(api_->ErrorMessage(code));
}

bool TRegAction::Connect(reg::TRegistry& reg) {
  reg.SetRootKey(RootKey);
  reg.SetView(files::ChangeView(settings_));
  reg.SetAccessMode(0);
  if (MachineName.empty() || reg.RegistryConnect(MachineName)) return true;
  ErrorText = "Remote Registry Error: [" + reg.LastErrorText() + "]";
  return false;
}

void TRegAction::Execute() {
  ErrorText.clear();
  reg::TRegistry reg(*api_);
  if (!Connect(reg)) return;
  if (KeyPath.empty() || KeyPath.front() != '\\') {
    std::string path(1, '\\');
    path += KeyPath;
    KeyPath = std::move(path);
  }
  if (!reg.OpenKey(KeyPath)) {
    ErrorText = "Unable to Open Registry Key, " + reg.LastErrorText();
    return;
  }
  if (ActionKind == akUpdate) {
    Update(reg);
  } else if (ActionKind == akRename) {
    if (AddressesValue()) {
      RenameValue(reg);
    } else {
      RenameKey(reg);
    }
  }
}

void TRegAction::Update(reg::TRegistry& reg) {
  reg::RawValue current;
  const bool exists = api_->QueryValue(reg.CurrentKey(), ValueName, &current.type,
                                       &current.data) == reg::kSuccess;
  if (!exists) current.type = reg::kRegNone;
  const char* prefix = nullptr;
  reg::Bytes data;
  std::string failure;
  if (NewBytes) {
    // Bytes keep the value's type, whatever it is; the value must be there.
    prefix = "Unable to Update Value [";
    if (!exists) {
      ErrorText = text::Cat({prefix, "the value does not exist]"});
      return;
    }
    data = *NewBytes;
  } else {
    switch (current.type) {
      case reg::kRegSz:
      case reg::kRegExpandSz:
        prefix = "Unable to Update String [";
        data = StringUpdate(NewData, current.data);
        break;
      case reg::kRegDword:
      case reg::kRegQword: {
        prefix = current.type == reg::kRegDword ? "Unable to Update Integer ["
                                                : "Unable to Update LongInteger [";
        if (settings_.simulate) return;
        const auto number = ParseIntegerText(NewData);
        if (!number) {
          failure = InvalidIntegerMessage(NewData);
        } else if (current.type == reg::kRegDword) {
          data = reg::LittleEndian(static_cast<std::uint32_t>(static_cast<std::uint64_t>(*number)));
        } else {
          data = reg::LittleEndian(*number);
        }
        break;
      }
      case reg::kRegMultiSz:
        prefix = "Unable to Update MultiString [";
        data = text::Utf16ToBytes(text::Utf8ToUtf16(TerminatedMultiString(NewData)));
        break;
      default:
        ErrorText = "Keyloom cannot edit this type of Key ";
        return;
    }
  }
  if (settings_.simulate) return;
  if (failure.empty()) {
    if (CreateUndo && !RecordUndo(KeyPath, ValueName, true, files::RecordKind::kUpdate,
                                  files::RecordPhase::kBefore)) {
      return;
    }
    try {
      reg.WriteRaw(ValueName, reg::RawValue{current.type, data});
    } catch (const std::exception& e) {
      failure = e.what();
    }
  }
  if (!failure.empty()) ErrorText += text::Cat({kCr, prefix, failure, "]"});
}

void TRegAction::RenameKey(reg::TRegistry& reg) {
  reg.CloseKey();
  if (!NamesSubkey(KeyPath)) {
    ErrorText = "Unable to Rename Key [no Key Path specified]";
    return;
  }
  if (settings_.simulate) return;
  try {
    if (CreateUndo) {
      // The record must know what the copy creates: a key at the new path stops the rename
      // before it changes anything; else the copy may also create keys on the way (a
      // replacement holding "\\"), and the topmost of them is the one to remove.
      std::string created;
      const reg::ErrorCode rc = KeyToBeCreated(reg, NewData, &created);
      if (rc != reg::kSuccess) {
        ErrorText = text::Cat({"Unable to Rename Key [", Message(rc), "]"});
        return;
      }
      std::vector<files::UndoRequest> records = {UndoRequestFor(
          KeyPath, "", false, files::RecordKind::kRename, files::RecordPhase::kBefore)};
      if (!created.empty()) {
        records.push_back(UndoRequestFor(created, "", false, files::RecordKind::kRename,
                                         files::RecordPhase::kAfter));
      }
      if (!RecordUndo(records)) return;
    }
    reg.ClearLastError();
    reg.MoveKey(KeyPath, NewData, true);
    if (!reg.LastErrorText().empty()) {
      ErrorText = reg.LastErrorText();
    } else if (!reg.KeyExists(NewData)) {
      ErrorText = "Unable to Rename Key";
    }
  } catch (const std::exception& e) {
    ErrorText = text::Cat({"Unable to Rename Key [", e.what(), "]"});
  }
}

void TRegAction::RenameValue(reg::TRegistry& reg) {
  if (settings_.simulate) return;
  try {
    if (CreateUndo) {
      // A value of the new name stops the rename before it writes anything; else the record
      // removes the value the rename makes.
      std::uint32_t type = 0;
      const reg::ErrorCode rc = api_->QueryValue(reg.CurrentKey(), NewData, &type, nullptr);
      if (rc != reg::kSuccess && rc != reg::kFileNotFound) {
        ErrorText = text::Cat({"Unable to Rename Value [", Message(rc), "]"});
        return;
      }
      std::vector<files::UndoRequest> records = {UndoRequestFor(
          KeyPath, ValueName, true, files::RecordKind::kRename, files::RecordPhase::kBefore)};
      if (rc == reg::kFileNotFound) {
        records.push_back(UndoRequestFor(KeyPath, NewData, true, files::RecordKind::kRename,
                                         files::RecordPhase::kAfter));
      }
      if (!RecordUndo(records)) return;
    }
    reg.ClearLastError();
    reg.RenameValue(ValueName, NewData);
    if (!reg.LastErrorText().empty()) ErrorText = reg.LastErrorText();
  } catch (const std::exception& e) {
    ErrorText = text::Cat({"Unable to Rename Value [", e.what(), "]"});
  }
}

void TRegAction::Delete() {
  ErrorText.clear();
  if (RootKey == 0) ErrorText = "Unable to Delete with no RootKey specified";
  // A key delete needs a key below the root: the root itself is never deleted.
  if (KeyPath.empty() || (!AddressesValue() && !NamesSubkey(KeyPath))) {
    ErrorText = "Unable to Delete key, no Key Path specified";
  }
  if (!ErrorText.empty()) return;
  reg::TRegistry reg(*api_);
  if (!Connect(reg)) return;
  if (!reg.OpenKey(KeyPath)) {
    ErrorText = "Unable to Open Registry Key, " + reg.LastErrorText();
    return;
  }
  if (settings_.simulate) return;
  if (!AddressesValue()) {
    reg.CloseKey();
    if (CreateUndo &&
        !RecordUndo(KeyPath, "", false, files::RecordKind::kRename, files::RecordPhase::kBefore)) {
      return;
    }
    if (!reg.DeleteKey(KeyPath)) {
      ErrorText = "Unable to Delete Registry Key : " + KeyPath + "[" + reg.LastErrorText() + "]";
    }
    return;
  }
  if (CreateUndo && !RecordUndo(KeyPath, ValueName, true, files::RecordKind::kUpdate,
                                files::RecordPhase::kBefore)) {
    return;
  }
  if (!reg.DeleteValue(ValueName)) {
    ErrorText = text::Cat(
        {"Unable to Delete Registry Value : ", ShownValueName(), "[", reg.LastErrorText(), "]"});
  }
}

}  // namespace keyloom::change
