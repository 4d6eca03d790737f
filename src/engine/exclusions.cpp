#include "engine/exclusions.h"

#include "base/text.h"

namespace keyloom::engine {
namespace {

constexpr int kClassesRootIndex = 1;
constexpr int kCurrentUserIndex = 2;
constexpr int kLocalMachineIndex = 3;
constexpr int kUsersIndex = 4;
constexpr std::string_view kClasses = "\\Software\\Classes";
constexpr std::string_view kUserKeys = "\\REGISTRY\\USER";

// Whether `path` is `key` or lies below it, names compared as the registry compares them;
// `*rest` is what follows `key` ("" or "\...").
bool Under(std::string_view path, std::string_view key, std::string_view* rest) {
  if (path.size() < key.size()) return false;
  if (path.size() > key.size() && path[key.size()] != '\\') return false;
  if (text::CompareNamesIgnoringCase(text::Utf8ToUtf16(path.substr(0, key.size())),
                                     text::Utf8ToUtf16(key)) != 0) {
    return false;
  }
  *rest = path.substr(key.size());
  return true;
}

std::string_view RootRelative(std::string_view path) { return path == "\\" ? "" : path; }

}  // namespace

ExclusionSet::ExclusionSet(const std::vector<ExcludedKey>& exclusions, std::string_view user_sid) {
  const std::string user = user_sid.empty() ? "" : "\\" + std::string(user_sid);
  // Every name of a key given by its HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE path (or any other
  // root's, which has one name).
  auto add_names = [&](int root, const std::string& path, std::size_t index) {
    Add(root, path, index);
    if (root == kCurrentUserIndex && !user.empty()) Add(kUsersIndex, user + path, index);
    std::string_view below;
    if ((root == kCurrentUserIndex || root == kLocalMachineIndex) &&
        Under(path, kClasses, &below)) {
      Add(kClassesRootIndex, std::string(below), index);
      if (root == kCurrentUserIndex && !user.empty()) {
        Add(kUsersIndex, user + "_Classes" + std::string(below), index);
      }
    }
  };
  for (std::size_t i = 0; i < exclusions.size(); ++i) {
    const int root = exclusions[i].root_index;
    const std::string path(RootRelative(exclusions[i].path));
    std::string_view rest;
    if (root == kClassesRootIndex) {
      // HKEY_CLASSES_ROOT shows both: its key stands for the machine's and the user's.
      add_names(kLocalMachineIndex, std::string(kClasses) + path, i);
      add_names(kCurrentUserIndex, std::string(kClasses) + path, i);
    } else if (root == kUsersIndex && !user.empty() && Under(path, user, &rest)) {
      add_names(kCurrentUserIndex, std::string(rest), i);
    } else if (root == kUsersIndex && !user.empty() && Under(path, user + "_Classes", &rest)) {
      add_names(kCurrentUserIndex, std::string(kClasses) + std::string(rest), i);
    } else {
      add_names(root, path, i);
    }
  }
}

void ExclusionSet::Add(int root_index, std::string path, std::size_t exclusion) {
  std::u16string units = text::Utf8ToUtf16(path);
  for (const Alias& alias : aliases_) {
    if (alias.root_index == root_index && text::CompareNamesIgnoringCase(alias.units, units) == 0) {
      return;
    }
  }
  aliases_.push_back({root_index, std::move(path), std::move(units), exclusion});
}

int ExclusionSet::At(int root_index, std::string_view path) const {
  std::u16string units;
  for (const Alias& alias : aliases_) {
    if (alias.root_index != root_index || alias.path.size() != path.size()) continue;
    if (units.empty()) units = text::Utf8ToUtf16(path);
    if (text::CompareNamesIgnoringCase(alias.units, units) == 0) {
      return static_cast<int>(alias.exclusion);
    }
  }
  return -1;
}

int ExclusionSet::Covering(int root_index, std::string_view path) const {
  path = RootRelative(path);
  std::string_view below;
  for (const Alias& alias : aliases_) {
    if (alias.root_index == root_index && Under(path, alias.path, &below)) {
      return static_cast<int>(alias.exclusion);
    }
  }
  return -1;
}

std::string CurrentUserSid(reg::RegApi& api) {
  reg::KeyHandle key = reg::kNullKey;
  std::string name;
  if (api.OpenKey(reg::kCurrentUser, "Software", reg::access::kQueryValue, &key) != reg::kSuccess &&
      (api.EnumKey(reg::kCurrentUser, 0, &name) != reg::kSuccess ||
       api.OpenKey(reg::kCurrentUser, name, reg::access::kQueryValue, &key) != reg::kSuccess)) {
    return "";
  }
  std::string real;
  const reg::ErrorCode rc = api.KeyRealName(key, &real);
  api.CloseKey(key);
  std::string_view rest;
  if (rc != reg::kSuccess || !Under(real, kUserKeys, &rest) || rest.size() < 2) {
    return "";
  }
  rest.remove_prefix(1);
  return std::string(rest.substr(0, rest.find('\\')));
}

}  // namespace keyloom::engine
