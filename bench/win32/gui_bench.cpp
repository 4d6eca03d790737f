#include "bench/win32/gui_bench.h"

#include "bench/win32/heap_count.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "engine/debug_log.h"
#include "engine/search_session.h"
#include "engine/status_log.h"
#include "registry/text.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"

namespace keyloom::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Output that goes nowhere: the discarded-output run.
class NullOutput final : public engine::RunOutput {
 public:
  void AddStatusLine(std::string) override {}
  void SetStatusBarText(const std::string&) override {}
  void AddKeyListEntry(std::string) override {}
  void ClearLists() override {}
  void RunFinished() override {}
  void RequestQuit() override {}
};

// A run's hits as the key walk makes them: for every key the status bar's progress text, for every
// hit a Key List row and its "Found in Key  : " status line. Paths are shaped like those of the
// generated tree. Both kinds of run log their lines through a status log (its line text, its
// logging-level question), the discarded one into a status log whose output goes nowhere.
class HitWalker final : public engine::KeyWalker {
 public:
  engine::RunOutput* output = nullptr;  // null: discarded
  const engine::StatusLog* discarded_log = nullptr;
  int rows = 0;
  GuiBenchOptions parts;
  std::uint64_t row_bytes = 0;

  void WalkKey(engine::SearchEngine& engine, reg::TRegistry&) override {
    engine::SearchSession& session = engine.session();
    NullOutput discard;
    engine::RunOutput& out = output != nullptr ? *output : discard;
    auto log = [this, &engine](const std::string& line) {
      if (output != nullptr) {
        engine.deps().log(line, false);
      } else {
        discarded_log->Write(line);
      }
    };
    row_bytes = 0;
    char path[160];
    for (int i = 0; i < rows; ++i) {
      if ((i & 1023) == 0 && !engine.PausePoint()) return;
      std::snprintf(path, sizeof path, "\\Software\\KeyloomBench\\Vendor%d\\Product %d\\%s\\Key%d",
                    i % 97, i % 13, (i & 1) != 0 ? "Settings" : "CurrentVersion", i);
      const std::string row = std::string("HKEY_CURRENT_USER\t") + path + "\tDisplayName";
      row_bytes += row.size();
      if (parts.bar_texts) out.SetStatusBarText(std::string("Analyzing [5] : ") + path);
      if (parts.rows_out) out.AddKeyListEntry(row);
      if (parts.lines) log(std::string("Found in Key  : ") + path + "\tDisplayName");
      ++session.matched_count;
    }
  }
};

bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

// Asks the window to answer again and again from another thread; keeps the longest gap between
// two answers.
class Pinger {
 public:
  explicit Pinger(HWND target) : target_(target), thread_([this] { Loop(); }) {}
  ~Pinger() {
    done_ = true;
    thread_.join();
  }
  double LongestGapMs() const { return static_cast<double>(longest_us_.load()) / 1000.0; }
  // When the longest gap ended, in ms after the pinger started.
  double LongestGapEndMs() const { return static_cast<double>(longest_end_us_.load()) / 1000.0; }
  int Answers() const { return answers_; }

 private:
  void Loop() {
    const auto start = Clock::now();
    auto last = start;
    while (!done_) {
      DWORD_PTR result = 0;
      SendMessageTimeoutW(target_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
      const auto now = Clock::now();
      const long long gap =
          std::chrono::duration_cast<std::chrono::microseconds>(now - last).count();
      if (gap > longest_us_) {
        longest_us_ = gap;
        longest_end_us_ =
            std::chrono::duration_cast<std::chrono::microseconds>(now - start).count();
      }
      last = now;
      ++answers_;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  HWND target_;
  std::atomic<bool> done_{false};
  std::atomic<long long> longest_us_{0};
  std::atomic<long long> longest_end_us_{0};
  std::atomic<int> answers_{0};
  std::thread thread_;
};

// CPU time this thread has used so far, in seconds.
double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& time) {
    return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

struct RunFigures {
  double clear_ms = 0;  // emptying the Key List the run before left, outside the timed run
  double seconds = 0;
  double window_cpu_seconds = 0;  // what the window's thread spent during the run
  double longest_gap_ms = 0;
  std::size_t rows_shown = 0;
};

RunFigures TimeRun(shell::TfrmMain& window, HitWalker& walker, bool shown) {
  walker.output = shown ? &window.output() : nullptr;
  RunFigures figures;
  // The run empties the Key List when it starts; that is timed apart, so both kinds of run start
  // from an empty list.
  const auto clear_start = Clock::now();
  window.key_list().Clear();
  figures.clear_ms = std::chrono::duration<double, std::milli>(Clock::now() - clear_start).count();
  Pinger pinger(window.hwnd());
  const auto start = Clock::now();
  const double cpu_start = ThreadCpuSeconds();
  SendMessageW(window.Control(IDC_BTN_SEARCH), BM_CLICK, 0, 0);
  PumpUntil(
      [&] {
        return window.controller().state() == engine::RunState::kIdle &&
               !window.controller().Active();
      },
      std::chrono::seconds(1200));
  figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  figures.window_cpu_seconds = ThreadCpuSeconds() - cpu_start;
  figures.longest_gap_ms = pinger.LongestGapMs();
  std::fprintf(stderr,
               "%s run: %.3f s (window's thread %.3f s of CPU), longest gap %.1f ms ending at %.1f "
               "ms (list emptied in %.1f ms)\n",
               shown ? "window" : "discarded", figures.seconds, figures.window_cpu_seconds,
               figures.longest_gap_ms, pinger.LongestGapEndMs(), figures.clear_ms);
  figures.rows_shown = window.key_list().rows().size();
  return figures;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

std::string RunGuiBench(HINSTANCE instance, const GuiBenchOptions& options) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::filesystem::path folder = std::filesystem::path(temp) / L"keyloom-gui-bench";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / L"KEYLOOM.INI", std::ios::binary)
      << "[Keyloom]\r\nSEARCHKEY=2\r\nUPDATEINI=0\r\n";

  std::unique_ptr<reg::RegApi> api = reg::NewWin32RegApi();
  HitWalker walker;
  walker.rows = options.rows;
  walker.parts = options;
  shell::MainWindowOptions window_options;
  window_options.api = api.get();
  const std::wstring wide_folder = folder.wstring();
  const std::string folder_utf8 =
      text::Utf16ToUtf8(std::u16string(wide_folder.begin(), wide_folder.end())) + "\\";
  window_options.program_folder = folder_utf8;
  window_options.is_64bit_windows = false;
  window_options.walker = &walker;
  window_options.quit_on_destroy = false;
  shell::TfrmMain window(std::move(window_options));
  if (!window.CreateMain(instance)) return {};
  ShowWindow(window.hwnd(), SW_SHOW);
  UpdateWindow(window.hwnd());
  NullOutput discard;
  engine::DebugLog debug_log(folder_utf8);
  const std::atomic<bool> not_silent{false};
  const engine::StatusLog discarded_log(
      discard, debug_log, [&window] { return window.settings().LoggingLevel(); }, not_silent);
  walker.discarded_log = &discarded_log;
  SendMessageW(window.Control(IDC_EDT_FIND), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(L"KLQNeedleZX"));
  PumpUntil([] { return false; }, std::chrono::seconds(0));

  std::vector<double> shown, discarded, shown_cpu, discarded_cpu;
  double longest_gap = 0, longest_gap_discarded = 0, clear_ms = 0;
  std::int64_t memory_before = 0, memory_after = 0;
  std::size_t rows_shown = 0;
  for (int rep = 0; rep < options.repetitions; ++rep) {
    // Alternate the order, so neither kind always runs on a warmer heap.
    for (int k = 0; k < 2; ++k) {
      const bool into_window = (k == 0) == (rep % 2 == 0);
      const bool first_window_run = into_window && shown.empty();
      if (first_window_run) memory_before = LiveHeap().Cost();
      const RunFigures figures = TimeRun(window, walker, into_window);
      clear_ms = std::max(clear_ms, figures.clear_ms);
      if (into_window) {
        if (first_window_run) memory_after = LiveHeap().Cost();
        shown.push_back(figures.seconds);
        shown_cpu.push_back(figures.window_cpu_seconds);
        longest_gap = std::max(longest_gap, figures.longest_gap_ms);
        rows_shown = figures.rows_shown;
      } else {
        discarded.push_back(figures.seconds);
        discarded_cpu.push_back(figures.window_cpu_seconds);
        longest_gap_discarded = std::max(longest_gap_discarded, figures.longest_gap_ms);
      }
    }
  }
  const double row_text =
      options.rows > 0 ? static_cast<double>(walker.row_bytes) / options.rows : 0;
  const double row_memory = options.rows > 0 && memory_after > memory_before
                                ? static_cast<double>(memory_after - memory_before) / options.rows
                                : 0;
  DestroyWindow(window.hwnd());

  char report[512];
  std::snprintf(report, sizeof report,
                "rows=%d rows_shown=%zu window_s=%.3f discarded_s=%.3f ratio=%.3f "
                "longest_gap_ms=%.1f longest_gap_discarded_ms=%.1f row_text_bytes=%.1f "
                "row_memory_bytes=%.1f memory_ratio=%.2f clear_ms=%.1f repetitions=%d "
                "window_cpu_s=%.3f discarded_cpu_s=%.3f",
                options.rows, rows_shown, Median(shown), Median(discarded),
                Median(discarded) > 0 ? Median(shown) / Median(discarded) : 0, longest_gap,
                longest_gap_discarded, row_text, row_memory,
                row_text > 0 ? row_memory / row_text : 0, clear_ms, options.repetitions,
                Median(shown_cpu), Median(discarded_cpu));
  return report;
}

}  // namespace keyloom::bench
