#include "registry/win32/win32_service_control.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/text.h"

namespace keyloom::reg {
namespace {

// A service manager handle that closes itself.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }
  void Reset(SC_HANDLE handle) {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
    handle_ = handle;
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

// The service `service` on `machine`, opened for `access`; the error code when it cannot be.
ErrorCode OpenNamedService(std::string_view machine, std::string_view service, DWORD access,
                           ServiceHandle* manager, SC_HANDLE* result) {
  const std::wstring machine_name = Wide(machine);
  manager->Reset(OpenSCManagerW(machine_name.empty() ? nullptr : machine_name.c_str(), nullptr,
                                SC_MANAGER_CONNECT));
  if (!*manager) return static_cast<ErrorCode>(GetLastError());
  *result = OpenServiceW(manager->get(), Wide(service).c_str(), access);
  return *result != nullptr ? kSuccess : static_cast<ErrorCode>(GetLastError());
}

// Waits (at most 30 s) until the service's state is `wanted`.
ErrorCode WaitForState(SC_HANDLE service, DWORD wanted) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return static_cast<ErrorCode>(GetLastError());
    if (status.dwCurrentState == wanted) return kSuccess;
    if (std::chrono::steady_clock::now() >= deadline) return kServiceRequestTimeout;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // polling the remote manager
  }
}

class Win32ServiceControl final : public ServiceControl {
 public:
  ErrorCode Query(std::string_view machine, std::string_view service,
                  ServiceState* state) override {
    ServiceHandle manager;
    SC_HANDLE raw = nullptr;
    ErrorCode rc = OpenNamedService(machine, service, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG,
                                    &manager, &raw);
    if (rc != kSuccess) return rc;
    const ServiceHandle handle(raw);
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(handle.get(), &status)) return static_cast<ErrorCode>(GetLastError());
    DWORD needed = 0;
    QueryServiceConfigW(handle.get(), nullptr, 0, &needed);
    std::string buffer(needed, '\0');
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed == 0 || !QueryServiceConfigW(handle.get(), config, needed, &needed)) {
      return static_cast<ErrorCode>(GetLastError());
    }
    state->running =
        status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING;
    state->start_type = config->dwStartType;
    return kSuccess;
  }

  ErrorCode SetStartType(std::string_view machine, std::string_view service,
                         std::uint32_t start_type) override {
    ServiceHandle manager;
    SC_HANDLE raw = nullptr;
    const ErrorCode rc = OpenNamedService(machine, service, SERVICE_CHANGE_CONFIG, &manager, &raw);
    if (rc != kSuccess) return rc;
    const ServiceHandle handle(raw);
    if (!ChangeServiceConfigW(handle.get(), SERVICE_NO_CHANGE, start_type, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
      return static_cast<ErrorCode>(GetLastError());
    }
    return kSuccess;
  }

  ErrorCode Start(std::string_view machine, std::string_view service) override {
    ServiceHandle manager;
    SC_HANDLE raw = nullptr;
    const ErrorCode rc =
        OpenNamedService(machine, service, SERVICE_START | SERVICE_QUERY_STATUS, &manager, &raw);
    if (rc != kSuccess) return rc;
    const ServiceHandle handle(raw);
    if (!StartServiceW(handle.get(), 0, nullptr)) return static_cast<ErrorCode>(GetLastError());
    return WaitForState(handle.get(), SERVICE_RUNNING);
  }

  ErrorCode Stop(std::string_view machine, std::string_view service) override {
    ServiceHandle manager;
    SC_HANDLE raw = nullptr;
    const ErrorCode rc =
        OpenNamedService(machine, service, SERVICE_STOP | SERVICE_QUERY_STATUS, &manager, &raw);
    if (rc != kSuccess) return rc;
    const ServiceHandle handle(raw);
    SERVICE_STATUS status{};
    if (!ControlService(handle.get(), SERVICE_CONTROL_STOP, &status)) {
      return static_cast<ErrorCode>(GetLastError());
    }
    return WaitForState(handle.get(), SERVICE_STOPPED);
  }
};

}  // namespace

std::unique_ptr<ServiceControl> NewWin32ServiceControl() {
  return std::make_unique<Win32ServiceControl>();
}

}  // namespace keyloom::reg
