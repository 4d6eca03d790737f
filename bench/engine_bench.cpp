// Native benchmarks on the memory registry: the engine's search of a whole generated tree (no hits,
// 1% hits), a replace run in simulate mode, the port walk that only enumerates and reads every
// value through the registry port, the limit for a reader of the port, and the raw walk that
// takes every key and value straight from the registry's memory, the limit for any reader.
// Reported as values/s and, at the end, as the ratio of each run to the port walk and of the port
// walk to the raw walk.
//
// keyloom_bench [--keys=N] [--share=S] [--seed=N] [Google Benchmark flags]
// keyloom_bench --profile-once [--keys=N]: one raw walk, one port walk and one search, for
// callgrind (see ProfileOnce)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "bench/bare_walk.h"
#include "bench/gen.h"
#include "bench/headless_run.h"
#include "engine/pause_gate.h"
#include "registry/memory/memory_registry.h"

namespace keyloom::bench {
namespace {

constexpr const char* kBase = "Software\\KeyloomBench";
constexpr const char* kReplacement = "KLQReplacedZX";

struct Tree {
  std::unique_ptr<reg::MemoryRegistry> registry;
  GenStats stats;
};

GenOptions g_options;

Tree& TheTree() {
  static Tree* tree = [] {
    auto* t = new Tree;
    t->registry = reg::NewMemoryRegistry();
    const reg::ErrorCode rc =
        GenerateTree(*t->registry, reg::kCurrentUser, kBase, g_options, &t->stats);
    if (rc != reg::kSuccess) {
      std::fprintf(stderr, "generating the tree failed: error %u\n", rc);
      std::exit(1);
    }
    std::printf("Tree: %s", DescribeTree(t->stats).c_str());
    return t;
  }();
  return *tree;
}

void ReportValues(benchmark::State& state, const Tree& tree) {
  state.counters["values/s"] = benchmark::Counter(static_cast<double>(tree.stats.values),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BareWalk(benchmark::State& state) {
  Tree& tree = TheTree();
  WalkCounts counts;
  for (auto _ : state) {
    counts = BareWalk(*tree.registry, reg::kCurrentUser, reg::access::kRead);
    benchmark::DoNotOptimize(counts.values);
  }
  if (counts.values != tree.stats.values) {
    state.SkipWithError("the bare walk did not read every value");
  }
  ReportValues(state, tree);
}

// Copies every key name, value name and value's data into room reused for the whole walk, as the
// system's enumeration functions hand them to a caller.
class RawReader final : public reg::MemoryRegistry::TreeReader {
 public:
  void Key(std::u16string_view name, std::uint32_t depth) override {
    key_name_.assign(name);
    ++counts.keys;
    counts.max_depth = std::max(counts.max_depth, depth);
  }
  void Value(std::u16string_view name, std::uint32_t /*type*/,
             std::span<const std::uint8_t> data) override {
    value_name_.assign(name);
    data_.assign(data.begin(), data.end());
    ++counts.values;
    counts.data_bytes += data.size();
  }

  WalkCounts counts;

 private:
  std::u16string key_name_;
  std::u16string value_name_;
  std::vector<std::uint8_t> data_;
};

void BM_RawWalk(benchmark::State& state) {
  Tree& tree = TheTree();
  RawReader reader;
  for (auto _ : state) {
    reader.counts = {};
    tree.registry->ReadTree(reg::kCurrentUser, reader);
    benchmark::DoNotOptimize(reader.counts.values);
  }
  if (reader.counts.values != tree.stats.values) {
    state.SkipWithError("the raw walk did not read every value");
  }
  ReportValues(state, tree);
}

// The regular expressions of modes 4 and 5: a character class in the middle of the texts of
// modes 0 and 1, so that the expression engine cannot take them for plain text.
constexpr const char* kAbsentExpression = "KLQAbs[e]ntZX";
constexpr const char* kNeedleExpression = "KLQNe[e]dleZX";

// arg 0: search for a text that is nowhere; 1: search for the needle; 2: replace the needle in
// simulate mode; 3: as 0 in a shown run (status bar text for every key); 4 and 5: as 0 and 1 with
// a regular expression.
void BM_Engine(benchmark::State& state) {
  Tree& tree = TheTree();
  HeadlessOptions options;
  auto mode = state.range(0);
  if (mode >= 4) {
    options.mode = engine::MatchMode::kRegex;
    options.find = mode == 4 ? kAbsentExpression : kNeedleExpression;
    mode -= 4;
  } else {
    options.find = std::string(mode == 0 || mode == 3 ? kAbsentText : g_options.needle);
  }
  if (mode == 2) options.replace = kReplacement;
  options.silent = mode != 3;
  engine::PortablePauseGate gate;
  HeadlessResult result;
  for (auto _ : state) {
    result = RunHeadless(*tree.registry, gate, options);
    benchmark::DoNotOptimize(result.job.matched);
  }
  const std::uint64_t expected = (mode == 0 || mode == 3) ? 0 : tree.stats.needle_values;
  if (!result.job.started || static_cast<std::uint64_t>(result.job.matched) != expected) {
    state.SkipWithError("the run did not find exactly the planted values");
  }
  state.counters["hits"] = static_cast<double>(result.job.matched);
  ReportValues(state, tree);
}

// Timed by the CPU the whole process uses (the search runs on a worker thread while the main
// thread waits), which another program's load on a shared machine changes far less than the
// wall-clock time.
BENCHMARK(BM_RawWalk)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_BareWalk)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_Engine)
    ->ArgName("mode")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(4)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);

const char* ModeName(const std::string& name) {
  if (name.find("RawWalk") != std::string::npos) return "raw walk";
  if (name.find("BareWalk") != std::string::npos) return "port walk";
  if (name.find("mode:0") != std::string::npos) return "search, no hits (silent)";
  if (name.find("mode:1") != std::string::npos) return "search, needle hits";
  if (name.find("mode:2") != std::string::npos) return "replace, simulate";
  if (name.find("mode:3") != std::string::npos) return "search, no hits (shown)";
  if (name.find("mode:4") != std::string::npos) return "regex search, no hits";
  if (name.find("mode:5") != std::string::npos) return "regex search, needle hits";
  return nullptr;
}

// Keeps every run's time per iteration for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        const char* mode = ModeName(run.benchmark_name());
        if (mode != nullptr)
          seconds_[mode] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const auto walk = seconds_.find("port walk");
    if (walk == seconds_.end() || walk->second <= 0) return;
    const auto raw = seconds_.find("raw walk");
    if (raw != seconds_.end() && raw->second > 0) {
      std::printf("\nThe port walk takes %.2fx the raw walk (%.1f ms against %.1f ms of CPU)\n",
                  walk->second / raw->second, walk->second * 1000, raw->second * 1000);
    }
    const auto text = seconds_.find("search, no hits (silent)");
    const auto regex = seconds_.find("regex search, no hits");
    if (text != seconds_.end() && regex != seconds_.end() && text->second > 0) {
      std::printf(
          "\nThe regular-expression search takes %.2fx the Text search (%.1f ms against "
          "%.1f ms of CPU, no hits)\n",
          regex->second / text->second, regex->second * 1000, text->second * 1000);
    }
    std::printf("\nRatio to the port walk (%.1f ms of CPU over %llu values):\n",
                walk->second * 1000, static_cast<unsigned long long>(TheTree().stats.values));
    for (const auto& [mode, seconds] : seconds_) {
      if (mode == "port walk" || mode == "raw walk") continue;
      std::printf("  %-26s %6.2fx  (%.0f values/s)\n", mode.c_str(), seconds / walk->second,
                  static_cast<double>(TheTree().stats.values) / seconds);
    }
  }

 private:
  std::map<std::string, double> seconds_;
};

// One raw walk, one port walk and one search with no hits, nothing else, for an instruction
// profile: `valgrind --tool=callgrind --collect-atstart=no` with --toggle-collect on these two
// functions and on SearchEngine::RunSession (the search's worker) counts each of them alone.
[[gnu::noinline]] WalkCounts ProfiledRawWalk(reg::MemoryRegistry& registry) {
  RawReader reader;
  registry.ReadTree(reg::kCurrentUser, reader);
  return reader.counts;
}

[[gnu::noinline]] WalkCounts ProfiledPortWalk(reg::MemoryRegistry& registry) {
  return BareWalk(registry, reg::kCurrentUser, reg::access::kRead);
}

int ProfileOnce() {
  Tree& tree = TheTree();
  const WalkCounts raw = ProfiledRawWalk(*tree.registry);
  const WalkCounts port = ProfiledPortWalk(*tree.registry);
  HeadlessOptions options;
  options.find = kAbsentText;
  engine::PortablePauseGate gate;
  const HeadlessResult search = RunHeadless(*tree.registry, gate, options);
  std::printf("keys=%llu values=%llu raw_values=%llu matched=%d\n",
              static_cast<unsigned long long>(port.keys),
              static_cast<unsigned long long>(port.values),
              static_cast<unsigned long long>(raw.values), search.job.matched);
  return search.job.started && raw.values == port.values ? 0 : 1;
}

bool g_profile_once = false;

// Takes the program's own flags out of argv.
void ParseOwnFlags(int* argc, char** argv) {
  int out = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* flag) -> const char* {
      const std::string prefix = std::string(flag) + "=";
      return arg.rfind(prefix, 0) == 0 ? argv[i] + prefix.size() : nullptr;
    };
    if (const char* v = value("--keys")) {
      g_options.keys = std::strtoull(v, nullptr, 10);
    } else if (const char* v = value("--share")) {
      g_options.needle_share = std::strtod(v, nullptr);
    } else if (const char* v = value("--seed")) {
      g_options.seed = std::strtoull(v, nullptr, 10);
    } else if (arg == "--profile-once") {
      g_profile_once = true;
    } else {
      argv[out++] = argv[i];
    }
  }
  *argc = out;
}

}  // namespace
}  // namespace keyloom::bench

int main(int argc, char** argv) {
  using namespace keyloom::bench;
  g_options.needle_share = 0.01;
  ParseOwnFlags(&argc, argv);
  // Every kind of run is measured in a process that has had a second thread, as a search always
  // has (its worker): the C library makes a lock an atomic operation only from the first second
  // thread on, so walks measured before any search would pay less for the memory registry's locks
  // than the search measured after them does.
  std::thread([] {}).join();
  if (g_profile_once) return ProfileOnce();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TheTree();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
