#include "shell/fleet_job.h"

#include <chrono>
#include <memory>

#include "base/text.h"
#include "base/utf8_path.h"
#include "files/change_settings.h"
#include "files/list_export.h"
#include "shell/exit_codes.h"
#include "shell/fleet_run.h"
#include "shell/key_list_export_rows.h"
#include "shell/machine_list.h"

namespace keyloom::shell {
namespace {

using text::Cat;

MachineReport ReportOf(const MachineRun& run) {
  MachineReport report;
  report.name = run.name;
  report.reached = run.reached;
  report.reason = run.reason;
  report.hint = run.hint;
  report.undo_folder = run.undo_folder;
  report.summary = SummaryOfRun(run);
  report.exit_code = run.exit_code;
  if (run.output) {
    report.rows = &run.output->rows();
    report.values = &run.output->values();
  }
  return report;
}

// The Machine column's CSV file: each reached machine's hits read afresh on it.
bool WriteFleetCsv(const FleetCommand& command, const std::vector<MachineRun>& runs,
                   std::string* failure) {
  const JobRequest& request = *command.request;
  std::vector<std::unique_ptr<KeyListExportRows>> rows;
  std::vector<files::MachineRows> parts;
  for (const MachineRun& run : runs) {
    if (!run.reached || !run.output) continue;
    rows.push_back(std::make_unique<KeyListExportRows>(run.output->rows()));
    files::MachineRows part;
    part.machine = run.name;
    part.rows = rows.back().get();
    part.context.reader = {command.env->api, {}, {}};
    part.context.settings = files::ChangeSettingsFor(
        request.settings, engine::TargetFor(request.program, request.settings, "\\\\" + run.name));
    parts.push_back(std::move(part));
  }
  return files::WriteMachinesCsvExport(base::PathFromUtf8(command.line->csv_file), parts,
                                       command.env->file_writer,
                                       failure) == files::ExportOutcome::kSaved;
}

}  // namespace

bool WriteWholeFile(const std::string& file, std::string_view bytes,
                    const base::FileReplacement::Writer& writer, std::string* failure) {
  base::FileReplacement out(base::PathFromUtf8(file), writer);
  if (out.Begin() && out.Write(bytes) && out.Commit()) return true;
  *failure = files::FileFailureText(file, out.error());
  return false;
}

JsonRun JsonRunOf(const CommandLine& line, int exit_code) {
  JsonRun run;
  run.find = line.find;
  run.replace = line.replace;
  run.mode = line.delete_hits ? "delete" : line.replace.empty() ? "search" : "replace";
  run.exit_code = exit_code;
  return run;
}

int RunFleetCommand(const FleetCommand& command) {
  const CommandLine& line = *command.line;
  const CommandEnvironment& env = *command.env;
  const bool search_only = command.request->search_only;
  // The report's lines: standard output (unless /summary takes it) and the /log file.
  const auto report = [&](std::string_view text, bool status) {
    if (!line.summary && !(status && line.quiet)) env.out(text);
    if (command.log) command.log(text);
  };
  for (const std::string& status : command.status_lines) report(status, true);

  FleetRequest request;
  request.job = *command.request;
  request.machines = line.machines;
  request.parallel = line.parallel.value_or(kDefaultParallel);
  request.keep_rows = !line.csv_file.empty() || !line.json_file.empty();
  request.keep_values = !line.json_file.empty();
  request.services = env.services;
  request.start_remote_registry = line.start_remote_registry;
  const auto started_at = std::chrono::steady_clock::now();
  const std::vector<MachineRun> runs =
      RunFleet(*env.api, request, env.stop, [&](const MachineRun& run) {
        for (const std::string& status : run.lines) report(Cat({run.name, ": ", status}), true);
        if (!run.reached) {
          report(Cat({run.name, ": ", run.reason}), true);
          if (!run.hint.empty()) report(Cat({run.name, ": ", run.hint}), true);
        }
      });
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_at);

  std::vector<MachineReport> machines;
  for (const MachineRun& run : runs) machines.push_back(ReportOf(run));
  for (const MachineReport& m : machines) report(MachineSummaryLine(m, search_only), false);
  for (const std::string& total : FleetTotalLines(machines, search_only)) report(total, false);
  report(ElapsedLine(elapsed), false);

  // A file that could not be written makes the run's code "some failed" (the JSON file says so
  // too); a run that did not happen keeps its own code.
  int code = WorstExitCode(machines);
  const auto file_failed = [&](const std::string& message) {
    env.err(message);
    if (code != kExitFailure && code != kExitNoRun) code = kExitSomeFailed;
  };
  std::string failure;
  if (!line.csv_file.empty() && !WriteFleetCsv(command, runs, &failure)) {
    file_failed("The CSV file could not be written: " + failure);
  }
  const std::vector<std::string> retry = RetryNames(machines);
  if (!line.retry_file.empty()) {
    const std::string heading =
        Cat({"Keyloom: ", std::to_string(retry.size()), " machines not reached or with failures"});
    if (WriteWholeFile(line.retry_file, MachineListText(retry, heading), env.file_writer,
                       &failure)) {
      report(Cat({"Machines to retry: ", std::to_string(retry.size()), " in ", line.retry_file}),
             false);
    } else {
      file_failed("The retry list could not be written: " + failure);
    }
  }
  if (command.log_failure && !command.log_failure().empty()) {
    file_failed("The log file could not be written: " + line.log_file + " [" +
                command.log_failure() + "]");
  }
  if (!line.json_file.empty() &&
      !WriteWholeFile(line.json_file, JsonReport(JsonRunOf(line, code), machines), env.file_writer,
                      &failure)) {
    file_failed("The JSON file could not be written: " + failure);
  }
  if (line.summary) {
    env.out(OneLineSummary(machines, search_only, true, command.request->settings.undodir));
  }
  if (!line.detect) return code;
  std::int64_t hits = 0;
  bool stopped = false;
  for (const MachineReport& m : machines) {
    hits += m.summary.hits;
    stopped = stopped || m.summary.stopped;
  }
  return DetectExitCode(code, hits > 0, stopped);
}

}  // namespace keyloom::shell
