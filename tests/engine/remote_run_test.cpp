// A replace run over another machine: the walk, the change and its undo record all reach that
// machine's registry while SearchMachine names it, and the local registry again once it is empty.
#include <tuple>

#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"

namespace keyloom::engine::testing {
namespace {

class RemoteRunTest : public WalkTest {
 protected:
  // Software\App "Path" below HKEY_LOCAL_MACHINE of the local machine or of SERVER: written when
  // `text` is given, read back always.
  std::string Path(bool remote, const char* text = nullptr) {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kLocalMachine);
    EXPECT_TRUE(!remote || reg.RegistryConnect("\\\\SERVER"));
    if (text) reg.CreateKey("\\Software\\App");
    EXPECT_TRUE(reg.OpenKey("\\Software\\App"));
    if (text) reg.WriteString("Path", text);
    return reg.ReadString("Path");
  }
};

TEST_F(RemoteRunTest, TheSearchMachineIsChangedAndRecordedUntilItIsEmptiedAgain) {
  registry_->AddMachine("SERVER", true);
  controls_.root_choice = 0;  // "All"
  controls_.find = "needle";
  controls_.replace = "thread";
  Path(false, "needle here");
  Path(true, "needle there");
  // SERVER, then the local machine again (Cancel in the Network Machine dialog): every root.
  const struct {
    const char* machine;
    const char* local_after;
    const char* undo_machine;
    const char* undo_value;
  } cases[] = {{"\\\\SERVER", "needle here", "\\\\SERVER", "needle there"},
               {"", "thread here", "", "needle here"}};
  const auto connecting = Contains("Connecting to remote registry on \\\\SERVER");
  for (std::size_t n = 0; n < std::size(cases); ++n) {
    SCOPED_TRACE(cases[n].machine);
    context_.machine = cases[n].machine;
    Build();
    const auto lines = Run(true);
    if (n == 0) {
      EXPECT_THAT(lines, connecting);
      EXPECT_THAT(Rows(), ElementsAre("HKEY_LOCAL_MACHINE\t\\Software\\App\tPath"));
    } else {
      EXPECT_THAT(lines, Contains("Checking Key : HKEY_CLASSES_ROOT"));
      EXPECT_THAT(lines, Not(connecting));
    }
    EXPECT_EQ(Path(true), "thread there");
    EXPECT_EQ(Path(false), cases[n].local_after);
    ASSERT_EQ(UndoFiles().size(), n + 1);
    const auto undo = files::testing::ReadRegFileLines(UndoFiles()[n]);
    EXPECT_THAT(undo, Contains(std::string(";This undo file should be run on the [") +
                               cases[n].undo_machine + "] machine"));
    EXPECT_THAT(undo, Contains(std::string("\"Path\"=\"") + cases[n].undo_value + "\""));
  }
}

// The items of a restricted run that the walk did not come upon are looked up on the machine
// searched, each root connected once however many items lie below it.
TEST_F(RemoteRunTest, ItemsNotReachedAreLookedUpThroughOneConnectionPerRoot) {
  registry_->AddMachine("SERVER", true);
  Path(true, "needle there");
  context_.machine = "\\\\SERVER";
  controls_.find = "absent";
  Build();
  std::vector<OnlyItem> items;
  for (const auto& [root, path, name] : std::vector<std::tuple<int, const char*, const char*>>{
           {3, "\\Software\\App", "Path"},
           {3, "\\Software\\App", "Gone"},
           {3, "\\Software\\Gone", "v"},
           {4, "\\Nobody", "v"}}) {
    items.push_back({root, path, name, std::nullopt, false});
  }
  controller_->engine().RestrictNextRun(ItemFilter(std::move(items), true));
  registry_->ResetCallCounts();
  const auto lines = Run();
  EXPECT_THAT(lines, Contains("Skipped, it no longer holds the find text "
                              "[HKEY_LOCAL_MACHINE\\Software\\App\\Path]"));
  EXPECT_THAT(lines,
              Contains("Skipped, the value is gone [HKEY_LOCAL_MACHINE\\Software\\App\\Gone]"));
  EXPECT_THAT(lines,
              Contains("Skipped, the key is gone [HKEY_LOCAL_MACHINE\\Software\\Gone\\v]"));
  EXPECT_THAT(lines, Contains("Skipped, the key is gone [HKEY_USERS\\Nobody\\v]"));
  // The walk's connection to each of the two roots, and one more each for the look-up.
  EXPECT_EQ(registry_->CallCount(reg::MemoryRegistry::Op::kConnectRegistry), 4u);
  EXPECT_EQ(registry_->OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace keyloom::engine::testing
