#include "shell/run_parts.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "shell/run_settings.h"

namespace keyloom::shell {
namespace {

engine::WalkDeps WalkDepsFor(RunParts& parts, reg::RegApi& api, engine::Globals& globals,
                             engine::RunControls& controls, engine::RunOutput& output,
                             const SettingsStore& settings) {
  engine::WalkDeps walk;
  walk.api = &api;
  walk.globals = &globals;
  walk.controls = &controls;
  walk.output = &output;
  walk.undo = &parts.undo();
  walk.journal = &parts.journal();
  walk.kept_log = &parts.kept_log();
  walk.account = &parts.account();
  const engine::StatusLog& log = parts.status_log();
  walk.log = [&log](const std::string& text, bool debug_only) { log.Write(text, debug_only); };
  walk.debug_file = [&log](const std::string& text) { log.WriteDebugFile(text); };
  walk.settings = [&settings] { return settings.Read(ToRunSettings); };
  walk.change_settings = [&parts] { return parts.CurrentChangeSettings(); };
  return walk;
}

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

RunParts::RunParts(reg::RegApi& api, engine::Globals& globals, engine::RunControls& controls,
                   engine::RunOutput& output, const SettingsStore& settings)
    : globals_(globals),
      settings_(settings),
      debug_log_(globals.program_folder),
      kept_log_(SessionLogPath()),
      status_log_(
          output, debug_log_, [&settings] { return settings.LoggingLevel(); }, globals.silent_mode),
      reader_{&api, [this](const std::string& line) { status_log_.Write(line); },
              [this](const std::string& line) { status_log_.WriteDebugFile(line); }},
      undo_(api, reader_.log, nullptr, reader_.debug_log),
      account_(globals.current_user_name),
      walk_(WalkDepsFor(*this, api, globals, controls, output, settings)),
      walker_(walk_) {
  status_log_.Keep(&kept_log_);
  // A run's end writes the state it left; a machine out of reach then is the journal's error.
  journal_.SetStateReader({&api, {}, reader_.debug_log});
  undo_.SetWrittenObserver([this](const std::string& file) {
    const std::string error = journal_.FileWritten(file);
    if (!error.empty()) status_log_.Write("Unable to write to the run journal [" + error + "]");
  });
}

files::ChangeSettings RunParts::CurrentChangeSettings() const {
  return settings_.Read([this](const Settings& s) { return ToChangeSettings(s, globals_); });
}

}  // namespace keyloom::shell
