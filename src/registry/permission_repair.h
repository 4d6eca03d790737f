// Permission repair: when a key refuses access and FIXPERMS is on, the program's account gets full
// control of the key for the time of the work (AddKeySecurity), and the key's DACL is put back
// afterwards (RestoreKeySecurity). Only the DACL changes; owner, group and audit list never do.
//
// The caller owns one saved access list per repaired key: AddKeySecurity fills it with the key's
// DACL as it was, and RestoreKeySecurity writes exactly that DACL back (entries, their order and
// the protection and inheritance bits), so every key ends as it was.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "registry/nt_security.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::reg {

// The account the program runs as: the user name taken at start-up, and the domain the first
// AddKeySecurity learns from the account lookup. Process-wide; thread-safe.
class ProgramAccount {
 public:
  explicit ProgramAccount(std::string user_name) : user_name_(std::move(user_name)) {}
  const std::string& user_name() const { return user_name_; }
  std::string domain() const;
  // Keeps the first non-empty domain (NUL characters removed).
  void LearnDomain(std::string domain);
  // DOMAIN\name, or the name alone while the domain is unknown.
  std::string AccountText() const;

 private:
  std::string user_name_;
  mutable std::mutex mutex_;
  std::string domain_;
};

// The rights of the added entry: every standard right and every key right.
inline constexpr std::uint32_t kRepairAccessMask = 0x001F03FF;
// Object inherit + container inherit: subkeys created meanwhile inherit the entry.
inline constexpr std::uint8_t kRepairAceFlags = 3;

struct PermissionRepairContext {
  RegApi* api = nullptr;
  ProgramAccount* account = nullptr;
  Target target;  // the machine and the view the key is opened in
  std::function<int()> logging_level;
  // StatusLog(text, debug_only).
  std::function<void(const std::string&, bool)> log;
};

// Gives the program's account full control of `key_path` below root `root_index` (1 to 5; the path
// with or without a leading "\"). True when the key now carries the added entry.
bool AddKeySecurity(const PermissionRepairContext& context, int root_index,
                    std::string_view key_path, TAccessControlList& saved);

// Writes the saved DACL back. A failure is logged at every level, naming the key that still
// carries the added entry.
void RestoreKeySecurity(const PermissionRepairContext& context, int root_index,
                        std::string_view key_path, TAccessControlList& saved);

}  // namespace keyloom::reg
