// One whole run without a window: the real RunController, SearchEngine and RegistryWalker, wired as
// the main window wires them (the settings record and the status log included), over any registry
// port. The command line runs its jobs through it, and so do the benchmarks.
//
// How it works. RunJob builds the run's parts on its own stack, presses the Search or the Replace
// button of a RunController and waits for the worker's RunFinished. Everything the run shows goes
// to the caller's RunOutput (from the worker thread). A stop flag raised meanwhile (Ctrl+C) makes
// the worker stop at its next pause point, as the window's Reset does: the summary lines are still
// written, and undo files stay complete because each record is written before its change.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/item_filter.h"
#include "engine/pause_gate.h"
#include "engine/run_context.h"
#include "engine/run_io.h"
#include "registry/reg_api.h"
#include "shell/settings.h"

namespace keyloom::shell {

struct JobRequest {
  Settings settings;
  WindowSettings window;  // the search request as the window's controls hold it
  // Where the run starts; empty: the roots `window.searchkey` chooses.
  std::vector<engine::StartPoint> starts;
  // With the profiles choice (`window.searchkey`): the Default profile too.
  bool default_profile = false;
  bool search_only = true;
  engine::ProgramFacts program;  // its folder is the debug log's
  std::string machine;           // "" or "\\" + a computer's name
  // The only items the run may change (the hits are listed as usual); none: every hit.
  std::optional<std::vector<engine::OnlyItem>> only;
  // The unattended mode of the settings file: no status log, no progress.
  bool silent = false;
};

struct JobResult {
  // False when the request was refused before a worker started; `refusal` says why.
  bool started = false;
  std::vector<std::string> refusal;
  bool stopped = false;  // the stop flag ended it early
  std::int32_t matched = 0;
  std::int32_t changed = 0;
  std::int32_t failed = 0;
  std::int32_t unreadable = 0;          // keys, roots and machines the run could not open
  std::int32_t unreadable_values = 0;   // values the run could not read or examine
  std::int64_t keys_examined = 0;       // start keys included
  std::vector<std::string> undo_files;  // the undo files the run wrote, in order
  double seconds = 0;                   // from the button press to the worker's end
};

// Runs the request to its end, or until `*stop` turns true. `gate` is the run's pause gate (opened
// here). `output` must be thread-safe.
JobResult RunJob(reg::RegApi& api, engine::PauseGate& gate, const JobRequest& request,
                 engine::RunOutput& output, const std::atomic<bool>* stop = nullptr);

}  // namespace keyloom::shell
