// keyloom_bench.exe: the Windows side of the benchmarks, driven by bench/run under Wine.
//
//   keyloom_bench gen [--keys N] [--seed N] [--share S] [--needle T] [--path P] [--small-values]
//                     [--force]
//       writes the generated tree below HKEY_CURRENT_USER\P (default Software\KeyloomBench) through
//       the registry port; a tree written before with the same options is kept (--force rewrites)
//   keyloom_bench walk [--reopen | --raw] [--profile] [--no-view]
//       the bare walk of HKEY_CURRENT_USER through the same port; --reopen: one open key at a
//       time, the parent opened again by its path after every subkey; --raw: the wide functions
//       called directly into reused buffers, past the port; --profile: calls counted and timed
//   keyloom_bench search --find T [--replace R] [--portable-gate] [--shown] [--profile]
//       the engine's run over HKEY_CURRENT_USER without a window (a replace run is simulated)
//   keyloom_bench export [--rows N] [--reps N]
//       a Key List of the first N values of the generated tree exported to CSV and to REG, against
//       reading those values afresh through the same port (medians of the repetitions)
//   keyloom_bench gui [--rows N] [--reps N] [--only rows,bar,lines] [--filter T]
//       a million hits into the real main window against the same run with its output discarded,
//       then the full Key List sorted by header clicks and filtered by T typed into the filter
//       field (default Vendor1); --only: each hit sends only these of its Key List row, status bar
//       text and status line, and the list is neither sorted nor filtered
//
// Every command prints one line of "key=value" pairs on standard output; the exit code is 0 on
// success, 1 on a failure (explained on standard error), 2 on a bad command line.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "base/text.h"
#include "bench/bare_walk.h"
#include "bench/call_profile.h"
#include "bench/gen.h"
#include "bench/headless_run.h"
#include "bench/win32/gui_bench.h"
#include "bench/win32/raw_walk.h"
#include "engine/key_list_entry.h"
#include "engine/pause_gate.h"
#include "engine/win32/event_pause_gate.h"
#include "files/export_flow.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/key_list_export_rows.h"

namespace keyloom::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kMarkerName = "KeyloomBenchTree";

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// --name value pairs and bare --flags.
class Arguments {
 public:
  Arguments(int argc, wchar_t** argv) {
    for (int i = 2; i < argc; ++i) {
      std::string arg = Narrow(argv[i]);
      if (arg.rfind("--", 0) != 0) {
        bad_ = "unexpected argument " + arg;
        continue;
      }
      arg.erase(0, 2);
      if (i + 1 < argc && std::wstring(argv[i + 1]).rfind(L"--", 0) != 0) {
        values_[arg] = Narrow(argv[++i]);
      } else {
        values_[arg] = "";
      }
    }
  }
  std::string Text(const std::string& name, const std::string& fallback) const {
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second;
  }
  std::uint64_t Number(const std::string& name, std::uint64_t fallback) const {
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : std::strtoull(it->second.c_str(), nullptr, 10);
  }
  double Real(const std::string& name, double fallback) const {
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : std::strtod(it->second.c_str(), nullptr);
  }
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  const std::string& bad() const { return bad_; }

 private:
  static std::string Narrow(const wchar_t* text) {
    const std::wstring wide(text);
    return text::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
  }
  std::map<std::string, std::string> values_;
  std::string bad_;
};

// The view keyloom.exe walks HKEY_CURRENT_USER in (SCANMETHOD 0 on 64-bit Windows).
std::uint32_t PassView(reg::RegApi& api) {
  try {
    return reg::DetectIs64BitWindows(api) ? reg::access::kWow64_32Key : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int Generate(const Arguments& args) {
  std::unique_ptr<reg::RegApi> api = reg::NewWin32RegApi();
  GenOptions options;
  options.keys = args.Number("keys", options.keys);
  options.seed = args.Number("seed", options.seed);
  options.needle_share = args.Real("share", 0.01);
  options.needle = args.Text("needle", options.needle);
  options.small_values = args.Has("small-values");
  options.view = PassView(*api);
  const std::string path = args.Text("path", "Software\\KeyloomBench");
  // The marker names the needle by a digest: the needle itself would be one more hit.
  std::uint32_t needle_digest = 2166136261u;
  for (char c : options.needle)
    needle_digest = (needle_digest ^ static_cast<std::uint8_t>(c)) * 16777619u;
  char marker[200];
  std::snprintf(marker, sizeof marker, "keys=%llu seed=%llu share=%g needle=%08x%s",
                static_cast<unsigned long long>(options.keys),
                static_cast<unsigned long long>(options.seed), options.needle_share, needle_digest,
                options.small_values ? " small" : "");

  reg::TRegistry registry(*api);
  registry.SetRootKey(reg::kCurrentUser);
  if (registry.OpenKey("\\" + path)) {
    std::string existing;
    try {
      existing = registry.ReadString(kMarkerName);
    } catch (const std::exception&) {
    }
    registry.CloseKey();
    if (existing == marker && !args.Has("force")) {
      // The same tree again, in memory, to describe it.
      std::unique_ptr<reg::MemoryRegistry> memory = reg::NewMemoryRegistry();
      GenStats stats;
      GenerateTree(*memory, reg::kCurrentUser, path, options, &stats);
      std::fprintf(stderr, "%s", DescribeTree(stats).c_str());
      std::printf("kept=1 %s keys=%llu values=%llu needle_values=%llu\n", marker,
                  static_cast<unsigned long long>(stats.keys),
                  static_cast<unsigned long long>(stats.values),
                  static_cast<unsigned long long>(stats.needle_values));
      return 0;
    }
    std::fprintf(stderr, "deleting the old tree below HKEY_CURRENT_USER\\%s\n", path.c_str());
    if (!registry.DeleteKey("\\" + path)) {
      std::fprintf(stderr, "cannot delete it: %s\n", registry.LastErrorText().c_str());
      return 1;
    }
  }
  options.progress = [](std::uint64_t keys) {
    std::fprintf(stderr, "\r%llu keys", static_cast<unsigned long long>(keys));
  };
  const auto start = Clock::now();
  GenStats stats;
  const reg::ErrorCode rc = GenerateTree(*api, reg::kCurrentUser, path, options, &stats);
  const double seconds = Since(start);
  std::fprintf(stderr, "\n%s", DescribeTree(stats).c_str());
  if (rc != reg::kSuccess) {
    std::fprintf(stderr, "generating failed after %llu keys: %s\n",
                 static_cast<unsigned long long>(stats.keys), api->ErrorMessage(rc).c_str());
    return 1;
  }
  try {
    registry.OpenKey("\\" + path);
    registry.WriteString(kMarkerName, marker);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("kept=0 %s keys=%llu values=%llu needle_values=%llu seconds=%.3f\n", marker,
              static_cast<unsigned long long>(stats.keys),
              static_cast<unsigned long long>(stats.values),
              static_cast<unsigned long long>(stats.needle_values), seconds);
  return 0;
}

// With --profile the calls go through a counting and timing port first.
int Walk(const Arguments& args) {
  std::unique_ptr<reg::RegApi> system = reg::NewWin32RegApi();
  ProfilingRegApi profile(*system);
  reg::RegApi& api = args.Has("profile") ? profile : *system;
  const std::uint32_t access = reg::access::kRead | (args.Has("no-view") ? 0 : PassView(api));
  const auto start = Clock::now();
  WalkCounts counts;
  if (args.Has("raw")) {
    counts = RawWalk(HKEY_CURRENT_USER, access);
  } else if (args.Has("reopen")) {
    counts = BareWalkReopening(api, reg::kCurrentUser, access);
  } else {
    counts = BareWalk(api, reg::kCurrentUser, access);
  }
  const double seconds = Since(start);
  std::printf("keys=%llu values=%llu bytes=%llu failures=%llu seconds=%.3f %s\n",
              static_cast<unsigned long long>(counts.keys),
              static_cast<unsigned long long>(counts.values),
              static_cast<unsigned long long>(counts.data_bytes),
              static_cast<unsigned long long>(counts.failures), seconds, profile.Report().c_str());
  return 0;
}

int Search(const Arguments& args) {
  std::unique_ptr<reg::RegApi> system = reg::NewWin32RegApi();
  ProfilingRegApi profile(*system);
  reg::RegApi* api = args.Has("profile") ? &profile : system.get();
  HeadlessOptions options;
  options.find = args.Text("find", "");
  options.replace = args.Text("replace", "");
  options.silent = !args.Has("shown");
  options.is_64bit_windows = PassView(*api) != 0;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring undo = std::wstring(temp) + L"keyloom-bench-undo";
  options.undo_folder = text::Utf16ToUtf8(std::u16string(undo.begin(), undo.end()));
  if (options.find.empty()) {
    std::fprintf(stderr, "search needs --find TEXT\n");
    return 2;
  }
  // The gate keyloom.exe uses (a named event), or the in-process one to see what the event costs.
  std::unique_ptr<engine::PauseGate> gate;
  if (args.Has("portable-gate")) {
    gate = std::make_unique<engine::PortablePauseGate>();
  } else {
    gate = std::make_unique<engine::EventPauseGate>(nullptr);
  }
  const HeadlessResult result = RunHeadless(*api, *gate, options);
  if (!result.job.started) {
    std::fprintf(stderr, "the run did not start\n");
    return 1;
  }
  std::printf("matched=%d changed=%d rows=%llu status_lines=%llu seconds=%.3f %s\n",
              result.job.matched, result.job.changed, static_cast<unsigned long long>(result.rows),
              static_cast<unsigned long long>(result.status_lines), result.job.seconds,
              profile.Report().c_str());
  return 0;
}

// Adds a row for every value below `path` (depth first) until `rows` holds `limit` rows.
void ListValues(reg::RegApi& api, const std::string& path, std::uint32_t view, std::size_t limit,
                shell::KeyListRows* rows) {
  reg::KeyHandle key = reg::kNullKey;
  if (api.OpenKey(reg::kCurrentUser, path, reg::access::kRead | view, &key) != reg::kSuccess)
    return;
  reg::UniqueKey guard(api, key);
  std::string name;
  reg::RawValue value;
  for (std::uint32_t i = 0; rows->size() < limit; ++i) {
    if (api.EnumValue(key, i, &name, &value.type, &value.data) != reg::kSuccess) break;
    rows->Append(engine::MakeKeyListEntry("HKEY_CURRENT_USER", "\\" + path,
                                          name.empty() ? engine::kDefaultValueName : name));
  }
  std::vector<std::string> subkeys;
  for (std::uint32_t i = 0; api.EnumKey(key, i, &name) == reg::kSuccess; ++i) {
    subkeys.push_back(name);
  }
  for (const std::string& subkey : subkeys) {
    if (rows->size() >= limit) return;
    ListValues(api, path + "\\" + subkey, view, limit, rows);
  }
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times.empty() ? 0 : times[(times.size() - 1) / 2];
}

int Export(const Arguments& args) {
  std::unique_ptr<reg::RegApi> api = reg::NewWin32RegApi();
  const std::uint32_t view = PassView(*api);
  const auto limit = static_cast<std::size_t>(args.Number("rows", 100000));
  const int reps = static_cast<int>(args.Number("reps", 3));
  shell::KeyListRows rows;
  ListValues(*api, "Software\\KeyloomBench", view, limit, &rows);
  if (rows.size() < limit) {
    std::fprintf(stderr, "the tree holds only %zu values\n", rows.size());
    return 1;
  }
  const shell::KeyListExportRows items(rows);
  files::ExportContext context;
  context.reader.api = api.get();
  context.settings.target.view = view != 0 ? reg::RegView::k32 : reg::RegView::kNone;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::filesystem::path folder(temp);

  // The least an export must do: every listed value read afresh, as the export reads it.
  auto bare = [&] {
    std::size_t read = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::optional<files::ExportItem> item = items.Item(i);
      reg::KeyHandle key = reg::kNullKey;
      if (api->OpenKey(reg::kCurrentUser, reg::WithoutLeadingBackslash(item->path),
                       reg::access::kQueryValue | reg::access::kEnumerateSubKeys | view,
                       &key) != reg::kSuccess) {
        continue;
      }
      reg::RawValue value;
      if (api->QueryValue(key, item->value_name, &value.type, &value.data) == reg::kSuccess) ++read;
      api->CloseKey(key);
    }
    return read == items.size();
  };
  std::vector<double> bare_s, csv_s, reg_s;
  for (int rep = 0; rep < reps; ++rep) {
    auto start = Clock::now();
    if (!bare()) {
      std::fprintf(stderr, "a listed value could not be read\n");
      return 1;
    }
    bare_s.push_back(Since(start));
    start = Clock::now();
    if (files::WriteCsvExport(folder / "keyloom-bench.csv", items, context) !=
        files::ExportOutcome::kSaved) {
      std::fprintf(stderr, "the CSV export failed\n");
      return 1;
    }
    csv_s.push_back(Since(start));
    start = Clock::now();
    if (files::WriteRegExport(folder / "keyloom-bench.reg", items, context) !=
        files::ExportOutcome::kSaved) {
      std::fprintf(stderr, "the REG export failed\n");
      return 1;
    }
    reg_s.push_back(Since(start));
  }
  std::error_code ignored;
  std::filesystem::remove(folder / "keyloom-bench.csv", ignored);
  std::filesystem::remove(folder / "keyloom-bench.reg", ignored);
  const double b = Median(bare_s), c = Median(csv_s), r = Median(reg_s);
  std::printf("rows=%zu bare_s=%.3f csv_s=%.3f reg_s=%.3f csv_ratio=%.2f reg_ratio=%.2f\n",
              rows.size(), b, c, r, c / b, r / b);
  return 0;
}

int Gui(HINSTANCE instance, const Arguments& args) {
  GuiBenchOptions options;
  options.rows = static_cast<int>(args.Number("rows", static_cast<std::uint64_t>(options.rows)));
  options.repetitions =
      static_cast<int>(args.Number("reps", static_cast<std::uint64_t>(options.repetitions)));
  if (args.Has("only")) {  // --only rows,bar,lines: what each hit sends
    const std::string only = args.Text("only", "");
    options.rows_out = only.find("rows") != std::string::npos;
    options.bar_texts = only.find("bar") != std::string::npos;
    options.lines = only.find("lines") != std::string::npos;
    options.sort_and_filter = false;
  }
  options.filter_text = args.Text("filter", options.filter_text);
  const std::string report = RunGuiBench(instance, options);
  if (report.empty()) {
    std::fprintf(stderr, "the main window could not be created\n");
    return 1;
  }
  std::printf("%s\n", report.c_str());
  return 0;
}

}  // namespace
}  // namespace keyloom::bench

int wmain(int argc, wchar_t** argv) {
  using namespace keyloom::bench;
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const Arguments args(argc, argv);
  if (!args.bad().empty()) {
    std::fprintf(stderr, "%s\n", args.bad().c_str());
    return 2;
  }
  int rc = 2;
  if (command == L"gen") {
    rc = Generate(args);
  } else if (command == L"walk") {
    rc = Walk(args);
  } else if (command == L"search") {
    rc = Search(args);
  } else if (command == L"export") {
    rc = Export(args);
  } else if (command == L"gui") {
    rc = Gui(GetModuleHandleW(nullptr), args);
  } else {
    std::fprintf(stderr, "usage: keyloom_bench gen|walk|search|export|gui [options]\n");
  }
  std::fflush(stdout);
  return rc;
}
