// An in-memory registry with Windows semantics behind the registry port, for tests: the five
// predefined roots, letter case ignored but kept, enumeration orders, the 32/64-bit views of a
// 32-bit process, key security with real access checks, privileges, accounts, remote machines,
// hive files, and on top of that fault injection and call counting.
//
// What it models, in short:
// - Subkeys enumerate sorted by name ignoring case, values in creation order. Key names are at
//   most 255 UTF-16 units, value names 16383 (kInvalidParameter beyond). A path beginning with
//   "\" fails with kBadPathName, as on Windows, except below HKEY_CLASSES_ROOT, which skips it;
//   trailing "\" are ignored. OpenKey with an empty path on a predefined root hands back the root
//   itself; every other open or create gives a new handle.
// - With Config::is_64bit_windows the process is a 32-bit process on 64-bit Windows: a call
//   without view flag or with kWow64_32Key that passes through HKLM\Software lands in
//   HKLM\Software\Wow6432Node; kWow64_64Key sees the real Software, which lists Wow6432Node.
//   As on Windows a handle does not remember its view: each call's own flags decide, also below
//   a key opened in the other view. Both flags at once give kInvalidParameter.
// - Every key has a security descriptor. New keys inherit the container-inheritable entries of
//   their parent (or get the account's default list). Opening checks the requested access against
//   the key's DACL; the owner always gets READ_CONTROL and WRITE_DAC; ACCESS_SYSTEM_SECURITY needs
//   SeSecurityPrivilege enabled; CreateKey with kOptionBackupRestore and SeBackupPrivilege or
//   SeRestorePrivilege enabled bypasses the DACL and ignores the access asked for: the key gets
//   KEY_READ with SeBackupPrivilege, KEY_WRITE and DELETE with SeRestorePrivilege, the union with
//   both, and ACCESS_SYSTEM_SECURITY with either.
// - A deleted key's handles answer kKeyDeleted to everything but CloseKey.
// - KeyRealName names keys as Windows does: HKLM is \REGISTRY\MACHINE (on every machine), HKU
//   \REGISTRY\USER, HKCU \REGISTRY\USER\<the user's SID>, HKCR \REGISTRY\MACHINE\SOFTWARE\Classes
//   and HKCC \REGISTRY\MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current, each followed
//   by the stored names of the keys below, so a key of the 32-bit view of HKLM\Software is named
//   \REGISTRY\MACHINE\Software\Wow6432Node\... as the system names it.
//   Unlike Windows the five roots are separate trees: HKCU is not HKU\<SID>, nor HKCR
//   HKLM\Software\Classes, so a test must not create the key a root stands for on Windows.
// - Hive files are a text format of this adapter's own (see hive_file.h). SaveKey needs
//   SeBackupPrivilege enabled, the other hive calls SeRestorePrivilege. RestoreKey refuses the
//   HKLM and HKU roots themselves (kAccessDenied: they are no hives) and ignores its flags;
//   UnLoadKey refuses while a key of the hive is open (kAccessDenied); a mounted hive's top key
//   cannot be deleted. ReplaceKey only records the swap (PendingReplacements). A loaded hive's
//   file is in use until it is unloaded (LoadKey of it again: kSharingViolation), and UnLoadKey
//   writes the hive back to its file, as the system keeps a loaded hive's file up to date.
// All methods are thread-safe (one lock).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "registry/reg_api.h"

namespace keyloom::reg {

// Codes this adapter can give beyond the ones the port names.
inline constexpr ErrorCode kBadPathName = 161;
inline constexpr ErrorCode kInvalidOwner = 1307;
inline constexpr ErrorCode kInvalidSid = 1337;
inline constexpr ErrorCode kRpcServerUnavailable = 1722;

class MemoryRegistry : public RegApi {
 public:
  // The registry port's methods, for fault injection and call counting; kAny matches them all.
  enum class Op {
    kConnectRegistry,
    kOpenKey,
    kCreateKey,
    kCloseKey,
    kQueryInfoKey,
    kEnumKey,
    kEnumValue,
    kQueryValue,
    kSetValue,
    kDeleteValue,
    kDeleteKey,
    kKeyRealName,
    kGetKeySecurity,
    kSetKeySecurity,
    kSaveKey,
    kRestoreKey,
    kReplaceKey,
    kLoadKey,
    kUnLoadKey,
    kSetPrivilege,
    kCurrentUserName,
    kComputerName,
    kLookupAccountByName,
    kLookupAccountBySid,
    kIsWow64Process,
    kExpandEnvironmentText,
    kErrorMessage,
    kAny,
  };
  static constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::kAny) + 1;

  // Makes matching calls fail with `code` without doing anything. `path` is absolute, with the
  // root's long name ("HKEY_CURRENT_USER\\Software\\X"; a remote machine's keys start with
  // "\\\\NAME\\"); it matches that key and every key below it, letter case ignored; empty matches
  // every call, also those that name no key. The path of a call is the key it acts on: for
  // OpenKey, CreateKey and DeleteKey the target key (as far as it exists, followed by the rest of
  // the path as given), for LoadKey / UnLoadKey the mounted key. `nth` 0 fails every matching
  // call; n fails only the n-th matching call (counted from the injection). A failing CloseKey
  // still closes the handle. ErrorMessage cannot fail.
  struct Fault {
    Op op = Op::kAny;
    std::string path;
    int nth = 0;
    ErrorCode code = kAccessDenied;
  };

  struct PrivilegeSetting {
    std::string name;
    bool enabled = false;
  };

  // What IsWow64Process does.
  enum class Wow64Query { kAnswers, kMissing, kFails };

  struct Config {
    bool is_64bit_windows = true;
    Wow64Query wow64_query = Wow64Query::kAnswers;
    std::string computer_name = "KEYLOOM-PC";
    std::string user_name = "root";
    std::string domain;  // empty: the computer name
    std::string user_sid = "S-1-5-21-0-0-0-1000";
    // Groups of the account. Empty: Everyone, Authenticated Users, Users, and Administrators
    // when `administrator` is set.
    std::vector<std::string> group_sids;
    bool administrator = false;
    // The privileges the account holds and whether each is enabled at start.
    std::vector<PrivilegeSetting> privileges = {{"SeBackupPrivilege", false},
                                                {"SeRestorePrivilege", false},
                                                {"SeSecurityPrivilege", false}};
    // The process's environment, as ExpandEnvironmentText reads it (names ignore letter case).
    std::vector<std::pair<std::string, std::string>> environment = {
        {"SystemDrive", "C:"}, {"SystemRoot", "C:\\Windows"}};
  };

  // A replacement arranged by ReplaceKey.
  struct PendingReplacement {
    std::string key_path;  // absolute, as in Fault::path
    std::string new_file;
    std::string old_file;
  };

  // Takes every key and value of a tree straight from the memory it is kept in.
  class TreeReader {
   public:
    virtual ~TreeReader() = default;
    // A key at `depth` (1 for a subkey of the root); its values follow, then its subkeys.
    virtual void Key(std::u16string_view name, std::uint32_t depth) = 0;
    virtual void Value(std::u16string_view name, std::uint32_t type,
                       std::span<const std::uint8_t> data) = 0;
  };

  // ---- Test controls ----
  virtual void InjectFault(Fault fault) = 0;
  virtual void ClearFaults() = 0;
  virtual std::uint64_t CallCount(Op op) const = 0;
  virtual void ResetCallCounts() = 0;
  // Handles from OpenKey, CreateKey and ConnectRegistry not yet closed.
  virtual std::size_t OpenHandleCount() const = 0;
  // Hands `reader` every key below the local computer's predefined `root` with its values, depth
  // first in enumeration order, under one lock and without handles, access checks, faults, call
  // counts or copies: the least any reader of this registry does, the yardstick of the port.
  virtual void ReadTree(KeyHandle root, TreeReader& reader) const = 0;

  // Another computer on the network, with its own HKEY_LOCAL_MACHINE and HKEY_USERS.
  virtual void AddMachine(std::string_view name, bool reachable) = 0;
  // An unreachable machine refuses connections (kBadNetPath); handles already open to it then
  // fail with kRpcServerUnavailable.
  virtual void SetMachineReachable(std::string_view name, bool reachable) = 0;

  // An account LookupAccountByName / LookupAccountBySid know besides the built-in ones.
  // Returns false for an unreadable SID text.
  virtual bool AddAccount(std::string_view name, std::string_view domain,
                          std::string_view sid_text) = 0;

  // Replaces the security descriptor of the key at absolute `path` (no view redirection) without
  // any check. kFileNotFound for a missing key, kInvalidParameter for unreadable bytes.
  virtual ErrorCode SetKeySecurityForTest(std::string_view path, const Bytes& descriptor) = 0;
  // The whole descriptor of the key at absolute `path`, without any check.
  virtual ErrorCode GetKeySecurityForTest(std::string_view path, Bytes* descriptor) = 0;

  // Holds or drops privilege `name` and sets its state.
  virtual void SetPrivilegeForTest(std::string_view name, bool held, bool enabled) = 0;
  virtual bool PrivilegeEnabled(std::string_view name) const = 0;

  virtual std::vector<PendingReplacement> PendingReplacements() const = 0;

  // The account's SIDs in text form: the user's first, then its groups.
  virtual std::vector<std::string> CallerSids() const = 0;
};

std::unique_ptr<MemoryRegistry> NewMemoryRegistry(MemoryRegistry::Config config = {});

}  // namespace keyloom::reg
