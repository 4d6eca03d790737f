#include "engine/search_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "base/text.h"
#include "engine/run_fakes.h"
#include "registry/memory/memory_registry.h"

namespace keyloom::engine::testing {
namespace {

using ::testing::ElementsAre;

// A walk that records where each pass started, and can hold the run at its pause points.
class ScriptedWalker : public KeyWalker {
 public:
  std::vector<std::string> visited;
  std::vector<RenamedKey> rename_on_first_visit;
  std::atomic<int> pause_points{0};
  void WalkKey(SearchEngine& engine, reg::TRegistry& reg) override {
    SearchSession& session = engine.session();
    visited.push_back(std::to_string(session.root_index) + ":" + reg.CurrentPath());
    for (const auto& key : rename_on_first_visit) session.renamed_keys.push_back(key);
    rename_on_first_visit.clear();
    for (int i = 0; i < pause_points; ++i) {
      if (!engine.PausePoint()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

class SearchSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = reg::NewMemoryRegistry();
    gate_.Open();
    RebuildController();
  }

  void RebuildController() {
    controller_.reset();
    context_.api = registry_.get();
    context_.settings = &settings_;
    context_.controls = &controls_;
    context_.output = &output_;
    context_.log = [this](const std::string& text, bool debug_only) {
      if (!debug_only) output_.AddStatusLine(text);
    };
    controller_ = std::make_unique<RunController>(EngineDeps{&context_, &gate_, &walker_}, window_);
  }

  void CreateKey(const std::string& path) {
    reg::TRegistry reg(*registry_);
    reg.CreateKey(path);
  }

  // Runs a search to its end and returns the status lines.
  std::vector<std::string> SearchToEnd() {
    controller_->btnSearchClick();
    EXPECT_TRUE(output_.WaitFor("finished"));
    controller_->OnRunFinished();
    return output_.Lines();
  }

  std::unique_ptr<reg::MemoryRegistry> registry_;
  RunContext context_;
  FakeControls controls_;
  RecordingOutput output_;
  PortablePauseGate gate_;
  ScriptedWalker walker_;
  config::SettingsStore settings_;
  FakeRunWindow window_;
  std::unique_ptr<RunController> controller_;
};

TEST(SearchRequest, ValidationWritesEveryRuleThatAppliesInOrder) {
  EXPECT_TRUE(ValidateRequest(false, true, false, "text", 0).empty());
  EXPECT_THAT(ValidateRequest(false, false, false, "text", 0),
              ElementsAre("You must \"Include\" something to search in.",
                          "Please select at least one of the \"Include\" options."));
  for (int numeric_filter : {2, 5}) {
    EXPECT_THAT(ValidateRequest(false, true, false, "abc", numeric_filter),
                ElementsAre("You cannot search for a Non-Numeric Value in Numeric Keys.",
                            "Change the Key Type to perform your search."));
    EXPECT_TRUE(ValidateRequest(false, true, false, " 42 ", numeric_filter).empty());
    EXPECT_TRUE(ValidateRequest(true, false, false, "abc", numeric_filter).empty())
        << "the type rules hold only when value contents are searched";
  }
  EXPECT_THAT(ValidateRequest(false, true, false, "abc", 6),
              ElementsAre("You cannot search for a Non-Numeric Value in Numeric Keys.",
                          "Change the Key Type to perform your search.",
                          "Binary Searches are not available in this release.",
                          "Change the Key Type to perform your search."));
  EXPECT_THAT(ValidateRequest(false, true, false, "12", 6),
              ElementsAre("Binary Searches are not available in this release.",
                          "Change the Key Type to perform your search."));
  EXPECT_TRUE(ValidateRequest(false, true, false, "abc", 8).empty()) << "REG_QWORD is not refused";
}

TEST(SearchRequest, DecimalNumbers) {
  for (const char* yes : {"0", "-12", "+3.5", " 7 ", "1e10", "2.5E-3", ".5", "5."}) {
    EXPECT_TRUE(IsDecimalNumber(yes)) << yes;
  }
  for (const char* no : {"", " ", "-", "1,5", "0x10", "1e", "abc", "1 2", "e5"}) {
    EXPECT_FALSE(IsDecimalNumber(no)) << no;
  }
  EXPECT_TRUE(IsDecimalNumber("1,5", ','));
}

TEST(SearchRequest, TheUndoEndLineSaysWhereTheWayBackIs) {
  EXPECT_EQ(UndoEndLine({}, 0), std::nullopt) << "a run that changed nothing says nothing more";
  EXPECT_EQ(UndoEndLine({}, 2), "Undo files: none written, this run cannot be taken back.");
  EXPECT_EQ(UndoEndLine({"C:\\Undo\\UNDO-20261207-001.REG", "C:\\Undo\\UNDO-20261207-002.REG"}, 5),
            "Undo files: [2] written to [C:\\Undo\\]. Ctrl+Z takes this run back.");
}

TEST_F(SearchSessionTest, BlankTextsStartNothing) {
  controls_.find = "   ";
  controller_->btnSearchClick();
  controller_->btnReplaceClick();
  controls_.find = "x";
  controls_.replace = " ";
  controller_->btnReplaceClick();
  EXPECT_FALSE(controller_->Active());
  EXPECT_TRUE(output_.Events().empty());
  const std::string warning =
      "For Confirmation please enter any Text in the Replace String for the Search and Delete "
      "function to start.";
  EXPECT_THAT(window_.warnings, ElementsAre(warning, warning));
}

TEST_F(SearchSessionTest, AnInvalidRequestOnlyLogsItsRules) {
  controls_.values = false;
  controller_->btnSearchClick();
  EXPECT_FALSE(controller_->Active());
  EXPECT_THAT(output_.Lines(),
              ElementsAre("You must \"Include\" something to search in.",
                          "Please select at least one of the \"Include\" options."));
}

TEST_F(SearchSessionTest, ASearchWalksTheChosenRootsAndEndsWithTheSummary) {
  controls_.root_choice = 0;
  controls_.find = "  leading blanks";
  const auto lines = SearchToEnd();
  EXPECT_THAT(lines,
              ElementsAre("Checking Key : HKEY_CLASSES_ROOT", "Checking Key : HKEY_CURRENT_USER",
                          "Checking Key : HKEY_LOCAL_MACHINE", "Checking Key : HKEY_USERS",
                          "Checking Key : HKEY_CURRENT_CONFIG", "Search Matched 0 Keys.",
                          "Finished, Replaced [0] Entries."));
  EXPECT_THAT(walker_.visited, ElementsAre("1:", "2:", "3:", "4:", "5:"));
  EXPECT_EQ(controller_->engine().session().find_text, "  leading blanks");
  EXPECT_EQ(output_.Events().front(), "clear");
  EXPECT_EQ(controller_->state(), RunState::kIdle);
  EXPECT_EQ(window_.applied, ButtonState{});
}

TEST_F(SearchSessionTest, ADeleteModeSummarySaysDeleted) {
  controls_.delete_mode = true;
  const auto lines = SearchToEnd();
  EXPECT_EQ(lines.back(), "Finished, Deleted [0] Entries.");
}

TEST_F(SearchSessionTest, AHiddenWindowKeepsItsLists) {
  controls_.visible = false;
  SearchToEnd();
  EXPECT_NE(output_.Events().front(), "clear");
}

TEST_F(SearchSessionTest, ARemoteMachineOffersOnlyLocalMachineAndUsers) {
  registry_->AddMachine("SERVER", true);
  context_.machine = "\\\\SERVER";
  controls_.root_choice = 0;
  EXPECT_THAT(SearchToEnd(), ElementsAre("Connecting to remote registry on \\\\SERVER",
                                         "Checking Key : HKEY_LOCAL_MACHINE",
                                         "Connecting to remote registry on \\\\SERVER",
                                         "Checking Key : HKEY_USERS", "Search Matched 0 Keys.",
                                         "Finished, Replaced [0] Entries."));

  output_.Clear();
  controls_.root_choice = 1;
  EXPECT_THAT(SearchToEnd(),
              ElementsAre("Cannot search [HKEY_CLASSES_ROOT] key over network, skipping",
                          "Search Matched 0 Keys.", "Finished, Replaced [0] Entries."));
}

TEST_F(SearchSessionTest, AnUnreachableRemoteMachineSkipsTheRoot) {
  registry_->AddMachine("DOWN", false);
  context_.machine = "\\\\DOWN";
  controls_.root_choice = 3;
  const auto lines = SearchToEnd();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "Remote Registry Error: [" +
                          text::TrimMessage(registry_->ErrorMessage(reg::kBadNetPath)) + "]");
  EXPECT_TRUE(walker_.visited.empty());
}

TEST_F(SearchSessionTest, RenamedKeysGetOneFollowUpPassEach) {
  CreateKey("\\Software\\NewApp");
  walker_.rename_on_first_visit = {{2, "\\Software\\NewApp"}, {2, "\\Software\\Gone"}};
  const auto lines = SearchToEnd();
  EXPECT_THAT(lines, ElementsAre("Checking Key : HKEY_CURRENT_USER",
                                 "Searching Renamed Key [HKEY_CURRENT_USER\\Software\\NewApp]",
                                 "Searching Renamed Key [HKEY_CURRENT_USER\\Software\\Gone]",
                                 "Unable to open key [\\Software\\Gone], " +
                                     text::TrimMessage(registry_->ErrorMessage(reg::kFileNotFound)),
                                 "Search Matched 0 Keys.", "Finished, Replaced [0] Entries."));
  EXPECT_THAT(walker_.visited, ElementsAre("2:", "2:Software\\NewApp"));
}

TEST_F(SearchSessionTest, PauseResumeAndResetMoveTheCaptions) {
  walker_.pause_points = 1'000'000;
  controls_.replace = "other";
  controller_->btnReplaceClick();
  ASSERT_TRUE(controller_->Active());
  EXPECT_EQ(controller_->state(), RunState::kReplacing);
  EXPECT_FALSE(window_.applied.search_enabled);
  EXPECT_FALSE(window_.applied.close_enabled);
  EXPECT_TRUE(window_.applied.pause_enabled);

  controller_->btnPauseClick();
  EXPECT_EQ(controller_->state(), RunState::kReplacePaused);
  EXPECT_EQ(window_.applied.pause_caption, "R&esume");
  EXPECT_EQ(window_.applied.replace_caption, "R&eset");
  EXPECT_TRUE(window_.applied.replace_enabled);

  controller_->btnPauseClick();
  EXPECT_EQ(controller_->state(), RunState::kReplacing);
  EXPECT_EQ(window_.applied.pause_caption, "&Pause");
  EXPECT_EQ(window_.applied.replace_caption, "&Replace");
  EXPECT_FALSE(window_.applied.replace_enabled);

  controller_->btnPauseClick();
  controller_->btnSearchClick();   // disabled in the window; a stray click must not start a run
  controller_->btnReplaceClick();  // "R&eset"
  EXPECT_EQ(window_.pending_event_rounds, 2);
  EXPECT_EQ(window_.applied.replace_caption, "&Replace");
  EXPECT_EQ(window_.applied.pause_caption, "&Pause");
  ASSERT_TRUE(output_.WaitFor("finished"));
  controller_->OnRunFinished();
  EXPECT_THAT(output_.Lines(),
              ElementsAre("Checking Key : HKEY_CURRENT_USER", "Search Matched 0 Keys.",
                          "Finished, Replaced [0] Entries."));
  EXPECT_FALSE(controller_->engine().stop_requested());
  EXPECT_EQ(controller_->state(), RunState::kIdle);
  EXPECT_TRUE(window_.applied.replace_enabled);
}

TEST_F(SearchSessionTest, ASearchPausedAndResetStillWritesItsSummary) {
  walker_.pause_points = 1'000'000;
  controls_.root_choice = 0;
  controller_->btnSearchClick();
  controller_->btnPauseClick();
  EXPECT_EQ(window_.applied.search_caption, "R&eset");
  EXPECT_TRUE(window_.applied.search_enabled);
  controller_->btnSearchClick();
  ASSERT_TRUE(output_.WaitFor("finished"));
  const auto lines = output_.Lines();
  EXPECT_EQ(lines.front(), "Checking Key : HKEY_CLASSES_ROOT");
  EXPECT_EQ(lines[lines.size() - 2], "Search Matched 0 Keys.");
  EXPECT_EQ(walker_.visited.size(), 1u) << "the run stops at its first stop test";
}

TEST_F(SearchSessionTest, NoSecondRunWhileOneIsActive) {
  walker_.pause_points = 1'000'000;
  controller_->btnSearchClick();
  controller_->btnPauseClick();
  controller_->btnSearchClick();  // Reset: Stopping until the worker ends
  controller_->btnSearchClick();
  controller_->btnReplaceClick();
  ASSERT_TRUE(output_.WaitFor("finished"));
  controller_->OnRunFinished();
  int summaries = 0;
  for (const auto& line : output_.Lines()) summaries += line == "Search Matched 0 Keys." ? 1 : 0;
  EXPECT_EQ(summaries, 1);
}

TEST_F(SearchSessionTest, AutoCloseAsksToQuitAfterTheSummary) {
  settings_.Update([](config::Settings& s) { s.autoclose = true; });
  controller_->btnSearchClick();
  ASSERT_TRUE(output_.WaitFor("quit"));
  const auto events = output_.Events();
  EXPECT_EQ(events[events.size() - 2], "finished");
  EXPECT_EQ(events.back(), "quit");
}

TEST_F(SearchSessionTest, CloseClosesTheWindowOnlyWhenIdle) {
  controller_->btnCloseClick();
  EXPECT_TRUE(window_.closed);
  EXPECT_FALSE(controller_->engine().stop_requested());
}

}  // namespace
}  // namespace keyloom::engine::testing
