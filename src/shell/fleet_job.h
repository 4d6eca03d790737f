// The command line's fleet run (`/machines`) and the reports every command-line run may write
// beside its own: `/json`, `/summary`, `/detect`, and for a fleet `/retry` and the CSV file's
// Machine column.
//
// A fleet's report is each machine's status lines, prefixed with its name, machine after machine
// in list order (never interleaved), then a summary line a machine, then the totals and the
// time. `/summary` prints one line instead (the full report still goes to `/log`).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/command_job.h"
#include "shell/command_line.h"
#include "shell/fleet_report.h"
#include "shell/job_runner.h"

namespace keyloom::shell {

struct FleetCommand {
  const CommandLine* line = nullptr;
  const JobRequest* request = nullptr;  // its undo folder is the fleet's
  const CommandEnvironment* env = nullptr;
  std::function<void(std::string_view)> log;  // the /log file's lines; may be empty
  std::function<std::string()> log_failure;   // "" while the /log file is whole
  std::vector<std::string> status_lines;      // notes of the settings, before the run
};

int RunFleetCommand(const FleetCommand& command);

// Writes `bytes` to `file` whole or not at all; false with `*failure` (the file and the reason).
bool WriteWholeFile(const std::string& file, std::string_view bytes,
                    const base::FileReplacement::Writer& writer, std::string* failure);

// The JSON document's run texts for the command line.
JsonRun JsonRunOf(const CommandLine& line, int exit_code);

}  // namespace keyloom::shell
