// Two keyloom.com replace runs started together on disjoint trees, sharing one undo folder, in
// either undo mode: every file belongs to one run, the journal keeps the runs apart, and merging
// all the files newest first with the program's own reader gives both trees back exactly.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "files/reg_file_testing.h"
#include "files/run_journal.h"
#include "files/undo_numbering.h"
#include "registry/registry_contract.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/exit_codes.h"
#include "support/temp_folder.h"
#include "support/value_data.h"
#include "support/win32/keyloom_exe.h"

namespace keyloom::shell {
namespace {

constexpr const char* kBase = "Software\\KeyloomTest\\Concurrent";
constexpr int kValues = 120;

class ConcurrentRunsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    api_ = reg::NewWin32RegApi();
    Scrub();
    const auto exe = keyloom::testing::KeyloomExe();
    ASSERT_TRUE(std::filesystem::exists(exe));
    std::filesystem::copy_file(std::filesystem::path(exe).replace_extension(L".com"),
                               folder_.path() / L"keyloom.com");
    std::filesystem::create_directory(undo_folder_);
  }
  void TearDown() override { Scrub(); }
  void Scrub() {
    files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, "Software\\KeyloomTest", 0);
  }

  void Fill() {
    for (const char* tree : {"A", "B"}) {
      for (int i = 0; i < kValues; ++i) {
        files::testing::detail::PutValue(
            *api_, reg::kCurrentUser,
            std::string(kBase) + "\\" + tree + "\\k" + std::to_string(i % 7),
            "v" + std::to_string(i),
            {reg::kRegSz,
             keyloom::testing::Utf16Z(u"old-host/" +
                                      std::u16string(1, static_cast<char16_t>(u'a' + i % 26)))});
      }
    }
  }

  keyloom::testing::CapturedRun Run(const char* tree, bool separate) {
    const std::wstring command =
        L"\"" + (folder_.path() / L"keyloom.com").wstring() +
        L"\" /find old-host /replace new-host /root \"HKCU\\Software\\KeyloomTest\\Concurrent\\" +
        std::wstring(1, static_cast<wchar_t>(tree[0])) + L"\" /undo \"" + undo_folder_.wstring() +
        L"\" /quiet" + (separate ? L" /separate-undo" : L"");
    return keyloom::testing::RunCaptured(command, folder_.path().c_str(), 300000);
  }

  std::unique_ptr<reg::RegApi> api_;
  keyloom::testing::TempFolder folder_;
  std::filesystem::path undo_folder_ = folder_.path() / L"UNDO";
};

TEST_F(ConcurrentRunsEndToEnd, TwoRunsAtOnceOnOneUndoFolderAreTakenBackExactly) {
  for (const bool separate : {true, false}) {
    SCOPED_TRACE(separate ? "one file per change" : "one file per run");
    std::filesystem::remove_all(undo_folder_);
    std::filesystem::create_directory(undo_folder_);
    Fill();
    const auto before = reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase);
    keyloom::testing::CapturedRun runs[2];
    std::thread second([&] { runs[1] = Run("B", separate); });
    runs[0] = Run("A", separate);
    second.join();
    for (const auto& run : runs) {
      ASSERT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out << run.err;
    }
    EXPECT_NE(reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase), before);

    // Every undo file is named in exactly one run's report and in exactly one journal run.
    std::map<int, std::filesystem::path> files;
    std::string day;
    for (const auto& entry : std::filesystem::directory_iterator(undo_folder_)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("UNDO-", 0) == 0 && name.size() > 13 && name != "UNDO-RUNS.TXT") {
        day = name.substr(5, 8);
        files[files::UndoFileNumber(name, day)] = entry.path();
      }
    }
    EXPECT_EQ(files.size(), separate ? 2u * kValues : 2u);
    for (const auto& [number, file] : files) {
      const std::string name = file.filename().string();
      const int reports = (runs[0].out.find(name) != std::string::npos) +
                          (runs[1].out.find(name) != std::string::npos);
      EXPECT_EQ(reports, 1) << name;
    }
    const auto journal = files::RunJournal().Runs(base::PathToUtf8(undo_folder_));
    ASSERT_EQ(journal.size(), 2u);
    std::set<std::string> journaled;
    for (const auto& run : journal) {
      EXPECT_FALSE(run.single_file);
      for (const auto& file : run.files) EXPECT_TRUE(journaled.insert(file).second) << file;
    }
    EXPECT_EQ(journaled.size(), files.size());

    for (auto it = files.rbegin(); it != files.rend(); ++it) {
      files::testing::MergeRegFile(*api_, it->second);
    }
    EXPECT_EQ(reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase), before);
  }
}

}  // namespace
}  // namespace keyloom::shell
