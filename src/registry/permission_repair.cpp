#include "registry/permission_repair.h"

#include <exception>

#include "base/text.h"

namespace keyloom::reg {
namespace {

constexpr const char* kSecurityPrivilege = "SeSecurityPrivilege";
constexpr int kLevelInformational = 1;
constexpr int kLevelDebug = 2;

// SeSecurityPrivilege for the time of the work; raises when it cannot be asked for at all.
class SecurityPrivilegeScope {
 public:
  explicit SecurityPrivilegeScope(RegApi& api) : scope_(api, kSecurityPrivilege) {
    if (scope_.error() != kSuccess) {
      throw ESecurityError(scope_.error(), text::TrimMessage(api.ErrorMessage(scope_.error())));
    }
  }

 private:
  PrivilegeScope scope_;
};

int Level(const PermissionRepairContext& context) {
  return context.logging_level ? context.logging_level() : 0;
}

// Opens the key for security work (access mode 2) in the registry and view of the search. False
// when the connection or the open fails.
bool OpenForSecurity(const PermissionRepairContext& context, TRegistry& reg, int root_index,
                     std::string_view key_path) {
  const RootKey* root = RootByIndex(root_index);
  if (root == nullptr) return false;
  reg.SetRootKey(root->handle);
  if (!context.target.machine.empty() && !reg.RegistryConnect(context.target.machine)) {
    return false;
  }
  reg.SetAccessMode(2);
  reg.SetView(context.target.view);
  return reg.OpenKey("\\" + std::string(WithoutLeadingBackslash(key_path)));
}

std::string Where(int root_index, std::string_view key_path) {
  return "[" + std::to_string(root_index) + "],[" + std::string(key_path) + "]";
}

// The key named for a person: root name and path.
std::string KeyName(int root_index, std::string_view key_path) {
  const RootKey* root = RootByIndex(root_index);
  return std::string(root != nullptr ? root->name : "?") + "\\" +
         std::string(WithoutLeadingBackslash(key_path));
}

}  // namespace

std::string ProgramAccount::domain() const {
  std::lock_guard lock(mutex_);
  return domain_;
}

void ProgramAccount::LearnDomain(std::string domain) {
  std::erase(domain, '\0');
  std::lock_guard lock(mutex_);
  if (domain_.empty()) domain_ = std::move(domain);
}

std::string ProgramAccount::AccountText() const {
  const std::string known_domain = domain();
  return known_domain.empty() ? user_name_ : known_domain + "\\" + user_name_;
}

bool AddKeySecurity(const PermissionRepairContext& context, int root_index,
                    std::string_view key_path, TAccessControlList& saved) {
  RegApi& api = *context.api;
  const int level = Level(context);
  SecurityPrivilegeScope privilege(api);
  try {
    TRegistry reg(api);
    if (level == kLevelDebug) {
      context.log("Security - Adding security " + Where(root_index, key_path), true);
    }
    if (!OpenForSecurity(context, reg, root_index, key_path)) return false;
    reg.ClearLastError();
    std::string error;
    try {
      TNTRegistryObject key(api, reg.CurrentKey());
      TAccessControlList working;
      key.ReadAccessList(working);
      key.ReadAccessList(saved);

      TAccessControlElement added(api, context.account->user_name(), kRepairAccessMask,
                                  kRepairAceFlags, kAceTypeAllowed);
      context.account->LearnDomain(added.Domain());
      const std::string account_text = context.account->AccountText();
      if (level == kLevelDebug) {
        context.log(
            "Security - [Add] Checking Domain/User in registry to remove [" + account_text + "]",
            true);
      }
      for (std::size_t i = 0; i < working.Count(); ++i) {
        const std::string& name = working.Element(i).AccountName();
        if (level == kLevelDebug)
          context.log("Security - [Add] Checking User [" + name + "]", true);
        if (name == account_text) {
          working.Delete(i);
          break;
        }
      }
      working.Append(std::move(added));
      working.dacl_present = true;
      key.WriteAccessList(working);
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (error.empty()) return true;
    if (level == kLevelDebug) {
      context.log(
          "Security - Adding security failed [" + error + "]," + Where(root_index, key_path), true);
    } else if (level == kLevelInformational) {
      context.log("Security - Adding security failed [" + error + "]", false);
    }
    return false;
  } catch (const std::exception& e) {
    context.log("Security - Error while Adding Security [" + std::string(e.what()) + "]", false);
    return false;
  }
}

void RestoreKeySecurity(const PermissionRepairContext& context, int root_index,
                        std::string_view key_path, TAccessControlList& saved) {
  if (saved.as_read.bytes().empty()) return;  // nothing was granted, so nothing to take back
  RegApi& api = *context.api;
  const int level = Level(context);
  auto still_granted = [&](const std::string& reason) {
    context.log("Security - [" + context.account->AccountText() + "] still has full control of [" +
                    KeyName(root_index, key_path) + "]: " + reason,
                false);
  };
  try {
    SecurityPrivilegeScope privilege(api);
    TRegistry reg(api);
    if (level == kLevelDebug) {
      context.log("Security - Restoring security " + Where(root_index, key_path), true);
    }
    if (!OpenForSecurity(context, reg, root_index, key_path)) {
      // A key deleted or renamed meanwhile took the added entry with it.
      if (reg.LastError() != kFileNotFound) still_granted(reg.LastErrorText());
      return;
    }
    reg.ClearLastError();
    std::string error;
    try {
      if (level == kLevelDebug) {
        context.log("Security - [Fix] Checking Domain/User in registry to remove [" +
                        context.account->AccountText() + "]",
                    true);
      }
      TNTRegistryObject key(api, reg.CurrentKey());
      key.RestoreAccessList(saved);
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (error.empty()) return;
    if (level == kLevelDebug) {
      context.log(
          "Security - Restoring security failed [" + error + "]," + Where(root_index, key_path),
          true);
    } else if (level == kLevelInformational) {
      context.log("Security - Restoring security failed [" + error + "]", false);
    }
    still_granted(error);
  } catch (const std::exception& e) {
    context.log("Security - Error while Restoring Security [" + std::string(e.what()) + "]", false);
    still_granted(e.what());
  }
}

}  // namespace keyloom::reg
