// Native benchmarks on the memory registry: the engine's search of a whole generated tree (no hits,
// 1% hits), a replace run in simulate mode, and the bare walk that only enumerates and reads every
// value, the limit for this registry. Reported as values/s and, at the end, as the ratio of each
// run to the bare walk.
//
// keyloom_bench [--keys=N] [--share=S] [--seed=N] [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
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

// arg 0: search for a text that is nowhere; 1: search for the needle; 2: replace the needle in
// simulate mode; 3: as 0 in a shown run (status bar text for every key).
void BM_Engine(benchmark::State& state) {
  Tree& tree = TheTree();
  HeadlessOptions options;
  const auto mode = state.range(0);
  options.find = std::string(mode == 0 || mode == 3 ? kAbsentText : g_options.needle);
  if (mode == 2) options.replace = kReplacement;
  options.silent = mode != 3;
  engine::PortablePauseGate gate;
  HeadlessResult result;
  for (auto _ : state) {
    result = RunHeadless(*tree.registry, gate, options);
    benchmark::DoNotOptimize(result.matched);
  }
  const std::uint64_t expected = (mode == 0 || mode == 3) ? 0 : tree.stats.needle_values;
  if (!result.finished || static_cast<std::uint64_t>(result.matched) != expected) {
    state.SkipWithError("the run did not find exactly the planted values");
  }
  state.counters["hits"] = static_cast<double>(result.matched);
  ReportValues(state, tree);
}

BENCHMARK(BM_BareWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Engine)
    ->ArgName("mode")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

const char* ModeName(const std::string& name) {
  if (name.find("BareWalk") != std::string::npos) return "bare walk";
  if (name.find("mode:0") != std::string::npos) return "search, no hits (silent)";
  if (name.find("mode:1") != std::string::npos) return "search, needle hits";
  if (name.find("mode:2") != std::string::npos) return "replace, simulate";
  if (name.find("mode:3") != std::string::npos) return "search, no hits (shown)";
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
          seconds_[mode] = run.real_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const auto walk = seconds_.find("bare walk");
    if (walk == seconds_.end() || walk->second <= 0) return;
    std::printf("\nRatio to the bare walk (%.1f ms over %llu values):\n", walk->second * 1000,
                static_cast<unsigned long long>(TheTree().stats.values));
    for (const auto& [mode, seconds] : seconds_) {
      if (mode == "bare walk") continue;
      std::printf("  %-26s %6.2fx  (%.0f values/s)\n", mode.c_str(), seconds / walk->second,
                  static_cast<double>(TheTree().stats.values) / seconds);
    }
  }

 private:
  std::map<std::string, double> seconds_;
};

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
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TheTree();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
