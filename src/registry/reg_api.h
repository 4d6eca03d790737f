// The registry port: every registry, account and privilege operation the program asks of the
// operating system, in one abstract class. Two adapters implement it: win32/ (advapi32's wide
// functions) and memory/ (an in-memory registry with Windows semantics, for tests).
//
// Conventions shared by every method:
// - Results are Windows error codes (kSuccess = 0). On failure the outputs are unspecified unless a
//   method says otherwise; callers never read them.
// - Names (key paths, value names, account names, file names) are UTF-8. Lone UTF-16 surrogates are
//   carried as their generalised UTF-8 form (see text.h), so every name survives a round trip.
// - Value data is raw bytes exactly as the registry stores them: a REG_SZ holds UTF-16LE code units
//   with whatever terminator (or none, or data after it) the writer stored.
// - The unnamed (default) value is the empty name.
// - Key paths use "\" as separator and are relative to the handle passed in; an empty path names
// that
//   key itself.
// - Access masks are Windows access masks; the view flags kWow64_32Key / kWow64_64Key ride in them.
// - Every method may be called from any thread; an adapter serialises what needs it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"

namespace keyloom::reg {

using Bytes = std::vector<std::uint8_t>;
using ErrorCode = std::uint32_t;

// Windows error codes the program meets by number.
inline constexpr ErrorCode kSuccess = 0;
inline constexpr ErrorCode kFileNotFound = 2;
inline constexpr ErrorCode kPathNotFound = 3;
inline constexpr ErrorCode kAccessDenied = 5;
inline constexpr ErrorCode kInvalidHandle = 6;
inline constexpr ErrorCode kNotEnoughMemory = 8;
inline constexpr ErrorCode kSharingViolation = 32;
inline constexpr ErrorCode kBadNetPath = 53;
inline constexpr ErrorCode kFileExists = 80;
inline constexpr ErrorCode kInvalidParameter = 87;
inline constexpr ErrorCode kCallNotImplemented = 120;
inline constexpr ErrorCode kInsufficientBuffer = 122;
inline constexpr ErrorCode kProcNotFound = 127;
inline constexpr ErrorCode kAlreadyExists = 183;
inline constexpr ErrorCode kMoreData = 234;
inline constexpr ErrorCode kNoMoreItems = 259;
inline constexpr ErrorCode kBadDbFile = 1009;
inline constexpr ErrorCode kKeyDeleted = 1018;
inline constexpr ErrorCode kNotAllAssigned = 1300;
inline constexpr ErrorCode kPrivilegeNotHeld = 1314;
inline constexpr ErrorCode kNoneMapped = 1332;

// A key handle. The predefined roots carry their Windows values; every other value is the
// adapter's own.
using KeyHandle = std::uintptr_t;
inline constexpr KeyHandle kClassesRoot = 0x80000000u;
inline constexpr KeyHandle kCurrentUser = 0x80000001u;
inline constexpr KeyHandle kLocalMachine = 0x80000002u;
inline constexpr KeyHandle kUsers = 0x80000003u;
inline constexpr KeyHandle kCurrentConfig = 0x80000005u;
inline constexpr KeyHandle kNullKey = 0;

inline constexpr bool IsPredefinedKey(KeyHandle key) {
  return key >= 0x80000000u && key <= 0x80000006u;
}

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegResourceList = 8;
inline constexpr std::uint32_t kRegFullResourceDescriptor = 9;
inline constexpr std::uint32_t kRegResourceRequirementsList = 10;
inline constexpr std::uint32_t kRegQword = 11;

// Key access rights and the view flags.
namespace access {
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kNotify = 0x0010;
inline constexpr std::uint32_t kCreateLink = 0x0020;
inline constexpr std::uint32_t kWow64_64Key = 0x0100;
inline constexpr std::uint32_t kWow64_32Key = 0x0200;
inline constexpr std::uint32_t kViewMask = kWow64_64Key | kWow64_32Key;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kReadControl = 0x00020000;
inline constexpr std::uint32_t kWriteDac = 0x00040000;
inline constexpr std::uint32_t kWriteOwner = 0x00080000;
inline constexpr std::uint32_t kSynchronize = 0x00100000;
inline constexpr std::uint32_t kAccessSystemSecurity = 0x01000000;
inline constexpr std::uint32_t kMaximumAllowed = 0x02000000;
inline constexpr std::uint32_t kGenericAll = 0x10000000;
inline constexpr std::uint32_t kGenericExecute = 0x20000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kRead = 0x00020019;       // KEY_READ
inline constexpr std::uint32_t kWrite = 0x00020006;      // KEY_WRITE
inline constexpr std::uint32_t kAllAccess = 0x000F003F;  // KEY_ALL_ACCESS
}  // namespace access

// Parts of a security descriptor (SECURITY_INFORMATION bits).
inline constexpr std::uint32_t kOwnerSecurityInformation = 1;
inline constexpr std::uint32_t kGroupSecurityInformation = 2;
inline constexpr std::uint32_t kDaclSecurityInformation = 4;
inline constexpr std::uint32_t kSaclSecurityInformation = 8;

// CreateKey options.
inline constexpr std::uint32_t kOptionNonVolatile = 0;
inline constexpr std::uint32_t kOptionBackupRestore = 4;

// What QueryInfoKey reports. Lengths are in UTF-16 code units, as Windows counts them.
struct KeyInfo {
  std::uint32_t subkey_count = 0;
  std::uint32_t max_subkey_name_length = 0;
  std::uint32_t value_count = 0;
  std::uint32_t max_value_name_length = 0;
  std::uint32_t max_value_data_size = 0;
  // When the key, its values or its list of subkeys last changed: 100 ns intervals since
  // 1601-01-01 UTC (a FILETIME as one count).
  std::uint64_t last_write_time = 0;
};

// A value read into room its caller keeps for many reads (RegApi::EnumValueInto): the name as
// the registry's UTF-16 units, the data as raw bytes. The room only grows, so a walk that reads
// every value of a tree neither converts nor allocates for each one. The data is kept in 16-bit
// units, so string data reads as UTF-16 in place (the registry's little-endian byte order, which
// is the order of every machine this program runs on).
class ValueBuffer {
 public:
  std::u16string_view name() const { return {name_.data(), name_length_}; }
  std::uint32_t type() const { return type_; }
  std::span<const std::uint8_t> data() const {
    return {reinterpret_cast<const std::uint8_t*>(data_.data()), data_size_};
  }
  // The data as UTF-16 units; an odd last byte is left out.
  std::u16string_view data_units() const { return {data_.data(), data_size_ / 2}; }

  // For adapters: room for at least `units` name units or `bytes` data bytes, and what was read.
  char16_t* NameRoom(std::size_t units) { return Room(name_, units); }
  std::uint8_t* DataRoom(std::size_t bytes) {
    return reinterpret_cast<std::uint8_t*>(Room(data_, (bytes + 1) / 2));
  }
  std::size_t data_room() const { return 2 * data_.size(); }
  void SetRead(std::size_t name_length, std::uint32_t type, std::size_t data_size) {
    name_length_ = name_length;
    type_ = type;
    data_size_ = data_size;
  }
  void Assign(std::u16string_view name, std::uint32_t type, std::span<const std::uint8_t> data) {
    std::copy(name.begin(), name.end(), NameRoom(name.size()));
    std::copy(data.begin(), data.end(), DataRoom(data.size()));
    SetRead(name.size(), type, data.size());
  }

 private:
  static char16_t* Room(std::vector<char16_t>& room, std::size_t size) {
    if (room.size() < size) room.resize(std::max(size, 2 * room.size()));
    return room.data();
  }

  std::vector<char16_t> name_;
  std::vector<char16_t> data_;
  std::size_t name_length_ = 0;
  std::size_t data_size_ = 0;
  std::uint32_t type_ = kRegNone;
};

class RegApi {
 public:
  RegApi() = default;
  RegApi(const RegApi&) = delete;
  RegApi& operator=(const RegApi&) = delete;
  virtual ~RegApi() = default;

  // ---- Keys ----

  // Opens predefined root `root` of computer `machine` ("" or the local computer's name, with or
  // without a leading "\\", give the local registry). The result is closed with CloseKey.
  // kBadNetPath when the machine cannot be reached.
  virtual ErrorCode ConnectRegistry(std::string_view machine, KeyHandle root,
                                    KeyHandle* result) = 0;

  // Opens `path` below `parent` with `access` (which may carry a view flag). kFileNotFound when a
  // key of the path does not exist, kAccessDenied when the key's security refuses the access.
  virtual ErrorCode OpenKey(KeyHandle parent, std::string_view path, std::uint32_t access,
                            KeyHandle* result) = 0;

  // Opens `path` below `parent`, creating every missing key of it. `*created` tells whether the
  // last key was new. `options` is kOptionNonVolatile or kOptionBackupRestore.
  virtual ErrorCode CreateKey(KeyHandle parent, std::string_view path, std::uint32_t options,
                              std::uint32_t access, KeyHandle* result, bool* created) = 0;

  // Closes a handle from OpenKey, CreateKey or ConnectRegistry. Closing a predefined root is a
  // no-op that succeeds.
  virtual ErrorCode CloseKey(KeyHandle key) = 0;

  // Counts and maximum lengths of a key's subkeys and values. Needs kQueryValue.
  virtual ErrorCode QueryInfoKey(KeyHandle key, KeyInfo* info) = 0;

  // The name of subkey `index` in enumeration order (sorted, letter case ignored). kNoMoreItems
  // past the last one. Needs kEnumerateSubKeys.
  virtual ErrorCode EnumKey(KeyHandle key, std::uint32_t index, std::string* name) = 0;

  // Name, type and (when `data` is not null) data of value `index` in enumeration order (the order
  // the values were created in). kNoMoreItems past the last one. Needs kQueryValue.
  virtual ErrorCode EnumValue(KeyHandle key, std::uint32_t index, std::string* name,
                              std::uint32_t* type, Bytes* data) = 0;

  // EnumValue into `value`'s room, the name left as UTF-16: the form for reading every value of a
  // tree. The same answers as EnumValue; on failure `value` keeps its room and is otherwise
  // unspecified. This default reads through EnumValue and converts.
  virtual ErrorCode EnumValueInto(KeyHandle key, std::uint32_t index, ValueBuffer* value);

  // Type and (when `data` is not null) data of value `name`. kFileNotFound when it does not exist.
  // Needs kQueryValue.
  virtual ErrorCode QueryValue(KeyHandle key, std::string_view name, std::uint32_t* type,
                               Bytes* data) = 0;

  // Creates or overwrites value `name`. Needs kSetValue.
  virtual ErrorCode SetValue(KeyHandle key, std::string_view name, std::uint32_t type,
                             const Bytes& data) = 0;

  // Deletes value `name`. kFileNotFound when it does not exist. Needs kSetValue.
  virtual ErrorCode DeleteValue(KeyHandle key, std::string_view name) = 0;

  // Deletes the key `path` below `parent`, which must have no subkeys (kAccessDenied otherwise).
  // `view` is 0, kWow64_32Key or kWow64_64Key and selects the view the path is taken in.
  virtual ErrorCode DeleteKey(KeyHandle parent, std::string_view path, std::uint32_t view) = 0;

  // The system's own full name of the key behind `key`, such as
  // "\REGISTRY\MACHINE\SOFTWARE\WOW6432Node\X" for HKEY_LOCAL_MACHINE\Software\X opened in the
  // 32-bit view and "\REGISTRY\USER\<user's SID>\Software\X" for HKEY_CURRENT_USER\Software\X.
  // It names the key the handle reached after view redirection and links, so two handles reach
  // the same key exactly when their names are equal with letter case ignored (the case is the
  // system's own and differs between systems). A key of another computer is named as that
  // computer names it. Needs no access right. kInvalidHandle for a predefined root (the system
  // names only keys opened from one) and for a handle the system cannot name, such as a remote
  // key's on Windows; kCallNotImplemented when the system has no such question.
  virtual ErrorCode KeyRealName(KeyHandle key, std::string* name) = 0;

  // ---- Security ----

  // The key's security descriptor in self-relative form, holding the parts `info` names.
  // kDaclSecurityInformation needs kReadControl; kSaclSecurityInformation needs
  // kAccessSystemSecurity.
  virtual ErrorCode GetKeySecurity(KeyHandle key, std::uint32_t info, Bytes* descriptor) = 0;

  // Replaces the parts `info` names with those of the self-relative `descriptor`.
  // kDaclSecurityInformation needs kWriteDac.
  virtual ErrorCode SetKeySecurity(KeyHandle key, std::uint32_t info, const Bytes& descriptor) = 0;

  // ---- Hives ----

  // Saves the key and its subtree to a new hive file. Needs SeBackupPrivilege enabled
  // (kPrivilegeNotHeld otherwise); kAlreadyExists when the file exists.
  virtual ErrorCode SaveKey(KeyHandle key, std::string_view file) = 0;
  // Replaces the key's subtree by the contents of a hive file. Needs SeRestorePrivilege enabled.
  virtual ErrorCode RestoreKey(KeyHandle key, std::string_view file, std::uint32_t flags) = 0;
  // Arranges for the hive holding `subkey` to be replaced by `new_file` at the next start, the
  // current hive being kept as `old_file`. Needs SeRestorePrivilege enabled.
  virtual ErrorCode ReplaceKey(KeyHandle key, std::string_view subkey, std::string_view new_file,
                               std::string_view old_file) = 0;
  // Mounts a hive file as `subkey` of kUsers or kLocalMachine; what changes below it is written to
  // the file. Needs SeRestorePrivilege enabled (kPrivilegeNotHeld otherwise); kAlreadyExists when
  // `subkey` exists, kFileNotFound / kPathNotFound for a missing file, kSharingViolation for a file
  // in use (a hive loaded already, a signed-in user's own), kBadDbFile for a file that is no hive.
  virtual ErrorCode LoadKey(KeyHandle root, std::string_view subkey, std::string_view file) = 0;
  // Removes a key mounted by LoadKey. Needs SeRestorePrivilege enabled.
  virtual ErrorCode UnLoadKey(KeyHandle root, std::string_view subkey) = 0;

  // ---- Process, account and system ----

  // Enables or disables privilege `name` ("SeBackupPrivilege", ...) of the process token.
  // `*was_enabled` receives the previous state. Succeeds without effect for a privilege the account
  // does not hold (Windows reports kNotAllAssigned then; so does this call). kNoneMapped for an
  // unknown name.
  virtual ErrorCode SetPrivilege(std::string_view name, bool enable, bool* was_enabled) = 0;

  // The logon name of the user the process runs as.
  virtual ErrorCode CurrentUserName(std::string* name) = 0;

  // The local computer's name.
  virtual ErrorCode ComputerName(std::string* name) = 0;

  // The binary SID and the domain of an account name ("name" or "DOMAIN\name").
  // kNoneMapped when there is no such account.
  virtual ErrorCode LookupAccountByName(std::string_view account, Bytes* sid,
                                        std::string* domain) = 0;

  // The account name and domain of a binary SID. kNoneMapped when the SID names no account.
  virtual ErrorCode LookupAccountBySid(const Bytes& sid, std::string* name,
                                       std::string* domain) = 0;

  // Whether the process is a 32-bit process on 64-bit Windows. kProcNotFound when the system has
  // no such question (a 32-bit Windows without WOW64); any other failure is the system's code.
  virtual ErrorCode IsWow64Process(bool* wow64) = 0;

  // `text` with every %NAME% of the process's environment replaced by its value, as the system
  // expands a REG_EXPAND_SZ; a name the environment lacks stays as written.
  virtual ErrorCode ExpandEnvironmentText(std::string_view text, std::string* expanded) = 0;

  // The system's message text for an error code, without the trailing line break
  // ("The system cannot find the file specified.").
  virtual std::string ErrorMessage(ErrorCode code) = 0;
};

inline ErrorCode RegApi::EnumValueInto(KeyHandle key, std::uint32_t index, ValueBuffer* value) {
  std::string name;
  std::uint32_t type = kRegNone;
  Bytes data;
  const ErrorCode rc = EnumValue(key, index, &name, &type, &data);
  if (rc == kSuccess) value->Assign(text::Utf8ToUtf16(name), type, data);
  return rc;
}

// A key handle that closes itself. Predefined roots are never closed.
class UniqueKey {
 public:
  UniqueKey() = default;
  UniqueKey(RegApi& api, KeyHandle key) : api_(&api), key_(key) {}
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  UniqueKey(UniqueKey&& other) noexcept
      : api_(other.api_), key_(std::exchange(other.key_, kNullKey)) {}
  UniqueKey& operator=(UniqueKey&& other) noexcept {
    if (this != &other) {
      Reset();
      api_ = other.api_;
      key_ = std::exchange(other.key_, kNullKey);
    }
    return *this;
  }
  ~UniqueKey() { Reset(); }

  KeyHandle get() const { return key_; }
  explicit operator bool() const { return key_ != kNullKey; }
  KeyHandle release() { return std::exchange(key_, kNullKey); }
  void Reset() {
    if (key_ != kNullKey && !IsPredefinedKey(key_) && api_ != nullptr) api_->CloseKey(key_);
    key_ = kNullKey;
  }

 private:
  RegApi* api_ = nullptr;
  KeyHandle key_ = kNullKey;
};

}  // namespace keyloom::reg
