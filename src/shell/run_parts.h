// The parts every run is made with, wired alike for the main window and for a run without one
// (the command line, the benchmarks): the debug log file, the status log, the undo writer, the
// program's account, the run journal, the walk, and the run context that hands them to the engine
// and to every flow beside a run. The settings are read from the store at the moment a part needs
// them, so a change saved in Options applies to the rest of a run.
#pragma once

#include "config/settings.h"
#include "engine/debug_log.h"
#include "engine/key_walk.h"
#include "engine/run_context.h"
#include "engine/run_io.h"
#include "engine/status_log.h"
#include "files/kept_log.h"
#include "files/registry_snapshot.h"
#include "files/run_journal.h"
#include "files/undo_file.h"
#include "registry/permission_repair.h"
#include "registry/reg_api.h"

namespace keyloom::shell {

class RunParts {
 public:
  // Everything given must outlive the parts.
  RunParts(reg::RegApi& api, const config::SettingsStore& settings, engine::RunControls& controls,
           engine::RunOutput& output, engine::ProgramFacts program);
  RunParts(const RunParts&) = delete;
  RunParts& operator=(const RunParts&) = delete;

  // What runs and the flows beside them take. Its owner may change the computer searched between
  // runs and decide the silent mode once, at start-up.
  engine::RunContext& context() { return context_; }
  const engine::RunContext& context() const { return context_; }
  const engine::StatusLog& status_log() const { return status_log_; }
  files::UndoFile& undo() { return undo_; }
  // What the exports read the registry with: notes go to the status log and the debug log file.
  const files::RegistryReader& reader() const { return reader_; }
  // Which undo files each run wrote.
  files::RunJournal& journal() { return journal_; }
  // The status log kept whole on disk: each run's file and this session's.
  files::KeptLog& kept_log() { return kept_log_; }
  engine::RegistryWalker& walker() { return walker_; }

 private:
  engine::RunContext context_;
  engine::DebugLog debug_log_;
  files::KeptLog kept_log_;
  engine::StatusLog status_log_;
  files::RegistryReader reader_;
  files::UndoFile undo_;
  files::RunJournal journal_;
  reg::ProgramAccount account_;
  engine::RegistryWalker walker_;
};

}  // namespace keyloom::shell
