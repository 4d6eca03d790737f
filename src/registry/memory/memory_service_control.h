// A service manager in memory behind the service-control port, for tests: machines with services
// that run or not, each with its start type, the rules of the real manager (a disabled service
// does not start; starting a running one or stopping a stopped one is refused), unreachable
// machines, refused calls, and an observer told whenever a service starts or stops, so that a
// test can tie the Remote Registry service to a memory registry's machine.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "registry/service_control.h"

namespace keyloom::reg {

class MemoryServiceControl final : public ServiceControl {
 public:
  // Called (outside the lock) with the machine's name without "\\" and the service's new state.
  using Observer =
      std::function<void(const std::string& machine, const std::string& service, bool running)>;

  // A service on `machine` (its name without "\\"); replaces one of the same name.
  void AddService(std::string_view machine, std::string_view service, ServiceState state);
  // Every call for `machine` fails with `code` (kSuccess: answers again).
  void FailMachine(std::string_view machine, ErrorCode code);
  void SetObserver(Observer observer);
  // The service's state now; nullopt-like: `found` false when there is none.
  ServiceState StateOf(std::string_view machine, std::string_view service, bool* found) const;
  // Every call made, "Start \\NAME RemoteRegistry" and so on, in order.
  std::vector<std::string> Calls() const;

  ErrorCode Query(std::string_view machine, std::string_view service, ServiceState* state) override;
  ErrorCode SetStartType(std::string_view machine, std::string_view service,
                         std::uint32_t start_type) override;
  ErrorCode Start(std::string_view machine, std::string_view service) override;
  ErrorCode Stop(std::string_view machine, std::string_view service) override;

 private:
  // The service of the call, or the code that refuses it; records the call.
  ErrorCode Find(std::string_view what, std::string_view machine, std::string_view service,
                 ServiceState** found);
  ErrorCode Switch(std::string_view what, std::string_view machine, std::string_view service,
                   bool run);

  mutable std::mutex mutex_;
  std::map<std::string, ServiceState> services_;  // "MACHINE\nSERVICE", upper case
  std::map<std::string, ErrorCode> failing_;      // machine, upper case
  std::vector<std::string> calls_;
  Observer observer_;
};

}  // namespace keyloom::reg
