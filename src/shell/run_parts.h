// The parts every run is made with, wired alike for the main window and for a run without one
// (the command line, the benchmarks): the debug log file, the status log, the undo writer, the
// program's account, the run journal and the walk with its dependencies. The settings are read from
// the store at the moment a part needs them, so a change saved in Options applies to the rest of a
// run.
#pragma once

#include "engine/debug_log.h"
#include "engine/globals.h"
#include "engine/key_walk.h"
#include "engine/run_io.h"
#include "engine/status_log.h"
#include "files/kept_log.h"
#include "files/registry_snapshot.h"
#include "files/run_journal.h"
#include "files/undo_file.h"
#include "registry/permission_repair.h"
#include "registry/reg_api.h"
#include "shell/settings.h"

namespace keyloom::shell {

class RunParts {
 public:
  // Everything given must outlive the parts. `globals.program_folder` and
  // `globals.current_user_name` are read here, once.
  RunParts(reg::RegApi& api, engine::Globals& globals, engine::RunControls& controls,
           engine::RunOutput& output, const SettingsStore& settings);
  RunParts(const RunParts&) = delete;
  RunParts& operator=(const RunParts&) = delete;

  const engine::StatusLog& status_log() const { return status_log_; }
  files::UndoFile& undo() { return undo_; }
  // What the exports read the registry with: notes go to the status log and the debug log file.
  const files::RegistryReader& reader() const { return reader_; }
  // Which undo files each run wrote.
  files::RunJournal& journal() { return journal_; }
  // The status log kept whole on disk: each run's file and this session's.
  files::KeptLog& kept_log() { return kept_log_; }
  reg::ProgramAccount& account() { return account_; }
  // The walk's dependencies, its log writing to the status log.
  const engine::WalkDeps& walk() const { return walk_; }
  engine::RegistryWalker& walker() { return walker_; }
  // What one registry change is made with now.
  files::ChangeSettings CurrentChangeSettings() const;

 private:
  engine::Globals& globals_;
  const SettingsStore& settings_;
  engine::DebugLog debug_log_;
  files::KeptLog kept_log_;
  engine::StatusLog status_log_;
  files::RegistryReader reader_;
  files::UndoFile undo_;
  files::RunJournal journal_;
  reg::ProgramAccount account_;
  engine::WalkDeps walk_;
  engine::RegistryWalker walker_;
};

}  // namespace keyloom::shell
