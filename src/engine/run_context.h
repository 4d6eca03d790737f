// The one context every run and every flow beside a run works with: the registry port, the
// settings record, what the program knows of itself, the computer searched, the undo writer, the
// run journal, the kept status log, the program's account, the window's controls, the run's output
// and the status log. RunParts fills it for the main window and for a run without one (the command
// line, the benchmarks); tests fill their own. A new option of a run is one member of the settings
// record, read here where it matters.
//
// Threads. The program's facts (its folder, the user, 64-bit Windows) are set before the first
// run and never change. The computer searched changes only between runs, on the GUI thread (the
// remote-machine dialog): a run takes it once as it starts (SearchSession::machine) and keeps it to
// its end, and a flow beside a run takes it as the flow starts. The settings are read from the
// store at the moment they matter, so a change saved during a run applies to the rest of it.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>

#include "config/settings.h"
#include "engine/run_io.h"
#include "files/change_settings.h"
#include "files/kept_log.h"
#include "files/run_journal.h"
#include "files/undo_file.h"
#include "registry/permission_repair.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::engine {

// StatusLog(text, debug_only).
using LogFunction = std::function<void(const std::string& text, bool debug_only)>;

// What the program knows of itself, set before the first run.
struct ProgramFacts {
  // The program file's folder with a trailing path separator: KEYLOOM.INI, the default undo folder
  // "UNDO", the hive folder "RegBack" and the debug log files live there.
  std::string folder;
  // Logon name of the user, or "unknown".
  std::string user_name = "unknown";
  // A 32-bit process on 64-bit Windows: the 32/64-bit views exist.
  bool is_64bit_windows = false;
};

// Where a change on `machine` goes: that machine, in the view SCANMETHOD chooses on 64-bit Windows.
inline reg::Target TargetFor(const ProgramFacts& program, const config::Settings& settings,
                             std::string machine) {
  return {std::move(machine), reg::ScanView(program.is_64bit_windows, settings.scanmethod)};
}

struct RunContext {
  RunContext() = default;
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  reg::RegApi* api = nullptr;
  const config::SettingsStore* settings = nullptr;
  ProgramFacts program;
  // AUTOSTART, AUTOCLOSE and AUTOHIDE were all on at start-up: no window, no status log. Decided
  // once, before the first line is written.
  std::atomic<bool> silent{false};

  // The computer searched: "" for the local registry, else "\\" + its name.
  std::string machine;

  RunControls* controls = nullptr;
  RunOutput* output = nullptr;
  files::UndoFile* undo = nullptr;
  // Told of each run's start and end and of every undo file written; may be null.
  files::RunJournal* journal = nullptr;
  // Keeps each run's whole status log beside its undo files; may be null.
  files::KeptLog* kept_log = nullptr;
  reg::ProgramAccount* account = nullptr;
  LogFunction log;
  // Writes a line to the debug log file alone (also in silent mode), at logging level 2.
  std::function<void(const std::string&)> debug_file;

  // The settings record as it is now.
  config::Settings SettingsNow() const { return settings->Snapshot(); }
  // Where a change on `machine_name` goes now.
  reg::Target TargetOn(const std::string& machine_name) const {
    return settings->Read(
        [&](const config::Settings& s) { return TargetFor(program, s, machine_name); });
  }
  reg::Target TargetNow() const { return TargetOn(machine); }
  // What a change on `machine_name` is made with now.
  files::ChangeSettings ChangeSettingsOn(const std::string& machine_name) const {
    const config::Settings now = SettingsNow();
    return files::ChangeSettingsFor(now, TargetFor(program, now, machine_name));
  }
  files::ChangeSettings ChangeSettingsNow() const { return ChangeSettingsOn(machine); }
  // The permission repair of keys on `target`, logging as the status log does.
  reg::PermissionRepairContext RepairOn(const reg::Target& target) const {
    return {api, account, target, [this] { return settings->LoggingLevel(); }, log};
  }
};

}  // namespace keyloom::engine
