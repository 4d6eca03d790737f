// Hive files loaded under HKEY_USERS for the time of one task (a run over the users' profiles, the
// take-back of such a run) and unloaded again when it ends, also after a stop or a failure: a hive
// left loaded locks its user out of the profile. The loading needs the backup and restore
// privileges; the object enables both for its lifetime.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::reg {

struct HiveMount {
  std::string key;   // its name below HKEY_USERS, such as "KL_S-1-5-21-1-2-3-1001"
  std::string file;  // the hive file it is loaded from
  bool operator==(const HiveMount&) const = default;
};

class MountedHives {
 public:
  explicit MountedHives(RegApi& api);
  MountedHives(const MountedHives&) = delete;
  MountedHives& operator=(const MountedHives&) = delete;
  // Unloads what is still loaded (UnloadAll, its lines dropped).
  ~MountedHives();

  // The account holds both privileges and they are enabled: hives can be loaded.
  bool CanLoad() const { return backup_.held() && restore_.held(); }
  // Loads `mount.file` as HKEY_USERS\<mount.key>. A key of that name left loaded by an earlier
  // task that ended abnormally is unloaded first. The system's code on failure.
  ErrorCode Load(const HiveMount& mount);
  // Unloads every hive loaded here, the last loaded first. One line for each that would not go,
  // naming it and how to unload it by hand.
  std::vector<std::string> UnloadAll();
  const std::vector<HiveMount>& mounts() const { return mounts_; }

 private:
  RegApi& api_;
  PrivilegeScope backup_;
  PrivilegeScope restore_;
  std::vector<HiveMount> mounts_;
};

// "Unable to load [file] as [HKEY_USERS\key] [why]".
std::string LoadFailureLine(RegApi& api, const HiveMount& hive, ErrorCode rc);

// The hives a finished run loaded and unloaded, loaded again by the same names for later work over
// the items it found (an export, Replace Selected) and unloaded when that work ends. A hive already
// loaded under its name (by a run under way, in this or another process) is used where it is and
// left loaded: loading it again would first unload it from under that run.
class ReloadedHives {
 public:
  using Log = std::function<void(const std::string& line)>;
  ReloadedHives(RegApi& api, Log log) : api_(api), log_(std::move(log)) {}
  ReloadedHives(const ReloadedHives&) = delete;
  ReloadedHives& operator=(const ReloadedHives&) = delete;
  // Unloads what Load loaded; a hive that would not go is logged.
  ~ReloadedHives();

  // Loads each hive not loaded yet; one that cannot be loaded is logged (its items then read as
  // gone).
  void Load(const std::vector<HiveMount>& hives);
  // The hives reachable now, loaded here or before.
  const std::vector<HiveMount>& Reached() const { return reached_; }

 private:
  RegApi& api_;
  Log log_;
  std::optional<MountedHives> mounts_;
  std::vector<HiveMount> reached_;
};

}  // namespace keyloom::reg
