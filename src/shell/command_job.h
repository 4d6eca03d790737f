// A run started from the command line: the arguments parsed and mapped onto the settings record,
// the run made by RunJob, a report written as it goes, and the exit code that sums it up.
//
// The report is the status log as the window shows it, one line at a time as the run writes it
// (every hit and every change has its line), then a summary: keys examined, hits, changes,
// failures, keys and values that could not be read, and the undo files written with their paths.
// `/quiet` keeps the summary alone. Refusals go to standard error. `/csv` writes the hits
// afterwards as the Key List's CSV export writes them; its file is tried before the run, as the
// `/log` file is, so that a run whose hits cannot be written changes nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_io.h"
#include "engine/pause_gate.h"
#include "engine/run_context.h"
#include "engine/run_io.h"
#include "registry/reg_api.h"
#include "registry/registry.h"
#include "registry/service_control.h"
#include "shell/job_runner.h"
#include "shell/key_list_rows.h"
#include "shell/run_progress.h"

namespace keyloom::shell {

// What a finished command-line run counts.
struct JobSummary {
  bool started = false;
  bool stopped = false;
  std::int64_t keys_examined = 0;
  std::int32_t hits = 0;
  std::int32_t changes = 0;
  std::int32_t failures = 0;           // changes tried and refused
  std::int64_t keys_unreadable = 0;    // keys, roots and machines not opened or not examined
  std::int64_t values_unreadable = 0;  // values that could not be read or examined
  bool csv_failed = false;             // the /csv file could not be written
  bool log_failed = false;             // the /log file could not be written to the end
  std::vector<std::string> undo_files;
};

// 0 hits and every change made; 1 nothing found, or stopped before anything was changed; 2 not
// started; 4 stopped after changes were made; 5 a change failed, a key or a value could not be
// read, or the CSV file or the log file could not be written (also when stopped).
int ExitCodeFor(const JobSummary& summary);

// What a run that started counts, as its summary says it.
JobSummary SummaryOfJob(const JobResult& result);

// The summary's lines.
std::vector<std::string> SummaryLines(const JobSummary& summary, bool search_only);

// The line after them: how long the run took, "Elapsed: 0:12".
std::string ElapsedLine(std::chrono::milliseconds elapsed);

// The run's output as the command line reports it: status lines passed on (unless quiet), the
// hits kept as Key List rows for /csv.
class ReportOutput final : public engine::RunOutput {
 public:
  using LineSink = std::function<void(std::string_view line)>;
  // `console` and `log_file` receive whole lines without their ends; either may be empty. The hits'
  // rows are kept only when `keep_rows` (for /csv): a run without it holds no memory per hit.
  ReportOutput(LineSink console, LineSink log_file, bool quiet, bool keep_rows = true);

  void AddStatusLine(std::string line) override;
  void SetStatusBarText(const std::string&) override;  // one for each key examined
  void AddKeyListEntry(std::string row) override;
  // A hit's row with its details (type, data, where found, result), as the Key List keeps it.
  void AddKeyListHit(std::string row, const engine::HitDetails& details) override;
  void CountChange(bool made) override;
  void HivesLoaded(std::vector<reg::HiveMount> hives) override;
  void ClearLists() override {}
  void RunFinished() override {}
  void RequestQuit() override {}

  // The progress line: written through `write` (text without a line end) on every ShowProgress,
  // and erased before each line the console receives, so that the report's lines are whole. A
  // `changing` run (replace or delete) shows its changes and failures too.
  void ShowProgressWith(LineSink write, bool changing);
  // The keys examined and the hits so far (and the changes), with `elapsed`, over the line last
  // shown.
  void ShowProgress(std::chrono::milliseconds elapsed);
  // Any other work's progress text (the /csv export's) over the line last shown.
  void ShowProgressText(const std::string& text);
  void EraseProgress();

  // Keeps each hit's whole value beside its row (for /json); call before the run.
  void KeepValues() { keep_values_ = true; }

  // The hits as Key List rows; read once the run has ended.
  const KeyListRows& rows() const { return rows_; }
  // With KeepValues, each row's whole value by the row's index (none for a key-name hit); empty
  // otherwise.
  const std::vector<std::optional<reg::RawValue>>& values() const { return values_; }
  // False when a hit's row found no memory: rows() lacks it and every later one.
  bool rows_complete() const { return rows_complete_; }

 private:
  // Keeps a hit's row (and its value); a row that finds no memory ends the keeping.
  void KeepRow(std::string_view row, const engine::HitDetails* details);

  LineSink console_;
  LineSink log_file_;
  bool quiet_;
  bool keep_rows_;
  mutable std::mutex mutex_;
  KeyListRows rows_;
  bool keep_values_ = false;
  std::vector<std::optional<reg::RawValue>> values_;
  bool rows_complete_ = true;
  std::atomic<std::int64_t> keys_{0};
  std::atomic<std::int64_t> hits_{0};
  std::atomic<std::int64_t> changes_{0};
  std::atomic<std::int64_t> failures_{0};
  LineSink progress_write_;
  bool changing_ = false;
  ConsoleProgressLine progress_line_;
};

// What the command line runs with.
struct CommandEnvironment {
  reg::RegApi* api = nullptr;
  engine::PauseGate* gate = nullptr;
  // Its folder holds KEYLOOM.INI, the default undo folder and the debug log.
  engine::ProgramFacts program;
  // Standard output and standard error: UTF-8 text, each call one line without its end.
  std::function<void(std::string_view)> out;
  std::function<void(std::string_view)> err;
  const std::atomic<bool>* stop = nullptr;  // Ctrl+C
  // The progress line: standard error without a line end, and whether it is a console (nullptr:
  // it is not). `/progress` and `/noprogress` override the probe.
  std::function<void(std::string_view)> err_text;
  const StandardErrorProbe* standard_error = nullptr;
  std::chrono::milliseconds progress_interval{500};
  // Writes bytes to the open /log or /csv file; false when they could not all be written. Tests
  // replace it to fill the disk.
  base::FileReplacement::Writer file_writer;
  // The service manager a fleet run may start the Remote Registry service through; may be null.
  reg::ServiceControl* services = nullptr;
};

// Runs the command line `args` (without the program's name) and returns the exit code.
int RunCommandLine(const std::vector<std::string>& args, const CommandEnvironment& env);

}  // namespace keyloom::shell
