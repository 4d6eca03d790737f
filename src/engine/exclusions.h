// The excluded keys of a run as the walk meets them. The registry shows some keys under two
// names: HKEY_CURRENT_USER is HKEY_USERS\<the user's SID>, HKEY_CURRENT_USER\Software\Classes is
// HKEY_USERS\<SID>_Classes, and HKEY_CLASSES_ROOT shows HKEY_LOCAL_MACHINE\Software\Classes and
// HKEY_CURRENT_USER\Software\Classes merged. An exclusion written under one name excludes the key
// under every other name too, so a walk of all roots never enters an excluded key by its other
// name. The aliases are worked out once per run; the walk compares each subkey's path with them
// only when the path has the length of one (an exclusion costs nothing for the keys it leaves).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/match_rules.h"
#include "registry/reg_api.h"

namespace keyloom::engine {

class ExclusionSet {
 public:
  ExclusionSet() = default;
  // `user_sid` is the current user's SID ("S-1-5-21-..."); empty when it is not known or the run
  // searches another computer, whose HKEY_USERS holds other users: then HKEY_CURRENT_USER and
  // HKEY_USERS keep their exclusions apart.
  ExclusionSet(const std::vector<ExcludedKey>& exclusions, std::string_view user_sid);

  bool empty() const { return aliases_.empty(); }
  // The index (in the exclusions given) of the one that names the key at `path` below root
  // `root_index` under any of its names (letter case ignored), or -1.
  int At(int root_index, std::string_view path) const;
  // The same for the key at `path` or any key above it ("\" or "" is the root itself): the
  // exclusion a start key lies in.
  int Covering(int root_index, std::string_view path) const;

 private:
  struct Alias {
    int root_index;
    std::string path;  // "" for the root itself, else beginning with "\"
    std::u16string units;
    std::size_t exclusion;
  };
  void Add(int root_index, std::string path, std::size_t exclusion);

  std::vector<Alias> aliases_;
};

// The current user's SID as the registry names HKEY_CURRENT_USER's keys
// ("\REGISTRY\USER\<SID>\Software"); "" when the registry cannot say.
std::string CurrentUserSid(reg::RegApi& api);

}  // namespace keyloom::engine
