// Fleet runs (/machines) through the real command line, job runner, engine and walk, over the
// memory registry's machines behind a simulated network (every key call waits), several at once:
// the combined report in list order, unreachable machines, a machine that fails midway, each
// machine's own undo folder and journal, the JSON and CSV files, /retry, /detect, /summary and
// the Remote Registry service started for a run and put back. No timing is asserted here; the
// speed of parallel runs is the benchmark's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "engine/pause_gate.h"
#include "files/reg_file_import.h"
#include "files/reg_file_testing.h"
#include "registry/delayed_reg_api.h"
#include "registry/memory/memory_registry.h"
#include "registry/memory/memory_service_control.h"
#include "registry/registry.h"
#include "shell/command_job.h"
#include "shell/exit_codes.h"
#include "shell/machine_list.h"
#include "support/json_reader.h"
#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

using keyloom::testing::Json;
using keyloom::testing::JsonReader;
using keyloom::testing::ReadBytes;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::SizeIs;
using ::testing::StartsWith;

const std::vector<std::string> kMachines = {"SRV1", "SRV2", "DOWN1", "SRV3", "SRV4", "SRV5"};

class FleetRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = reg::NewMemoryRegistry();
    for (const std::string& name : kMachines) {
      registry_->AddMachine(name, true);
      Write(name, "\\Software\\Scratch\\A", "Server", "old-srv." + name);
      Write(name, "\\Software\\Scratch\\B", "Path", "\\\\old-srv\\share");
    }
    registry_->SetMachineReachable("DOWN1", false);
    list_ = (folder_.path() / "machines.txt").string();
    WriteList("# the fleet\r\n" + MachineListText(kMachines, "") + "srv1\r\n");
  }

  void WriteList(const std::string& text) { keyloom::testing::WriteBytes(list_, text); }

  std::unique_ptr<reg::TRegistry> Remote(const std::string& machine) {
    auto reg = std::make_unique<reg::TRegistry>(*registry_);
    reg->SetRootKey(reg::kLocalMachine);
    reg->SetView(reg::RegView::k64);
    EXPECT_TRUE(reg->RegistryConnect("\\\\" + machine));
    return reg;
  }
  void Write(const std::string& machine, const std::string& key, const std::string& name,
             const std::string& value) {
    const auto reg = Remote(machine);
    reg->CreateKey(key);
    ASSERT_TRUE(reg->OpenKey(key));
    reg->WriteString(name, value);
  }
  std::string Read(const std::string& machine, const std::string& key, const std::string& name) {
    const auto reg = Remote(machine);
    if (!reg->OpenKey(key)) return "<no key>";
    return reg->ReadString(name);
  }

  int Run(std::vector<std::string> args) {
    out_.clear();
    err_.clear();
    // Every key call crosses a (simulated) network.
    reg::DelayedRegApi network(*registry_, std::chrono::microseconds(200));
    CommandEnvironment env;
    env.api = &network;
    env.gate = &gate_;
    env.program.folder = folder_.Utf8();
    env.program.is_64bit_windows = true;
    env.out = [this](std::string_view line) { out_.emplace_back(line); };
    env.err = [this](std::string_view line) { err_.emplace_back(line); };
    env.stop = &stop_;
    env.services = &services_;
    env.file_writer = file_writer_;
    return RunCommandLine(args, env);
  }

  std::string File(const std::string& name) { return (folder_.path() / name).string(); }
  std::filesystem::path UndoOf(const std::string& machine) {
    return folder_.path() / "undo" / machine;
  }

  std::unique_ptr<reg::MemoryRegistry> registry_;
  reg::MemoryServiceControl services_;
  engine::PortablePauseGate gate_;
  testing::TempFolder folder_;
  std::string list_;
  std::atomic<bool> stop_{false};
  base::FileReplacement::Writer file_writer_;
  std::vector<std::string> out_, err_;
};

TEST_F(FleetRunTest, ReplacesOnEveryMachineReachedAndReportsEachInListOrder) {
  // SRV3 refuses the second change midway through its run.
  registry_->InjectFault({reg::MemoryRegistry::Op::kSetValue,
                          "\\\\SRV3\\HKEY_LOCAL_MACHINE\\Software\\Scratch\\B", 0,
                          reg::kAccessDenied});
  const int code = Run({"/find",     "old-srv",
                        "/replace",  "new-srv",
                        "/machines", list_,
                        "/parallel", "3",
                        "/root",     "HKLM\\Software\\Scratch",
                        "/view",     "64",
                        "/undo",     File("undo"),
                        "/json",     File("run.json"),
                        "/csv",      File("hits.csv"),
                        "/retry",    File("retry.txt")});
  EXPECT_EQ(code, kExitSomeFailed);
  EXPECT_THAT(err_, ::testing::IsEmpty());

  // Each machine's lines form one block, the blocks in list order, then the summaries.
  std::vector<std::string> blocks;
  for (const std::string& line : out_) {
    if (line.find(": reached;") != std::string::npos) break;
    const std::string owner = line.substr(0, line.find(": "));
    if (blocks.empty() || blocks.back() != owner) blocks.push_back(owner);
  }
  EXPECT_EQ(blocks, kMachines);
  EXPECT_THAT(out_, Contains("SRV1: Connecting to remote registry on \\\\SRV1"));
  EXPECT_THAT(out_, Contains(StartsWith("DOWN1: Remote Registry Error: [")));
  const std::string undo = File("undo");
  EXPECT_THAT(out_, Contains("SRV2: reached; hits 2, changes 2, failed 0, not read 0, undo files "
                             "1 in " +
                             (base::PathToUtf8(UndoOf("SRV2")) + base::kPathSeparator)));
  EXPECT_THAT(out_, Contains(StartsWith("SRV3: reached; hits 2, changes 1, failed 1,")));
  EXPECT_THAT(out_, Contains(StartsWith("DOWN1: not reached; Remote Registry Error: [")));
  EXPECT_THAT(out_, Contains("Machines: 6, reached 5, not reached 1"));
  EXPECT_THAT(out_, Contains("Hits: 10"));
  EXPECT_THAT(out_, Contains("Changes: 9"));
  EXPECT_THAT(out_, Contains("Undo files written: 5"));

  // The registry of every machine reached is changed; the failed value is as it was.
  EXPECT_EQ(Read("SRV1", "\\Software\\Scratch\\A", "Server"), "new-srv.SRV1");
  EXPECT_EQ(Read("SRV3", "\\Software\\Scratch\\B", "Path"), "\\\\old-srv\\share");
  EXPECT_EQ(Read("SRV5", "\\Software\\Scratch\\B", "Path"), "\\\\new-srv\\share");

  // Each machine has its undo folder with its own numbering and journal; merged, a file takes
  // its machine (and only it) back.
  EXPECT_FALSE(std::filesystem::exists(UndoOf("DOWN1")));
  registry_->ClearFaults();
  for (const std::string name : {"SRV1", "SRV2", "SRV3", "SRV4", "SRV5"}) {
    SCOPED_TRACE(name);
    std::vector<std::string> regs;
    for (const auto& entry : std::filesystem::directory_iterator(UndoOf(name))) {
      if (entry.path().extension() == ".REG") regs.push_back(entry.path().filename().string());
    }
    ASSERT_THAT(regs, SizeIs(1));
    EXPECT_THAT(regs[0], ::testing::EndsWith("-001.REG"));
    const std::string journal = ReadBytes(UndoOf(name) / "UNDO-RUNS.TXT");
    EXPECT_THAT(journal, HasSubstr("Machine=\\\\\\\\" + name));
    EXPECT_THAT(journal, HasSubstr("File=" + regs[0]));
    const files::MergeOutcome merged = files::MergeRegFile(
        *registry_, {"\\\\" + name, reg::RegView::k64}, (UndoOf(name) / regs[0]).string());
    EXPECT_TRUE(merged.ok());
    EXPECT_EQ(Read(name, "\\Software\\Scratch\\A", "Server"), "old-srv." + name);
    EXPECT_EQ(Read(name, "\\Software\\Scratch\\B", "Path"), "\\\\old-srv\\share");
  }

  // The JSON document: one object a machine, in list order, with its hits.
  const std::optional<Json> json = JsonReader::Parse(ReadBytes(File("run.json")));
  ASSERT_TRUE(json.has_value());
  const Json& machines = (*json)["machines"];
  ASSERT_THAT(machines.array, SizeIs(kMachines.size()));
  for (std::size_t m = 0; m < kMachines.size(); ++m) {
    EXPECT_EQ(machines[m]["machine"].Utf8(), kMachines[m]);
  }
  EXPECT_FALSE(machines[2]["reached"].boolean);
  const Json& srv3 = machines[3]["results"];
  ASSERT_THAT(srv3.array, SizeIs(2));
  EXPECT_EQ(srv3[0]["root"].Utf8(), "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(srv3[0]["key"].Utf8(), "\\Software\\Scratch\\A");
  EXPECT_EQ(srv3[0]["value_name"].Utf8(), "Server");
  EXPECT_EQ(srv3[0]["type"].Utf8(), "REG_SZ");
  EXPECT_EQ(srv3[0]["result"].Utf8(), "Replaced");
  EXPECT_EQ(srv3[0]["data"].Utf8(), "new-srv.SRV3");  // as the replace left it
  EXPECT_EQ(srv3[1]["data"].Utf8(), "\\\\old-srv\\share");
  EXPECT_THAT(srv3[1]["result"].Utf8(), StartsWith("Failed: "));
  EXPECT_EQ((*json)["totals"]["hits"].number, 10);
  EXPECT_EQ((*json)["exit_code"].number, kExitSomeFailed);

  // The CSV file: the Machine column first, the reached machines' hits in list order.
  const auto csv = files::testing::SplitCrLf(ReadBytes(File("hits.csv")).substr(3));
  ASSERT_THAT(csv, SizeIs(10));
  EXPECT_EQ(csv[0], "SRV1,HKEY_LOCAL_MACHINE,\\Software\\Scratch\\A,Server,new-srv.SRV1");
  EXPECT_THAT(csv[9], StartsWith("SRV5,"));

  // /retry names the machine not reached and the one with a failure, in list order.
  EXPECT_THAT(ReadMachineList(File("retry.txt")).names, ElementsAre("DOWN1", "SRV3"));
}

TEST_F(FleetRunTest, DetectAnswersWhetherTheTextIsThereAndSummaryIsOneBoundedLine) {
  const std::vector<std::string> search = {"/machines",      list_,   "/root",
                                           "HKLM\\Software", "/view", "64"};
  const auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), search.begin(), search.end());
    return args;
  };
  registry_->SetMachineReachable("DOWN1", true);
  EXPECT_EQ(Run(with({"/find", "old-srv", "/detect"})), 1);
  EXPECT_EQ(Run(with({"/find", "not-anywhere", "/detect"})), 0);
  EXPECT_EQ(Run(with({"/find", "not-anywhere"})), kExitNothingFound);
  EXPECT_EQ(Run(with({"/find", "old-srv"})), kExitOk);
  registry_->SetMachineReachable("DOWN1", false);
  EXPECT_EQ(Run(with({"/find", "old-srv", "/detect"})), kExitSomeFailed);

  // Hundreds of unreachable machines with long names: one line, the totals kept.
  std::vector<std::string> many = kMachines;
  for (int i = 0; i < 300; ++i) many.push_back("unreachable-" + std::to_string(i) + ".corp");
  WriteList(MachineListText(many, ""));
  EXPECT_EQ(Run(with({"/find", "old-srv", "/replace", "x", "/summary", "/parallel", "64"})),
            kExitSomeFailed);
  ASSERT_THAT(out_, SizeIs(1));
  EXPECT_LE(out_[0].size(), 2048u);
  EXPECT_THAT(out_[0], StartsWith("Keyloom: 306 machines, 5 reached; hits 10, changes 10, failed "
                                  "0, not read 0, undo files 5 in "));
  EXPECT_THAT(out_[0], HasSubstr("; not reached: DOWN1, unreachable-0.corp, "));
  EXPECT_THAT(out_[0], HasSubstr(" more"));
}

TEST_F(FleetRunTest, AFileThatCannotBeWrittenMakesTheCodeFiveInTheJsonFileToo) {
  // The disk is full for the retry list (its first line is its heading) and for nothing else.
  file_writer_ = [](std::FILE* file, std::string_view bytes) {
    return !bytes.starts_with("# Keyloom: ") &&
           std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  };
  registry_->SetMachineReachable("DOWN1", true);
  EXPECT_EQ(Run({"/find", "old-srv", "/machines", list_, "/root", "HKLM\\Software", "/view", "64",
                 "/retry", File("retry.txt"), "/json", File("run.json")}),
            kExitSomeFailed);
  EXPECT_THAT(err_, ElementsAre(StartsWith("The retry list could not be written: ")));
  const std::optional<Json> json = JsonReader::Parse(ReadBytes(File("run.json")));
  ASSERT_TRUE(json.has_value());
  EXPECT_EQ((*json)["exit_code"].number, kExitSomeFailed);
}

TEST_F(FleetRunTest, StoppedRemoteRegistryServiceIsNamedOrStartedAndPutBackAsItWas) {
  // DOWN1's Remote Registry service is stopped and disabled: its registry answers only while the
  // service runs.
  services_.AddService("DOWN1", reg::kRemoteRegistryService, {false, reg::kServiceDisabled});
  services_.SetObserver([this](const std::string& machine, const std::string&, bool running) {
    registry_->SetMachineReachable(machine, running);
  });
  WriteList("DOWN1\n");
  const std::vector<std::string> args = {"/find",     "old-srv", "/replace", "new-srv",
                                         "/machines", list_,     "/root",    "HKLM\\Software",
                                         "/view",     "64",      "/undo",    File("undo")};
  EXPECT_EQ(Run(args), kExitSomeFailed);
  EXPECT_THAT(out_, Contains(HasSubstr("/start-remote-registry starts it")));
  EXPECT_THAT(services_.Calls(), ElementsAre("Query \\\\DOWN1 RemoteRegistry"));

  std::vector<std::string> starting = args;
  starting.push_back("/start-remote-registry");
  EXPECT_EQ(Run(starting), kExitOk);
  EXPECT_THAT(out_, Contains(StartsWith("DOWN1: reached; hits 2, changes 2")));
  EXPECT_THAT(
      services_.Calls(),
      ElementsAre("Query \\\\DOWN1 RemoteRegistry", "Query \\\\DOWN1 RemoteRegistry",
                  "SetStartType 3 \\\\DOWN1 RemoteRegistry", "Start \\\\DOWN1 RemoteRegistry",
                  "Stop \\\\DOWN1 RemoteRegistry", "SetStartType 4 \\\\DOWN1 RemoteRegistry"));
  bool found = false;
  const reg::ServiceState after = services_.StateOf("DOWN1", reg::kRemoteRegistryService, &found);
  EXPECT_FALSE(after.running);
  EXPECT_EQ(after.start_type, reg::kServiceDisabled);
  registry_->SetMachineReachable("DOWN1", true);
  EXPECT_EQ(Read("DOWN1", "\\Software\\Scratch\\A", "Server"), "new-srv.DOWN1");
}

TEST_F(FleetRunTest, ASingleRunWritesItsJsonDetectsAndSummarizesToo) {
  // A value of the local registry whose name and data JSON cannot hold as they are: a control
  // character, a lone surrogate.
  const std::u16string data = {u'o', u'l', u'd', u'-', 0xD800, u'x'};
  const std::string name = "Odd\x01";
  {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kCurrentUser);
    reg.CreateKey("\\Software\\Local");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Local"));
    reg.WriteString(name, text::Utf16ToUtf8(data));
    // Far longer than the Key List shows, with line breaks.
    reg.WriteString("Long", "old-" + std::string(5000, 'x') + "\r\nend");
  }
  EXPECT_EQ(Run({"/find", "old-", "/root", "HKCU\\Software\\Local", "/json", File("one.json"),
                 "/detect", "/summary"}),
            1);
  EXPECT_THAT(out_, ElementsAre("Keyloom: hits 2, not read 0"));
  const std::optional<Json> json = JsonReader::Parse(ReadBytes(File("one.json")));
  ASSERT_TRUE(json.has_value());
  ASSERT_THAT((*json)["machines"].array, SizeIs(1));
  const Json& machine = (*json)["machines"][0];
  EXPECT_EQ(machine["machine"].Utf8(), "KEYLOOM-PC");  // the memory registry's computer
  EXPECT_EQ(machine["results"][0]["value_name"].Utf8(), name);
  EXPECT_EQ(machine["results"][0]["data"].string, data);
  EXPECT_EQ(machine["results"][1]["data"].Utf8(), "old-" + std::string(5000, 'x') + "\r\nend");
  EXPECT_EQ((*json)["mode"].Utf8(), "search");
  EXPECT_EQ(Run({"/find", "absent", "/root", "HKCU\\Software\\Local", "/detect"}), 0);
}

TEST_F(FleetRunTest, RefusesWhatAFleetRunCannotTake) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"/find", "x", "/machines", list_, "/parallel", "0"}, "from 1 to 64"},
      {{"/find", "x", "/machines", list_, "/parallel", "65"}, "from 1 to 64"},
      {{"/find", "x", "/machines", list_, "/parallel", "many"}, "from 1 to 64"},
      {{"/find", "x", "/parallel", "4"}, "need /machines"},
      {{"/find", "x", "/retry", "r.txt"}, "need /machines"},
      {{"/find", "x", "/machines", list_, "/machine", "SRV1"}, "exclude each other"},
      {{"/find", "x", "/machines", list_, "/root", "HKCU"}, "only HKLM and HKU"},
      {{"/find", "x", "/machines", File("missing.txt")}, "cannot read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(Run(c.args), kExitNoRun);
    ASSERT_THAT(err_, SizeIs(1));
    EXPECT_THAT(err_[0], HasSubstr(c.error));
  }
}

}  // namespace
}  // namespace keyloom::shell
