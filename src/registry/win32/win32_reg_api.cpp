#include "registry/win32/win32_reg_api.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "registry/security_descriptor.h"

namespace keyloom::reg {
namespace {

// A UTF-8 text as the W functions take it. wchar_t is UTF-16 on Windows, so the converted units
// are handed over as they are.
class Wide {
 public:
  explicit Wide(std::string_view utf8) : units_(text::Utf8ToUtf16(utf8)) {}
  const wchar_t* c_str() const { return reinterpret_cast<const wchar_t*>(units_.c_str()); }
  bool empty() const { return units_.empty(); }

 private:
  std::u16string units_;
};

std::string Narrow(const wchar_t* wide, std::size_t length) {
  return text::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide), length));
}

HKEY ToHkey(KeyHandle key) { return reinterpret_cast<HKEY>(key); }
KeyHandle FromHkey(HKEY key) { return reinterpret_cast<KeyHandle>(key); }

// Registry names longer than this do not exist (key names: 255, value names: 16383 units).
constexpr DWORD kMaxNameUnits = 16384;

// RAII for a process token handle.
class TokenHandle {
 public:
  TokenHandle() = default;
  TokenHandle(const TokenHandle&) = delete;
  TokenHandle& operator=(const TokenHandle&) = delete;
  ~TokenHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE* out() { return &handle_; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

// A function of a system library that every process has loaded (kernel32, ntdll), looked up at
// run time: the program still starts on a system that lacks it. Null when there is none.
template <class Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  FARPROC proc = module != nullptr ? GetProcAddress(module, name) : nullptr;
  Function function = nullptr;
  static_assert(sizeof(function) == sizeof(proc));
  if (proc != nullptr) __builtin_memcpy(&function, &proc, sizeof(function));
  return function;
}

class Win32RegApi final : public RegApi {
 public:
  ErrorCode ConnectRegistry(std::string_view machine, KeyHandle root, KeyHandle* result) override {
    HKEY out = nullptr;
    const Wide name(machine);
    const LONG rc = RegConnectRegistryW(name.empty() ? nullptr : name.c_str(), ToHkey(root), &out);
    if (rc == ERROR_SUCCESS) *result = FromHkey(out);
    return static_cast<ErrorCode>(rc);
  }

  ErrorCode OpenKey(KeyHandle parent, std::string_view path, std::uint32_t access,
                    KeyHandle* result) override {
    HKEY out = nullptr;
    const LONG rc = RegOpenKeyExW(ToHkey(parent), Wide(path).c_str(), 0, access, &out);
    if (rc == ERROR_SUCCESS) *result = FromHkey(out);
    return static_cast<ErrorCode>(rc);
  }

  ErrorCode CreateKey(KeyHandle parent, std::string_view path, std::uint32_t options,
                      std::uint32_t access, KeyHandle* result, bool* created) override {
    HKEY out = nullptr;
    DWORD disposition = 0;
    const LONG rc = RegCreateKeyExW(ToHkey(parent), Wide(path).c_str(), 0, nullptr, options, access,
                                    nullptr, &out, &disposition);
    if (rc == ERROR_SUCCESS) {
      *result = FromHkey(out);
      if (created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
    }
    return static_cast<ErrorCode>(rc);
  }

  ErrorCode CloseKey(KeyHandle key) override {
    if (IsPredefinedKey(key)) return kSuccess;
    return static_cast<ErrorCode>(RegCloseKey(ToHkey(key)));
  }

  ErrorCode QueryInfoKey(KeyHandle key, KeyInfo* info) override {
    DWORD subkeys = 0, max_subkey = 0, values = 0, max_value_name = 0, max_data = 0;
    FILETIME written{};
    const LONG rc =
        RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                         &values, &max_value_name, &max_data, nullptr, &written);
    if (rc == ERROR_SUCCESS) {
      const std::uint64_t time =
          (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
      *info = KeyInfo{subkeys, max_subkey, values, max_value_name, max_data, time};
    }
    return static_cast<ErrorCode>(rc);
  }

  ErrorCode EnumKey(KeyHandle key, std::uint32_t index, std::string* name) override {
    wchar_t buffer[256];
    DWORD length = 256;
    const LONG rc =
        RegEnumKeyExW(ToHkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) *name = Narrow(buffer, length);
    return static_cast<ErrorCode>(rc);
  }

  ErrorCode EnumValue(KeyHandle key, std::uint32_t index, std::string* name, std::uint32_t* type,
                      Bytes* data) override {
    // The longest name there can be, and the data in room on the stack unless it is larger. No
    // room kept per thread: in this i686 build a thread_local object with a destructor has
    // crashed the end of the thread that used it (in winpthreads' cleanup).
    wchar_t name_buffer[kMaxNameUnits];
    std::uint8_t small_room[512];
    Bytes large_room;
    std::uint8_t* room = small_room;
    DWORD room_size = sizeof small_room;
    for (int attempt = 0; attempt < 8; ++attempt) {
      DWORD data_size = room_size;
      DWORD name_length = kMaxNameUnits;
      DWORD value_type = 0;
      const LONG rc =
          RegEnumValueW(ToHkey(key), index, name_buffer, &name_length, nullptr, &value_type,
                        data != nullptr ? room : nullptr, data != nullptr ? &data_size : nullptr);
      if (rc == ERROR_MORE_DATA && data != nullptr) {  // data_size holds the need now
        large_room.resize(std::max<std::size_t>(data_size, 2 * std::size_t{room_size}));
        room = large_room.data();
        room_size = static_cast<DWORD>(large_room.size());
        continue;
      }
      if (rc != ERROR_SUCCESS) return static_cast<ErrorCode>(rc);
      *name = Narrow(name_buffer, name_length);
      *type = value_type;
      if (data != nullptr) data->assign(room, room + data_size);
      return kSuccess;
    }
    return kMoreData;  // the value kept growing between calls
  }

  ErrorCode EnumValueInto(KeyHandle key, std::uint32_t index, ValueBuffer* value) override {
    auto* name = reinterpret_cast<wchar_t*>(value->NameRoom(kMaxNameUnits));
    value->DataRoom(256);  // never none: without room the call reports the size alone
    for (int attempt = 0; attempt < 8; ++attempt) {
      DWORD name_length = kMaxNameUnits;
      DWORD data_size = static_cast<DWORD>(value->data_room());
      DWORD type = 0;
      const LONG rc = RegEnumValueW(ToHkey(key), index, name, &name_length, nullptr, &type,
                                    value->DataRoom(0), &data_size);
      if (rc == ERROR_MORE_DATA) {  // data_size holds the need now
        value->DataRoom(data_size);
        continue;
      }
      if (rc != ERROR_SUCCESS) return static_cast<ErrorCode>(rc);
      value->SetRead(name_length, type, data_size);
      return kSuccess;
    }
    return kMoreData;  // the value kept growing between calls
  }

  // Reads a value's data, `size` bytes as last reported; asks again while the value grows. A value
  // that keeps growing is reported as such rather than as read.
  static LONG ReadData(KeyHandle key, const Wide& name, DWORD* type, DWORD size, Bytes* data) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      data->resize(size);
      const LONG rc = RegQueryValueExW(ToHkey(key), name.c_str(), nullptr, type,
                                       size > 0 ? data->data() : nullptr, &size);
      if (rc != ERROR_MORE_DATA) {
        if (rc == ERROR_SUCCESS) data->resize(size);
        return rc;
      }
    }
    return ERROR_MORE_DATA;
  }

  ErrorCode QueryValue(KeyHandle key, std::string_view name, std::uint32_t* type,
                       Bytes* data) override {
    const Wide wide_name(name);
    DWORD value_type = 0;
    DWORD size = 0;
    LONG rc =
        RegQueryValueExW(ToHkey(key), wide_name.c_str(), nullptr, &value_type, nullptr, &size);
    if (rc == ERROR_SUCCESS && data != nullptr)
      rc = ReadData(key, wide_name, &value_type, size, data);
    if (rc == ERROR_SUCCESS && type != nullptr) *type = value_type;
    return static_cast<ErrorCode>(rc);
  }

  ErrorCode SetValue(KeyHandle key, std::string_view name, std::uint32_t type,
                     const Bytes& data) override {
    return static_cast<ErrorCode>(RegSetValueExW(ToHkey(key), Wide(name).c_str(), 0, type,
                                                 data.empty() ? nullptr : data.data(),
                                                 static_cast<DWORD>(data.size())));
  }

  ErrorCode DeleteValue(KeyHandle key, std::string_view name) override {
    return static_cast<ErrorCode>(RegDeleteValueW(ToHkey(key), Wide(name).c_str()));
  }

  ErrorCode DeleteKey(KeyHandle parent, std::string_view path, std::uint32_t view) override {
    return static_cast<ErrorCode>(RegDeleteKeyExW(ToHkey(parent), Wide(path).c_str(), view, 0));
  }

  // NtQueryKey with KeyNameInformation: a ULONG byte count, then the name in UTF-16.
  ErrorCode KeyRealName(KeyHandle key, std::string* name) override {
    // A predefined key is no handle of the kernel's: the question could only fail.
    if (IsPredefinedKey(key)) return kInvalidHandle;
    using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    using NtStatusToErrorFn = ULONG(NTAPI*)(LONG);
    static const auto query = SystemFunction<NtQueryKeyFn>(L"ntdll.dll", "NtQueryKey");
    static const auto to_error =
        SystemFunction<NtStatusToErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (query == nullptr || to_error == nullptr) return kCallNotImplemented;
    constexpr int kKeyNameInformation = 3;
    constexpr LONG kBufferOverflow = static_cast<LONG>(0x80000005u);
    constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000023u);
    Bytes buffer(512);
    for (int attempt = 0; attempt < 4; ++attempt) {
      ULONG needed = 0;
      const LONG status = query(ToHkey(key), kKeyNameInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size()), &needed);
      if (status == kBufferOverflow || status == kBufferTooSmall) {
        buffer.resize(std::max<std::size_t>(needed, buffer.size() * 2));
        continue;
      }
      if (status < 0) return static_cast<ErrorCode>(to_error(status));
      ULONG length = 0;
      __builtin_memcpy(&length, buffer.data(), sizeof length);
      length = std::min<ULONG>(length, static_cast<ULONG>(buffer.size() - sizeof length));
      std::u16string units(length / 2, u'\0');
      __builtin_memcpy(units.data(), buffer.data() + sizeof length, units.size() * 2);
      *name = text::Utf16ToUtf8(units);
      return kSuccess;
    }
    return kMoreData;  // the name kept growing between calls
  }

  ErrorCode GetKeySecurity(KeyHandle key, std::uint32_t info, Bytes* descriptor) override {
    DWORD size = 4096;
    for (int attempt = 0; attempt < 4; ++attempt) {
      descriptor->resize(size);
      const LONG rc = RegGetKeySecurity(ToHkey(key), info, descriptor->data(), &size);
      if (rc == ERROR_SUCCESS) {
        descriptor->resize(GetSecurityDescriptorLength(descriptor->data()));
        return kSuccess;
      }
      if (rc != ERROR_INSUFFICIENT_BUFFER) return static_cast<ErrorCode>(rc);
    }
    return kInsufficientBuffer;
  }

  ErrorCode SetKeySecurity(KeyHandle key, std::uint32_t info, const Bytes& descriptor) override {
    // Only a complete self-relative descriptor reaches the system: it would read past the end of
    // truncated bytes.
    if (!SecurityDescriptor::Parse(descriptor)) return kInvalidParameter;
    Bytes copy = descriptor;  // the call takes a non-const pointer
    return static_cast<ErrorCode>(RegSetKeySecurity(ToHkey(key), info, copy.data()));
  }

  ErrorCode SaveKey(KeyHandle key, std::string_view file) override {
    return static_cast<ErrorCode>(RegSaveKeyW(ToHkey(key), Wide(file).c_str(), nullptr));
  }

  ErrorCode RestoreKey(KeyHandle key, std::string_view file, std::uint32_t flags) override {
    return static_cast<ErrorCode>(RegRestoreKeyW(ToHkey(key), Wide(file).c_str(), flags));
  }

  ErrorCode ReplaceKey(KeyHandle key, std::string_view subkey, std::string_view new_file,
                       std::string_view old_file) override {
    const Wide sub(subkey);
    return static_cast<ErrorCode>(RegReplaceKeyW(ToHkey(key), sub.empty() ? nullptr : sub.c_str(),
                                                 Wide(new_file).c_str(), Wide(old_file).c_str()));
  }

  ErrorCode LoadKey(KeyHandle root, std::string_view subkey, std::string_view file) override {
    return static_cast<ErrorCode>(
        RegLoadKeyW(ToHkey(root), Wide(subkey).c_str(), Wide(file).c_str()));
  }

  ErrorCode UnLoadKey(KeyHandle root, std::string_view subkey) override {
    return static_cast<ErrorCode>(RegUnLoadKeyW(ToHkey(root), Wide(subkey).c_str()));
  }

  ErrorCode SetPrivilege(std::string_view name, bool enable, bool* was_enabled) override {
    TokenHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.out())) {
      return static_cast<ErrorCode>(GetLastError());
    }
    LUID luid{};
    if (!LookupPrivilegeValueW(nullptr, Wide(name).c_str(), &luid)) {
      return static_cast<ErrorCode>(GetLastError());
    }
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = luid;
    wanted.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    TOKEN_PRIVILEGES previous{};
    DWORD previous_size = sizeof(previous);
    if (!AdjustTokenPrivileges(token.get(), FALSE, &wanted, sizeof(previous), &previous,
                               &previous_size)) {
      return static_cast<ErrorCode>(GetLastError());
    }
    const DWORD outcome = GetLastError();  // ERROR_NOT_ALL_ASSIGNED when the privilege is not held
    if (was_enabled != nullptr) {
      *was_enabled = previous.PrivilegeCount == 0
                         ? enable  // nothing changed: it already was in the wanted state
                         : (previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return outcome == ERROR_NOT_ALL_ASSIGNED ? kNotAllAssigned : kSuccess;
  }

  ErrorCode CurrentUserName(std::string* name) override {
    wchar_t buffer[1024];
    DWORD length = 1024;
    if (!GetUserNameW(buffer, &length)) return static_cast<ErrorCode>(GetLastError());
    *name = Narrow(buffer, length > 0 ? length - 1 : 0);  // the count includes the NUL
    return kSuccess;
  }

  ErrorCode ComputerName(std::string* name) override {
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(buffer, &length)) return static_cast<ErrorCode>(GetLastError());
    *name = Narrow(buffer, length);
    return kSuccess;
  }

  ErrorCode LookupAccountByName(std::string_view account, Bytes* sid,
                                std::string* domain) override {
    const Wide wide(account);
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, wide.c_str(), nullptr, &sid_size, nullptr, &domain_size, &use);
    if (sid_size == 0) return static_cast<ErrorCode>(GetLastError());
    sid->assign(sid_size, 0);
    std::vector<wchar_t> domain_buffer(domain_size + 1);
    if (!LookupAccountNameW(nullptr, wide.c_str(), sid->data(), &sid_size, domain_buffer.data(),
                            &domain_size, &use)) {
      return static_cast<ErrorCode>(GetLastError());
    }
    sid->resize(GetLengthSid(sid->data()));
    *domain = Narrow(domain_buffer.data(), domain_size);
    return kSuccess;
  }

  ErrorCode LookupAccountBySid(const Bytes& sid, std::string* name, std::string* domain) override {
    Bytes copy = sid;
    if (copy.empty() || !IsValidSid(copy.data())) return kInvalidParameter;
    DWORD name_size = 0, domain_size = 0;
    SID_NAME_USE use;
    LookupAccountSidW(nullptr, copy.data(), nullptr, &name_size, nullptr, &domain_size, &use);
    if (name_size == 0) return static_cast<ErrorCode>(GetLastError());
    std::vector<wchar_t> name_buffer(name_size + 1), domain_buffer(domain_size + 1);
    if (!LookupAccountSidW(nullptr, copy.data(), name_buffer.data(), &name_size,
                           domain_buffer.data(), &domain_size, &use)) {
      return static_cast<ErrorCode>(GetLastError());
    }
    *name = Narrow(name_buffer.data(), name_size);
    *domain = Narrow(domain_buffer.data(), domain_size);
    return kSuccess;
  }

  ErrorCode IsWow64Process(bool* wow64) override {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto function = SystemFunction<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
    if (function == nullptr) return kProcNotFound;
    BOOL answer = FALSE;
    if (!function(GetCurrentProcess(), &answer)) return static_cast<ErrorCode>(GetLastError());
    *wow64 = answer != FALSE;
    return kSuccess;
  }

  ErrorCode ExpandEnvironmentText(std::string_view text, std::string* expanded) override {
    const Wide wide(text);
    DWORD size = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    while (size != 0) {
      std::vector<wchar_t> buffer(size);
      const DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), size);
      if (needed == 0) break;
      if (needed <= size) {
        *expanded = Narrow(buffer.data(), needed - 1);
        return kSuccess;
      }
      size = needed;
    }
    return static_cast<ErrorCode>(GetLastError());
  }

  std::string ErrorMessage(ErrorCode code) override {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return "Unknown error " + std::to_string(code);
    std::string message = Narrow(buffer, length);
    LocalFree(buffer);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
      message.pop_back();
    }
    return message;
  }
};

}  // namespace

std::unique_ptr<RegApi> NewWin32RegApi() { return std::make_unique<Win32RegApi>(); }

}  // namespace keyloom::reg
