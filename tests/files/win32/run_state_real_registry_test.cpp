// The state a run leaves, on the real registry: a run in the 32-bit view of
// HKEY_LOCAL_MACHINE\Software, which 64-bit Windows keeps below Wow6432Node, writes its state in
// the view its undo files are merged in, and a comparison afterwards finds exactly what was
// changed by hand (a number) and nothing else.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/reg_file_testing.h"
#include "files/run_journal.h"
#include "files/run_state.h"
#include "files/undo_file.h"
#include "registry/registry.h"
#include "registry/win32/win32_reg_api.h"
#include "support/temp_folder.h"

namespace keyloom::files {
namespace {

constexpr std::uint32_t k32 = reg::access::kWow64_32Key;
constexpr const char* kScratch = "Software\\KeyloomTest";
constexpr const char* kKey = "Software\\KeyloomTest\\State";

reg::RawValue Dword(std::uint8_t low) { return {reg::kRegDword, {low, 0, 0, 0}}; }

TEST(RunStateRealRegistry, TheStateIsKeptInTheMergeViewAndTellsAHandChangeOfANumber) {
  const auto api = reg::NewWin32RegApi();
  keyloom::testing::TempFolder folder;
  testing::detail::DeleteTreeInBothViews(*api, reg::kLocalMachine, kScratch);
  testing::detail::PutValue(*api, reg::kLocalMachine, kKey, "d", Dword(1), k32);
  testing::detail::PutValue(*api, reg::kLocalMachine, kKey, "same", Dword(7), k32);

  ChangeSettings settings;
  settings.undo_folder = folder.Utf8();
  const bool is_64bit_windows = reg::DetectIs64BitWindows(*api);
  settings.target.view = reg::ScanView(is_64bit_windows, 0);  // the 32-bit view
  RunJournal journal;
  journal.SetStateReader({api.get(), {}, {}});
  UndoFile undo(*api, [](const std::string&) {});
  undo.SetWrittenObserver([&journal](const std::string& file) { journal.FileWritten(file); });
  journal.BeginRun({"", "1", "2", "", ViewName(ChangeView(settings))});
  undo.RaiseNewFileFlag();
  for (const char* name : {"d", "same"}) {
    UndoRequest request;
    request.root = reg::kLocalMachine;
    request.key_path = kKey;
    request.value_name = name;
    request.kind = RecordKind::kUpdate;
    ASSERT_EQ(undo.Record(request, settings), "");
  }
  testing::detail::PutValue(*api, reg::kLocalMachine, kKey, "d", Dword(2), k32);
  ASSERT_EQ(journal.EndRun(), "");

  const auto runs = journal.Runs(folder.Utf8());
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].states.size(), 1u);
  std::vector<RegFileContents> parsed;
  for (const auto& file : runs[0].files) {
    parsed.push_back(ParseRegFile(keyloom::testing::ReadBytes(base::PathFromUtf8(file))));
  }
  std::vector<const std::vector<RegRecord>*> records;
  for (const auto& contents : parsed) records.push_back(&contents.records);
  const auto items = RunItemsOf(records);
  const reg::Target target{"", is_64bit_windows ? reg::RegView::k64 : reg::RegView::kNone};
  const RegistryReader reader{api.get(), {}, {}};

  RunStateChanges changes = CompareRunState(reader, target, items, runs[0].states);
  EXPECT_THAT(changes.changed, ::testing::IsEmpty());
  EXPECT_EQ(changes.unknown, "");

  testing::detail::PutValue(*api, reg::kLocalMachine, kKey, "d", Dword(3), k32);
  changes = CompareRunState(reader, target, items, runs[0].states);
  const std::string node = is_64bit_windows ? "Wow6432Node\\" : "";
  EXPECT_THAT(changes.changed, ::testing::ElementsAre("HKEY_LOCAL_MACHINE\\Software\\" + node +
                                                      "KeyloomTest\\State \"d\""));
  EXPECT_EQ(changes.unknown, "");
  testing::detail::DeleteTreeInBothViews(*api, reg::kLocalMachine, kScratch);
}

}  // namespace
}  // namespace keyloom::files
