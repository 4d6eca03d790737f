// The service-control port: what a run asks of a computer's service manager. A fleet run uses it
// for one service, the Remote Registry, which must run on a machine before its registry can be
// reached over the network. Like the registry port, it is the only way the program reaches the
// service manager: the adapter over advapi32 lives in win32/, a memory fake in memory/.
//
// Machines are named as the registry port names them, "\\NAME". Results are Windows error codes
// (kSuccess = 0); on failure the outputs are unspecified. The methods are thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "registry/reg_api.h"

namespace keyloom::reg {

inline constexpr std::string_view kRemoteRegistryService = "RemoteRegistry";

// A service's start types, as the service manager numbers them.
inline constexpr std::uint32_t kServiceAutoStart = 2;
inline constexpr std::uint32_t kServiceDemandStart = 3;
inline constexpr std::uint32_t kServiceDisabled = 4;

// Codes of the service manager the callers tell apart.
inline constexpr ErrorCode kServiceDisabledError = 1058;   // ERROR_SERVICE_DISABLED
inline constexpr ErrorCode kServiceNotActive = 1062;       // ERROR_SERVICE_NOT_ACTIVE
inline constexpr ErrorCode kServiceAlreadyRunning = 1056;  // ERROR_SERVICE_ALREADY_RUNNING
inline constexpr ErrorCode kServiceDoesNotExist = 1060;    // ERROR_SERVICE_DOES_NOT_EXIST
inline constexpr ErrorCode kServiceRequestTimeout = 1053;  // ERROR_SERVICE_REQUEST_TIMEOUT

struct ServiceState {
  bool running = false;  // running, or on its way to it
  std::uint32_t start_type = kServiceDemandStart;
};

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  ServiceControl() = default;
  ServiceControl(const ServiceControl&) = delete;
  ServiceControl& operator=(const ServiceControl&) = delete;

  // Whether `service` on `machine` runs, and its start type. kServiceDoesNotExist when the
  // machine has no such service; kBadNetPath and others when its service manager cannot be
  // reached; kAccessDenied without the right to ask.
  virtual ErrorCode Query(std::string_view machine, std::string_view service,
                          ServiceState* state) = 0;
  // Sets the start type (kServiceAutoStart, kServiceDemandStart, kServiceDisabled).
  virtual ErrorCode SetStartType(std::string_view machine, std::string_view service,
                                 std::uint32_t start_type) = 0;
  // Starts the service and returns once it runs (or kServiceRequestTimeout after a bounded
  // wait). kServiceDisabledError while its start type is disabled; kServiceAlreadyRunning when
  // it runs already.
  virtual ErrorCode Start(std::string_view machine, std::string_view service) = 0;
  // Stops the service and returns once it has stopped (or kServiceRequestTimeout after a bounded
  // wait). kServiceNotActive when it does not run.
  virtual ErrorCode Stop(std::string_view machine, std::string_view service) = 0;
};

}  // namespace keyloom::reg
