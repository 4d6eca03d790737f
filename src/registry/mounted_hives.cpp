#include "registry/mounted_hives.h"

#include "base/text.h"

namespace keyloom::reg {

MountedHives::MountedHives(RegApi& api)
    : api_(api), backup_(api, "SeBackupPrivilege"), restore_(api, "SeRestorePrivilege") {}

MountedHives::~MountedHives() { UnloadAll(); }

ErrorCode MountedHives::Load(const HiveMount& mount) {
  ErrorCode rc = api_.LoadKey(kUsers, mount.key, mount.file);
  if (rc == kAlreadyExists && api_.UnLoadKey(kUsers, mount.key) == kSuccess) {
    rc = api_.LoadKey(kUsers, mount.key, mount.file);
  }
  if (rc == kSuccess) mounts_.push_back(mount);
  return rc;
}

std::vector<std::string> MountedHives::UnloadAll() {
  std::vector<std::string> lines;
  while (!mounts_.empty()) {
    const HiveMount mount = std::move(mounts_.back());
    mounts_.pop_back();
    const ErrorCode rc = api_.UnLoadKey(kUsers, mount.key);
    if (rc == kSuccess) continue;
    lines.push_back(
        text::Cat({"Unable to unload [HKEY_USERS\\", mount.key, "] [",
                   text::TrimMessage(api_.ErrorMessage(rc)),
                   "]: unload it in the registry editor (File, Unload Hive), it locks its "
                   "user out of the profile"}));
  }
  return lines;
}

std::string LoadFailureLine(RegApi& api, const HiveMount& hive, ErrorCode rc) {
  return text::Cat({"Unable to load [", hive.file, "] as [HKEY_USERS\\", hive.key, "] [",
                    text::TrimMessage(api.ErrorMessage(rc)), "]"});
}

ReloadedHives::~ReloadedHives() {
  if (!mounts_) return;
  for (const std::string& line : mounts_->UnloadAll()) log_(line);
}

void ReloadedHives::Load(const std::vector<HiveMount>& hives) {
  for (const HiveMount& hive : hives) {
    KeyHandle loaded = kNullKey;
    if (api_.OpenKey(kUsers, hive.key, access::kRead, &loaded) == kSuccess) {
      api_.CloseKey(loaded);
      reached_.push_back(hive);
      continue;
    }
    if (!mounts_) mounts_.emplace(api_);
    const ErrorCode rc = mounts_->Load(hive);
    if (rc == kSuccess) {
      reached_.push_back(hive);
    } else {
      log_(LoadFailureLine(api_, hive, rc));
    }
  }
}

}  // namespace keyloom::reg
