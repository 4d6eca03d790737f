// Taking back a whole run: its undo files merged newest first by the program's own importer, on
// the run's machine (the journal's, not the one searched now), in the view the 64-bit registry
// editor merges them in (the 64-bit view on 64-bit Windows, where Wow6432Node paths reach the
// 32-bit view; no view flag on 32-bit Windows).
//
// Before anything is merged, the present state of every key and value the files name is written
// to an undo file of its own (a run of the journal), so the taking back can itself be taken back;
// when that record cannot be written, nothing is merged. Each file gives a result line, the end a
// summary, and the run is marked undone in the journal. Nothing is merged before the user says
// yes to "Take back the run of <time>: N files, M items?"; a run taken back already is taken back
// again only when the user says so.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "edit/run_undo_order.h"
#include "engine/run_context.h"
#include "files/run_journal.h"

namespace keyloom::edit {

// What the flow asks and tells; the dialog implements it, tests script it.
class RunUndoUi {
 public:
  virtual ~RunUndoUi() = default;
  // A Yes/No question; true for Yes.
  virtual bool Confirm(const std::string& question) = 0;
  // One result line.
  virtual void Show(const std::string& line) = 0;
};

// The journal's notes on the run, then the keys and values its files name, newest file first,
// one line each:
// "HKEY_CURRENT_USER\Software\X", "  \"v\"" (a value set), "  \"v\" removed",
// "HKEY_CURRENT_USER\Software\Y removed", and a line for a file that cannot be read or parsed.
// Files are read only until `max_lines` are filled; a last line tells how many files are left.
std::vector<std::string> RunRestoreLines(const files::JournalRun& run,
                                         std::size_t max_lines = 2000);

// The run as the list shows it: date, "find -> replace", machine, view, files, undone; a run
// left without files (the journal named them under it, but other runs wrote them) adds its note.
std::string RunSummary(const files::JournalRun& run);

// What a take-back merges: the runs, newest first (the chosen one last), and their files read.
struct TakeBackPlan {
  std::vector<files::JournalRun> runs;
  std::vector<std::vector<ParsedRunFile>> files;  // each run's, newest first
  std::size_t file_count = 0;
  std::vector<std::string> changed;  // items changed since by anything else
  // For each run whose changes since cannot be told exactly: a line saying so.
  std::vector<std::string> unsure;
  std::string question;              // what the user is asked before anything is merged
  std::string nothing;               // with no runs: why there is nothing to take back
};

struct TakeBackProgress {
  std::size_t files = 0;  // merged so far
  std::size_t total_files = 0;
  std::size_t records = 0;  // merged whole so far
};

// Where a take-back that may run on a worker thread reports; the implementation decides which
// thread shows the lines.
class TakeBackSink {
 public:
  virtual ~TakeBackSink() = default;
  virtual void Show(const std::string& line) = 0;
  virtual void Progress(const TakeBackProgress& progress) = 0;
  // Asked before each file: true ends the take-back there (the files merged are named).
  virtual bool StopRequested() = 0;
};

// A run taken back already is taken back again only when the user says so.
bool AskAgainIfUndone(const files::JournalRun& run, RunUndoUi& ui);
// Reads the files of runs[chosen] and of the later runs to take back first, and finds the items
// changed since; asks nothing, so it may run on a worker. An empty plan when there is nothing.
TakeBackPlan PrepareTakeBack(const std::vector<files::JournalRun>& runs, std::size_t chosen,
                             const engine::RunContext& context);
// Shows the items changed since and asks the plan's question (the later runs to take back first,
// or "Take back the run of <time>: N files, M items?"); true when merging may start.
bool ConfirmTakeBack(const TakeBackPlan& plan, const engine::RunContext& context, RunUndoUi& ui);
// The three on this thread. Nothing when the answer is No or nothing is to be done.
std::optional<TakeBackPlan> PlanTakeBack(const std::vector<files::JournalRun>& runs,
                                         std::size_t chosen, const engine::RunContext& context,
                                         RunUndoUi& ui);

// Merges the plan's runs newest first; any thread. A run that is not taken back whole (a failure
// or a stop) ends the take-back there, so no older run is merged under it. True when every run
// was taken back whole.
bool ExecuteTakeBack(const TakeBackPlan& plan, const engine::RunContext& context,
                     TakeBackSink& sink);

// PlanTakeBack, then ExecuteTakeBack on this thread: takes back runs[chosen] of `runs` (newest
// first, as RunJournal::Runs lists them; see the top of this file). Later runs not taken back that
// changed the same items are offered to be taken back first, newest first (see run_undo_order.h);
// No takes back nothing. Values changed since by anything else are listed before the question. True
// when every run was taken back whole.
bool UndoRun(const std::vector<files::JournalRun>& runs, std::size_t chosen,
             const engine::RunContext& context, RunUndoUi& ui);

}  // namespace keyloom::edit
