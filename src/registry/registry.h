// TRegistry: the one wrapper every part of the program reaches the registry through. A caller
// creates its own object, sets a root, optionally connects to a remote machine, opens keys, calls
// operations and lets the object go; the object closes its open key and a remote root itself.
//
// Failures come back two ways, and callers rely on both: value reads, value writes and key creation
// raise ERegistryException with a formatted message; open, delete, rename, move, connect, security
// and hive operations return false and leave the system's message for the failing call in
// LastErrorText().
//
// Paths: "\" separates key names. A path beginning with "\" is taken from the root; any other path
// from the open key when one is open, else from the root.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "registry/reg_api.h"

namespace keyloom::reg {

// How the unnamed value of a key is shown in rows, messages and listings.
inline constexpr std::string_view kDefaultValueName = "(Default)";

// The five roots, in their fixed order; `index` is the root index 1 to 5 used everywhere.
struct RootKey {
  int index;
  const char* name;  // "HKEY_CURRENT_USER": shown, stored in Key List rows, written to files
  KeyHandle handle;
  const char* short_form;  // "CU": hive backup file names
};
const std::array<RootKey, 5>& RootKeys();
// nullptr when out of range / unknown.
const RootKey* RootByIndex(int index);
const RootKey* RootByName(std::string_view long_name);
const RootKey* RootByHandle(KeyHandle handle);

// Value kinds; every registry type maps to one.
enum class DataKind {
  kNone,
  kString,
  kExpandString,
  kInteger,
  kBinary,
  kMultiString,
  kInt64,
  kResourceList,
  kFullResourceDescriptor,
  kResourceRequirementsList,
  kUnknown,
};
DataKind KindOfType(std::uint32_t type);

enum class RegView { kNone, k32, k64 };
std::uint32_t ViewFlag(RegView view);

// The view SCANMETHOD chooses: on 64-bit Windows the 32-bit (0) or the 64-bit (1) one; none on
// 32-bit Windows, which has one registry.
constexpr RegView ScanView(bool is_64bit_windows, int scan_method) {
  if (!is_64bit_windows) return RegView::kNone;
  return scan_method == 1 ? RegView::k64 : RegView::k32;
}

// Where a change goes: the computer and the registry view its keys are opened in.
struct Target {
  std::string machine;  // "" for the local registry, else "\\" + the computer's name
  RegView view = RegView::kNone;
  bool operator==(const Target&) const = default;
};

// Value data as the registry stores it: integers little-endian, text as UTF-16.
template <typename T>
Bytes LittleEndian(T value) {
  Bytes data(sizeof(T));
  auto bits = static_cast<std::make_unsigned_t<T>>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    data[i] = static_cast<std::uint8_t>(bits & 0xFF);
    bits = static_cast<std::make_unsigned_t<T>>(bits >> 8);
  }
  return data;
}
// The integer in the first 4 or 8 bytes; `data` must hold them.
std::uint32_t DwordOf(std::span<const std::uint8_t> data);
std::uint64_t QwordOf(std::span<const std::uint8_t> data);
// String data: the text and its terminating NUL.
Bytes StringData(std::string_view text);
// The text of string data as it reads: cut at its first NUL.
std::string StringOf(const Bytes& data);

// `path` without its leading backslashes: the form the system's functions take below a root.
std::string_view WithoutLeadingBackslash(std::string_view path);

// Whether `relative` below `base` can be opened in `view` for the existence test (query value,
// enumerate subkeys, read control).
bool KeyExists(RegApi& api, KeyHandle base, std::string_view relative, RegView view);

// The three access modes the program opens keys with.
inline constexpr std::uint32_t kAccessModeMasks[3] = {
    0x0000000B,  // 0: query value + set value + enumerate subkeys
    0x00020019,  // 1: KEY_READ
    0x01060000,  // 2: READ_CONTROL + WRITE_DAC + ACCESS_SYSTEM_SECURITY
};

class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value's raw form: its own type number and its bytes exactly as stored.
struct RawValue {
  std::uint32_t type = kRegNone;
  Bytes data;
  bool operator==(const RawValue&) const = default;
};

// Enables a privilege of the process for the lifetime of the object and sets it back afterwards
// (other privileges are left alone). A privilege the account does not hold is no error: what
// needs it then fails by itself. Any other failure to enable it is kept in error().
class PrivilegeScope {
 public:
  PrivilegeScope(RegApi& api, std::string name);
  PrivilegeScope(const PrivilegeScope&) = delete;
  PrivilegeScope& operator=(const PrivilegeScope&) = delete;
  ~PrivilegeScope();
  ErrorCode error() const { return error_; }
  // The account holds the privilege and it is enabled now.
  bool held() const { return held_; }

 private:
  RegApi* api_;
  std::string name_;
  ErrorCode error_ = kSuccess;
  bool held_ = false;
  bool changed_ = false;  // enabled here: disabled again at the end
};

class TRegistry {
 public:
  explicit TRegistry(RegApi& api);
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;
  ~TRegistry();

  RegApi& api() const { return *api_; }

  // ---- State ----
  // Sets the root (HKEY_CURRENT_USER after creation). Closes the open key, and the remote root when
  // the old root came from a connection.
  void SetRootKey(KeyHandle root);
  KeyHandle RootKeyHandle() const { return root_; }
  // Access mask for every open (KEY_ALL_ACCESS after creation); SetAccessMode picks mode 0, 1 or 2.
  void SetAccess(std::uint32_t mask) { access_ = mask; }
  void SetAccessMode(int mode);
  // The view added to every open, create and delete. Callers select none on 32-bit Windows.
  void SetView(RegView view) { view_ = view; }
  RegView View() const { return view_; }
  const std::string& LastErrorText() const { return last_error_; }
  // The system's code of the last failure; kSuccess when nothing failed or when the failure was
  // the wrapper's own (its text then says why).
  ErrorCode LastError() const { return last_error_code_; }
  void ClearLastError() {
    last_error_.clear();
    last_error_code_ = kSuccess;
  }
  // The open key's handle (kNullKey when none) and its path, without a leading "\".
  KeyHandle CurrentKey() const { return current_; }
  const std::string& CurrentPath() const { return current_path_; }

  // ---- Keys ----
  // Replaces the root by the same root of `machine`; false + last error text on failure.
  bool RegistryConnect(std::string_view machine);
  // Opens `path` with the access mask; on success it becomes the open key.
  bool OpenKey(std::string_view path);
  void CloseKey();
  // Creates `path` (and missing parents) in the view; raises "Failed to create key %s".
  void CreateKey(std::string_view path);
  // Deletes `path` and its whole subtree, deepest keys first. True when the key itself went.
  bool DeleteKey(std::string_view path);
  bool KeyExists(std::string_view path);
  // Names of the open key's subkeys / values in index order; empty on failure.
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();
  bool HasSubKeys();

  // ---- Values of the open key ----
  bool ValueExists(std::string_view name);
  // Kind of a value; kUnknown when it cannot be queried.
  DataKind GetDataType(std::string_view name);
  // Data size in bytes; -1 when the query fails.
  std::int64_t GetDataSize(std::string_view name);
  // String and expandable string only; cut at the first NUL.
  std::string ReadString(std::string_view name);
  std::int32_t ReadInteger(std::string_view name);
  std::int64_t ReadInt64(std::string_view name);
  // Binary, multi-string, unknown and the resource kinds.
  Bytes ReadBinaryData(std::string_view name);
  // Any value: its own type and bytes. Raises "Failed to get data for '%s'".
  RawValue ReadRaw(std::string_view name);

  // Strings are stored with one terminating NUL; raises "Failed to set data for '%s'".
  void WriteString(std::string_view name, std::string_view value);
  void WriteExpandString(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, std::int32_t value);
  void WriteInt64(std::string_view name, std::int64_t value);
  // The caller's bytes unchanged (UTF-16LE strings, each ended by NUL, and a final NUL).
  void WriteMultiString(std::string_view name, const Bytes& data);
  void WriteBinaryData(std::string_view name, const Bytes& data);
  void WriteRaw(std::string_view name, const RawValue& value);

  // True + cleared last error text on success.
  bool DeleteValue(std::string_view name);
  // Renames a value of the open key: written under the new name first, the old one deleted after,
  // so a refused write loses nothing. Values of size 0 and types outside the kind table are carried
  // as they are. False when the old value is missing, the new name exists ("Value already exists")
  // or a call fails.
  bool RenameValue(std::string_view old_name, std::string_view new_name);
  // Copies key `old_path` with its whole subtree to `new_path`, then (when `delete_source`) deletes
  // the source. The source is deleted only after the whole copy succeeded; a failed copy removes
  // what it created, and a source that cannot be deleted (wholly) is put back from the copy, which
  // then goes. False when the source is missing, the target exists ("Key to rename to already
  // exists") or a call fails; as far as the registry allows, nothing has changed then.
  bool MoveKey(std::string_view old_path, std::string_view new_path, bool delete_source);

  // ---- Security (of the open key) ----
  bool GetKeySecurity(std::uint32_t info, Bytes* descriptor);
  bool SetKeySecurity(std::uint32_t info, const Bytes& descriptor);

  // ---- Hives ----
  bool SaveKey(std::string_view path, std::string_view file);
  bool RestoreKey(std::string_view path, std::string_view file);
  bool ReplaceKey(std::string_view path, std::string_view new_file, std::string_view old_file);
  // Act on the root itself; a leading "\" of `subkey` is dropped.
  bool LoadKey(std::string_view subkey, std::string_view file);
  bool UnLoadKey(std::string_view subkey);

 private:
  // The handle and the relative path a path is taken from.
  KeyHandle BaseFor(std::string_view path, std::string_view* relative) const;
  std::string AbsolutePathOf(std::string_view path) const;
  bool Fail(ErrorCode code);
  bool Fail(std::string text);
  void ChangeKey(KeyHandle key, std::string path);
  void QueryForRead(std::string_view name, std::uint32_t* type, Bytes* data);
  void SetData(std::string_view name, std::uint32_t type, const Bytes& data);
  bool DeleteTree(KeyHandle parent, const std::string& path);
  ErrorCode CopyTree(KeyHandle source, KeyHandle target);
  ErrorCode CopyValues(KeyHandle source, KeyHandle target);

  RegApi* api_;
  KeyHandle root_ = kCurrentUser;
  bool remote_root_ = false;
  KeyHandle current_ = kNullKey;
  std::string current_path_;
  std::uint32_t access_ = access::kAllAccess;
  RegView view_ = RegView::kNone;
  std::string last_error_;
  ErrorCode last_error_code_ = kSuccess;
};

// Whether this 32-bit process runs on 64-bit Windows. False when the system has no IsWow64Process;
// raises ERegistryException("Invalid handle") when the question fails.
bool DetectIs64BitWindows(RegApi& api);

}  // namespace keyloom::reg
