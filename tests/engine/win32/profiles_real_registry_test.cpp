// A user's profile made for the test on the real registry: a tree saved with RegSaveKey to a hive
// file in a temporary folder and a ProfileList entry naming that folder. keyloom.com /profiles
// loads the hive as HKEY_USERS\KL_<SID>, replaces in it, names the profile folder's user with the
// hit and unloads the hive; "Undo a run" loads the same file under the same name again and merges
// the run's undo file into it.
//
// Wine does not write a loaded hive back to its file (its server drops the keys at RegUnLoadKey,
// measured), so the file's content after the run and after the take-back cannot change here;
// that the changes reach the file is tested against the memory registry (user_profiles_test.cpp).
// Here the hive's content is seen through the undo files: the run's names the key by its name
// during the run, and the take-back's own record of the present state finds the key (it would
// record it as missing had the hive not been loaded again).
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "edit/run_undo.h"
#include "engine/user_profiles.h"
#include "engine/win32/real_run_fixture.h"
#include "files/reg_file_testing.h"
#include "shell/exit_codes.h"
#include "support/value_data.h"
#include "support/win32/keyloom_exe.h"

namespace keyloom::engine::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kSid[] = "S-1-5-21-9-9-9-4242";
constexpr char kScratch[] = "Software\\KeyloomTest";

struct YesUi : edit::RunUndoUi {
  bool Confirm(const std::string&) override { return true; }
  void Show(const std::string& line) override { shown.push_back(line); }
  std::vector<std::string> shown;
};

class ProfilesRealRegistry : public RealRegistryRun {
 protected:
  void SetUp() override {
    context_.program.is_64bit_windows = reg::DetectIs64BitWindows(*api_);
    Scrub();
    BuildEngine();
    folder_ = profiles_.path() / L"zed";
    std::filesystem::create_directories(folder_);
    hive_ = base::PathToUtf8(folder_ / L"NTUSER.DAT");
    files::testing::detail::PutValue(*api_, reg::kCurrentUser,
                                     std::string(kScratch) + "\\Profile\\Software\\App", "Path",
                                     {reg::kRegSz, keyloom::testing::Utf16Z(u"old-zed")});
    {
      const reg::PrivilegeScope backup(*api_, "SeBackupPrivilege");
      reg::TRegistry reg(*api_);
      ASSERT_TRUE(reg.SaveKey(std::string("\\") + kScratch + "\\Profile", hive_))
          << reg.LastErrorText();
    }
    files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, kScratch, 0);
    files::testing::detail::PutValue(
        *api_, reg::kLocalMachine, Entry(), "ProfileImagePath",
        {reg::kRegExpandSz, keyloom::testing::Utf16Z(text::Utf8ToUtf16(base::PathToUtf8(folder_)))},
        reg::access::kWow64_64Key);
  }
  void TearDown() override { Scrub(); }

  static std::string Entry() { return std::string(kProfileListPath) + "\\" + kSid; }
  void Scrub() {
    files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, kScratch, 0);
    files::testing::detail::DeleteTree(*api_, reg::kLocalMachine, Entry(),
                                       reg::access::kWow64_64Key);
  }

  // "Path" of Software\App in the hive file, loaded for the question.
  std::string InFile() {
    const reg::PrivilegeScope restore(*api_, "SeRestorePrivilege");
    if (api_->LoadKey(reg::kUsers, "KeyloomTestCheck", hive_) != reg::kSuccess) return "(no)";
    std::string data;
    {
      reg::TRegistry reg(*api_);
      reg.SetRootKey(reg::kUsers);
      reg.SetAccessMode(1);
      data = reg.OpenKey("\\KeyloomTestCheck\\Software\\App") ? reg.ReadString("Path") : "(none)";
    }
    EXPECT_EQ(api_->UnLoadKey(reg::kUsers, "KeyloomTestCheck"), reg::kSuccess);
    return data;
  }
  // The line after `key`'s record in the `index`-th undo file of the folder.
  std::string UndoRecord(std::size_t index, const std::string& key) {
    std::vector<std::filesystem::path> undo;
    for (const auto& entry : std::filesystem::directory_iterator(undo_folder_.path())) {
      if (entry.path().extension() == L".REG") undo.push_back(entry.path());
    }
    std::sort(undo.begin(), undo.end());
    if (index >= undo.size()) return "(no file)";
    const auto lines = files::testing::ReadRegFileLines(undo[index]);
    const auto at = std::find(lines.begin(), lines.end(), key);
    return at != lines.end() && at + 1 != lines.end() ? *(at + 1) : "(no record)";
  }
  bool Loaded() {
    reg::TRegistry reg(*api_);
    reg.SetRootKey(reg::kUsers);
    return reg.KeyExists(std::string("\\KL_") + kSid);
  }

  keyloom::testing::TempFolder profiles_;
  std::filesystem::path folder_;
  std::string hive_;
};

TEST_F(ProfilesRealRegistry, ReplaceRunWithProfilesThenUndoARun) {
  const auto exe = keyloom::testing::KeyloomExe();
  const std::filesystem::path json = profiles_.path() / L"run.json";
  const std::filesystem::path csv = profiles_.path() / L"run.csv";
  const std::wstring command =
      L"\"" + exe.parent_path().wstring() +
      L"\\keyloom.com\" /find old-zed /replace new-zed /profiles /undo \"" +
      undo_folder_.path().wstring() + L"\" /json \"" + json.wstring() + L"\" /csv \"" +
      csv.wstring() + L"\"";
  const auto run = keyloom::testing::RunCaptured(command, undo_folder_.path().c_str());
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(shell::kExitOk)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr(std::string("KL_") + kSid + "\\Software\\App"));
  EXPECT_THAT(run.out, HasSubstr("Loaded the profile of [zed]"));
  EXPECT_FALSE(Loaded()) << "the hive stays loaded after the run";
  EXPECT_THAT(run.out, HasSubstr("Replaced [1]"));
  EXPECT_THAT(keyloom::testing::ReadBytes(json),
              AllOf(HasSubstr(std::string("\"key\": \"\\\\KL_") + kSid + "\\\\Software\\\\App\""),
                    HasSubstr("\"user\": \"zed\"")));
  // The CSV file is written after the run has unloaded the hive: it loads it again to read it.
  EXPECT_THAT(keyloom::testing::ReadBytes(csv),
              AllOf(HasSubstr(std::string("HKEY_USERS,\\KL_") + kSid + "\\Software\\App,Path,"),
                    HasSubstr("-zed,zed\r\n")));
  EXPECT_THAT(run.out, Not(HasSubstr("Error access Key")));
  EXPECT_FALSE(Loaded()) << "the hive stays loaded after the CSV file";
  EXPECT_EQ(InFile(), "old-zed") << "Wine has learnt to write a loaded hive back: check new-zed";
  const std::string key = std::string("[HKEY_USERS\\KL_") + kSid + "\\Software\\App]";
  EXPECT_EQ(UndoRecord(0, key), "\"Path\"=\"old-zed\"");

  files::RunJournal journal;
  undo_->SetWrittenObserver([&](const std::string& file) { journal.FileWritten(file); });
  context_.journal = &journal;
  const auto runs = journal.Runs(undo_folder_.Utf8());
  ASSERT_FALSE(runs.empty());
  ASSERT_EQ(runs[0].info.hives.size(), 1u);
  EXPECT_EQ(runs[0].info.hives[0].file, hive_);
  YesUi ui;
  StoreSettings();
  EXPECT_TRUE(edit::UndoRun(runs, 0, context_, ui)) << ::testing::PrintToString(ui.shown);
  EXPECT_FALSE(Loaded()) << "the hive stays loaded after the take-back";
  EXPECT_THAT(ui.shown, ::testing::Contains(HasSubstr("Merged [UNDO-")));
  EXPECT_EQ(UndoRecord(1, key), "\"Path\"=\"old-zed\"");
  EXPECT_EQ(journal.Runs(undo_folder_.Utf8())[0].info.hives, runs[0].info.hives);
}

}  // namespace
}  // namespace keyloom::engine::testing
