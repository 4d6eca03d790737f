#include "bench/win32/gui_bench.h"

#include "bench/win32/heap_count.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "base/text.h"
#include "engine/debug_log.h"
#include "engine/hit_details.h"
#include "engine/search_session.h"
#include "engine/status_log.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/key_list_cells.h"
#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"
#include "tests/shell/win32/gui_test_support.h"

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

// The value a hit was found in, shaped like those of a real tree: mostly strings of a few dozen
// characters, numbers, multi-strings and binary data, now and then one long enough for its
// preview to be cut. Its name goes into the row, its data into the hit's preview.
struct HitValue {
  const char* name;
  reg::RawValue raw;
};

std::vector<std::uint8_t> StringBytes(const std::string& text, bool multi = false) {
  std::u16string units = text::Utf8ToUtf16(text);
  if (multi) {
    for (char16_t& unit : units) {
      if (unit == u'|') unit = 0;  // '|' separates the strings of a multi-string here
    }
    units.push_back(0);
  }
  units.push_back(0);
  return text::Utf16ToBytes(units);
}

HitValue ValueOfHit(int i) {
  char text[400];
  switch (i % 20) {
    case 0:
    case 1:
      return {"", {}};  // a key-name hit: no value
    case 2:
    case 3:
    case 4: {
      std::snprintf(text, sizeof text, "C:\\Program Files\\Vendor%d\\Product %d\\bin\\app%d.exe",
                    i % 97, i % 13, i % 1000);
      return {"InstallLocation", {reg::kRegSz, StringBytes(text)}};
    }
    case 5:
    case 6:
    case 7:
    case 8: {
      std::snprintf(text, sizeof text, "Vendor%d Product %d Suite %d.%d", i % 97, i % 13, i % 9,
                    i % 100);
      return {"DisplayName", {reg::kRegSz, StringBytes(text)}};
    }
    case 9:
    case 10: {
      std::snprintf(text, sizeof text, "%%SystemRoot%%\\System32\\vendor%d.dll,-%d", i % 97,
                    100 + i % 900);
      return {"FriendlyTypeName", {reg::kRegExpandSz, StringBytes(text)}};
    }
    case 11:
    case 12:
    case 13: {
      const auto number = static_cast<std::uint32_t>(i % 5000);
      return {"Flags",
              {reg::kRegDword,
               {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8), 0, 0}}};
    }
    case 14:
    case 15: {
      std::snprintf(text, sizeof text, "en-US|de-DE|fr-FR|Product %d", i % 13);
      return {"Languages", {reg::kRegMultiSz, StringBytes(text, true)}};
    }
    case 16:
    case 17: {
      std::vector<std::uint8_t> bytes(16);
      for (std::size_t b = 0; b < bytes.size(); ++b)
        bytes[b] = static_cast<std::uint8_t>(i * 31 + static_cast<int>(b) * 7);
      return {"Settings", {reg::kRegBinary, std::move(bytes)}};
    }
    case 18: {  // cut: 400 bytes are far more than a preview shows
      std::vector<std::uint8_t> bytes(400);
      for (std::size_t b = 0; b < bytes.size(); ++b)
        bytes[b] = static_cast<std::uint8_t>(i + static_cast<int>(b));
      return {"WindowState", {reg::kRegBinary, std::move(bytes)}};
    }
    default: {  // a long text, cut too
      std::string long_text;
      while (long_text.size() < 300) {
        std::snprintf(text, sizeof text, "C:\\Users\\Public\\Vendor%d\\Shared %d\\lib;", i % 97,
                      static_cast<int>(long_text.size()));
        long_text += text;
      }
      return {"Path", {reg::kRegExpandSz, StringBytes(long_text)}};
    }
  }
}

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

// A run's hits as the key walk makes them: for every key the status bar's progress text, for every
// hit a Key List row with its details (type, data preview, where found, the key's last write
// time) and its "Found in Key  : " status line. Paths are shaped like those of the generated tree;
// the preview is made for each hit from its value's data, as the walk does. Both kinds of run log
// their lines through a status log (its line text, its logging-level question), the discarded one
// into a status log whose output goes nowhere.
class HitWalker final : public engine::KeyWalker {
 public:
  engine::RunOutput* output = nullptr;  // null: discarded
  const engine::StatusLog* discarded_log = nullptr;
  int rows = 0;
  GuiBenchOptions parts;
  std::uint64_t row_bytes = 0;     // the rows' text: root, path, value name
  std::uint64_t detail_bytes = 0;  // the texts of their details: type and data preview
  double cpu_seconds = 0;          // what the walk's thread spent on the last run

  void WalkKey(engine::SearchEngine& engine, reg::TRegistry&) override {
    engine::SearchSession& session = engine.session();
    NullOutput discard;
    engine::RunOutput& out = output != nullptr ? *output : discard;
    auto log = [this, &engine](const std::string& line) {
      if (output != nullptr) {
        engine.context().log(line, false);
      } else {
        discarded_log->Write(line);
      }
    };
    row_bytes = 0;
    detail_bytes = 0;
    const double cpu_start = ThreadCpuSeconds();
    struct CpuTaken {
      double start;
      double& total;
      ~CpuTaken() { total = ThreadCpuSeconds() - start; }
    } cpu_taken{cpu_start, cpu_seconds};
    // Last write times spread over about three years, the same for the hits of one key.
    constexpr std::uint64_t kSecond = 10000000;
    constexpr std::uint64_t kFirstTime = 132223104000000000;  // 2020-01-01
    char path[160];
    for (int i = 0; i < rows; ++i) {
      if ((i & 1023) == 0 && !engine.PausePoint()) return;
      const int key = i / 3;
      std::snprintf(path, sizeof path, "\\Software\\KeyloomBench\\Vendor%d\\Product %d\\%s\\Key%d",
                    key % 97, key % 13, (key & 1) != 0 ? "Settings" : "CurrentVersion", key);
      const HitValue value = ValueOfHit(i);
      engine::HitDetails details;
      details.modified =
          kFirstTime + static_cast<std::uint64_t>((key * 7919) % 100000000) * kSecond;
      const bool key_hit = value.name[0] == '\0';
      if (!key_hit) {
        details.type = engine::TypeName(value.raw.type);
        details.data = engine::DataPreview(value.raw);
        details.found_in = i % 5 == 0 ? engine::FoundIn::kValueName : engine::FoundIn::kData;
      }
      std::string row = std::string("HKEY_CURRENT_USER\t") + path + "\t" + value.name;
      row_bytes += row.size();
      detail_bytes += details.type.size() + details.data.size();
      if (parts.bar_texts) out.SetStatusBarText(std::string("Analyzing [5] : ") + path);
      if (parts.rows_out) out.AddKeyListHit(std::move(row), details);
      if (parts.lines) log(std::string("Found in Key  : ") + path + "\t" + value.name);
      ++session.matched_count;
    }
  }
};

// Pumps messages until `done`; with a window, its keys go through its keyboard handling first, as
// in the program's message loop.
bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds timeout,
               shell::TfrmMain* window = nullptr) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (window != nullptr && window->PreTranslate(message)) continue;
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

struct RunFigures {
  double clear_ms = 0;  // emptying the Key List the run before left, outside the timed run
  double seconds = 0;
  double window_cpu_seconds = 0;  // what the window's thread spent during the run
  double walk_cpu_seconds = 0;    // what the walk's thread spent
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
  figures.walk_cpu_seconds = walker.cpu_seconds;
  std::fprintf(stderr,
               "%s run: %.3f s (window's thread %.3f s of CPU, walk's %.3f s), longest gap %.1f ms "
               "ending at %.1f ms (list emptied in %.1f ms)\n",
               shown ? "window" : "discarded", figures.seconds, figures.window_cpu_seconds,
               walker.cpu_seconds,
               figures.longest_gap_ms, pinger.LongestGapEndMs(), figures.clear_ms);
  figures.rows_shown = window.key_list().rows().size();
  return figures;
}

// What one command given to the Key List cost: from the command to the list painted with its
// result (its slices done), and the longest the window went without answering meanwhile.
struct ListFigures {
  double seconds = 0;
  double longest_gap_ms = 0;
  std::size_t rows_shown = 0;
};

ListFigures TimeListCommand(shell::TfrmMain& window, const char* what,
                            const std::function<void()>& command) {
  Pinger pinger(window.hwnd());
  PumpUntil([&] { return pinger.Answers() > 0; }, std::chrono::seconds(10));
  ListFigures figures;
  const auto start = Clock::now();
  command();
  // A large sort or filter goes on in slices, the window answering between them.
  PumpUntil([&] { return !window.key_list().Ordering(); }, std::chrono::seconds(60), &window);
  UpdateWindow(window.key_list().hwnd());
  figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // The ping the command kept waiting is answered here, which ends the gap it measured.
  const int answered = pinger.Answers();
  PumpUntil([&] { return pinger.Answers() > answered; }, std::chrono::seconds(10));
  figures.longest_gap_ms = pinger.LongestGapMs();
  figures.rows_shown = window.key_list().ShownCount();
  std::fprintf(stderr, "%s: %.3f s, longest gap %.1f ms, %zu rows shown\n", what, figures.seconds,
               figures.longest_gap_ms, figures.rows_shown);
  return figures;
}

// The Key List full of a run's rows, sorted by three header clicks and then filtered by a text
// typed into the filter field key by key and emptied again with Escape.
struct OrderFigures {
  double sort_data_s = 0, sort_modified_s = 0, sort_reverse_s = 0, sort_gap_ms = 0;
  double filter_key_s = 0;  // the slowest keystroke
  double filter_typed_s = 0, filter_clear_s = 0, filter_gap_ms = 0;
  std::size_t filter_rows = 0, rows_after_clear = 0;
};

OrderFigures TimeSortAndFilter(shell::TfrmMain& window, const std::wstring& filter_text) {
  OrderFigures figures;
  const auto sort = [&window, &figures](const char* what, int column) {
    const ListFigures done = TimeListCommand(
        window, what, [&] { shell::testing::ClickListHeader(window.key_list().hwnd(), column); });
    figures.sort_gap_ms = std::max(figures.sort_gap_ms, done.longest_gap_ms);
    return done.seconds;
  };
  figures.sort_data_s = sort("sort by Data", shell::kColumnData);
  figures.sort_modified_s = sort("sort by Modified", shell::kColumnModified);
  figures.sort_reverse_s = sort("sort by Modified reversed", shell::kColumnModified);

  HWND filter = window.Control(IDC_EDT_FILTER);
  SetFocus(filter);
  for (wchar_t key : filter_text) {
    const ListFigures typed =
        TimeListCommand(window, "filter keystroke", [&] { SendMessageW(filter, WM_CHAR, key, 1); });
    figures.filter_typed_s += typed.seconds;
    figures.filter_key_s = std::max(figures.filter_key_s, typed.seconds);
    figures.filter_gap_ms = std::max(figures.filter_gap_ms, typed.longest_gap_ms);
    figures.filter_rows = typed.rows_shown;
  }
  const ListFigures cleared = TimeListCommand(window, "filter cleared by Escape", [&] {
    PostMessageW(filter, WM_KEYDOWN, VK_ESCAPE, 1);
    PumpUntil([filter] { return GetWindowTextLengthW(filter) == 0; }, std::chrono::seconds(60),
              &window);
  });
  figures.filter_clear_s = cleared.seconds;
  figures.filter_gap_ms = std::max(figures.filter_gap_ms, cleared.longest_gap_ms);
  figures.rows_after_clear = cleared.rows_shown;
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

  std::vector<double> shown, discarded, shown_cpu, discarded_cpu, shown_walk_cpu,
      discarded_walk_cpu;
  double longest_gap = 0, longest_gap_discarded = 0, clear_ms = 0;
  std::int64_t memory_before = 0, memory_after = 0;
  std::size_t rows_shown = 0;
  for (int rep = 0; rep < options.repetitions; ++rep) {
    // Alternate the order, so neither kind always runs on a warmer heap; the last run fills the
    // window for the sorting and filtering that follow.
    for (int k = 0; k < 2; ++k) {
      const bool into_window = (k == 1) == ((options.repetitions - 1 - rep) % 2 == 0);
      const bool first_window_run = into_window && shown.empty();
      if (first_window_run) memory_before = LiveHeap().Cost();
      const RunFigures figures = TimeRun(window, walker, into_window);
      clear_ms = std::max(clear_ms, figures.clear_ms);
      if (into_window) {
        if (first_window_run) memory_after = LiveHeap().Cost();
        shown.push_back(figures.seconds);
        shown_cpu.push_back(figures.window_cpu_seconds);
        shown_walk_cpu.push_back(figures.walk_cpu_seconds);
        longest_gap = std::max(longest_gap, figures.longest_gap_ms);
        rows_shown = figures.rows_shown;
      } else {
        discarded.push_back(figures.seconds);
        discarded_cpu.push_back(figures.window_cpu_seconds);
        discarded_walk_cpu.push_back(figures.walk_cpu_seconds);
        longest_gap_discarded = std::max(longest_gap_discarded, figures.longest_gap_ms);
      }
    }
  }
  const double per_row = options.rows > 0 ? 1.0 / options.rows : 0;
  const double row_text = static_cast<double>(walker.row_bytes + walker.detail_bytes) * per_row;
  const double row_memory = memory_after > memory_before
                                ? static_cast<double>(memory_after - memory_before) * per_row
                                : 0;
  OrderFigures order;
  const bool ordered = options.sort_and_filter && rows_shown > 0;
  if (ordered) {
    const std::u16string filter = text::Utf8ToUtf16(options.filter_text);
    order = TimeSortAndFilter(window, std::wstring(filter.begin(), filter.end()));
  }
  DestroyWindow(window.hwnd());

  char report[1024];
  int length = std::snprintf(
      report, sizeof report,
      "rows=%d rows_shown=%zu window_s=%.3f discarded_s=%.3f ratio=%.3f "
      "longest_gap_ms=%.1f longest_gap_discarded_ms=%.1f row_text_bytes=%.1f "
      "row_detail_bytes=%.1f row_memory_bytes=%.1f memory_ratio=%.2f clear_ms=%.1f "
      "repetitions=%d window_cpu_s=%.3f discarded_cpu_s=%.3f walk_cpu_s=%.3f "
      "discarded_walk_cpu_s=%.3f",
      options.rows, rows_shown, Median(shown), Median(discarded),
      Median(discarded) > 0 ? Median(shown) / Median(discarded) : 0, longest_gap,
      longest_gap_discarded, row_text, static_cast<double>(walker.detail_bytes) * per_row,
      row_memory, row_text > 0 ? row_memory / row_text : 0, clear_ms, options.repetitions,
      Median(shown_cpu), Median(discarded_cpu), Median(shown_walk_cpu),
      Median(discarded_walk_cpu));
  if (ordered && length > 0 && static_cast<std::size_t>(length) < sizeof report) {
    const double sort_s =
        std::max({order.sort_data_s, order.sort_modified_s, order.sort_reverse_s});
    std::snprintf(report + length, sizeof report - static_cast<std::size_t>(length),
                  " sort_s=%.3f sort_data_s=%.3f sort_modified_s=%.3f sort_reverse_s=%.3f "
                  "sort_gap_ms=%.1f filter_s=%.3f filter_typed_s=%.3f filter_keys=%zu "
                  "filter_rows=%zu filter_clear_s=%.3f filter_gap_ms=%.1f rows_after_clear=%zu "
                  "filter_text=%s",
                  sort_s, order.sort_data_s, order.sort_modified_s, order.sort_reverse_s,
                  order.sort_gap_ms, std::max(order.filter_key_s, order.filter_clear_s),
                  order.filter_typed_s, options.filter_text.size(), order.filter_rows,
                  order.filter_clear_s, order.filter_gap_ms, order.rows_after_clear,
                  options.filter_text.c_str());
  }
  return report;
}

}  // namespace keyloom::bench
