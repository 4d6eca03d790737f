// keyloom.com with /machines, as an administrator's script starts it, against the real registry
// of the prefix: Wine's remote registry answers only to this computer's own name, so the fleet is
// this computer (in two spellings; the list takes it once) among names no network knows. The
// report, the JSON and CSV files, /retry, and the machine's own undo folder merged back with the
// 64-bit registry editor.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/exit_codes.h"
#include "shell/machine_list.h"
#include "support/json_reader.h"
#include "support/temp_folder.h"
#include "support/value_data.h"
#include "support/win32/keyloom_exe.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kBase = "Software\\KeyloomTest\\Fleet";
constexpr std::uint32_t k64 = reg::access::kWow64_64Key;

reg::Bytes Sz(std::u16string_view s) { return keyloom::testing::Utf16Z(s); }

class FleetEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    api_ = reg::NewWin32RegApi();
    ASSERT_EQ(api_->ComputerName(&computer_), reg::kSuccess);
    Scrub();
    files::testing::detail::PutValue(*api_, reg::kLocalMachine, std::string(kBase) + "\\App",
                                     "server", {reg::kRegSz, Sz(u"old-ζ7.example")}, k64);
    files::testing::detail::PutValue(*api_, reg::kLocalMachine, std::string(kBase) + "\\App\\Sub",
                                     "path", {reg::kRegSz, Sz(u"\\\\old-ζ7\\share")}, k64);
    const auto exe = keyloom::testing::KeyloomExe();
    std::filesystem::copy_file(std::filesystem::path(exe).replace_extension(L".com"),
                               folder_.path() / L"keyloom.com");
  }
  void TearDown() override { Scrub(); }

  void Scrub() {
    files::testing::detail::DeleteTree(*api_, reg::kLocalMachine, "Software\\KeyloomTest", k64);
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kLocalMachine, kBase, k64);
  }
  std::filesystem::path At(const char* name) { return folder_.path() / name; }

  std::unique_ptr<reg::RegApi> api_;
  std::string computer_;
  keyloom::testing::TempFolder folder_;
};

TEST_F(FleetEndToEnd, ReachesThisComputerReportsTheOthersAndItsUndoFolderGivesTheTreeBack) {
  std::string lower = computer_;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  keyloom::testing::WriteBytes(
      At("machines.txt"), "# this computer and two names no network knows\r\nno-such-host-a\r\n" +
                              computer_ + "\r\n\\\\" + lower + "\r\nno-such-host-b\r\n");
  const auto before = Tree();
  const std::wstring command =
      L"\"" + At("keyloom.com").wstring() +
      L"\" /find ζ7 /replace R8 /machines machines.txt /parallel 3 /view 64"
      L" /root HKLM\\Software\\KeyloomTest\\Fleet /undo undo /json run.json /csv hits.csv"
      L" /retry retry.txt";
  const auto run = keyloom::testing::RunCaptured(command, folder_.path().c_str());
  ASSERT_EQ(run.exit_code, static_cast<DWORD>(kExitSomeFailed)) << run.out << run.err;
  const std::string refused =
      "not reached; Remote Registry Error: [" + api_->ErrorMessage(reg::kBadNetPath) + "]";
  EXPECT_THAT(run.out, HasSubstr("no-such-host-a: " + refused));
  EXPECT_THAT(run.out, HasSubstr(computer_ + ": reached; hits 2, changes 2, failed 0"));
  EXPECT_THAT(run.out, HasSubstr("Machines: 3, reached 1, not reached 2\r\n"));
  EXPECT_LT(run.out.find("no-such-host-a: Remote"), run.out.find(computer_ + ": Connecting"));
  EXPECT_LT(run.out.find(computer_ + ": Checking Key"), run.out.find("no-such-host-b: Remote"));

  const std::optional<keyloom::testing::Json> json =
      keyloom::testing::JsonReader::Parse(keyloom::testing::ReadBytes(At("run.json")));
  ASSERT_TRUE(json.has_value());
  const auto& machines = (*json)["machines"];
  ASSERT_EQ(machines.array.size(), 3u);
  EXPECT_EQ(machines[1]["machine"].Utf8(), computer_);
  EXPECT_TRUE(machines[1]["reached"].boolean);
  EXPECT_EQ(machines[1]["results"][0]["data"].Utf8(), "old-R8.example");
  EXPECT_FALSE(machines[2]["reached"].boolean);

  const std::string csv = keyloom::testing::ReadBytes(At("hits.csv"));
  EXPECT_THAT(csv, HasSubstr(computer_ + ",HKEY_LOCAL_MACHINE,\\Software\\KeyloomTest\\Fleet\\App,"
                                         "server,old-R8.example\r\n"));
  EXPECT_THAT(ReadMachineList(At("retry.txt").string()).names,
              ElementsAre("no-such-host-a", "no-such-host-b"));

  std::vector<std::filesystem::path> undo;
  for (const auto& entry : std::filesystem::directory_iterator(At("undo") / computer_)) {
    if (entry.path().extension() == L".REG") undo.push_back(entry.path());
  }
  EXPECT_TRUE(std::filesystem::exists(At("undo") / computer_ / "UNDO-RUNS.TXT"));
  EXPECT_FALSE(std::filesystem::exists(At("undo") / "no-such-host-a"));
  ASSERT_EQ(undo.size(), 1u);
  ASSERT_EQ(keyloom::testing::MergeRegFile(undo[0], keyloom::testing::RegistryEditor::k64Bit), 0u);
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

}  // namespace
}  // namespace keyloom::shell
