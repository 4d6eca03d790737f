// What a run reports beside its status lines, for one machine or a fleet: each machine's summary
// line and the totals, the exit code over all machines, the one-line summary of `/summary`, the
// JSON document of `/json` and the list of `/retry`.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry.h"
#include "shell/command_job.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

// One machine's part of a report.
struct MachineReport {
  std::string name;  // the computer's name, without "\\"
  bool reached = true;
  std::string reason;  // why it was not reached, or not run
  std::string hint;
  std::string undo_folder;  // "" when it got none
  JobSummary summary;
  int exit_code = 0;
  const KeyListRows* rows = nullptr;  // its hits, when they were kept
  // Each hit's whole value by its row's index, when they were kept.
  const std::vector<std::optional<reg::RawValue>>* values = nullptr;
};

// The exit codes from best to worst: a fleet ends with the worst of its machines' codes.
inline constexpr int kExitOrder[] = {1, 0, 4, 5, 2, 3};
int WorstExitCode(const std::vector<MachineReport>& machines);

// The exit code as `/detect` answers "is the text there?": 1 when it was found, 0 when not; a run
// stopped before it found anything cannot say, and ends with 4; every other code stays.
int DetectExitCode(int code, bool found, bool stopped);

// "SRV01: reached; hits 3, changes 3, failed 0, not read 0, undo files 1 in C:\UNDO\SRV01\"
// or "SRV02: not reached; Remote Registry Error: [...]" and the hint.
std::string MachineSummaryLine(const MachineReport& machine, bool search_only);

// The fleet's totals: machines reached and not, hits, changes, failures, undo files.
std::vector<std::string> FleetTotalLines(const std::vector<MachineReport>& machines,
                                         bool search_only);

inline constexpr std::size_t kSummaryLineLimit = 2048;

// One line of at most kSummaryLineLimit characters: the hits, changes, failures and the undo
// folder; for a fleet the machines' totals first, then the machines not reached and those with
// failures, as many as fit ("... and 12 more").
std::string OneLineSummary(const std::vector<MachineReport>& machines, bool search_only, bool fleet,
                           std::string_view undo_folder);

// The machines not reached, or with failures, or not run: the next run's list.
std::vector<std::string> RetryNames(const std::vector<MachineReport>& machines);

// The run as a JSON document: the texts of the run, one object a machine with its counts, undo
// files and hits (root, key, value name, type, data, where found, result, user), and the totals.
// With the machine's values kept, a hit's data is whole: a string as its text, a multi-string as
// an array of strings, a number as a number, other kinds as hexadecimal byte pairs, null for a
// key name; without them, the data as the Key List shows it.
struct JsonRun {
  std::string find;
  std::string replace;
  std::string mode;  // "search", "replace" or "delete"
  int exit_code = 0;
};
std::string JsonReport(const JsonRun& run, const std::vector<MachineReport>& machines);

}  // namespace keyloom::shell
