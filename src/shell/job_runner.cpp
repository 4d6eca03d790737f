#include "shell/job_runner.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/key_walk.h"
#include "engine/search_session.h"
#include "shell/run_parts.h"

namespace keyloom::shell {
namespace {

// The request in place of the window's controls. It does not change during the run.
class RequestControls final : public engine::RunControls {
 public:
  explicit RequestControls(const JobRequest& request) : request_(request) {}
  std::string FindText() override { return request_.window.find; }
  // A delete run is confirmed by asking for it; the engine's rule for the window wants a text in
  // the replace box, which a delete never uses.
  std::string ReplaceText() override {
    const WindowSettings& w = request_.window;
    return w.replace.empty() && request_.settings.enabledel ? w.find : w.replace;
  }
  int RootChoice() override { return request_.window.searchkey; }
  int TypeFilter() override { return request_.window.searchtype; }
  bool IncludeKeyNames() override { return request_.window.searchtree; }
  bool IncludeValueContents() override { return request_.window.searchvalues; }
  bool IncludeValueNames() override { return request_.window.searchkeys; }
  bool CaseSensitive() override { return request_.window.usecase; }
  engine::MatchRules Rules() override { return request_.window.rules; }
  bool DeleteMode() override { return request_.settings.enabledel; }
  bool WindowVisible() override { return false; }
  std::vector<engine::StartPoint> StartPoints() override { return request_.starts; }
  bool IncludeDefaultProfile() override { return request_.default_profile; }

 private:
  const JobRequest& request_;
};

// Passes everything on and lets the job wait for the run's end.
class EndSignal final : public engine::RunOutput {
 public:
  explicit EndSignal(engine::RunOutput& next) : next_(next) {}
  void AddStatusLine(std::string line) override { next_.AddStatusLine(std::move(line)); }
  void SetStatusBarText(const std::string& text) override { next_.SetStatusBarText(text); }
  void AddKeyListEntry(std::string row) override { next_.AddKeyListEntry(std::move(row)); }
  void AddKeyListHit(std::string row, const engine::HitDetails& details) override {
    next_.AddKeyListHit(std::move(row), details);
  }
  void CountChange(bool made) override { next_.CountChange(made); }
  void HivesLoaded(std::vector<reg::HiveMount> hives) override {
    next_.HivesLoaded(std::move(hives));
  }
  void ClearLists() override { next_.ClearLists(); }
  void RunFinished() override {
    next_.RunFinished();
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
  }
  void RequestQuit() override {}

  void WaitForEnd() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
  }

 private:
  engine::RunOutput& next_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
};

// No buttons to set; a warning refuses the run.
class NoWindow final : public engine::RunWindow {
 public:
  explicit NoWindow(std::vector<std::string>& refusal) : refusal_(refusal) {}
  void ApplyButtons(const engine::ButtonState&) override {}
  void ShowWarning(const std::string& text) override { refusal_.push_back(text); }
  void ProcessPendingEvents() override {}
  void CloseMainWindow() override {}

 private:
  std::vector<std::string>& refusal_;
};

// The run's gate, which also fails the worker's waits once the stop flag is up: the worker then
// stops at its next pause point, as after the window's Reset.
class StoppingGate final : public engine::PauseGate {
 public:
  StoppingGate(engine::PauseGate& gate, const std::atomic<bool>* stop) : gate_(gate), stop_(stop) {}
  void Open() override { gate_.Open(); }
  void Close() override { gate_.Close(); }
  bool Wait() override {
    if (Stopped()) {
      // The engine's own stop request too, which the walk also checks where it does not wait.
      if (engine_stop_ != nullptr) *engine_stop_ = true;
      return false;
    }
    return gate_.Wait();
  }
  bool IsOpen(int milliseconds) override { return gate_.IsOpen(milliseconds); }
  bool Stopped() const { return stop_ != nullptr && *stop_; }
  void SetEngineStop(std::atomic<bool>& engine_stop) { engine_stop_ = &engine_stop; }

 private:
  engine::PauseGate& gate_;
  const std::atomic<bool>* stop_;
  std::atomic<bool>* engine_stop_ = nullptr;
};

}  // namespace

JobResult RunJob(reg::RegApi& api, engine::PauseGate& gate, const JobRequest& request,
                 engine::RunOutput& output, const std::atomic<bool>* stop) {
  JobResult result;
  RequestControls controls(request);
  EndSignal signal(output);
  NoWindow window(result.refusal);

  const SettingsStore settings(request.settings);
  RunParts parts(api, settings, controls, signal, request.program);
  parts.context().machine = request.machine;
  parts.context().silent = request.silent;
  StoppingGate stopping_gate(gate, stop);
  // The job's summary names its undo files, one a line, and a console has no Ctrl+Z.
  const engine::EngineDeps deps{&parts.context(), &stopping_gate, &parts.walker(), false};

  gate.Open();
  engine::RunController controller(deps, window);
  stopping_gate.SetEngineStop(controller.engine().stop_requested());
  const auto start = std::chrono::steady_clock::now();
  if (request.only) controller.engine().RestrictNextRun(engine::ItemFilter(*request.only, true));
  if (request.search_only) {
    controller.btnSearchClick();
  } else {
    controller.btnReplaceClick();
  }
  if (!controller.Active() && controller.state() == engine::RunState::kIdle) {
    const std::vector<std::string>& refused = controller.refused_lines();
    result.refusal.insert(result.refusal.end(), refused.begin(), refused.end());
    if (result.refusal.empty()) result.refusal.push_back("The run could not start.");
    return result;
  }
  result.started = true;
  signal.WaitForEnd();
  result.stopped = stopping_gate.Stopped();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  controller.OnRunFinished();
  const engine::SearchSession& session = controller.engine().session();
  result.matched = session.matched_count;
  result.changed = session.changed_count;
  result.failed = session.failed_count;
  result.unreadable = session.unreadable_count;
  result.unreadable_values = session.unreadable_values;
  result.keys_examined = session.keys_examined;
  result.undo_files = parts.journal().LastRunFiles();
  return result;
}

}  // namespace keyloom::shell
