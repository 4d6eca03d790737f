// A fleet run: one command line made on many computers, each through its remote registry, up to
// `parallel` of them at once.
//
// How it works. Each machine's run is the single-machine run of RunJob, with a request of its
// own (the machine, and an undo folder of its own below the fleet's, `<undo>\<MACHINE>\`, which
// holds its undo files, its journal UNDO-RUNS.TXT and its run log), its own pause gate and its
// own output; RunJob builds its run context, undo writer and journal afresh, so nothing a run
// writes is shared with another. A small pool of worker threads takes the machines in list
// order. Before its run a machine is asked for its registry once: a machine that cannot be
// reached gets no run and no folder. When the Remote Registry service is what refuses it, the
// service is started for the run when the fleet may (`/start-remote-registry`) and put back as
// it was afterwards (stopped, with its start type); otherwise the machine is reported with a
// hint. Every machine's result is handed to the caller in list order, each as soon as it and
// every machine before it have ended, so the combined report never interleaves.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "registry/reg_api.h"
#include "registry/service_control.h"
#include "shell/command_job.h"
#include "shell/job_runner.h"

namespace keyloom::shell {

inline constexpr int kDefaultParallel = 8;
inline constexpr int kMaxParallel = 64;

struct MachineRun {
  std::string name;         // as the list names it, without "\\"
  bool reached = false;     // its registry answered and its run was made
  bool skipped = false;     // not tried: the fleet was stopped first
  std::string reason;       // why it was not reached
  std::string hint;         // what would reach it, when something would
  std::string undo_folder;  // its own, "" when it got none
  JobResult result;
  std::vector<std::string> lines;        // its status lines, without its name
  std::unique_ptr<ReportOutput> output;  // its hits' rows (for /csv and /json)
  int exit_code = 0;                     // as its run alone would end
};

struct FleetRequest {
  JobRequest job;  // the run made on every machine; its undo folder is the fleet's
  std::vector<std::string> machines;
  int parallel = kDefaultParallel;
  bool keep_rows = false;    // keep each machine's hits (for /csv and /json)
  bool keep_values = false;  // and their whole values (for /json)
  bool quiet = false;        // status lines are not kept, only the summaries
  // The service manager, and whether a stopped Remote Registry service may be started.
  reg::ServiceControl* services = nullptr;
  bool start_remote_registry = false;
};

// Runs the request on every machine, or until `*stop`. `ended` receives each machine's run in
// list order (serialized, from any thread). The returned runs are in list order.
std::vector<MachineRun> RunFleet(reg::RegApi& api, const FleetRequest& request,
                                 const std::atomic<bool>* stop,
                                 const std::function<void(const MachineRun&)>& ended);

// The summary of a machine's run, as a single run counts it.
JobSummary SummaryOfRun(const MachineRun& run);

}  // namespace keyloom::shell
