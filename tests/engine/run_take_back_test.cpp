#include "edit/run_undo.h"

#include <chrono>
#include <ctime>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/local_date.h"
#include "files/reg_file_format.h"
#include "engine/walk_fixture.h"
#include "registry/registry_contract.h"
#include "support/temp_folder.h"

namespace keyloom::engine::testing {
namespace {

class RunTakeBack : public WalkTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    settings_.saundo = GetParam();
    WalkTest::SetUp();
    controls_.find = "Old";
    controls_.key_names = true;
    controls_.value_names = true;
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*registry_, reg::kCurrentUser, "Software");
  }
  std::vector<files::JournalRun> Runs() { return journal_.Runs(undo_folder_.Utf8()); }
  // Takes back Runs()[index].
  bool Undo(std::size_t index, ScriptedUi& ui) {
    StoreSettings();
    return edit::UndoRun(Runs(), index, context_, ui);
  }
};

// A replace run renames keys and changes values inside the renamed keys (the follow-up pass) and
// elsewhere; taking it back gives the registry from before, byte for byte. The taking back is a
// run of the journal itself, and taking that back gives the registry after the run again. Undo
// files the journal does not name are runs of one file each, listed with the journal's runs
// newest first.
TEST_P(RunTakeBack, TakingBackARunGivesTheRegistryFromBeforeAndCanItselfBeTakenBack) {
  const auto stray = (undo_folder_.path() / "UNDO-20261206-004.REG").string();
  ASSERT_EQ(files::AppendRegLines(stray, files::RegFileHeaderLines(""),
                                  {"", "[HKEY_CURRENT_USER\\Software\\X]"}),
            "");
  const std::time_t written = std::time(nullptr) - 86400 * 400;  // long before the run
  std::filesystem::last_write_time(
      stray, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(written)));
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
  EXPECT_EQ(one_file.info.date, base::DateTimeText(written));
  EXPECT_EQ(edit::RunSummary(one_file),
            base::DateTimeText(written) + "   UNDO-20261206-004.REG   (local)   1 file");
  EXPECT_THAT(edit::RunRestoreLines(one_file), ElementsAre("HKEY_CURRENT_USER\\Software\\X"));

  ScriptedUi ui;
  ASSERT_TRUE(Undo(0, ui));
  EXPECT_EQ(Tree(), before);
  EXPECT_THAT(ui.questions, ElementsAre(HasSubstr("Take back the run of 2026-12-07 10:00:00: ")));
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
  EXPECT_FALSE(Undo(1, no));
  EXPECT_THAT(no.questions, ElementsAre(HasSubstr("was taken back on 2026-12-07")));
  EXPECT_EQ(Tree(), before);

  // Taking back the taking back gives the registry after the run.
  ScriptedUi again;
  ASSERT_TRUE(Undo(0, again));
  EXPECT_EQ(Tree(), after);
}

// Three runs change one value in a chain (alpha -> beta -> gamma -> delta), and a fourth run
// changes something else. Taking back the oldest offers to take back the two later runs of the
// chain first: No changes nothing; Yes takes the three back newest first and leaves the fourth.
// A value changed by hand after the runs is listed before the question.
TEST_P(RunTakeBack, AnOlderRunGoesBackOnlyAfterTheLaterRunsThatChangedItsItems) {
  PutString("Software\\Chain", "v", "alpha");
  PutString("Software\\Chain", "h", "alpha h");
  PutString("Software\\Else", "e", "zzz");
  const auto before = Tree();
  const std::vector<std::pair<std::string, std::string>> chain = {
      {"alpha", "beta"}, {"beta", "gamma"}, {"gamma", "delta"}, {"zzz", "yyy"}};
  for (const auto& [find, replace] : chain) {
    controls_.find = find;
    controls_.replace = replace;
    Run(true);
  }
  PutString("Software\\Chain", "h", "typed by hand");
  const auto after = Tree();
  ASSERT_THAT(Runs(), SizeIs(4));
  const std::size_t oldest = 3;
  ASSERT_EQ(Runs()[oldest].info.find, "alpha");

  ScriptedUi no;
  no.answer = false;
  EXPECT_FALSE(Undo(oldest, no));
  ASSERT_THAT(no.questions, SizeIs(1));
  EXPECT_THAT(no.questions[0], HasSubstr("beta -> gamma"));
  EXPECT_THAT(no.questions[0], HasSubstr("gamma -> delta"));
  EXPECT_THAT(no.questions[0], Not(HasSubstr("zzz")));
  EXPECT_THAT(no.questions[0], HasSubstr("HKEY_CURRENT_USER\\Software\\Chain \"v\""));
  EXPECT_THAT(no.questions[0], HasSubstr("then the run of 2026-12-07 10:00:00"));
  EXPECT_THAT(no.shown,
              ElementsAre("Changed since the run: 1 item; their present state is saved in the "
                          "take-back's undo file",
                          "  HKEY_CURRENT_USER\\Software\\Chain \"h\"", "Nothing was taken back."));
  EXPECT_EQ(Tree(), after);

  ScriptedUi yes;
  ASSERT_TRUE(Undo(oldest, yes));
  std::vector<std::string> took;
  for (const auto& line : yes.shown) {
    if (line.rfind("Took back the run of ", 0) == 0) took.push_back(line.substr(21, 19));
  }
  EXPECT_THAT(took,
              ElementsAre("2026-12-07 10:02:00", "2026-12-07 10:01:00", "2026-12-07 10:00:00"));
  auto expected = before;
  expected["Else"] = after.at("Else");  // the fourth run stays
  EXPECT_EQ(Tree(), expected);
  for (const auto& run : Runs()) {
    const bool chained =
        run.info.find == "alpha" || run.info.find == "beta" || run.info.find == "gamma";
    EXPECT_EQ(run.undone.empty(), !chained) << run.info.find;
  }
}

// Stops after its second file, and counts what it is told.
struct StoppingSink : edit::TakeBackSink {
  void Show(const std::string& line) override { shown.push_back(line); }
  void Progress(const edit::TakeBackProgress& now) override { progress.push_back(now); }
  bool StopRequested() override { return progress.size() == 2; }
  std::vector<std::string> shown;
  std::vector<edit::TakeBackProgress> progress;
};

// A take-back stopped midway ends at a file boundary and names the files it merged and those it
// did not; the run stays not taken back, and taking it back later (its stopped take-back is no
// later run over it) brings back the rest.
TEST_P(RunTakeBack, AStoppedTakeBackEndsBetweenFilesAndTheRestIsMergedLater) {
  for (int i = 0; i < 5; ++i) PutString("Software\\Many", "v" + std::to_string(i), "Old");
  const auto before = Tree();
  Run(true);
  const auto after = Tree();
  ScriptedUi ui;
  StoreSettings();
  const auto plan = edit::PlanTakeBack(Runs(), 0, context_, ui);
  ASSERT_TRUE(plan.has_value());
  StoppingSink sink;
  const bool whole = edit::ExecuteTakeBack(*plan, context_, sink);
  const std::size_t files = plan->file_count;
  if (files == 1) {  // one file per run: the stop comes after it, the run is back whole
    EXPECT_TRUE(whole);
    EXPECT_EQ(Tree(), before);
    return;
  }
  EXPECT_FALSE(whole);
  ASSERT_THAT(sink.progress, SizeIs(2));
  EXPECT_EQ(sink.progress[1].files, 2u);
  EXPECT_EQ(sink.progress[1].total_files, files);
  EXPECT_EQ(sink.progress[1].records, 2u);
  EXPECT_THAT(sink.shown.back(), HasSubstr("Stopped: merged UNDO-20261207-"));
  EXPECT_THAT(sink.shown.back(), HasSubstr("are not merged yet"));
  EXPECT_NE(Tree(), before);
  EXPECT_NE(Tree(), after);
  ASSERT_EQ(Runs()[1].info.find, "Old");
  EXPECT_EQ(Runs()[1].undone, "");
  ScriptedUi rest;
  ASSERT_TRUE(Undo(1, rest));
  EXPECT_THAT(rest.questions, ElementsAre(HasSubstr("Take back the run of")));
  EXPECT_EQ(Tree(), before);
}

// What changed since a run is told from the state the run left, every kind alike (a string
// whose type alone changed by hand, a number); with that state damaged the dialog says it cannot
// tell exactly and lists what the undo files alone tell (strings of the run's texts).
TEST_P(RunTakeBack, ChangesSinceARunAreToldFromItsStateOrSaidUnknown) {
  PutString("Software\\Kinds", "typed", "Old a");
  PutString("Software\\Kinds", "text", "Old b");
  PutString("Software\\Kinds\\Old", "n", "keep");
  controls_.replace = "New";
  Run(true);
  ASSERT_THAT(Runs(), SizeIs(1));
  ASSERT_THAT(Runs()[0].states, SizeIs(1));
  PutString("Software\\Kinds", "typed", "New a", reg::kRegExpandSz);
  PutString("Software\\Kinds", "text", "by hand");
  PutDword("Software\\Kinds\\New", "n", 5);
  const std::string since = "Changed since the run: ";
  const std::string kinds = "  HKEY_CURRENT_USER\\Software\\Kinds";

  ScriptedUi exact;
  exact.answer = false;
  EXPECT_FALSE(Undo(0, exact));
  EXPECT_THAT(exact.shown, Contains(HasSubstr(since + "3 items")));
  EXPECT_THAT(exact.shown, Contains(kinds + " \"typed\""));
  EXPECT_THAT(exact.shown, Contains(kinds + " \"text\""));
  EXPECT_THAT(exact.shown, Contains(kinds + "\\New (tree)"));

  keyloom::testing::WriteBytes(base::PathFromUtf8(Runs()[0].states[0]), "\xFF\xFE[");
  ScriptedUi damaged;
  damaged.answer = false;
  EXPECT_FALSE(Undo(0, damaged));
  EXPECT_THAT(damaged.shown, Contains(HasSubstr("Cannot tell exactly which items changed since "
                                                "the run of " + Runs()[0].info.date + " [RUNSTATE-")));
  EXPECT_THAT(damaged.shown, Contains(HasSubstr(since + "1 item")));
  EXPECT_THAT(damaged.shown, Contains(kinds + " \"text\""));
}

// A block whose files all turned out to be other runs' stays in the list with its note, and
// taking it back says why there is nothing to take back, without a question.
TEST(RunTakeBackWithoutFiles, TheRunShowsItsNoteAndTakingItBackSaysWhyNothingIsDone) {
  files::JournalRun run;
  run.info.date = "2026-12-07 10:00:00";
  run.info.find = "r1";
  run.info.replace = "x";
  run.block = 1;
  run.notes = {
      "The journal names UNDO-20261207-001.REG under this run too; the run of "
      "2026-12-07 12:00:00 wrote it"};
  EXPECT_EQ(edit::RunSummary(run),
            "2026-12-07 10:00:00   r1 -> x   (local)   0 files   (" + run.notes.front() + ")");
  EXPECT_THAT(edit::RunRestoreLines(run), ElementsAre(run.notes.front()));

  ScriptedUi ui;
  const RunContext nothing_reached;  // a run without files reaches nothing of it
  EXPECT_FALSE(edit::UndoRun({run}, 0, nothing_reached, ui));
  EXPECT_THAT(ui.questions, IsEmpty());
  EXPECT_THAT(ui.shown, ElementsAre("Nothing to take back: the run of 2026-12-07 10:00:00 has no "
                                    "undo files of its own. " +
                                    run.notes.front() + "."));
}

INSTANTIATE_TEST_SUITE_P(UndoFiles, RunTakeBack, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "FilePerChange" : "FilePerRun";
                         });

}  // namespace
}  // namespace keyloom::engine::testing
