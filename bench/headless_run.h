// A whole search or replace run without a window, made by the program's own job runner
// (shell/job_runner.h) over any registry port, with an output that only counts. It
// does what keyloom.exe's unattended run does, minus the window.
#pragma once

#include <cstdint>
#include <string>

#include "engine/match_rules.h"
#include "engine/pause_gate.h"
#include "registry/reg_api.h"
#include "shell/job_runner.h"

namespace keyloom::bench {

struct HeadlessOptions {
  std::string find;
  engine::MatchMode mode = engine::MatchMode::kText;
  // Not empty: a replace run (with `simulate`, nothing is written); empty: a search run.
  std::string replace;
  bool simulate = true;
  int root_choice = 2;  // cmbKeys: 1 to 5 one root (2 HKEY_CURRENT_USER), 0 all
  bool include_values = true;
  bool include_value_names = false;
  bool include_key_names = false;
  // The unattended mode: no status log, no status bar text. Off: every line and the status bar
  // text are counted as a shown run makes them.
  bool silent = true;
  bool is_64bit_windows = false;  // the pass then opens every key in the 32-bit view
  std::string undo_folder;        // where undo files would go (a simulated run writes none)
};

struct HeadlessResult {
  shell::JobResult job;  // started: it ran to its end; seconds: from the click to the worker's end
  std::uint64_t rows = 0;
  std::uint64_t row_bytes = 0;
  std::uint64_t status_lines = 0;
  std::uint64_t status_bar_texts = 0;
};

// Runs to the end. `gate` is the run's pause gate (opened here).
HeadlessResult RunHeadless(reg::RegApi& api, engine::PauseGate& gate,
                           const HeadlessOptions& options);

}  // namespace keyloom::bench
