#include "registry/memory/memory_service_control.h"

#include "base/text.h"

namespace keyloom::reg {
namespace {

std::string_view Bare(std::string_view machine) {
  while (machine.starts_with("\\")) machine.remove_prefix(1);
  return machine;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string KeyOf(std::string_view machine, std::string_view service) {
  return text::Cat({Upper(Bare(machine)), "\n", Upper(service)});
}

}  // namespace

void MemoryServiceControl::AddService(std::string_view machine, std::string_view service,
                                      ServiceState state) {
  std::lock_guard lock(mutex_);
  services_[KeyOf(machine, service)] = state;
}

void MemoryServiceControl::FailMachine(std::string_view machine, ErrorCode code) {
  std::lock_guard lock(mutex_);
  if (code == kSuccess) {
    failing_.erase(Upper(Bare(machine)));
  } else {
    failing_[Upper(Bare(machine))] = code;
  }
}

void MemoryServiceControl::SetObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

ServiceState MemoryServiceControl::StateOf(std::string_view machine, std::string_view service,
                                           bool* found) const {
  std::lock_guard lock(mutex_);
  const auto it = services_.find(KeyOf(machine, service));
  *found = it != services_.end();
  return *found ? it->second : ServiceState{};
}

std::vector<std::string> MemoryServiceControl::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

ErrorCode MemoryServiceControl::Find(std::string_view what, std::string_view machine,
                                     std::string_view service, ServiceState** found) {
  calls_.push_back(text::Cat({what, " ", machine, " ", service}));
  if (const auto fail = failing_.find(Upper(Bare(machine))); fail != failing_.end()) {
    return fail->second;
  }
  const auto it = services_.find(KeyOf(machine, service));
  if (it == services_.end()) {
    // A machine the manager knows nothing of is out of reach; a known one lacks the service.
    const std::string prefix = Upper(Bare(machine)) + "\n";
    const auto near = services_.lower_bound(prefix);
    const bool known = near != services_.end() && near->first.starts_with(prefix);
    return known ? kServiceDoesNotExist : kBadNetPath;
  }
  *found = &it->second;
  return kSuccess;
}

ErrorCode MemoryServiceControl::Query(std::string_view machine, std::string_view service,
                                      ServiceState* state) {
  std::lock_guard lock(mutex_);
  ServiceState* found = nullptr;
  const ErrorCode rc = Find("Query", machine, service, &found);
  if (rc == kSuccess) *state = *found;
  return rc;
}

ErrorCode MemoryServiceControl::SetStartType(std::string_view machine, std::string_view service,
                                             std::uint32_t start_type) {
  std::lock_guard lock(mutex_);
  ServiceState* found = nullptr;
  const ErrorCode rc = Find("SetStartType " + std::to_string(start_type), machine, service, &found);
  if (rc != kSuccess) return rc;
  if (start_type < kServiceAutoStart || start_type > kServiceDisabled) return kInvalidParameter;
  found->start_type = start_type;
  return kSuccess;
}

ErrorCode MemoryServiceControl::Switch(std::string_view what, std::string_view machine,
                                       std::string_view service, bool run) {
  Observer observer;
  {
    std::lock_guard lock(mutex_);
    ServiceState* found = nullptr;
    const ErrorCode rc = Find(what, machine, service, &found);
    if (rc != kSuccess) return rc;
    if (run && found->running) return kServiceAlreadyRunning;
    if (!run && !found->running) return kServiceNotActive;
    if (run && found->start_type == kServiceDisabled) return kServiceDisabledError;
    found->running = run;
    observer = observer_;
  }
  if (observer) observer(std::string(Bare(machine)), std::string(service), run);
  return kSuccess;
}

ErrorCode MemoryServiceControl::Start(std::string_view machine, std::string_view service) {
  return Switch("Start", machine, service, true);
}

ErrorCode MemoryServiceControl::Stop(std::string_view machine, std::string_view service) {
  return Switch("Stop", machine, service, false);
}

}  // namespace keyloom::reg
