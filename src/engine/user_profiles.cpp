#include "engine/user_profiles.h"

#include <cstddef>
#include <utility>

#include "base/ascii.h"
#include "base/text.h"
#include "base/utf8_path.h"

namespace keyloom::engine {
namespace {

using text::Cat;

// The classes hive's file in a profile folder.
constexpr std::string_view kClassesFolders[] = {"AppData", "Local", "Microsoft", "Windows"};

std::string InFolder(std::string folder, std::string_view name) {
  if (!base::EndsWithPathSeparator(folder) && !folder.empty()) folder += base::kPathSeparator;
  return folder += name;
}

// The last name of a folder's path, whichever separator it uses.
std::string LastName(std::string_view folder) {
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
    folder.remove_suffix(1);
  const std::size_t slash = folder.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? folder : folder.substr(slash + 1));
}

// The profile whose folder the string value `name` of the open key names; none when it does not.
std::optional<UserProfile> ProfileFrom(reg::TRegistry& reg, std::string sid,
                                       std::string_view name) {
  const std::string raw = reg.ReadString(name);
  if (text::IsBlank(raw)) return std::nullopt;
  std::string folder;
  if (reg.api().ExpandEnvironmentText(raw, &folder) != reg::kSuccess) folder = raw;
  return UserProfile{std::move(sid), folder, LastName(folder)};
}

}  // namespace

std::vector<UserProfile> ReadProfileList(reg::RegApi& api, const std::string& machine,
                                         bool with_default, std::string* error) {
  std::vector<UserProfile> profiles;
  reg::TRegistry reg(api);
  reg.SetRootKey(reg::kLocalMachine);
  reg.SetAccessMode(1);
  bool wow64 = false;
  if (api.IsWow64Process(&wow64) == reg::kSuccess && wow64) reg.SetView(reg::RegView::k64);
  if ((!machine.empty() && !reg.RegistryConnect(machine)) || !reg.OpenKey(kProfileListPath)) {
    *error = reg.LastErrorText();
    return profiles;
  }
  const std::vector<std::string> sids = reg.GetKeyNames();
  std::optional<UserProfile> default_profile;
  if (with_default) default_profile = ProfileFrom(reg, "Default", "Default");
  for (const std::string& sid : sids) {
    if (!reg.OpenKey(Cat({"\\", kProfileListPath, "\\", sid}))) continue;
    if (auto profile = ProfileFrom(reg, sid, "ProfileImagePath")) {
      profiles.push_back(std::move(*profile));
    }
  }
  if (default_profile) profiles.push_back(std::move(*default_profile));
  return profiles;
}

ProfileHives::ProfileHives(const RunContext& context, std::string machine, bool with_default)
    : context_(context), machine_(std::move(machine)), with_default_(with_default) {}

bool ProfileHives::KeyExists(reg::KeyHandle users, const std::string& key) const {
  reg::KeyHandle opened = reg::kNullKey;
  const reg::ErrorCode rc = context_.api->OpenKey(users, key, reg::access::kRead, &opened);
  reg::UniqueKey guard(*context_.api, opened);
  return rc != reg::kFileNotFound && rc != reg::kPathNotFound;
}

void ProfileHives::Open() {
  reg::RegApi& api = *context_.api;
  std::string error;
  const std::vector<UserProfile> profiles = ReadProfileList(api, machine_, with_default_, &error);
  if (!error.empty()) {
    Log(Cat({"Unable to read the list of user profiles [", error, "]"}));
    return;
  }
  reg::KeyHandle users = reg::kUsers;
  if (!machine_.empty() && api.ConnectRegistry(machine_, reg::kUsers, &users) != reg::kSuccess) {
    Log(Cat({"Unable to reach HKEY_USERS on ", machine_}));
    return;
  }
  const reg::UniqueKey users_guard(api, users);
  bool can_load = machine_.empty();
  if (!can_load) {
    Log("The hives of users not signed in cannot be loaded through a remote connection: "
        "searching the signed-in users only.");
  } else {
    mounts_.emplace(api);
    can_load = mounts_->CanLoad();
    if (!can_load) {
      Log("Loading the hives of users not signed in needs the backup and restore privileges "
          "(run Keyloom as administrator): searching the signed-in users only.");
    }
  }
  for (const UserProfile& profile : profiles) {
    if (KeyExists(users, profile.sid)) {
      hives_.push_back({profile.sid, profile.user});
      const std::string classes = Cat({profile.sid, "_Classes"});
      if (KeyExists(users, classes)) hives_.push_back({classes, profile.user});
    } else if (can_load) {
      LoadProfile(profile);
    }
  }
}

bool ProfileHives::LoadProfile(const UserProfile& profile) {
  reg::RegApi& api = *context_.api;
  const std::string key = Cat({kLoadedProfilePrefix, profile.sid});
  const std::string file = InFolder(profile.folder, "NTUSER.DAT");
  reg::ErrorCode rc = mounts_->Load({key, file});
  if (rc != reg::kSuccess) {
    Log(Cat({"Unable to load the profile of [", profile.user, "] from [", file, "], skipping [",
             text::TrimMessage(api.ErrorMessage(rc)), "]"}));
    return false;
  }
  hives_.push_back({key, profile.user});
  std::string classes_file = profile.folder;
  for (std::string_view folder : kClassesFolders) classes_file = InFolder(classes_file, folder);
  classes_file = InFolder(classes_file, "UsrClass.dat");
  const std::string classes = Cat({key, "_Classes"});
  rc = mounts_->Load({classes, classes_file});
  if (rc == reg::kSuccess) {
    hives_.push_back({classes, profile.user});
  } else if (rc != reg::kFileNotFound && rc != reg::kPathNotFound) {
    Log(Cat({"Unable to load the classes of [", profile.user, "] from [", classes_file,
             "], skipping them [", text::TrimMessage(api.ErrorMessage(rc)), "]"}));
  }
  Log(Cat({"Loaded the profile of [", profile.user, "] as [HKEY_USERS\\", key, "]"}));
  return true;
}

void ProfileHives::Close() {
  if (!mounts_) return;
  for (const std::string& line : mounts_->UnloadAll()) Log(line);
  mounts_.reset();
}

std::vector<StartPoint> ProfileHives::StartPoints() const {
  std::vector<StartPoint> starts;
  for (const ProfileHive& hive : hives_) starts.push_back({4, Cat({"\\", hive.key})});
  return starts;
}

std::vector<reg::HiveMount> ProfileHives::Loaded() const {
  return mounts_ ? mounts_->mounts() : std::vector<reg::HiveMount>{};
}

std::string ProfileHives::UserOf(std::string_view path) const {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  const std::string first = base::AsciiLower(path.substr(0, path.find('\\')));
  for (const ProfileHive& hive : hives_) {
    if (base::AsciiLower(hive.key) == first) return hive.user;
  }
  return "";
}

}  // namespace keyloom::engine
