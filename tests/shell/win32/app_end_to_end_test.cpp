// keyloom.exe itself, started in a program folder of its own with a prepared KEYLOOM.INI for the
// silent unattended mode: its exit code and the settings file it leaves.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "shell/exit_codes.h"
#include "shell/ini_file.h"
#include "support/temp_folder.h"
#include "support/win32/keyloom_exe.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell {
namespace {

using keyloom::testing::KeyloomExe;

class AppEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(KeyloomExe())) << KeyloomExe().string();
    std::filesystem::copy_file(KeyloomExe(), folder_.path() / L"keyloom.exe");
  }

  // Runs the copy and returns its exit code; -1 when it did not start or end within the bound.
  long Run() {
    const std::wstring command = L"\"" + (folder_.path() / L"keyloom.exe").wstring() + L"\"";
    return static_cast<long>(keyloom::testing::RunAndWait(command, folder_.path().c_str(), 60000));
  }

  std::optional<std::string> Saved(const std::string& key) {
    return IniFile::Load(folder_.path() / "KEYLOOM.INI").Get("Keyloom", key);
  }

  keyloom::testing::TempFolder folder_;
};

TEST_F(AppEndToEndTest, SilentRunEndsWithExitCodeZeroAndSavesTheSettings) {
  // SIMULATE keeps the registry unchanged whatever the run finds. The kept place spares the
  // columns a first start's fitting to a narrow screen: COL_1 is its default again.
  keyloom::testing::WriteBytes(folder_.path() / "KEYLOOM.INI",
                               "[Keyloom]\r\nAUTOSTART=1\r\nAUTOCLOSE=1\r\nAUTOHIDE=1\r\n"
                               "FIND=KeyloomNoSuchText-9f3b\r\nREPLACE=x\r\nSEARCHKEY=5\r\n"
                               "SIMULATE=1\r\nWARN=1\r\nCOL_1=2000\r\nWIN_LEFT=10\r\n"
                               "WIN_TOP=10\r\nWIN_WIDTH=900\r\nWIN_HEIGHT=600\r\n");
  EXPECT_EQ(Run(), kExitOk);
  EXPECT_EQ(Saved("FIND"), "KeyloomNoSuchText-9f3b");
  EXPECT_EQ(Saved("SEARCHKEY"), "5");
  EXPECT_EQ(Saved("WARN"), "10");
  EXPECT_EQ(Saved("COL_1"), "320");
  EXPECT_EQ(Saved("SIMULATE"), "1");  // read, never written: the line stays
  EXPECT_EQ(Saved("AUTOHIDE"), "1");
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / "UNDO"));
}

// A run over a tiny root ends before the window could look at it again: the exit code must come
// from whether it started. Repeated with both processors kept busy.
TEST_F(AppEndToEndTest, SilentRunOverATinyRootEndsWithZeroAlsoOnABusyMachine) {
  keyloom::testing::WriteBytes(folder_.path() / "KEYLOOM.INI",
                               "[Keyloom]\r\nAUTOSTART=1\r\nAUTOCLOSE=1\r\nAUTOHIDE=1\r\n"
                               "FIND=KeyloomNoSuchText-9f3b\r\nREPLACE=x\r\nSEARCHKEY=5\r\n"
                               "SIMULATE=1\r\nUPDATEINI=0\r\n");
  std::atomic<bool> busy{true};
  std::vector<std::thread> load;
  for (int i = 0; i < 3; ++i) {
    load.emplace_back([&busy] {
      volatile unsigned spin = 0;
      while (busy) spin = spin + 1;
    });
  }
  for (int attempt = 0; attempt < 6; ++attempt) EXPECT_EQ(Run(), kExitOk) << "attempt " << attempt;
  busy = false;
  for (auto& thread : load) thread.join();
}

TEST_F(AppEndToEndTest, SilentStartWithoutReplacementTextEndsAtOnceWithANonZeroCode) {
  keyloom::testing::WriteBytes(folder_.path() / "KEYLOOM.INI",
                               "[Keyloom]\r\nAUTOSTART=1\r\nAUTOCLOSE=1\r\nAUTOHIDE=1\r\n"
                               "FIND=KeyloomNoSuchText-9f3b\r\nREPLACE=\r\nUPDATEINI=0\r\n");
  const std::string before = keyloom::testing::ReadBytes(folder_.path() / "KEYLOOM.INI");
  EXPECT_EQ(Run(), kExitNoRun);
  // UPDATEINI off: the file is left as it was.
  EXPECT_EQ(keyloom::testing::ReadBytes(folder_.path() / "KEYLOOM.INI"), before);
}

}  // namespace
}  // namespace keyloom::shell
