// The fleet run's speed: 64 machines in the memory registry behind a simulated network (every key
// call waits 0.5 ms, as a round trip to another computer does), searched once a machine at a time
// and once 16 at a time through the real command line. Prints both times, their ratio, and
// whether the two reports are the same (they must be: the order of a fleet's report never
// depends on which machine ended first).
//
//   keyloom_fleet_bench [machines] [parallel] [delay-microseconds]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/pause_gate.h"
#include "registry/delayed_reg_api.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"
#include "shell/command_job.h"
#include "shell/machine_list.h"

namespace {

using namespace keyloom;

// Each machine: HKLM\Software\Fleet with 8 keys of 3 subkeys, 4 values each, one hit a key.
void Populate(reg::MemoryRegistry& registry, const std::string& machine) {
  registry.AddMachine(machine, true);
  reg::TRegistry reg(registry);
  reg.SetRootKey(reg::kLocalMachine);
  reg.SetView(reg::RegView::k64);
  reg.RegistryConnect("\\\\" + machine);
  for (int k = 0; k < 8; ++k) {
    for (int s = 0; s < 3; ++s) {
      const std::string key =
          "\\Software\\Fleet\\App" + std::to_string(k) + "\\Part" + std::to_string(s);
      reg.CreateKey(key);
      reg.OpenKey(key);
      reg.WriteString("Server", "old-srv." + machine);
      for (int v = 0; v < 3; ++v) reg.WriteString("Other" + std::to_string(v), "nothing here");
      reg.CloseKey();
    }
  }
}

struct Timed {
  double seconds = 0;
  int code = 0;
  std::vector<std::string> report;  // without the time lines
};

Timed Run(reg::RegApi& api, const std::filesystem::path& folder, const std::string& list,
          int parallel) {
  engine::PortablePauseGate gate;
  std::atomic<bool> stop{false};
  Timed timed;
  shell::CommandEnvironment env;
  env.api = &api;
  env.gate = &gate;
  env.program.folder = folder.string() + "/";
  env.program.is_64bit_windows = true;
  env.out = [&timed](std::string_view line) {
    if (!line.starts_with("Elapsed: ")) timed.report.emplace_back(line);
  };
  env.err = [](std::string_view line) {
    std::fprintf(stderr, "%.*s\n", int(line.size()), line.data());
  };
  env.stop = &stop;
  const auto start = std::chrono::steady_clock::now();
  timed.code = shell::RunCommandLine(
      {"/find", "old-srv", "/machines", list, "/parallel", std::to_string(parallel), "/root",
       "HKLM\\Software\\Fleet", "/view", "64"},
      env);
  timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return timed;
}

}  // namespace

int main(int argc, char** argv) {
  const int machines = argc > 1 ? std::atoi(argv[1]) : 64;
  const int parallel = argc > 2 ? std::atoi(argv[2]) : 16;
  const int delay_us = argc > 3 ? std::atoi(argv[3]) : 500;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("keyloom-fleet-bench-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder);
  auto registry = reg::NewMemoryRegistry();
  std::vector<std::string> names;
  for (int i = 0; i < machines; ++i) {
    names.push_back("SRV" + std::to_string(100 + i));
    Populate(*registry, names.back());
  }
  const std::string list = (folder / "machines.txt").string();
  std::ofstream(list, std::ios::binary) << shell::MachineListText(names, "");
  reg::DelayedRegApi network(*registry, std::chrono::microseconds(delay_us));
  registry->ResetCallCounts();
  // The two kinds side by side, three times over, so that a change of the machine's load between
  // them weighs on both alike.
  double one_total = 0, many_total = 0;
  bool same = true;
  std::printf("machines %d, delay %d us per key call\n", machines, delay_us);
  for (int rep = 1; rep <= 3; ++rep) {
    const Timed one = Run(network, folder, list, 1);
    const Timed many = Run(network, folder, list, parallel);
    same = same && one.report == many.report && one.code == many.code;
    one_total += one.seconds;
    many_total += many.seconds;
    std::printf("round %d: one at a time %.3f s, /parallel %d %.3f s, 1/%.1f\n", rep, one.seconds,
                parallel, many.seconds, one.seconds / many.seconds);
  }
  std::filesystem::remove_all(folder);
  std::printf(
      "key calls a run: %llu\n",
      static_cast<unsigned long long>(registry->CallCount(reg::MemoryRegistry::Op::kAny) / 6));
  std::printf("all rounds: one at a time %.3f s, /parallel %d %.3f s: 1/%.1f\n", one_total,
              parallel, many_total, one_total / many_total);
  std::printf("reports identical: %s\n", same ? "yes" : "NO");
  return same ? 0 : 1;
}
