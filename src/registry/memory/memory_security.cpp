// The memory registry's key security, privileges, accounts and system questions.
#include <algorithm>

#include "base/ascii.h"
#include "base/text.h"
#include "registry/memory/memory_registry_impl.h"

namespace keyloom::reg::memory {
namespace {

constexpr const char* kKnownPrivileges[] = {"SeAssignPrimaryTokenPrivilege",
                                            "SeAuditPrivilege",
                                            "SeBackupPrivilege",
                                            "SeChangeNotifyPrivilege",
                                            "SeCreateGlobalPrivilege",
                                            "SeCreatePagefilePrivilege",
                                            "SeCreatePermanentPrivilege",
                                            "SeCreateSymbolicLinkPrivilege",
                                            "SeCreateTokenPrivilege",
                                            "SeDebugPrivilege",
                                            "SeDelegateSessionUserImpersonatePrivilege",
                                            "SeEnableDelegationPrivilege",
                                            "SeImpersonatePrivilege",
                                            "SeIncreaseBasePriorityPrivilege",
                                            "SeIncreaseQuotaPrivilege",
                                            "SeIncreaseWorkingSetPrivilege",
                                            "SeLoadDriverPrivilege",
                                            "SeLockMemoryPrivilege",
                                            "SeMachineAccountPrivilege",
                                            "SeManageVolumePrivilege",
                                            "SeProfileSingleProcessPrivilege",
                                            "SeRelabelPrivilege",
                                            "SeRemoteShutdownPrivilege",
                                            "SeRestorePrivilege",
                                            "SeSecurityPrivilege",
                                            "SeShutdownPrivilege",
                                            "SeSyncAgentPrivilege",
                                            "SeSystemEnvironmentPrivilege",
                                            "SeSystemProfilePrivilege",
                                            "SeSystemtimePrivilege",
                                            "SeTakeOwnershipPrivilege",
                                            "SeTcbPrivilege",
                                            "SeTimeZonePrivilege",
                                            "SeTrustedCredManAccessPrivilege",
                                            "SeUndockPrivilege",
                                            "SeUnsolicitedInputPrivilege"};

constexpr char kEveryone[] = "S-1-1-0";
constexpr char kCreatorOwner[] = "S-1-3-0";
constexpr char kSystem[] = "S-1-5-18";
constexpr char kAuthenticatedUsers[] = "S-1-5-11";
constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kUsers[] = "S-1-5-32-545";

Sid WellKnown(const char* text) { return *Sid::FromText(text); }

bool SameText(std::string_view a, std::string_view b) {
  return SameName(text::Utf8ToUtf16(a), text::Utf8ToUtf16(b));
}

// Windows' English texts of the codes this adapter gives.
constexpr struct {
  ErrorCode code;
  const char* text;
} kMessages[] = {
    {kSuccess, "The operation completed successfully."},
    {kFileNotFound, "The system cannot find the file specified."},
    {kPathNotFound, "The system cannot find the path specified."},
    {kAccessDenied, "Access is denied."},
    {kInvalidHandle, "The handle is invalid."},
    {kNotEnoughMemory, "Not enough memory resources are available to process this command."},
    {kSharingViolation,
     "The process cannot access the file because it is being used by another process."},
    {kBadNetPath, "The network path was not found."},
    {kFileExists, "The file exists."},
    {kInvalidParameter, "The parameter is incorrect."},
    {kCallNotImplemented, "This function is not supported on this system."},
    {kInsufficientBuffer, "The data area passed to a system call is too small."},
    {kProcNotFound, "The specified procedure could not be found."},
    {kBadPathName, "The specified path is invalid."},
    {kAlreadyExists, "Cannot create a file when that file already exists."},
    {kMoreData, "More data is available."},
    {kNoMoreItems, "No more data is available."},
    {kBadDbFile, "The configuration registry database is corrupt."},
    {kKeyDeleted,
     "Illegal operation attempted on a registry key that has been marked for deletion."},
    {kNotAllAssigned, "Not all privileges or groups referenced are assigned to the caller."},
    {kInvalidOwner, "This security ID may not be assigned as the owner of this object."},
    {kPrivilegeNotHeld, "A required privilege is not held by the client."},
    {kNoneMapped, "No mapping between account names and security IDs was done."},
    {kInvalidSid, "The security ID structure is invalid."},
    {kRpcServerUnavailable, "The RPC server is unavailable."},
};

Ace Allow(const Sid& sid, std::uint32_t mask) {
  return Ace{kAceTypeAllowed, kAceObjectInherit | kAceContainerInherit, mask, sid, {}};
}

// Copies the parts of `from` that `info` names, with their control bits, into `to`.
void CopyParts(const SecurityDescriptor& from, std::uint32_t info, SecurityDescriptor* to) {
  std::uint16_t bits = 0;
  if (info & kOwnerSecurityInformation) {
    to->owner = from.owner;
    bits |= kSdOwnerDefaulted;
  }
  if (info & kGroupSecurityInformation) {
    to->group = from.group;
    bits |= kSdGroupDefaulted;
  }
  if (info & kDaclSecurityInformation) {
    to->dacl = from.dacl;
    bits |= kSdDaclBits;
  }
  if (info & kSaclSecurityInformation) {
    to->sacl = from.sacl;
    bits |= kSdSaclBits;
  }
  to->control = static_cast<std::uint16_t>((to->control & ~bits) | (from.control & bits));
}

}  // namespace

std::string UpperAscii(std::string_view ascii) {
  std::string out(ascii);
  for (char& c : out) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return out;
}

void MemoryRegistryImpl::InitAccount() {
  user_sid_ = Sid::FromText(config_.user_sid).value_or(WellKnown("S-1-5-21-0-0-0-1000"));
  primary_group_ = user_sid_;
  if (!primary_group_.sub_authorities.empty()) primary_group_.sub_authorities.back() = 513;

  caller_sids_ = {user_sid_};
  if (config_.group_sids.empty()) {
    caller_sids_.push_back(WellKnown(kEveryone));
    caller_sids_.push_back(WellKnown(kAuthenticatedUsers));
    caller_sids_.push_back(WellKnown(kUsers));
  }
  for (const std::string& text : config_.group_sids) {
    if (auto sid = Sid::FromText(text)) caller_sids_.push_back(std::move(*sid));
  }
  const Sid administrators = WellKnown(kAdministrators);
  if (config_.administrator &&
      std::find(caller_sids_.begin(), caller_sids_.end(), administrators) == caller_sids_.end()) {
    caller_sids_.push_back(administrators);
  }

  accounts_ = {{config_.user_name, config_.domain, user_sid_},
               {"None", config_.domain, primary_group_},
               {"Everyone", "", WellKnown(kEveryone)},
               {"CREATOR OWNER", "", WellKnown(kCreatorOwner)},
               {"SYSTEM", "NT AUTHORITY", WellKnown(kSystem)},
               {"Authenticated Users", "NT AUTHORITY", WellKnown(kAuthenticatedUsers)},
               {"Administrators", "BUILTIN", administrators},
               {"Users", "BUILTIN", WellKnown(kUsers)}};

  for (const char* name : kKnownPrivileges) privileges_[UpperAscii(name)] = Privilege{};
  for (const PrivilegeSetting& setting : config_.privileges) {
    privileges_[UpperAscii(setting.name)] = Privilege{true, setting.enabled};
  }

  SecurityDescriptor sd;
  sd.control = kSdDaclPresent;
  sd.owner = user_sid_;
  sd.group = primary_group_;
  sd.dacl = Acl{
      kAclRevision,
      {Allow(user_sid_, access::kAllAccess), Allow(administrators, access::kAllAccess),
       Allow(WellKnown(kSystem), access::kAllAccess), Allow(WellKnown(kEveryone), access::kRead)}};
  default_security_ = std::make_shared<const SecurityDescriptor>(std::move(sd));
}

Privilege* MemoryRegistryImpl::FindPrivilege(std::string_view name) {
  const auto it = privileges_.find(UpperAscii(name));
  return it == privileges_.end() ? nullptr : &it->second;
}

const Privilege* MemoryRegistryImpl::FindPrivilege(std::string_view name) const {
  const auto it = privileges_.find(UpperAscii(name));
  return it == privileges_.end() ? nullptr : &it->second;
}

bool MemoryRegistryImpl::Enabled(std::string_view privilege) const {
  const Privilege* found = FindPrivilege(privilege);
  return found != nullptr && found->held && found->enabled;
}

ErrorCode MemoryRegistryImpl::RequirePrivilege(std::string_view privilege) const {
  return Enabled(privilege) ? kSuccess : kPrivilegeNotHeld;
}

std::shared_ptr<const SecurityDescriptor> MemoryRegistryImpl::DefaultSecurity() const {
  return default_security_;
}

std::shared_ptr<const SecurityDescriptor> MemoryRegistryImpl::InheritedSecurity(
    const Node* parent) {
  if (parent->security == last_parent_security_ && last_child_security_) {
    return last_child_security_;
  }
  const SecurityDescriptor& from = *parent->security;
  const Sid creator_owner = WellKnown(kCreatorOwner);
  Acl inherited;
  if (from.dacl) {
    for (const Ace& ace : from.dacl->aces) {
      if (!ace.IsPlain() || (ace.flags & kAceContainerInherit) == 0) continue;
      Ace copy = ace;
      if ((ace.flags & kAceNoPropagateInherit) != 0) {
        copy.flags &= static_cast<std::uint8_t>(
            ~(kAceObjectInherit | kAceContainerInherit | kAceNoPropagateInherit | kAceInheritOnly));
      } else {
        copy.flags &= static_cast<std::uint8_t>(~kAceInheritOnly);
      }
      copy.flags |= kAceInherited;
      if (copy.sid == creator_owner) copy.sid = user_sid_;
      inherited.aces.push_back(std::move(copy));
    }
  }
  std::shared_ptr<const SecurityDescriptor> result = default_security_;
  if (!inherited.aces.empty()) {
    SecurityDescriptor sd;
    sd.control = kSdDaclPresent | (from.control & kSdDaclAutoInherited);
    sd.owner = user_sid_;
    sd.group = primary_group_;
    sd.dacl = std::move(inherited);
    result = sd == from ? parent->security : std::make_shared<const SecurityDescriptor>(sd);
  }
  last_parent_security_ = parent->security;
  last_child_security_ = result;
  return result;
}

std::uint32_t MemoryRegistryImpl::BackupRestoreAccess() const {
  std::uint32_t rights = 0;
  if (Enabled("SeBackupPrivilege")) rights |= access::kRead | access::kAccessSystemSecurity;
  if (Enabled("SeRestorePrivilege")) {
    rights |= access::kWrite | access::kDelete | access::kAccessSystemSecurity;
  }
  return rights;
}

ErrorCode MemoryRegistryImpl::GrantAccess(const Node* node, std::uint32_t desired,
                                          bool backup_intent, std::uint32_t* granted) const {
  // With a backup or restore privilege enabled the request is ignored, the DACL bypassed.
  if (const std::uint32_t rights = backup_intent ? BackupRestoreAccess() : 0) {
    *granted = rights;
    return kSuccess;
  }
  const bool wants_sacl = (desired & access::kAccessSystemSecurity) != 0;
  if (wants_sacl && !Enabled("SeSecurityPrivilege")) return kPrivilegeNotHeld;
  if (!CheckAccess(node, desired & ~access::kAccessSystemSecurity, granted)) return kAccessDenied;
  if (wants_sacl) *granted |= access::kAccessSystemSecurity;
  return kSuccess;
}

bool MemoryRegistryImpl::CheckAccess(const Node* node, std::uint32_t desired,
                                     std::uint32_t* granted) const {
  const SecurityDescriptor& sd = *node->security;
  return CheckKeyAccess(sd.dacl ? &*sd.dacl : nullptr, caller_sids_,
                        sd.owner ? &*sd.owner : nullptr, desired, granted);
}

bool MemoryRegistryImpl::Allows(const Node* node, std::uint32_t right) const {
  std::uint32_t granted = 0;
  return CheckAccess(node, right, &granted);
}

std::uint32_t MemoryRegistryImpl::MaximumAllowed(const Node* node) const {
  std::uint32_t granted = 0;
  return CheckAccess(node, access::kMaximumAllowed, &granted) ? granted : 0;
}

Node* MemoryRegistryImpl::AddChild(Node* parent, std::u16string name) {
  auto child = std::make_unique<Node>(std::move(name));
  child->security = InheritedSecurity(parent);
  return InsertChild(parent, std::move(child));
}

ErrorCode MemoryRegistryImpl::GetKeySecurity(KeyHandle key, std::uint32_t info, Bytes* descriptor) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kGetKeySecurity, key, 0, &ref)) return failed;
  constexpr std::uint32_t kReadable =
      kOwnerSecurityInformation | kGroupSecurityInformation | kDaclSecurityInformation;
  if ((info & kReadable) != 0 && (ref.granted & access::kReadControl) == 0) return kAccessDenied;
  if ((info & kSaclSecurityInformation) != 0 &&
      (ref.granted & access::kAccessSystemSecurity) == 0) {
    return kAccessDenied;
  }
  if (descriptor == nullptr) return kInvalidParameter;
  const SecurityDescriptor& sd = *ref.node->security;
  SecurityDescriptor out;
  out.resource_manager_control = sd.resource_manager_control;
  CopyParts(sd, info, &out);
  *descriptor = out.Serialize();
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::SetKeySecurity(KeyHandle key, std::uint32_t info,
                                             const Bytes& descriptor) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kSetKeySecurity, key, 0, &ref)) return failed;
  constexpr std::uint32_t kAllParts = kOwnerSecurityInformation | kGroupSecurityInformation |
                                      kDaclSecurityInformation | kSaclSecurityInformation;
  if ((info & kAllParts) == 0) return kInvalidParameter;
  const auto parsed = SecurityDescriptor::Parse(descriptor);
  if (!parsed) return kInvalidParameter;
  const bool owner_or_group = (info & (kOwnerSecurityInformation | kGroupSecurityInformation)) != 0;
  if (owner_or_group && (ref.granted & access::kWriteOwner) == 0) return kAccessDenied;
  if ((info & kDaclSecurityInformation) && (ref.granted & access::kWriteDac) == 0) {
    return kAccessDenied;
  }
  if ((info & kSaclSecurityInformation) && (ref.granted & access::kAccessSystemSecurity) == 0) {
    return kAccessDenied;
  }
  if (info & kOwnerSecurityInformation) {
    if (!parsed->owner) return kInvalidOwner;
    const bool assignable =
        *parsed->owner == user_sid_ || Enabled("SeRestorePrivilege") ||
        (*parsed->owner == WellKnown(kAdministrators) &&
         std::find(caller_sids_.begin(), caller_sids_.end(), *parsed->owner) != caller_sids_.end());
    if (!assignable) return kInvalidOwner;
  }
  SecurityDescriptor updated = *ref.node->security;
  CopyParts(*parsed, info, &updated);
  // The inheritance requests are instructions for this call, not part of the stored descriptor.
  updated.control &= static_cast<std::uint16_t>(~(kSdDaclAutoInheritReq | kSdSaclAutoInheritReq));
  ref.node->security = std::make_shared<const SecurityDescriptor>(std::move(updated));
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::SetPrivilege(std::string_view name, bool enable, bool* was_enabled) {
  std::lock_guard lock(mutex_);
  if (ErrorCode fault = Enter(Op::kSetPrivilege, [] { return std::string(); })) return fault;
  Privilege* privilege = FindPrivilege(name);
  if (privilege == nullptr) return kNoneMapped;
  if (was_enabled != nullptr) *was_enabled = privilege->held && privilege->enabled;
  if (!privilege->held) return kNotAllAssigned;  // succeeds without effect, as Windows reports
  privilege->enabled = enable;
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::CurrentUserName(std::string* name) {
  std::lock_guard lock(mutex_);
  if (ErrorCode fault = Enter(Op::kCurrentUserName, [] { return std::string(); })) return fault;
  if (name == nullptr) return kInvalidParameter;
  *name = config_.user_name;
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::ComputerName(std::string* name) {
  std::lock_guard lock(mutex_);
  if (ErrorCode fault = Enter(Op::kComputerName, [] { return std::string(); })) return fault;
  if (name == nullptr) return kInvalidParameter;
  *name = config_.computer_name;
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::LookupAccountByName(std::string_view account, Bytes* sid,
                                                  std::string* domain) {
  std::lock_guard lock(mutex_);
  if (ErrorCode fault = Enter(Op::kLookupAccountByName, [] { return std::string(); })) {
    return fault;
  }
  const std::size_t cut = account.find('\\');
  const bool qualified = cut != std::string_view::npos;
  const std::string_view name = qualified ? account.substr(cut + 1) : account;
  const std::string_view wanted_domain = qualified ? account.substr(0, cut) : std::string_view();
  if (name.empty()) return kNoneMapped;
  for (const Account& known : accounts_) {
    if (!SameText(known.name, name)) continue;
    if (qualified && !SameText(known.domain, wanted_domain)) continue;
    if (sid != nullptr) *sid = known.sid.ToBytes();
    if (domain != nullptr) *domain = known.domain;
    return kSuccess;
  }
  return kNoneMapped;
}

ErrorCode MemoryRegistryImpl::LookupAccountBySid(const Bytes& sid, std::string* name,
                                                 std::string* domain) {
  std::lock_guard lock(mutex_);
  if (ErrorCode fault = Enter(Op::kLookupAccountBySid, [] { return std::string(); })) {
    return fault;
  }
  const auto parsed = Sid::Parse(sid);
  if (!parsed) return kInvalidSid;
  for (const Account& known : accounts_) {
    if (known.sid != *parsed) continue;
    if (name != nullptr) *name = known.name;
    if (domain != nullptr) *domain = known.domain;
    return kSuccess;
  }
  return kNoneMapped;
}

ErrorCode MemoryRegistryImpl::IsWow64Process(bool* wow64) {
  std::lock_guard lock(mutex_);
  if (ErrorCode fault = Enter(Op::kIsWow64Process, [] { return std::string(); })) return fault;
  switch (config_.wow64_query) {
    case Wow64Query::kMissing:
      return kProcNotFound;
    case Wow64Query::kFails:
      return kInvalidHandle;
    case Wow64Query::kAnswers:
      break;
  }
  if (wow64 == nullptr) return kInvalidParameter;
  *wow64 = config_.is_64bit_windows;
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::ExpandEnvironmentText(std::string_view text, std::string* expanded) {
  std::lock_guard lock(mutex_);
  if (ErrorCode fault = Enter(Op::kExpandEnvironmentText, [] { return std::string(); })) {
    return fault;
  }
  if (expanded == nullptr) return kInvalidParameter;
  expanded->clear();
  while (!text.empty()) {
    const std::size_t open = text.find('%');
    const std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    const std::string name = base::AsciiLower(text.substr(open + 1, close - open - 1));
    const auto variable =
        std::find_if(config_.environment.begin(), config_.environment.end(),
                     [&](const auto& entry) { return base::AsciiLower(entry.first) == name; });
    if (variable == config_.environment.end()) {
      // The unknown name stays; its closing "%" may open the next one.
      expanded->append(text.substr(0, close));
      text.remove_prefix(close);
      continue;
    }
    expanded->append(text.substr(0, open)).append(variable->second);
    text.remove_prefix(close + 1);
  }
  expanded->append(text);
  return kSuccess;
}

std::string MemoryRegistryImpl::ErrorMessage(ErrorCode code) {
  {
    std::lock_guard lock(mutex_);
    ++calls_[static_cast<std::size_t>(Op::kErrorMessage)];
    ++calls_[static_cast<std::size_t>(Op::kAny)];
  }
  for (const auto& message : kMessages) {
    if (message.code == code) return message.text;
  }
  std::string unknown = "Unknown error ";
  unknown += std::to_string(code);
  return unknown;
}

}  // namespace keyloom::reg::memory
