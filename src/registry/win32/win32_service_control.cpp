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
  ServiceHandle() = default;
  ~ServiceHandle() { Reset(nullptr); }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }
  void Reset(SC_HANDLE handle) {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
    handle_ = handle;
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_ = nullptr;
};

ErrorCode LastError() { return static_cast<ErrorCode>(GetLastError()); }

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

// The service `name` on `machine`, opened for `access` through its machine's service manager.
struct OpenedService {
  ServiceHandle manager;
  ServiceHandle service;

  ErrorCode Open(std::string_view machine, std::string_view name, DWORD access) {
    const std::wstring machine_name = Wide(machine);
    manager.Reset(OpenSCManagerW(machine_name.empty() ? nullptr : machine_name.c_str(), nullptr,
                                 SC_MANAGER_CONNECT));
    if (!manager) return LastError();
    service.Reset(OpenServiceW(manager.get(), Wide(name).c_str(), access));
    return service ? kSuccess : LastError();
  }
};

// Waits (at most 30 s) until the service's state is `wanted`.
ErrorCode WaitForState(SC_HANDLE service, DWORD wanted) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return LastError();
    if (status.dwCurrentState == wanted) return kSuccess;
    if (std::chrono::steady_clock::now() >= deadline) return kServiceRequestTimeout;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // polling the remote manager
  }
}

class Win32ServiceControl final : public ServiceControl {
 public:
  ErrorCode Query(std::string_view machine, std::string_view service,
                  ServiceState* state) override {
    OpenedService opened;
    const ErrorCode rc = opened.Open(machine, service, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
    if (rc != kSuccess) return rc;
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(opened.service.get(), &status)) return LastError();
    DWORD needed = 0;
    QueryServiceConfigW(opened.service.get(), nullptr, 0, &needed);
    std::string buffer(needed, '\0');
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed == 0 || !QueryServiceConfigW(opened.service.get(), config, needed, &needed)) {
      return LastError();
    }
    state->running =
        status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING;
    state->start_type = config->dwStartType;
    return kSuccess;
  }

  ErrorCode SetStartType(std::string_view machine, std::string_view service,
                         std::uint32_t start_type) override {
    OpenedService opened;
    const ErrorCode rc = opened.Open(machine, service, SERVICE_CHANGE_CONFIG);
    if (rc != kSuccess) return rc;
    if (!ChangeServiceConfigW(opened.service.get(), SERVICE_NO_CHANGE, start_type,
                              SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr)) {
      return LastError();
    }
    return kSuccess;
  }

  ErrorCode Start(std::string_view machine, std::string_view service) override {
    OpenedService opened;
    const ErrorCode rc = opened.Open(machine, service, SERVICE_START | SERVICE_QUERY_STATUS);
    if (rc != kSuccess) return rc;
    if (!StartServiceW(opened.service.get(), 0, nullptr)) return LastError();
    return WaitForState(opened.service.get(), SERVICE_RUNNING);
  }

  ErrorCode Stop(std::string_view machine, std::string_view service) override {
    OpenedService opened;
    const ErrorCode rc = opened.Open(machine, service, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (rc != kSuccess) return rc;
    SERVICE_STATUS status{};
    if (!ControlService(opened.service.get(), SERVICE_CONTROL_STOP, &status)) return LastError();
    return WaitForState(opened.service.get(), SERVICE_STOPPED);
  }
};

}  // namespace

std::unique_ptr<ServiceControl> NewWin32ServiceControl() {
  return std::make_unique<Win32ServiceControl>();
}

}  // namespace keyloom::reg
