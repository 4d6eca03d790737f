// A replace run over another machine: the walk, the change and its undo record all reach that
// machine's registry while SearchMachine names it, and the local registry again once it is empty.
#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"

namespace keyloom::engine::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class RemoteRunTest : public WalkTest {
 protected:
  void SetUp() override {
    WalkTest::SetUp();
    registry_->AddMachine("SERVER", true);
    controls_.root_choice = 0;  // "All"
    controls_.find = "needle";
    controls_.replace = "thread";
    PutLocalMachine(local_, "needle here");
    PutLocalMachine(remote_, "needle there");
  }

  // Software\App "Path" below HKEY_LOCAL_MACHINE of the local machine or of SERVER.
  void PutLocalMachine(bool remote, const std::string& text) {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kLocalMachine);
    if (remote) {
      ASSERT_TRUE(reg.RegistryConnect("\\\\SERVER"));
    }
    reg.CreateKey("\\Software\\App");
    ASSERT_TRUE(reg.OpenKey("\\Software\\App"));
    reg.WriteString("Path", text);
  }
  std::string PathOn(bool remote) {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kLocalMachine);
    if (remote) {
      EXPECT_TRUE(reg.RegistryConnect("\\\\SERVER"));
    }
    EXPECT_TRUE(reg.OpenKey("\\Software\\App"));
    return reg.ReadString("Path");
  }

  static constexpr bool local_ = false;
  static constexpr bool remote_ = true;
};

TEST_F(RemoteRunTest, TheSearchMachineIsChangedAndRecordedUntilItIsEmptiedAgain) {
  globals_.search_machine = "\\\\SERVER";
  Build();
  const auto lines = Run(true);
  EXPECT_THAT(lines, Contains("Connecting to remote registry on \\\\SERVER"));
  EXPECT_THAT(Rows(), ElementsAre("HKEY_LOCAL_MACHINE\t\\Software\\App\tPath"));
  EXPECT_EQ(PathOn(remote_), "thread there");
  EXPECT_EQ(PathOn(local_), "needle here");
  ASSERT_EQ(UndoFiles().size(), 1u);
  const auto undo = files::testing::ReadRegFileLines(UndoFiles()[0]);
  EXPECT_THAT(undo, Contains(";This undo file should be run on the [\\\\SERVER] machine"));
  EXPECT_THAT(undo, Contains("\"Path\"=\"needle there\""));

  // Back on the local machine (Cancel in the Network Machine dialog): every root, local changes.
  globals_.search_machine.clear();
  Build();
  const auto local_lines = Run(true);
  EXPECT_THAT(local_lines, Contains("Checking Key : HKEY_CLASSES_ROOT"));
  EXPECT_THAT(local_lines, ::testing::Not(Contains("Connecting to remote registry on \\\\SERVER")));
  EXPECT_EQ(PathOn(local_), "thread here");
  EXPECT_EQ(PathOn(remote_), "thread there");
  ASSERT_EQ(UndoFiles().size(), 2u);
  const auto local_undo = files::testing::ReadRegFileLines(UndoFiles()[1]);
  EXPECT_THAT(local_undo, Contains(";This undo file should be run on the [] machine"));
  EXPECT_THAT(local_undo, Contains("\"Path\"=\"needle here\""));
}

}  // namespace
}  // namespace keyloom::engine::testing
