// A replace run over another machine: the walk, the change and its undo record all reach that
// machine's registry while SearchMachine names it, and the local registry again once it is empty.
#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"

namespace keyloom::engine::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

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

}  // namespace
}  // namespace keyloom::engine::testing
