#include "edit/run_undo.h"

#include <algorithm>
#include <optional>
#include <set>

#include <memory>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "edit/run_undo_order.h"
#include "files/reg_file_format.h"
#include "files/reg_file_import.h"
#include "registry/mounted_hives.h"
#include "registry/registry.h"

namespace keyloom::edit {
namespace {

using text::Cat;

std::string FileName(const std::string& path) {
  return base::PathToUtf8(base::PathFromUtf8(path).filename());
}

std::string Quoted(const std::string& name) {
  return name.empty() ? std::string(reg::kDefaultValueName) : Cat({"\"", name, "\""});
}

// The view the 64-bit registry editor merges in: the 64-bit one on 64-bit Windows, where
// Wow6432Node paths reach the 32-bit view.
reg::RegView MergeView(const engine::RunContext& context) {
  return context.program.is_64bit_windows ? reg::RegView::k64 : reg::RegView::kNone;
}

// The users' hives `run` loaded, loaded again by the same names for the life of the result, so
// that its records reach the keys they name. Null, with `*error` set, when one cannot be: then
// nothing of the run may be merged (its records would make keys of those names instead).
std::unique_ptr<reg::MountedHives> LoadRunHives(const files::JournalRun& run,
                                                const engine::RunContext& context,
                                                std::string* error) {
  auto hives = std::make_unique<reg::MountedHives>(*context.api);
  for (const reg::HiveMount& hive : run.info.hives) {
    const reg::ErrorCode rc = hives->Load(hive);
    if (rc == reg::kSuccess) continue;
    *error = reg::LoadFailureLine(*context.api, hive, rc);
    return nullptr;
  }
  return hives;
}

// Writes the present state of every key and value the records name to the undo writer's current
// file; "" or why a record could not be written.
class StateRecorder {
 public:
  StateRecorder(const engine::RunContext& context, const std::string& machine)
      : context_(context), settings_(context.ChangeSettingsOn(machine)) {
    settings_.separate_undo_files = false;       // one file takes the whole undoing back
    settings_.target.view = MergeView(context);  // paths are taken as the files name them
  }

  std::string Record(const files::RegRecord& record) {
    reg::TRegistry reg(*context_.api);
    reg.SetRootKey(record.root->handle);
    reg.SetView(settings_.target.view);
    if (!settings_.target.machine.empty() && !reg.RegistryConnect(settings_.target.machine)) {
      return Cat(
          {"Unable to connect to ", settings_.target.machine, " [", reg.LastErrorText(), "]"});
    }
    const std::string path = Cat({"\\", record.path});
    if (record.remove_key) {
      return reg.KeyExists(path) ? Write(record, "", false, files::RecordPhase::kBefore) : "";
    }
    // A key the merge creates goes again with the highest of its ancestors that it creates.
    std::string missing;
    std::string prefix;
    std::size_t start = 0;
    while (start <= record.path.size() && !record.path.empty()) {
      const auto end = record.path.find('\\', start);
      prefix = record.path.substr(0, end);
      if (!reg.KeyExists(Cat({"\\", prefix}))) {
        missing = prefix;
        break;
      }
      if (end == std::string::npos) break;
      start = end + 1;
    }
    if (!missing.empty()) {
      files::RegRecord top = record;
      top.path = missing;
      return Write(top, "", false, files::RecordPhase::kAfter);
    }
    reg.SetAccess(reg::access::kQueryValue);
    if (!record.path.empty() && !reg.OpenKey(path)) {
      return Cat({"Unable to open key [", record.KeyName(), "] [", reg.LastErrorText(), "]"});
    }
    for (const auto& entry : record.values) {
      const bool exists = reg.ValueExists(entry.name);
      const std::string error =
          Write(record, entry.name, true,
                exists ? files::RecordPhase::kBefore : files::RecordPhase::kAfter);
      if (!error.empty()) return error;
    }
    return "";
  }

 private:
  std::string Write(const files::RegRecord& record, const std::string& value, bool is_value,
                    files::RecordPhase phase) {
    files::UndoRequest request;
    request.root = record.root->handle;
    request.key_path = Cat({"\\", record.path});
    request.value_name = value;
    request.unnamed_value = is_value && value.empty();
    request.phase = phase;
    request.kind = files::RecordKind::kRename;
    request.machine_name = settings_.target.machine;
    return context_.undo->Record(request, settings_);
  }

  const engine::RunContext& context_;
  files::ChangeSettings settings_;
};

}  // namespace

std::vector<std::string> RunRestoreLines(const files::JournalRun& run, std::size_t max_lines) {
  std::vector<std::string> lines = run.notes;
  for (auto it = run.files.rbegin(); it != run.files.rend(); ++it) {
    if (lines.size() >= max_lines) {
      const auto rest = static_cast<std::size_t>(run.files.rend() - it);
      lines.push_back(
          Cat({"(and what ", std::to_string(rest), rest == 1 ? " more file" : " more files",
               " restore: read when the run is taken back)"}));
      break;
    }
    const auto file = ParseRunFile(*it);
    for (const auto& record : file.records) {
      if (record.remove_key) {
        lines.push_back(Cat({record.KeyName(), " removed"}));
        continue;
      }
      lines.push_back(record.KeyName());
      for (const auto& entry : record.values) {
        lines.push_back(Cat({"  ", Quoted(entry.name), entry.remove ? " removed" : ""}));
      }
    }
    if (!file.error.empty()) lines.push_back(Cat({FileName(file.path), ": ", file.error}));
  }
  return lines;
}

std::string RunSummary(const files::JournalRun& run) {
  std::string text = run.info.date;
  if (run.single_file) {
    text += Cat({"   ", FileName(run.files.front())});
  } else {
    text += Cat({"   ", run.info.find, " -> ", run.info.replace});
  }
  text += Cat({"   ", run.info.machine.empty() ? "(local)" : run.info.machine});
  if (!run.info.view.empty()) text += Cat({"   ", run.info.view});
  const auto count = run.files.size();
  text += Cat({"   ", std::to_string(count), count == 1 ? " file" : " files"});
  if (!run.undone.empty()) text += Cat({"   undone ", run.undone});
  // A run whose files all turned out to be other runs' says why it has none.
  if (run.files.empty() && !run.notes.empty()) text += Cat({"   (", run.notes.front(), ")"});
  return text;
}

namespace {

// Which files of `parsed` (newest first) are merged: "UNDO-...-009.REG to UNDO-...-005.REG".
std::string FileSpan(const std::vector<ParsedRunFile>& parsed, std::size_t from, std::size_t to) {
  if (from + 1 == to) return FileName(parsed[from].path);
  return Cat({FileName(parsed[from].path), " to ", FileName(parsed[to - 1].path)});
}

enum class Outcome { kWhole, kFailed, kStopped };

Outcome RecordAndMerge(const files::JournalRun& run, const std::vector<ParsedRunFile>& parsed,
                       const engine::RunContext& context, TakeBackSink& sink,
                       TakeBackProgress* progress);

// Takes back one run whose files are `parsed`: its present state first, as a run of its own,
// then its files newest first, and the run is marked undone. A stop is honoured between files.
// The take-back's run ends once its merging does, so the state it left is the merged one.
Outcome TakeBack(const files::JournalRun& run, const std::vector<ParsedRunFile>& parsed,
                 const engine::RunContext& context, TakeBackSink& sink,
                 TakeBackProgress* progress) {
  std::string load_error;
  const auto hives = LoadRunHives(run, context, &load_error);
  if (hives == nullptr) {
    sink.Show(Cat({load_error, ": nothing of the run of ", run.info.date, " was merged."}));
    return Outcome::kFailed;
  }
  files::RunInfo info;
  info.find = Cat({kTakeBackFind, run.info.date, ")"});
  info.machine = run.info.machine;
  info.view = files::ViewName(MergeView(context));
  info.hives = run.info.hives;  // its own undo file names the same keys
  context.journal->BeginRun(info);
  context.undo->RaiseNewFileFlag();
  const Outcome outcome = RecordAndMerge(run, parsed, context, sink, progress);
  const std::string ended = context.journal->EndRun();
  if (!ended.empty()) sink.Show(Cat({"Unable to write to the run journal [", ended, "]"}));
  for (const std::string& line : hives->UnloadAll()) sink.Show(line);
  return outcome;
}

Outcome RecordAndMerge(const files::JournalRun& run, const std::vector<ParsedRunFile>& parsed,
                       const engine::RunContext& context, TakeBackSink& sink,
                       TakeBackProgress* progress) {
  StateRecorder recorder(context, run.info.machine);
  std::string error;
  for (const auto& file : parsed) {
    for (const auto& record : file.records) {
      error = recorder.Record(record);
      if (!error.empty()) break;
    }
    if (!error.empty()) break;
  }
  if (!error.empty()) {
    sink.Show(Cat({"Nothing was merged: the present state could not be recorded [", error, "]"}));
    return Outcome::kFailed;
  }

  const reg::Target target{run.info.machine, MergeView(context)};
  std::size_t merged = 0;
  std::size_t failed = 0;
  for (std::size_t k = 0; k < parsed.size(); ++k) {
    if (sink.StopRequested()) {
      sink.Show(k == 0 ? Cat({"Stopped: nothing of the run of ", run.info.date, " was merged."})
                       : Cat({"Stopped: merged ", FileSpan(parsed, 0, k), " of the run of ",
                              run.info.date, "; ", FileSpan(parsed, k, parsed.size()),
                              " are not merged yet (merge them later, newest first)."}));
      return Outcome::kStopped;
    }
    const auto& file = parsed[k];
    auto outcome = files::MergeRegRecords(*context.api, target, file.records);
    ++progress->files;
    progress->records += outcome.records;
    sink.Progress(*progress);
    if (!file.error.empty()) outcome.errors.push_back(file.error);
    if (outcome.ok()) {
      ++merged;
      sink.Show(Cat({"Merged [", FileName(file.path), "]"}));
      continue;
    }
    ++failed;
    if (outcome.records > 0) ++merged;
    sink.Show(Cat({"Merged [", FileName(file.path), "] in part: ", std::to_string(outcome.records),
                   " of ", std::to_string(file.records.size()), " records"}));
    for (const auto& line : outcome.errors) sink.Show(Cat({"  ", line}));
  }
  sink.Show(
      Cat({"Took back the run of ", run.info.date, ": ", std::to_string(parsed.size()),
           parsed.size() == 1 ? " file, " : " files, ", std::to_string(failed), " with errors."}));
  if (merged == 0) return Outcome::kFailed;
  const std::string marked = context.journal->MarkUndone(run);
  if (!marked.empty()) sink.Show(Cat({"Unable to mark the run undone [", marked, "]"}));
  return failed == 0 ? Outcome::kWhole : Outcome::kFailed;
}

// The flow's answers and lines, as a sink that is never stopped.
class UiSink final : public TakeBackSink {
 public:
  explicit UiSink(RunUndoUi& ui) : ui_(ui) {}
  void Show(const std::string& line) override { ui_.Show(line); }
  void Progress(const TakeBackProgress&) override {}
  bool StopRequested() override { return false; }

 private:
  RunUndoUi& ui_;
};

std::string Count(std::size_t n, std::string_view one, std::string_view many) {
  return Cat({std::to_string(n), " ", n == 1 ? one : many});
}

// The question for a run that later runs changed the items of: those runs, what they share with
// it (the first few), and the offer to take them back first.
std::string LaterRunsQuestion(const std::vector<files::JournalRun>& runs, std::size_t chosen,
                              const std::vector<std::size_t>& later, const std::string& totals) {
  constexpr std::size_t kShown = 10;
  std::string text = "Later runs changed items of this run again:\n";
  for (const auto i : later) text += Cat({"  ", RunSummary(runs[i]), "\n"});
  const RunItems items(ParseRunFiles(runs[chosen]));
  std::set<std::string> shared;
  for (const auto i : later) {
    for (auto& line : items.Shared(RunItems(ParseRunFiles(runs[i])))) shared.insert(line);
  }
  std::size_t shown = 0;
  for (const auto& line : shared) {
    if (shown++ == kShown) break;
    text += Cat({"    ", line, "\n"});
  }
  if (shared.size() > kShown) {
    text += Cat({"    and ", std::to_string(shared.size() - kShown), " more\n"});
  }
  return Cat({text, "\nTake back ", later.size() == 1 ? "that run" : "those runs",
              " first (newest first) and then the run of ", runs[chosen].info.date, " (", totals,
              ")? No takes back nothing."});
}

}  // namespace

bool AskAgainIfUndone(const files::JournalRun& run, RunUndoUi& ui) {
  return run.undone.empty() || ui.Confirm(Cat({"This run was taken back on ", run.undone,
                                               " already. Take it back again?"}));
}

TakeBackPlan PrepareTakeBack(const std::vector<files::JournalRun>& runs, std::size_t chosen,
                             const engine::RunContext& context) {
  TakeBackPlan plan;
  if (chosen >= runs.size()) return plan;
  const auto& run = runs[chosen];
  if (run.files.empty()) {
    plan.nothing =
        Cat({"Nothing to take back: the run of ", run.info.date, " has no undo files of its own."});
    for (const auto& note : run.notes) plan.nothing += Cat({" ", note, "."});
    return plan;
  }
  // Later runs that changed the same items go first, newest first; the chosen run last.
  auto sequence = LaterRunsToTakeBackFirst(runs, chosen);
  const bool chained = !sequence.empty();
  sequence.push_back(chosen);
  std::size_t items = 0;
  for (const auto i : sequence) {
    plan.runs.push_back(runs[i]);
    plan.files.push_back(ParseRunFiles(runs[i]));
    plan.file_count += plan.files.back().size();
    items += RunItems(plan.files.back()).size();
  }
  const std::string totals =
      Cat({Count(plan.file_count, "file", "files"), ", ", Count(items, "item", "items")});
  const reg::Target target{run.info.machine, MergeView(context)};
  std::set<std::string> newer;
  for (std::size_t k = 0; k < plan.runs.size(); ++k) {
    std::string unknown;
    std::string load_error;
    const auto hives = LoadRunHives(plan.runs[k], context, &load_error);
    if (hives == nullptr) {
      plan.unsure.push_back(Cat({load_error, ": what changed since cannot be told."}));
      continue;
    }
    for (auto& line :
         ItemsChangedSince(*context.api, target, plan.runs[k], plan.files[k], &newer, &unknown)) {
      plan.changed.push_back(std::move(line));
    }
    if (!unknown.empty()) plan.unsure.push_back(std::move(unknown));
  }
  plan.question =
      chained ? LaterRunsQuestion(runs, chosen, {sequence.begin(), sequence.end() - 1}, totals)
              : Cat({"Take back the run of ", run.info.date, ": ", totals, "?"});
  return plan;
}

bool ConfirmTakeBack(const TakeBackPlan& plan, const engine::RunContext& context, RunUndoUi& ui) {
  if (plan.runs.empty()) {
    if (!plan.nothing.empty()) ui.Show(plan.nothing);
    return false;
  }
  // What changed since by anything else is told before anything is merged, and so is a run for
  // which that cannot be told exactly.
  for (const auto& line : plan.unsure) ui.Show(line);
  if (!plan.changed.empty()) {
    ui.Show(Cat({"Changed since the run: ", Count(plan.changed.size(), "item", "items"),
                 "; their present state is saved in the take-back's undo file"}));
    for (const auto& line : plan.changed) ui.Show(Cat({"  ", line}));
  }
  if (!ui.Confirm(plan.question)) {
    ui.Show("Nothing was taken back.");
    return false;
  }
  if (context.SettingsNow().simulate) {
    ui.Show("SIMULATE is on: nothing was merged.");
    return false;
  }
  return true;
}

std::optional<TakeBackPlan> PlanTakeBack(const std::vector<files::JournalRun>& runs,
                                         std::size_t chosen, const engine::RunContext& context,
                                         RunUndoUi& ui) {
  if (chosen >= runs.size() || !AskAgainIfUndone(runs[chosen], ui)) return std::nullopt;
  auto plan = PrepareTakeBack(runs, chosen, context);
  if (!ConfirmTakeBack(plan, context, ui)) return std::nullopt;
  return plan;
}

bool ExecuteTakeBack(const TakeBackPlan& plan, const engine::RunContext& context,
                     TakeBackSink& sink) {
  TakeBackProgress progress;
  progress.total_files = plan.file_count;
  for (std::size_t k = 0; k < plan.runs.size(); ++k) {
    const Outcome outcome = TakeBack(plan.runs[k], plan.files[k], context, sink, &progress);
    if (outcome == Outcome::kWhole) continue;
    if (k + 1 < plan.runs.size()) {
      sink.Show(Cat({"The run of ", plan.runs[k].info.date,
                     " was not taken back whole: the older runs stay as they are."}));
    }
    return false;
  }
  return true;
}

bool UndoRun(const std::vector<files::JournalRun>& runs, std::size_t chosen,
             const engine::RunContext& context, RunUndoUi& ui) {
  const auto plan = PlanTakeBack(runs, chosen, context, ui);
  if (!plan) return false;
  UiSink sink(ui);
  return ExecuteTakeBack(*plan, context, sink);
}

}  // namespace keyloom::edit
