// Every user's registry, signed in or not: the profiles that ProfileList (kProfileListPath below
// HKEY_LOCAL_MACHINE) names, and the Default profile new users are made from.
// A profile whose user is signed in is searched where its hive is, HKEY_USERS\<SID> (and
// <SID>_Classes); the others' hive files, NTUSER.DAT in the profile folder and UsrClass.dat in
// AppData\Local\Microsoft\Windows, are loaded for the run as HKEY_USERS\KL_<SID> and
// KL_<SID>_Classes and unloaded at its end. Loading needs the backup and restore privileges and
// a local registry; without them only the signed-in users are searched, and the run says so once.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_context.h"
#include "engine/run_io.h"
#include "registry/mounted_hives.h"
#include "registry/reg_api.h"

namespace keyloom::engine {

inline constexpr std::string_view kProfileListPath =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// The name below HKEY_USERS a hive loaded for a run is given: this prefix and the SID.
inline constexpr std::string_view kLoadedProfilePrefix = "KL_";

struct UserProfile {
  std::string sid;     // "S-1-5-21-...", or "Default" for the Default profile
  std::string folder;  // ProfileImagePath, environment strings expanded
  std::string user;    // the folder's last name
};

// The profiles of `machine`'s ProfileList in its order, the Default profile last when asked for.
// `*error` tells why the list could not be read (it is empty then).
std::vector<UserProfile> ReadProfileList(reg::RegApi& api, const std::string& machine,
                                         bool with_default, std::string* error);

// A key below HKEY_USERS a profiles run searches, and whose it is.
struct ProfileHive {
  std::string key;   // "S-1-5-21-...", "KL_S-1-5-21-..._Classes", ...
  std::string user;  // the profile folder's name
};

// The profiles of one run, their hives loaded from Open to Close (or the object's end).
class ProfileHives {
 public:
  ProfileHives(const RunContext& context, std::string machine, bool with_default);
  ProfileHives(const ProfileHives&) = delete;
  ProfileHives& operator=(const ProfileHives&) = delete;
  ~ProfileHives() { Close(); }

  // Reads the list and loads the hives of the users not signed in; every profile that cannot be
  // searched is logged once, and the run goes on with the others.
  void Open();
  // Unloads what Open loaded; a hive that would not go is logged.
  void Close();

  const std::vector<ProfileHive>& hives() const { return hives_; }
  // The keys to search, below HKEY_USERS, in the list's order.
  std::vector<StartPoint> StartPoints() const;
  // The hives loaded for the run, by their names below HKEY_USERS.
  std::vector<reg::HiveMount> Loaded() const;
  // The user whose hive holds `path` (below HKEY_USERS, with or without its leading "\"); "" when
  // the path is in no profile of the run.
  std::string UserOf(std::string_view path) const;

 private:
  void Log(const std::string& line) const { context_.log(line, false); }
  bool KeyExists(reg::KeyHandle users, const std::string& key) const;
  // Loads the profile's hives; false when its user hive cannot be loaded (logged).
  bool LoadProfile(const UserProfile& profile);

  const RunContext& context_;
  std::string machine_;
  bool with_default_;
  std::optional<reg::MountedHives> mounts_;
  std::vector<ProfileHive> hives_;
};

}  // namespace keyloom::engine
