#include "shell/run_parts.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace keyloom::shell {
namespace {

// The session's log: a file of its own in the system's temporary folder, named by the moment the
// program started so that two programs running at once keep theirs apart.
std::filesystem::path SessionLogPath() {
  std::error_code error;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) return {};
  const auto started = std::chrono::system_clock::now().time_since_epoch().count();
  return temp / ("KEYLOOM-SESSION-" + std::to_string(started) + ".TXT");
}

}  // namespace

RunParts::RunParts(reg::RegApi& api, const config::SettingsStore& settings,
                   engine::RunControls& controls, engine::RunOutput& output,
                   engine::ProgramFacts program)
    : debug_log_(program.folder),
      kept_log_(SessionLogPath()),
      status_log_(
          output, debug_log_, [&settings] { return settings.LoggingLevel(); }, context_.silent),
      reader_{&api, [this](const std::string& line) { status_log_.Write(line); },
              [this](const std::string& line) { status_log_.WriteDebugFile(line); }},
      undo_(api, reader_.log, nullptr, reader_.debug_log),
      account_(program.user_name),
      walker_(context_) {
  context_.api = &api;
  context_.settings = &settings;
  context_.program = std::move(program);
  context_.controls = &controls;
  context_.output = &output;
  context_.undo = &undo_;
  context_.journal = &journal_;
  context_.kept_log = &kept_log_;
  context_.account = &account_;
  const engine::StatusLog& log = status_log_;
  context_.log = [&log](const std::string& text, bool debug_only) { log.Write(text, debug_only); };
  context_.debug_file = [&log](const std::string& text) { log.WriteDebugFile(text); };
  status_log_.Keep(&kept_log_);
  // A run's end writes the state it left; a machine out of reach then is the journal's error.
  journal_.SetStateReader({&api, {}, reader_.debug_log});
  undo_.SetWrittenObserver([this](const std::string& file) {
    const std::string error = journal_.FileWritten(file);
    if (!error.empty()) status_log_.Write("Unable to write to the run journal [" + error + "]");
  });
}

}  // namespace keyloom::shell
