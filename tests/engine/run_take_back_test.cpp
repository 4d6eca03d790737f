#include "edit/run_undo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/walk_fixture.h"
#include "registry/registry_contract.h"

namespace keyloom::engine::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// Answers every question with `answer` and keeps what it was asked and shown.
struct ScriptedUi : edit::RunUndoUi {
  bool Confirm(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  void Show(const std::string& line) override { shown.push_back(line); }
  bool answer = true;
  std::vector<std::string> questions;
  std::vector<std::string> shown;
};

class RunTakeBack : public WalkTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    separate_undo_files_ = GetParam();
    WalkTest::SetUp();
    controls_.find = "Old";
    controls_.key_names = true;
    controls_.value_names = true;
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software");
  }
  std::vector<files::JournalRun> Runs() { return journal_.Runs(undo_folder_.Utf8()); }
  bool Undo(const files::JournalRun& run, ScriptedUi& ui) {
    edit::RunUndoDeps deps;
    deps.api = registry_.get();
    deps.undo = undo_.get();
    deps.journal = &journal_;
    deps.settings.undo_folder = undo_folder_.Utf8();
    return edit::UndoRun(run, deps, ui);
  }
};

// A replace run renames keys and changes values inside the renamed keys (the follow-up pass) and
// elsewhere; taking it back gives the registry from before, byte for byte. The taking back is a
// run of the journal itself, and taking that back gives the registry after the run again. Undo
// files the journal does not name are runs of one file each, listed with the journal's runs
// newest first.
TEST_P(RunTakeBack, TakingBackARunGivesTheRegistryFromBeforeAndCanItselfBeTakenBack) {
  const auto stray = (undo_folder_.path() / "UNDO-20261206-004.REG").string();
  ASSERT_EQ(files::AppendRegLines(stray, files::UndoFile::HeaderLines(""),
                                  {"", "[HKEY_CURRENT_USER\\Software\\X]"}),
            "");
  PutString("Software\\OldApp", "Old name", "Old data");
  PutString("Software\\OldApp", "", "Old default");
  PutString("Software\\OldApp\\OldSub", "v", "Old sub");
  PutString("Software\\OldApp\\OldSub", "list", std::string("Old\0k\0", 6), reg::kRegMultiSz);
  PutDword("Software\\Other", "Old count", 7);
  PutString("Software\\Other", "keep", "untouched");
  const auto before = Tree();

  EXPECT_THAT(Run(true), Contains(HasSubstr("Finished, Replaced [")));
  const auto after = Tree();
  ASSERT_NE(after, before);
  ASSERT_THAT(Runs(), SizeIs(2));
  const auto run = Runs()[0];
  EXPECT_FALSE(run.single_file);
  EXPECT_EQ(run.files.size(), UndoFiles().size() - 1) << "every file but the stray one";
  EXPECT_THAT(edit::RunRestoreLines(run), Contains("HKEY_CURRENT_USER\\Software\\OldApp"));
  const auto one_file = Runs()[1];
  EXPECT_TRUE(one_file.single_file);
  EXPECT_EQ(one_file.info.date, "2026-12-06");
  EXPECT_EQ(edit::RunSummary(one_file), "2026-12-06   UNDO-20261206-004.REG   (local)   1 file");
  EXPECT_THAT(edit::RunRestoreLines(one_file), ElementsAre("HKEY_CURRENT_USER\\Software\\X"));

  ScriptedUi ui;
  ASSERT_TRUE(Undo(run, ui));
  EXPECT_EQ(Tree(), before);
  EXPECT_THAT(ui.questions, IsEmpty());
  EXPECT_THAT(ui.shown, Contains(HasSubstr("Merged [UNDO-20261207-")));
  EXPECT_THAT(ui.shown.back(), HasSubstr("Took back the run of 2026-12-07 10:00:00: "));
  EXPECT_THAT(ui.shown.back(), HasSubstr(" 0 with errors."));

  // The journal: the taking back is the newest run, the run itself is marked undone.
  const auto runs = Runs();
  ASSERT_THAT(runs, SizeIs(3));
  EXPECT_EQ(runs[0].info.find, "(taking back the run of 2026-12-07 10:00:00)");
  EXPECT_THAT(runs[0].files, SizeIs(1));
  EXPECT_EQ(runs[1].files, run.files);
  EXPECT_FALSE(runs[1].undone.empty());
  EXPECT_THAT(edit::RunSummary(runs[1]), HasSubstr("Old -> New   (local)"));
  EXPECT_THAT(edit::RunSummary(runs[1]), HasSubstr("undone 2026-12-07"));

  // Taking it back again asks first; No changes nothing.
  ScriptedUi no;
  no.answer = false;
  EXPECT_FALSE(Undo(runs[1], no));
  EXPECT_THAT(no.questions, ElementsAre(HasSubstr("was taken back on 2026-12-07")));
  EXPECT_EQ(Tree(), before);

  // Taking back the taking back gives the registry after the run.
  ScriptedUi again;
  ASSERT_TRUE(Undo(runs[0], again));
  EXPECT_EQ(Tree(), after);
}

INSTANTIATE_TEST_SUITE_P(UndoFiles, RunTakeBack, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "FilePerChange" : "FilePerRun";
                         });

}  // namespace
}  // namespace keyloom::engine::testing
