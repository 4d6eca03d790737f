// The memory registry's state and internal helpers, shared by its implementation files:
// memory_registry.cpp (state, handles, paths, faults, test controls), memory_keys.cpp (keys and
// values), memory_security.cpp (security, privileges, accounts, system) and memory_hives.cpp.
#pragma once

#include <array>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/memory/key_node.h"
#include "registry/memory/memory_registry.h"
#include "registry/security_descriptor.h"

namespace keyloom::reg::memory {

inline constexpr std::size_t kRootCount = 5;  // HKCR, HKCU, HKLM, HKU, HKCC
inline constexpr std::size_t kRootCurrentUser = 1;
inline constexpr std::size_t kRootLocalMachine = 2;
inline constexpr std::size_t kRootUsers = 3;
inline constexpr std::size_t kMaxKeyNameUnits = 255;
inline constexpr std::size_t kMaxValueNameUnits = 16383;

// Index 0..4 of a predefined root handle, or -1.
int RootIndexOfHandle(KeyHandle key);
const char* RootLongNameAt(std::size_t index);
// "\\NAME" or "NAME" -> "NAME".
std::string_view StripMachinePrefix(std::string_view name);
// Upper-cases the ASCII letters of a privilege name.
std::string UpperAscii(std::string_view ascii);

struct Machine {
  std::string name;  // empty for the local computer
  bool reachable = true;
  std::array<std::unique_ptr<Node>, kRootCount> roots;  // null where the machine has none
};

struct HandleEntry {
  Machine* machine = nullptr;
  Node* node = nullptr;
  std::uint32_t granted = 0;
};

// What a handle (predefined or the adapter's own) stands for.
struct KeyRef {
  Machine* machine = nullptr;
  Node* node = nullptr;
  std::uint32_t granted = 0;
  bool predefined = false;
  bool classes_root = false;  // a path below HKEY_CLASSES_ROOT may begin with "\"
};

// The outcome of walking a path from a key.
struct Walk {
  ErrorCode error = kSuccess;  // kBadPathName or kInvalidParameter
  std::vector<std::u16string> components;
  std::size_t found = 0;  // leading components that exist
  Node* node = nullptr;   // the deepest existing key reached
};

struct HiveKey;

struct Account {
  std::string name;
  std::string domain;
  Sid sid;
};

struct Privilege {
  bool held = false;
  bool enabled = false;
};

class MemoryRegistryImpl final : public MemoryRegistry {
 public:
  explicit MemoryRegistryImpl(Config config);
  ~MemoryRegistryImpl() override;

  // RegApi: keys (memory_keys.cpp)
  ErrorCode ConnectRegistry(std::string_view machine, KeyHandle root, KeyHandle* result) override;
  ErrorCode OpenKey(KeyHandle parent, std::string_view path, std::uint32_t access,
                    KeyHandle* result) override;
  ErrorCode CreateKey(KeyHandle parent, std::string_view path, std::uint32_t options,
                      std::uint32_t access, KeyHandle* result, bool* created) override;
  ErrorCode CloseKey(KeyHandle key) override;
  ErrorCode QueryInfoKey(KeyHandle key, KeyInfo* info) override;
  ErrorCode EnumKey(KeyHandle key, std::uint32_t index, std::string* name) override;
  ErrorCode EnumValue(KeyHandle key, std::uint32_t index, std::string* name, std::uint32_t* type,
                      Bytes* data) override;
  ErrorCode EnumValueInto(KeyHandle key, std::uint32_t index, ValueBuffer* value) override;
  ErrorCode QueryValue(KeyHandle key, std::string_view name, std::uint32_t* type,
                       Bytes* data) override;
  ErrorCode SetValue(KeyHandle key, std::string_view name, std::uint32_t type,
                     const Bytes& data) override;
  ErrorCode DeleteValue(KeyHandle key, std::string_view name) override;
  ErrorCode DeleteKey(KeyHandle parent, std::string_view path, std::uint32_t view) override;
  ErrorCode KeyRealName(KeyHandle key, std::string* name) override;

  // RegApi: security and system (memory_security.cpp)
  ErrorCode GetKeySecurity(KeyHandle key, std::uint32_t info, Bytes* descriptor) override;
  ErrorCode SetKeySecurity(KeyHandle key, std::uint32_t info, const Bytes& descriptor) override;
  ErrorCode SetPrivilege(std::string_view name, bool enable, bool* was_enabled) override;
  ErrorCode CurrentUserName(std::string* name) override;
  ErrorCode ComputerName(std::string* name) override;
  ErrorCode LookupAccountByName(std::string_view account, Bytes* sid, std::string* domain) override;
  ErrorCode LookupAccountBySid(const Bytes& sid, std::string* name, std::string* domain) override;
  ErrorCode IsWow64Process(bool* wow64) override;
  ErrorCode ExpandEnvironmentText(std::string_view text, std::string* expanded) override;
  std::string ErrorMessage(ErrorCode code) override;

  // RegApi: hives (memory_hives.cpp)
  ErrorCode SaveKey(KeyHandle key, std::string_view file) override;
  ErrorCode RestoreKey(KeyHandle key, std::string_view file, std::uint32_t flags) override;
  ErrorCode ReplaceKey(KeyHandle key, std::string_view subkey, std::string_view new_file,
                       std::string_view old_file) override;
  ErrorCode LoadKey(KeyHandle root, std::string_view subkey, std::string_view file) override;
  ErrorCode UnLoadKey(KeyHandle root, std::string_view subkey) override;

  // Test controls (memory_registry.cpp)
  void InjectFault(Fault fault) override;
  void ClearFaults() override;
  std::uint64_t CallCount(Op op) const override;
  void ResetCallCounts() override;
  std::size_t OpenHandleCount() const override;
  void ReadTree(KeyHandle root, TreeReader& reader) const override;
  void AddMachine(std::string_view name, bool reachable) override;
  void SetMachineReachable(std::string_view name, bool reachable) override;
  bool AddAccount(std::string_view name, std::string_view domain,
                  std::string_view sid_text) override;
  ErrorCode SetKeySecurityForTest(std::string_view path, const Bytes& descriptor) override;
  ErrorCode GetKeySecurityForTest(std::string_view path, Bytes* descriptor) override;
  void SetPrivilegeForTest(std::string_view name, bool held, bool enabled) override;
  bool PrivilegeEnabled(std::string_view name) const override;
  std::vector<PendingReplacement> PendingReplacements() const override;
  std::vector<std::string> CallerSids() const override;

 private:
  struct ActiveFault {
    Op op;
    std::u16string path;  // trailing "\" removed
    int nth;
    ErrorCode code;
    int matches = 0;
  };

  // ---- memory_registry.cpp ----
  std::unique_ptr<Machine> NewMachine(std::string name, bool with_all_roots);
  Machine* FindMachine(std::string_view name);
  // Resolves a handle; kInvalidHandle, kKeyDeleted, or kRpcServerUnavailable for an unreachable
  // machine.
  ErrorCode Lookup(KeyHandle key, KeyRef* ref);
  // The start of a call on the key of handle `key`: counts the call and answers, in this order,
  // the fault injected for it, the handle's own error (see Lookup), or kAccessDenied when the
  // handle lacks one of the `required` rights. `*ref` must be default-constructed.
  ErrorCode EnterKey(Op op, KeyHandle key, std::uint32_t required, KeyRef* ref);
  // The same for a call on the key at `path` below `parent`, walked in the view the view bits of
  // `view_flags` select (its other bits are ignored): the injected fault, then the parent
  // handle's error. The walk's own error is left to the caller.
  ErrorCode EnterPath(Op op, KeyHandle parent, std::string_view path, std::uint32_t view_flags,
                      KeyRef* ref, Walk* walk);
  KeyHandle NewHandle(Machine* machine, Node* node, std::uint32_t granted);
  // Walks `path` from `ref` in the view `view_flags` selects (redirecting HKLM\Software).
  Walk WalkPath(const KeyRef& ref, std::string_view path, std::uint32_t view_flags);
  bool Redirects(std::uint32_t view_flags) const;
  bool IsRealSoftware(const Machine& machine, const Node* node) const;
  std::string NodePath(const Node* node) const;
  // The name Windows gives the key (see KeyRealName).
  std::string RealName(const Node* node) const;
  // The path of a call that walked `walk`: the deepest existing key, then the rest as given.
  std::string CallPath(const Walk& walk) const;
  Node* FindByAbsolutePath(std::string_view path);
  // Counts a call and returns the failure injected for it, or kSuccess. `path` yields the call's
  // path; it is asked only while faults are set.
  template <class PathFn>
  ErrorCode Enter(Op op, PathFn&& path);
  ErrorCode MatchFault(Op op, const std::string& path);
  // Takes `node` (already out of its parent) and its subtree away: keys with open handles stay
  // as deleted keys until their last handle closes.
  void Discard(std::unique_ptr<Node> node);
  bool HasOpenHandlesBelow(const Node* node) const;

  // ---- memory_hives.cpp ----
  // A new subkey made from a hive file's key (its descriptor, or the inherited one).
  Node* AddHiveChild(Node* parent, const HiveKey& sub);
  // Gives `node` the values and subkeys of `hive`.
  void FillFromHive(Node* node, const HiveKey& hive);
  // The start of LoadKey and UnLoadKey, as EnterKey but with the mounted key's path for faults;
  // then kPrivilegeNotHeld without SeRestorePrivilege, kInvalidParameter unless `root` is
  // HKEY_LOCAL_MACHINE or HKEY_USERS.
  ErrorCode EnterMount(Op op, KeyHandle root, std::string_view subkey, KeyRef* ref);

  // ---- memory_security.cpp ----
  void InitAccount();
  bool Enabled(std::string_view privilege) const;
  // kSuccess when `privilege` is enabled, else kPrivilegeNotHeld.
  ErrorCode RequirePrivilege(std::string_view privilege) const;
  Privilege* FindPrivilege(std::string_view name);
  const Privilege* FindPrivilege(std::string_view name) const;
  std::shared_ptr<const SecurityDescriptor> DefaultSecurity() const;
  // The descriptor of a new key below `parent`: the parent's inheritable entries, or the
  // default list when there are none.
  std::shared_ptr<const SecurityDescriptor> InheritedSecurity(const Node* parent);
  // What a key opened with kOptionBackupRestore gets in place of the access asked for: KEY_READ
  // with SeBackupPrivilege enabled, KEY_WRITE and DELETE with SeRestorePrivilege, the union with
  // both, and ACCESS_SYSTEM_SECURITY with either. 0 when neither is enabled.
  std::uint32_t BackupRestoreAccess() const;
  // Checks `desired` (generic rights, MAXIMUM_ALLOWED and ACCESS_SYSTEM_SECURITY included)
  // against the key's security. `backup_intent`: kOptionBackupRestore was given.
  ErrorCode GrantAccess(const Node* node, std::uint32_t desired, bool backup_intent,
                        std::uint32_t* granted) const;
  // CheckKeyAccess against the key's DACL and owner for the caller's SIDs.
  bool CheckAccess(const Node* node, std::uint32_t desired, std::uint32_t* granted) const;
  bool Allows(const Node* node, std::uint32_t right) const;
  std::uint32_t MaximumAllowed(const Node* node) const;
  Node* AddChild(Node* parent, std::u16string name);

  // ---- shared state ----
  mutable std::mutex mutex_;
  Config config_;
  std::vector<std::unique_ptr<Machine>> machines_;  // [0] is the local computer
  std::unordered_map<KeyHandle, HandleEntry> handles_;
  KeyHandle next_handle_ = 0x1000;
  std::unordered_map<const Node*, std::unique_ptr<Node>> graveyard_;
  std::vector<ActiveFault> faults_;
  std::array<std::uint64_t, kOpCount> calls_{};
  std::vector<PendingReplacement> replacements_;
  // The top key of each hive LoadKey mounted -> its file's path as given and as compared.
  struct MountedFile {
    std::string given;
    std::string compared;
  };
  std::unordered_map<const Node*, MountedFile> mounted_files_;

  Sid user_sid_;
  Sid primary_group_;
  std::vector<Sid> caller_sids_;
  std::vector<Account> accounts_;
  std::map<std::string, Privilege> privileges_;  // upper-cased name -> state
  std::shared_ptr<const SecurityDescriptor> default_security_;
  // The last inheritance computed, so siblings share one descriptor.
  std::shared_ptr<const SecurityDescriptor> last_parent_security_;
  std::shared_ptr<const SecurityDescriptor> last_child_security_;
};

template <class PathFn>
ErrorCode MemoryRegistryImpl::Enter(Op op, PathFn&& path) {
  ++calls_[static_cast<std::size_t>(op)];
  ++calls_[static_cast<std::size_t>(Op::kAny)];
  if (faults_.empty()) return kSuccess;
  return MatchFault(op, path());
}

}  // namespace keyloom::reg::memory
