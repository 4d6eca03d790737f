// TRegistry's hive operations: save, restore, replace, load and unload.
#include <string>

#include "registry/registry.h"

namespace keyloom::reg {
namespace {

// Save key's create: KEY_ALL_ACCESS + ACCESS_SYSTEM_SECURITY.
constexpr std::uint32_t kBackupAccess = 0x010F003F;

}  // namespace

bool TRegistry::SaveKey(std::string_view path, std::string_view file) {
  ClearLastError();
  std::string_view relative;
  const KeyHandle base = BaseFor(path, &relative);
  KeyHandle key = kNullKey;
  ErrorCode rc = api_->CreateKey(base, relative, kOptionBackupRestore,
                                 kBackupAccess | ViewFlag(view_), &key, nullptr);
  if (rc != kSuccess) return Fail(rc);
  UniqueKey guard(*api_, key);
  rc = api_->SaveKey(key, file);
  return rc == kSuccess || Fail(rc);
}

bool TRegistry::RestoreKey(std::string_view path, std::string_view file) {
  ClearLastError();
  const PrivilegeScope restore(*api_, "SeRestorePrivilege");
  if (restore.error() != kSuccess) return Fail(restore.error());
  std::string_view relative;
  const KeyHandle base = BaseFor(path, &relative);
  KeyHandle key = kNullKey;
  ErrorCode rc = api_->CreateKey(base, relative, kOptionBackupRestore,
                                 kBackupAccess | ViewFlag(view_), &key, nullptr);
  if (rc == kSuccess) {
    UniqueKey guard(*api_, key);
    rc = api_->RestoreKey(key, file, 0);
  }
  return rc == kSuccess || Fail(rc);
}

bool TRegistry::ReplaceKey(std::string_view path, std::string_view new_file,
                           std::string_view old_file) {
  ClearLastError();
  std::string_view relative;
  const KeyHandle base = BaseFor(path, &relative);
  const ErrorCode rc = api_->ReplaceKey(base, relative, new_file, old_file);
  return rc == kSuccess || Fail(rc);
}

bool TRegistry::LoadKey(std::string_view subkey, std::string_view file) {
  ClearLastError();
  const ErrorCode rc = api_->LoadKey(root_, WithoutLeadingBackslash(subkey), file);
  return rc == kSuccess || Fail(rc);
}

bool TRegistry::UnLoadKey(std::string_view subkey) {
  ClearLastError();
  const ErrorCode rc = api_->UnLoadKey(root_, WithoutLeadingBackslash(subkey));
  return rc == kSuccess || Fail(rc);
}

}  // namespace keyloom::reg
