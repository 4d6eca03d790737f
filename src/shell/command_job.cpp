#include "shell/command_job.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/utf8_path.h"
#include "files/change_settings.h"
#include "files/list_export.h"
#include "files/undo_file.h"
#include "shell/command_line.h"
#include "shell/exit_codes.h"
#include "shell/fleet_job.h"
#include "shell/fleet_report.h"
#include "shell/job_runner.h"
#include "shell/key_list_export_rows.h"
#include "shell/progress_ticker.h"
#include "shell/settings.h"

namespace keyloom::shell {
namespace {

// The /log file: each line appended as the run writes it. The first line that cannot be written
// whole ends the file at the line before: nothing more goes to it, the summary included, so a log
// cut short never looks complete. The failure is kept for the report at the run's end.
class LogFile {
 public:
  LogFile(std::string name, std::FILE* file, base::FileReplacement::Writer writer)
      : name_(std::move(name)), file_(file), writer_(std::move(writer)) {
    std::fseek(file_, 0, SEEK_END);
    const long at = std::ftell(file_);
    whole_size_ = at > 0 ? static_cast<std::uintmax_t>(at) : 0;
  }
  ~LogFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Line(std::string_view text) {
    if (file_ == nullptr) return;
    std::string bytes(text);
    bytes += "\r\n";
    base::ClearFileError();
    bool ok = false;
    try {
      ok = writer_ ? writer_(file_, bytes)
                   : std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
      ok = ok && std::fflush(file_) == 0;
    } catch (...) {
      ok = false;
    }
    if (ok) {
      whole_size_ += bytes.size();
      return;
    }
    failure_ = base::LastFileErrorText();
    std::fclose(file_);
    file_ = nullptr;
    std::error_code ec;  // the part of a line that went is cut off again
    std::filesystem::resize_file(base::PathFromUtf8(name_), whole_size_, ec);
  }

  // "" while every line was written, else the system's reason.
  const std::string& failure() const { return failure_; }

 private:
  std::string name_;
  std::FILE* file_;
  base::FileReplacement::Writer writer_;
  std::uintmax_t whole_size_ = 0;
  std::string failure_;
};

// The hits as the Key List's CSV export writes them, each value read afresh in the run's view.
struct CsvExport {
  reg::RegApi& api;
  const JobRequest& request;
  ReportOutput& report;
  const std::string& file;
  const base::FileReplacement::Writer& writer;
  // How often the progress line shows the rows written; none: no progress line.
  std::optional<std::chrono::milliseconds> progress_interval;
};

bool WriteHitsAsCsv(const CsvExport& csv) {
  reg::RegApi& api = csv.api;
  const JobRequest& request = csv.request;
  ReportOutput& report = csv.report;
  const auto log = [&report](const std::string& line) { report.AddStatusLine(line); };
  files::ExportContext context;
  context.reader = {&api, log, {}};
  context.log = log;
  context.settings = files::ChangeSettingsFor(
      request.settings, engine::TargetFor(request.program, request.settings, request.machine));
  context.writer = csv.writer;
  context.hives = report.rows().hives();
  const KeyListExportRows rows(report.rows());
  files::ExportProgress progress;
  std::optional<ProgressTicker> ticker;
  if (csv.progress_interval) {
    const auto started_at = std::chrono::steady_clock::now();
    const auto total = static_cast<std::int64_t>(rows.size());
    ticker.emplace(*csv.progress_interval, [&report, &progress, started_at, total] {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - started_at);
      const auto done = static_cast<std::int64_t>(progress.rows_done.load());
      report.ShowProgressText(CountedProgressText("Rows", done, total, elapsed));
    });
  }
  const files::ExportOutcome outcome =
      files::WriteCsvExport(base::PathFromUtf8(csv.file), rows, context, &progress);
  if (ticker) ticker->Stop();
  report.EraseProgress();
  return outcome == files::ExportOutcome::kSaved;
}

// Whether a file can be written at `path` the way the export writes it: a temporary file beside it,
// renamed over it. Tried by making that temporary file and removing it again; an existing file
// must be one that may be replaced. Nothing at `path` changes.
bool CanWriteFile(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::exists(path, error) && !base::CanReplaceFile(path)) return false;
  base::FileReplacement probe(path);
  if (!probe.Begin()) return false;
  probe.Abandon();
  return true;
}

// What answers for standard error when the environment names no probe: not a console.
const StandardErrorProbe& ConsoleOr(const StandardErrorProbe* probe) {
  struct NotConsole final : StandardErrorProbe {
    bool IsConsole() const override { return false; }
  };
  static const NotConsole not_console;
  return probe != nullptr ? *probe : not_console;
}

// The single run's summary on standard output (or its one line), its JSON file, and its exit code.
int FinishSingleRun(const CommandLine& line, const JobRequest& request,
                    const CommandEnvironment& env, const ReportOutput& report, JobSummary& summary,
                    std::chrono::milliseconds run_time) {
  if (!line.summary) {
    for (const std::string& text : SummaryLines(summary, request.search_only)) env.out(text);
    env.out(ElapsedLine(run_time));
  }
  MachineReport machine;
  machine.name = line.machine;
  if (machine.name.empty() && env.api->ComputerName(&machine.name) != reg::kSuccess) {
    machine.name = "localhost";
  }
  machine.undo_folder = request.search_only ? "" : request.settings.undodir;
  machine.summary = summary;
  machine.exit_code = ExitCodeFor(summary);
  machine.rows = &report.rows();
  machine.values = &report.values();
  std::string failure;
  if (!line.json_file.empty() &&
      !WriteWholeFile(line.json_file, JsonReport(JsonRunOf(line, machine.exit_code), {machine}),
                      env.file_writer, &failure)) {
    summary.csv_failed = true;  // an output file that is not complete
    env.err("The JSON file could not be written: " + failure);
    machine.exit_code = ExitCodeFor(summary);
    machine.summary = summary;
  }
  if (line.summary) {
    env.out(OneLineSummary({machine}, request.search_only, false, request.settings.undodir));
  }
  if (!line.detect) return machine.exit_code;
  return DetectExitCode(machine.exit_code, summary.hits > 0, summary.stopped);
}

}  // namespace

std::string ElapsedLine(std::chrono::milliseconds elapsed) {
  return "Elapsed: " + ElapsedText(elapsed);
}

JobSummary SummaryOfJob(const JobResult& result) {
  JobSummary summary;
  summary.started = result.started;
  summary.stopped = result.stopped;
  summary.keys_examined = result.keys_examined;
  summary.hits = result.matched;
  summary.changes = result.changed;
  summary.failures = result.failed;
  summary.keys_unreadable = result.unreadable;
  summary.values_unreadable = result.unreadable_values;
  summary.undo_files = result.undo_files;
  return summary;
}

int ExitCodeFor(const JobSummary& summary) {
  if (!summary.started) return kExitNoRun;
  if (summary.failures > 0 || summary.keys_unreadable > 0 || summary.values_unreadable > 0 ||
      summary.csv_failed || summary.log_failed) {
    return kExitSomeFailed;
  }
  if (summary.stopped) return summary.changes > 0 ? kExitStopped : kExitNothingFound;
  return summary.hits > 0 ? kExitOk : kExitNothingFound;
}

std::vector<std::string> SummaryLines(const JobSummary& summary, bool search_only) {
  std::vector<std::string> lines;
  if (summary.stopped) lines.push_back("Stopped before the end.");
  lines.push_back("Keys examined: " + std::to_string(summary.keys_examined));
  lines.push_back("Hits: " + std::to_string(summary.hits));
  if (!search_only) {
    lines.push_back("Changes: " + std::to_string(summary.changes));
    lines.push_back("Failed changes: " + std::to_string(summary.failures));
  }
  lines.push_back("Keys not read: " + std::to_string(summary.keys_unreadable));
  lines.push_back("Values not read: " + std::to_string(summary.values_unreadable));
  if (!search_only) {
    lines.push_back("Undo files written: " + std::to_string(summary.undo_files.size()));
    for (const std::string& file : summary.undo_files) lines.push_back("  " + file);
  }
  return lines;
}

ReportOutput::ReportOutput(LineSink console, LineSink log_file, bool quiet, bool keep_rows)
    : console_(std::move(console)),
      log_file_(std::move(log_file)),
      quiet_(quiet),
      keep_rows_(keep_rows) {}

void ReportOutput::AddStatusLine(std::string line) {
  std::lock_guard lock(mutex_);
  if (console_ && !quiet_) {
    if (progress_write_) progress_write_(progress_line_.Erase());
    console_(line);
  }
  if (log_file_) log_file_(line);
}

void ReportOutput::SetStatusBarText(const std::string&) {
  keys_.fetch_add(1, std::memory_order_relaxed);
}

void ReportOutput::ShowProgressWith(LineSink write, bool changing) {
  std::lock_guard lock(mutex_);
  progress_write_ = std::move(write);
  changing_ = changing;
}

void ReportOutput::ShowProgress(std::chrono::milliseconds elapsed) {
  ProgressCounts counts;
  counts.keys = keys_.load(std::memory_order_relaxed);
  counts.hits = hits_.load(std::memory_order_relaxed);
  counts.changes = changes_.load(std::memory_order_relaxed);
  counts.failures = failures_.load(std::memory_order_relaxed);
  std::lock_guard lock(mutex_);
  counts.changing = changing_;
  if (progress_write_) progress_write_(progress_line_.Show(ProgressText(counts, elapsed)));
}

void ReportOutput::ShowProgressText(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (progress_write_) progress_write_(progress_line_.Show(text));
}

void ReportOutput::CountChange(bool made) {
  (made ? changes_ : failures_).fetch_add(1, std::memory_order_relaxed);
}

void ReportOutput::EraseProgress() {
  std::lock_guard lock(mutex_);
  if (progress_write_) progress_write_(progress_line_.Erase());
}

void ReportOutput::AddKeyListEntry(std::string row) {
  hits_.fetch_add(1, std::memory_order_relaxed);
  if (!keep_rows_) return;
  std::lock_guard lock(mutex_);
  if (rows_complete_) KeepRow(row, nullptr);
}

void ReportOutput::AddKeyListHit(std::string row, const engine::HitDetails& details) {
  hits_.fetch_add(1, std::memory_order_relaxed);
  if (!keep_rows_) return;
  std::lock_guard lock(mutex_);
  if (rows_complete_) KeepRow(row, &details);
}

void ReportOutput::HivesLoaded(std::vector<reg::HiveMount> hives) {
  std::lock_guard lock(mutex_);
  rows_.AddHives(hives);
}

void ReportOutput::KeepRow(std::string_view row, const engine::HitDetails* details) {
  try {
    if (keep_values_) values_.push_back(details != nullptr ? details->value : std::nullopt);
  } catch (const std::bad_alloc&) {
    rows_complete_ = false;
    return;
  }
  rows_complete_ = details != nullptr ? rows_.Append(row, *details) : rows_.Append(row);
  if (!rows_complete_ && keep_values_) values_.pop_back();
}

int RunCommandLine(const std::vector<std::string>& args, const CommandEnvironment& env) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.line) {
    env.err(parsed.error);
    return kExitNoRun;
  }
  const CommandLine& line = *parsed.line;
  if (line.help) {
    env.out(UsageText());
    return kExitOk;
  }

  std::error_code error;
  if (!line.ini_file.empty() &&
      !std::filesystem::is_regular_file(base::PathFromUtf8(line.ini_file), error)) {
    env.err("Settings file not found: " + line.ini_file);
    return kExitNoRun;
  }
  LoadedSettings loaded = line.ini_file.empty()
                              ? LoadSettings(env.program.folder)
                              : LoadSettingsFile(line.ini_file, env.program.folder);
  JobRequest request;
  request.settings = loaded.settings;
  request.window = loaded.window;
  ApplyCommandLine(line, request.settings, request.window);
  request.starts = line.roots;
  request.default_profile = line.default_profile;
  request.search_only = line.SearchOnly();
  request.only = line.only;
  request.program = env.program;
  if (!line.machine.empty()) request.machine = "\\\\" + line.machine;

  const bool writes_undo = !request.search_only && !request.settings.simulate &&
                           RunUndoStateOf(request.settings.undo) != RunUndoState::kNone;
  if (!line.undo_folder.empty()) {
    std::vector<std::string> problems;
    request.settings.undodir = PrepareUndoFolder(line.undo_folder, problems);
    loaded.status_lines.insert(loaded.status_lines.end(), problems.begin(), problems.end());
  }
  if (writes_undo &&
      !std::filesystem::is_directory(base::PathFromUtf8(request.settings.undodir), error)) {
    env.err("The undo folder cannot be used: " + request.settings.undodir);
    return kExitNoRun;
  }

  std::unique_ptr<LogFile> log_file;
  if (!line.log_file.empty()) {
    std::FILE* file = base::OpenFile(base::PathFromUtf8(line.log_file), "ab");
    if (file == nullptr) {
      env.err("The log file cannot be written: " + line.log_file);
      return kExitNoRun;
    }
    log_file = std::make_unique<LogFile>(line.log_file, file, env.file_writer);
  }
  for (const auto& [file, what] :
       {std::pair{&line.csv_file, "CSV file"}, std::pair{&line.json_file, "JSON file"},
        std::pair{&line.retry_file, "retry list"}}) {
    if (!file->empty() && !CanWriteFile(base::PathFromUtf8(*file))) {
      env.err(std::string("The ") + what + " cannot be written: " + *file);
      return kExitNoRun;
    }
  }
  ReportOutput::LineSink to_log;
  if (log_file) to_log = [file = log_file.get()](std::string_view text) { file->Line(text); };
  if (request.settings.simulate) {
    loaded.status_lines.push_back(
        "** SIMULATE ENABLED, NO CHANGES WILL BE MADE TO YOUR REGISTRY **");
  }
  if (!line.machines.empty()) {
    FleetCommand fleet;
    fleet.line = &line;
    fleet.request = &request;
    fleet.env = &env;
    fleet.log = to_log;
    fleet.log_failure = [file = log_file.get()] { return file ? file->failure() : std::string(); };
    fleet.status_lines = loaded.status_lines;
    return RunFleetCommand(fleet);
  }
  ReportOutput report(line.summary ? ReportOutput::LineSink() : env.out, to_log, line.quiet,
                      !line.csv_file.empty() || !line.json_file.empty());
  if (!line.json_file.empty()) report.KeepValues();
  for (const std::string& status : loaded.status_lines) report.AddStatusLine(status);

  const auto started_at = std::chrono::steady_clock::now();
  const auto elapsed = [started_at] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started_at);
  };
  std::optional<ProgressTicker> ticker;
  if (env.err_text && ShowsProgressLine(line.progress, ConsoleOr(env.standard_error))) {
    report.ShowProgressWith(env.err_text, !request.search_only);
    ticker.emplace(env.progress_interval, [&report, &elapsed] { report.ShowProgress(elapsed()); });
  }
  const bool shows_progress = ticker.has_value();
  const JobResult result = RunJob(*env.api, *env.gate, request, report, env.stop);
  const std::chrono::milliseconds run_time = elapsed();
  if (ticker) ticker->Stop();
  ticker.reset();
  report.EraseProgress();
  if (!result.started) {
    for (const std::string& reason : result.refusal) env.err(reason);
    return kExitNoRun;
  }
  JobSummary summary = SummaryOfJob(result);
  if (!line.csv_file.empty() && !report.rows_complete()) {
    summary.csv_failed = true;
    env.err("The hits do not fit in memory; the CSV file is not written: " + line.csv_file);
  } else if (!line.csv_file.empty()) {
    CsvExport csv{*env.api, request, report, line.csv_file, env.file_writer, std::nullopt};
    if (shows_progress) csv.progress_interval = env.progress_interval;
    summary.csv_failed = !WriteHitsAsCsv(csv);
    if (summary.csv_failed) env.err("The CSV file could not be written: " + line.csv_file);
  }
  if (log_file && log_file->failure().empty()) {
    // The summary completes the log; counted before it is written, so that a log that cannot
    // take it is reported too.
    for (const std::string& text : SummaryLines(summary, request.search_only)) log_file->Line(text);
    log_file->Line(ElapsedLine(run_time));
  }
  if (log_file && !log_file->failure().empty()) {
    summary.log_failed = true;
    env.err("The log file could not be written: " + line.log_file + " [" + log_file->failure() +
            "]");
  }
  return FinishSingleRun(line, request, env, report, summary, run_time);
}

}  // namespace keyloom::shell
