#include "shell/fleet_run.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "base/text.h"
#include "engine/pause_gate.h"
#include "registry/registry.h"
#include "shell/exit_codes.h"
#include "shell/settings.h"

namespace keyloom::shell {
namespace {

using text::Cat;

// Hands the machines' runs to the caller in list order.
class InOrder {
 public:
  InOrder(std::vector<MachineRun>& runs, const std::function<void(const MachineRun&)>& ended)
      : runs_(runs), ended_(ended), done_(runs.size(), false) {}

  void Ended(std::size_t index) {
    std::lock_guard lock(mutex_);
    done_[index] = true;
    while (next_ < done_.size() && done_[next_]) {
      if (ended_) ended_(runs_[next_]);
      ++next_;
    }
  }

 private:
  std::vector<MachineRun>& runs_;
  const std::function<void(const MachineRun&)>& ended_;
  std::mutex mutex_;
  std::vector<bool> done_;
  std::size_t next_ = 0;
};

// Asks the machine's registry once; the system's reason when it does not answer.
std::string Connect(reg::RegApi& api, const std::string& machine) {
  reg::KeyHandle root = reg::kNullKey;
  const reg::ErrorCode rc = api.ConnectRegistry(machine, reg::kLocalMachine, &root);
  if (rc == reg::kSuccess) {
    api.CloseKey(root);
    return "";
  }
  return Cat({"Remote Registry Error: [", api.ErrorMessage(rc), "]"});
}

// The Remote Registry service started for a machine's run, put back as it was at its end.
class ServiceForRun {
 public:
  ServiceForRun(reg::ServiceControl& services, std::string machine, MachineRun& run)
      : services_(services), machine_(std::move(machine)), run_(run) {}
  ~ServiceForRun() { Restore(); }
  ServiceForRun(const ServiceForRun&) = delete;
  ServiceForRun& operator=(const ServiceForRun&) = delete;

  // Starts the stopped service; false (with the reason in the run) when it could not.
  bool Start(const reg::ServiceState& before) {
    before_ = before;
    if (before.start_type == reg::kServiceDisabled) {
      if (!Did(services_.SetStartType(machine_, Name(), reg::kServiceDemandStart),
               "set the start type of")) {
        return false;
      }
      start_type_changed_ = true;
    }
    if (!Did(services_.Start(machine_, Name()), "start")) return false;
    started_ = true;
    Note("Started the Remote Registry service on " + machine_ + " for the run");
    return true;
  }

  void Restore() {
    if (started_ && Did(services_.Stop(machine_, Name()), "stop")) {
      started_ = false;
      Note("Stopped the Remote Registry service on " + machine_ + " again");
    }
    if (start_type_changed_ && Did(services_.SetStartType(machine_, Name(), before_.start_type),
                                   "set back the start type of")) {
      start_type_changed_ = false;
      Note("The Remote Registry service on " + machine_ + " is disabled again");
    }
  }

 private:
  static std::string_view Name() { return reg::kRemoteRegistryService; }
  bool Did(reg::ErrorCode rc, std::string_view what) {
    if (rc == reg::kSuccess) return true;
    const std::string line = Cat({"Unable to ", what, " the Remote Registry service on ", machine_,
                                  " [", std::to_string(rc), "]"});
    Note(line);
    if (run_.reason.empty()) run_.reason = line;
    return false;
  }
  void Note(const std::string& line) { run_.lines.push_back(line); }

  reg::ServiceControl& services_;
  std::string machine_;
  MachineRun& run_;
  reg::ServiceState before_;
  bool started_ = false;
  bool start_type_changed_ = false;
};

// When the machine refused because its Remote Registry service is stopped: whether it may be
// started, else the hint.
bool ServiceStopped(reg::ServiceControl* services, const std::string& machine,
                    reg::ServiceState* state) {
  return services != nullptr &&
         services->Query(machine, reg::kRemoteRegistryService, state) == reg::kSuccess &&
         !state->running;
}

void RunOne(reg::RegApi& api, const FleetRequest& request, const std::atomic<bool>* stop,
            MachineRun& run) {
  const std::string machine = "\\\\" + run.name;
  run.reason = Connect(api, machine);
  std::unique_ptr<ServiceForRun> service;
  reg::ServiceState state;
  if (!run.reason.empty() && ServiceStopped(request.services, machine, &state)) {
    if (!request.start_remote_registry) {
      run.hint =
          "The Remote Registry service is stopped there; /start-remote-registry starts it for "
          "the run and puts it back afterwards";
      return;
    }
    service = std::make_unique<ServiceForRun>(*request.services, machine, run);
    run.reason.clear();
    if (!service->Start(state)) return;
    run.reason = Connect(api, machine);
  }
  if (!run.reason.empty()) return;

  JobRequest job = request.job;
  job.machine = machine;
  std::vector<std::string> problems;
  job.settings.undodir = PrepareUndoFolder(request.job.settings.undodir + run.name, problems);
  run.undo_folder = job.settings.undodir;
  run.lines.insert(run.lines.end(), problems.begin(), problems.end());
  auto keep = [&run](std::string_view line) { run.lines.emplace_back(line); };
  run.output = std::make_unique<ReportOutput>(keep, nullptr, request.quiet, request.keep_rows);
  if (request.keep_values) run.output->KeepValues();
  engine::PortablePauseGate gate;
  // The fleet's stop ends the runs under way at their next key, as Ctrl+C ends a single run.
  run.result = RunJob(api, gate, job, *run.output, stop);
  run.reached = run.result.started;
  if (!run.result.started) {
    run.reason = run.result.refusal.empty() ? "The run could not start." : run.result.refusal[0];
  }
}

}  // namespace

JobSummary SummaryOfRun(const MachineRun& run) {
  JobSummary summary = SummaryOfJob(run.result);
  // A machine out of reach is a root the run could not read; a run refused stays refused.
  if (!run.reached && !run.skipped && run.result.refusal.empty()) {
    summary.started = true;
    summary.keys_unreadable = std::max<std::int64_t>(summary.keys_unreadable, 1);
  }
  if (run.skipped) {
    summary.started = true;
    summary.stopped = true;
  }
  return summary;
}

std::vector<MachineRun> RunFleet(reg::RegApi& api, const FleetRequest& request,
                                 const std::atomic<bool>* stop,
                                 const std::function<void(const MachineRun&)>& ended) {
  std::vector<MachineRun> runs(request.machines.size());
  for (std::size_t i = 0; i < runs.size(); ++i) runs[i].name = request.machines[i];
  InOrder in_order(runs, ended);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < runs.size(); i = next++) {
      MachineRun& run = runs[i];
      if (stop != nullptr && *stop) {
        run.skipped = true;
        run.reason = "Not run: the fleet run was stopped first";
      } else {
        RunOne(api, request, stop, run);
      }
      run.exit_code = ExitCodeFor(SummaryOfRun(run));
      in_order.Ended(i);
    }
  };
  const std::size_t workers = std::min(
      runs.size(), static_cast<std::size_t>(std::clamp(request.parallel, 1, kMaxParallel)));
  // Runs at once share the process's token: a privilege that one run's permission repair enables
  // and drops again must not vanish under another run's repair. Held here for the whole fleet,
  // each repair finds it enabled and leaves it so.
  std::optional<reg::PrivilegeScope> security;
  if (request.job.settings.fixperms) security.emplace(api, "SeSecurityPrivilege");
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  return runs;
}

}  // namespace keyloom::shell
