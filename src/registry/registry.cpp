#include "registry/registry.h"

#include <utility>

#include "base/os_error.h"
#include "base/text.h"

namespace keyloom::reg {
namespace {

constexpr std::array<RootKey, 5> kRoots = {{
    {1, "HKEY_CLASSES_ROOT", kClassesRoot, "CR"},
    {2, "HKEY_CURRENT_USER", kCurrentUser, "CU"},
    {3, "HKEY_LOCAL_MACHINE", kLocalMachine, "LM"},
    {4, "HKEY_USERS", kUsers, "US"},
    {5, "HKEY_CURRENT_CONFIG", kCurrentConfig, "CC"},
}};

// Opened by KeyExists: query value + enumerate subkeys + read control.
constexpr std::uint32_t kExistsAccess = 0x00020009;

std::string Format(const char* pattern, std::string_view name) {
  std::string out;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += name;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace

std::uint32_t DwordOf(std::span<const std::uint8_t> data) {
  return std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) | (std::uint32_t{data[2]} << 16) |
         (std::uint32_t{data[3]} << 24);
}

std::uint64_t QwordOf(std::span<const std::uint8_t> data) {
  std::uint64_t bits = 0;
  for (std::size_t i = 8; i-- > 0;) bits = (bits << 8) | data[i];
  return bits;
}

Bytes StringData(std::string_view text) {
  Bytes data = text::Utf16ToBytes(text::Utf8ToUtf16(text));
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::string StringOf(const Bytes& data) {
  std::u16string units = text::BytesToUtf16(data);
  units.resize(std::min(units.size(), units.find(u'\0')));
  return text::Utf16ToUtf8(units);
}

PrivilegeScope::PrivilegeScope(RegApi& api, std::string name) : api_(&api), name_(std::move(name)) {
  bool was_enabled = false;
  const ErrorCode rc = api.SetPrivilege(name_, true, &was_enabled);
  if (rc != kSuccess && rc != kNotAllAssigned) error_ = rc;
  changed_ = rc == kSuccess && !was_enabled;
  held_ = rc == kSuccess;
}

PrivilegeScope::~PrivilegeScope() {
  if (changed_) api_->SetPrivilege(name_, false, nullptr);
}

std::string_view WithoutLeadingBackslash(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  return path;
}

const std::array<RootKey, 5>& RootKeys() { return kRoots; }

const RootKey* RootByIndex(int index) {
  return index >= 1 && index <= 5 ? &kRoots[static_cast<std::size_t>(index - 1)] : nullptr;
}

const RootKey* RootByName(std::string_view long_name) {
  for (const auto& root : kRoots) {
    if (long_name == root.name) return &root;
  }
  return nullptr;
}

const RootKey* RootByHandle(KeyHandle handle) {
  for (const auto& root : kRoots) {
    if (handle == root.handle) return &root;
  }
  return nullptr;
}

DataKind KindOfType(std::uint32_t type) {
  switch (type) {
    case kRegNone:
      return DataKind::kNone;
    case kRegSz:
      return DataKind::kString;
    case kRegExpandSz:
      return DataKind::kExpandString;
    case kRegDword:
      return DataKind::kInteger;
    case kRegBinary:
      return DataKind::kBinary;
    case kRegMultiSz:
      return DataKind::kMultiString;
    case kRegQword:
      return DataKind::kInt64;
    case kRegResourceList:
      return DataKind::kResourceList;
    case kRegFullResourceDescriptor:
      return DataKind::kFullResourceDescriptor;
    case kRegResourceRequirementsList:
      return DataKind::kResourceRequirementsList;
    default:
      return DataKind::kUnknown;
  }
}

std::uint32_t ViewFlag(RegView view) {
  switch (view) {
    case RegView::k32:
      return access::kWow64_32Key;
    case RegView::k64:
      return access::kWow64_64Key;
    case RegView::kNone:
      return 0;
  }
  return 0;
}

TRegistry::TRegistry(RegApi& api) : api_(&api) {}

TRegistry::~TRegistry() { SetRootKey(kCurrentUser); }

void TRegistry::SetRootKey(KeyHandle root) {
  CloseKey();
  if (remote_root_) api_->CloseKey(root_);
  remote_root_ = false;
  root_ = root;
}

void TRegistry::SetAccessMode(int mode) {
  if (mode >= 0 && mode <= 2) access_ = kAccessModeMasks[mode];
}

bool TRegistry::Fail(ErrorCode code) {
  Fail(text::TrimMessage(api_->ErrorMessage(code)));
  last_error_code_ = code;
  return false;
}

bool TRegistry::Fail(std::string text) {
  last_error_ = std::move(text);
  last_error_code_ = kSuccess;
  return false;
}

KeyHandle TRegistry::BaseFor(std::string_view path, std::string_view* relative) const {
  if (!path.empty() && path.front() == '\\') {
    *relative = WithoutLeadingBackslash(path);
    return root_;
  }
  *relative = path;
  return current_ != kNullKey ? current_ : root_;
}

std::string TRegistry::AbsolutePathOf(std::string_view path) const {
  if (!path.empty() && path.front() == '\\') return std::string(WithoutLeadingBackslash(path));
  if (current_ == kNullKey || current_path_.empty()) return std::string(path);
  if (path.empty()) return current_path_;
  return current_path_ + "\\" + std::string(path);
}

void TRegistry::ChangeKey(KeyHandle key, std::string path) {
  CloseKey();
  current_ = key;
  current_path_ = std::move(path);
}

bool TRegistry::RegistryConnect(std::string_view machine) {
  ClearLastError();
  KeyHandle remote = kNullKey;
  const ErrorCode rc = api_->ConnectRegistry(machine, root_, &remote);
  if (rc != kSuccess) return Fail(rc);
  CloseKey();
  if (remote_root_) api_->CloseKey(root_);
  root_ = remote;
  remote_root_ = true;
  return true;
}

bool TRegistry::OpenKey(std::string_view path) {
  std::string_view relative;
  const KeyHandle base = BaseFor(path, &relative);
  KeyHandle key = kNullKey;
  const ErrorCode rc = api_->OpenKey(base, relative, access_ | ViewFlag(view_), &key);
  if (rc != kSuccess) return Fail(rc);
  ChangeKey(key, AbsolutePathOf(path));
  return true;
}

void TRegistry::CloseKey() {
  if (current_ != kNullKey) api_->CloseKey(current_);
  current_ = kNullKey;
  current_path_.clear();
}

void TRegistry::CreateKey(std::string_view path) {
  std::string_view relative;
  const KeyHandle base = BaseFor(path, &relative);
  KeyHandle key = kNullKey;
  const ErrorCode rc = api_->CreateKey(base, relative, kOptionNonVolatile,
                                       access::kAllAccess | ViewFlag(view_), &key, nullptr);
  if (rc != kSuccess) {
    Fail(rc);
    throw ERegistryException(Format("Failed to create key %s", path));
  }
  api_->CloseKey(key);
}

bool TRegistry::DeleteTree(KeyHandle parent, const std::string& path) {
  KeyHandle key = kNullKey;
  if (api_->OpenKey(parent, path, access::kAllAccess | ViewFlag(view_), &key) == kSuccess) {
    UniqueKey guard(*api_, key);
    KeyInfo info;
    if (api_->QueryInfoKey(key, &info) == kSuccess) {
      for (std::uint32_t i = info.subkey_count; i-- > 0;) {
        std::string name;
        if (api_->EnumKey(key, i, &name) == kSuccess) DeleteTree(key, name);
      }
    }
  }
  const ErrorCode rc = api_->DeleteKey(parent, path, ViewFlag(view_));
  if (rc != kSuccess) return Fail(rc);
  return true;
}

bool TRegistry::DeleteKey(std::string_view path) {
  std::string_view relative;
  const KeyHandle base = BaseFor(path, &relative);
  if (!DeleteTree(base, std::string(relative))) return false;
  ClearLastError();
  return true;
}

bool KeyExists(RegApi& api, KeyHandle base, std::string_view relative, RegView view) {
  KeyHandle key = kNullKey;
  if (api.OpenKey(base, relative, kExistsAccess | ViewFlag(view), &key) != kSuccess) return false;
  api.CloseKey(key);
  return true;
}

bool TRegistry::KeyExists(std::string_view path) {
  std::string_view relative;
  const KeyHandle base = BaseFor(path, &relative);
  return reg::KeyExists(*api_, base, relative, view_);
}

std::vector<std::string> TRegistry::GetKeyNames() {
  std::vector<std::string> names;
  const KeyHandle key = current_ != kNullKey ? current_ : root_;
  KeyInfo info;
  if (api_->QueryInfoKey(key, &info) != kSuccess) return names;
  names.reserve(info.subkey_count);
  std::string name;
  for (std::uint32_t i = 0; i < info.subkey_count; ++i) {
    if (api_->EnumKey(key, i, &name) != kSuccess) break;
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> TRegistry::GetValueNames() {
  std::vector<std::string> names;
  const KeyHandle key = current_ != kNullKey ? current_ : root_;
  KeyInfo info;
  if (api_->QueryInfoKey(key, &info) != kSuccess) return names;
  names.reserve(info.value_count);
  std::string name;
  std::uint32_t type = 0;
  for (std::uint32_t i = 0; i < info.value_count; ++i) {
    if (api_->EnumValue(key, i, &name, &type, nullptr) != kSuccess) break;
    names.push_back(name);
  }
  return names;
}

bool TRegistry::HasSubKeys() {
  KeyInfo info;
  return api_->QueryInfoKey(current_ != kNullKey ? current_ : root_, &info) == kSuccess &&
         info.subkey_count > 0;
}

bool TRegistry::ValueExists(std::string_view name) {
  std::uint32_t type = 0;
  return api_->QueryValue(current_ != kNullKey ? current_ : root_, name, &type, nullptr) ==
         kSuccess;
}

DataKind TRegistry::GetDataType(std::string_view name) {
  std::uint32_t type = 0;
  if (api_->QueryValue(current_ != kNullKey ? current_ : root_, name, &type, nullptr) != kSuccess) {
    return DataKind::kUnknown;
  }
  return KindOfType(type);
}

std::int64_t TRegistry::GetDataSize(std::string_view name) {
  std::uint32_t type = 0;
  Bytes data;
  if (api_->QueryValue(current_ != kNullKey ? current_ : root_, name, &type, &data) != kSuccess) {
    return -1;
  }
  return static_cast<std::int64_t>(data.size());
}

void TRegistry::QueryForRead(std::string_view name, std::uint32_t* type, Bytes* data) {
  const ErrorCode rc = api_->QueryValue(current_ != kNullKey ? current_ : root_, name, type, data);
  if (rc != kSuccess) {
    Fail(rc);
    throw ERegistryException(Format("Failed to get data for '%s'", name));
  }
}

std::string TRegistry::ReadString(std::string_view name) {
  std::uint32_t type = 0;
  Bytes data;
  QueryForRead(name, &type, &data);
  if (type != kRegSz && type != kRegExpandSz) {
    throw ERegistryException(Format("Invalid data type for '%s'", name));
  }
  return StringOf(data);
}

std::int32_t TRegistry::ReadInteger(std::string_view name) {
  std::uint32_t type = 0;
  Bytes data;
  QueryForRead(name, &type, &data);
  if (type != kRegDword || data.size() != 4) {
    throw ERegistryException(Format("Invalid data type for '%s'", name));
  }
  return static_cast<std::int32_t>(DwordOf(data));
}

std::int64_t TRegistry::ReadInt64(std::string_view name) {
  std::uint32_t type = 0;
  Bytes data;
  QueryForRead(name, &type, &data);
  if (type != kRegQword || data.size() != 8) {
    throw ERegistryException(Format("Invalid data type for '%s'", name));
  }
  return static_cast<std::int64_t>(QwordOf(data));
}

Bytes TRegistry::ReadBinaryData(std::string_view name) {
  std::uint32_t type = 0;
  Bytes data;
  QueryForRead(name, &type, &data);
  switch (KindOfType(type)) {
    case DataKind::kBinary:
    case DataKind::kMultiString:
    case DataKind::kUnknown:
    case DataKind::kResourceList:
    case DataKind::kFullResourceDescriptor:
    case DataKind::kResourceRequirementsList:
      return data;
    default:
      throw ERegistryException(Format("Invalid data type for '%s'", name));
  }
}

RawValue TRegistry::ReadRaw(std::string_view name) {
  RawValue value;
  QueryForRead(name, &value.type, &value.data);
  return value;
}

void TRegistry::SetData(std::string_view name, std::uint32_t type, const Bytes& data) {
  const ErrorCode rc = api_->SetValue(current_ != kNullKey ? current_ : root_, name, type, data);
  if (rc != kSuccess) {
    Fail(rc);
    throw ERegistryException(Format("Failed to set data for '%s'", name));
  }
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
  SetData(name, kRegSz, StringData(value));
}

void TRegistry::WriteExpandString(std::string_view name, std::string_view value) {
  SetData(name, kRegExpandSz, StringData(value));
}

void TRegistry::WriteInteger(std::string_view name, std::int32_t value) {
  SetData(name, kRegDword, LittleEndian(value));
}

void TRegistry::WriteInt64(std::string_view name, std::int64_t value) {
  SetData(name, kRegQword, LittleEndian(value));
}

void TRegistry::WriteMultiString(std::string_view name, const Bytes& data) {
  SetData(name, kRegMultiSz, data);
}

void TRegistry::WriteBinaryData(std::string_view name, const Bytes& data) {
  SetData(name, kRegBinary, data);
}

void TRegistry::WriteRaw(std::string_view name, const RawValue& value) {
  SetData(name, value.type, value.data);
}

bool TRegistry::DeleteValue(std::string_view name) {
  const ErrorCode rc = api_->DeleteValue(current_ != kNullKey ? current_ : root_, name);
  if (rc != kSuccess) return Fail(rc);
  ClearLastError();
  return true;
}

bool TRegistry::RenameValue(std::string_view old_name, std::string_view new_name) {
  const KeyHandle key = current_ != kNullKey ? current_ : root_;
  RawValue value;
  ErrorCode rc = api_->QueryValue(key, old_name, &value.type, &value.data);
  if (rc != kSuccess) return Fail(rc);
  if (ValueExists(new_name)) return Fail(std::string("Value already exists"));
  rc = api_->SetValue(key, new_name, value.type, value.data);
  if (rc != kSuccess) return Fail(rc);
  rc = api_->DeleteValue(key, old_name);
  if (rc != kSuccess) {
    // Keep exactly one copy: the old name stays, the new one goes again.
    api_->DeleteValue(key, new_name);
    return Fail(rc);
  }
  ClearLastError();
  return true;
}

ErrorCode TRegistry::CopyValues(KeyHandle source, KeyHandle target) {
  std::string name;
  RawValue value;
  for (std::uint32_t i = 0;; ++i) {
    ErrorCode rc = api_->EnumValue(source, i, &name, &value.type, &value.data);
    if (rc == kNoMoreItems) return kSuccess;
    if (rc != kSuccess) return rc;
    rc = api_->SetValue(target, name, value.type, value.data);
    if (rc != kSuccess) return rc;
  }
}

ErrorCode TRegistry::CopyTree(KeyHandle source, KeyHandle target) {
  ErrorCode rc = CopyValues(source, target);
  if (rc != kSuccess) return rc;
  const std::uint32_t view = ViewFlag(view_);
  std::string name;
  for (std::uint32_t i = 0;; ++i) {
    rc = api_->EnumKey(source, i, &name);
    if (rc == kNoMoreItems) return kSuccess;
    if (rc != kSuccess) return rc;
    KeyHandle child_source = kNullKey;
    rc = api_->OpenKey(source, name, access::kRead | view, &child_source);
    if (rc != kSuccess) return rc;
    UniqueKey source_guard(*api_, child_source);
    KeyHandle child_target = kNullKey;
    rc = api_->CreateKey(target, name, kOptionNonVolatile, access::kAllAccess | view, &child_target,
                         nullptr);
    if (rc != kSuccess) return rc;
    UniqueKey target_guard(*api_, child_target);
    rc = CopyTree(child_source, child_target);
    if (rc != kSuccess) return rc;
  }
}

bool TRegistry::MoveKey(std::string_view old_path, std::string_view new_path, bool delete_source) {
  const std::uint32_t view = ViewFlag(view_);
  std::string_view old_relative;
  const KeyHandle old_base = BaseFor(old_path, &old_relative);
  KeyHandle source = kNullKey;
  ErrorCode rc = api_->OpenKey(old_base, old_relative, access::kRead | view, &source);
  if (rc != kSuccess) return Fail(rc);
  UniqueKey source_guard(*api_, source);

  if (KeyExists(new_path)) return Fail(std::string("Key to rename to already exists"));
  const std::u16string old_absolute = text::Utf8ToUtf16(AbsolutePathOf(old_path) + "\\");
  const std::u16string new_absolute = text::Utf8ToUtf16(AbsolutePathOf(new_path));
  if (new_absolute.size() >= old_absolute.size() &&
      text::CompareNamesIgnoringCase(new_absolute.substr(0, old_absolute.size()), old_absolute) ==
          0) {
    return Fail(std::string("Cannot move a key into its own subtree"));
  }

  std::string_view new_relative;
  const KeyHandle new_base = BaseFor(new_path, &new_relative);
  KeyHandle target = kNullKey;
  bool created = false;
  rc = api_->CreateKey(new_base, new_relative, kOptionNonVolatile, access::kAllAccess | view,
                       &target, &created);
  if (rc != kSuccess) return Fail(rc);
  if (!created) {  // made by someone else since the check: not ours to fill or remove
    api_->CloseKey(target);
    return Fail(std::string("Key to rename to already exists"));
  }
  try {
    UniqueKey target_guard(*api_, target);
    rc = CopyTree(source, target);
  } catch (...) {
    DeleteTree(new_base, std::string(new_relative));  // no partial copy stays behind
    throw;
  }
  if (rc != kSuccess) {
    const std::string reason = text::TrimMessage(api_->ErrorMessage(rc));
    DeleteTree(new_base, std::string(new_relative));  // the partial copy goes; the source stays
    return Fail(reason);
  }
  source_guard.Reset();
  if (delete_source && !DeleteTree(old_base, std::string(old_relative))) {
    // The source did not go, or went only in part: put back what went from the complete copy and
    // remove the copy, so a failed move leaves the registry as it was.
    const std::string reason = last_error_;
    KeyHandle copy = kNullKey, restored = kNullKey;
    if (api_->OpenKey(new_base, new_relative, access::kRead | view, &copy) == kSuccess) {
      UniqueKey copy_guard(*api_, copy);
      if (api_->CreateKey(old_base, old_relative, kOptionNonVolatile, access::kAllAccess | view,
                          &restored, nullptr) == kSuccess) {
        UniqueKey restored_guard(*api_, restored);
        if (CopyTree(copy, restored) == kSuccess) {
          copy_guard.Reset();
          DeleteTree(new_base, std::string(new_relative));
        }
      }
    }
    return Fail(reason);
  }
  ClearLastError();
  return true;
}

bool TRegistry::GetKeySecurity(std::uint32_t info, Bytes* descriptor) {
  const ErrorCode rc =
      api_->GetKeySecurity(current_ != kNullKey ? current_ : root_, info, descriptor);
  return rc == kSuccess || Fail(rc);
}

bool TRegistry::SetKeySecurity(std::uint32_t info, const Bytes& descriptor) {
  const ErrorCode rc =
      api_->SetKeySecurity(current_ != kNullKey ? current_ : root_, info, descriptor);
  return rc == kSuccess || Fail(rc);
}

bool DetectIs64BitWindows(RegApi& api) {
  bool wow64 = false;
  const ErrorCode rc = api.IsWow64Process(&wow64);
  if (rc == kProcNotFound) return false;
  if (rc != kSuccess) throw ERegistryException("Invalid handle");
  return wow64;
}

}  // namespace keyloom::reg
