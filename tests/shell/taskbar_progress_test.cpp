#include "shell/taskbar_progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace keyloom::shell {
namespace {

using S = TaskbarState;

TEST(TaskbarProgressTest, TheButtonShowsWhatTheWorkIsDoing) {
  struct Case {
    TaskbarFacts facts;
    TaskbarShow show;
  };
  const Case cases[] = {
      // busy, waiting, done, total, failed_unseen
      {{false, false, 0, -1, false}, {S::kNone, 0, 0}},
      {{true, false, 5000, -1, false}, {S::kIndeterminate, 0, 0}},  // a run: no end known
      {{true, false, 250, 1000, false}, {S::kNormal, 250, 1000}},   // an export
      {{true, false, 1200, 1000, false}, {S::kNormal, 1000, 1000}},  // never beyond its total
      {{true, false, 0, 0, false}, {S::kNormal, 0, 0}},             // nothing to do: empty
      {{true, true, 40, -1, false}, {S::kPaused, 0, 0}},            // a paused run
      {{true, true, 3, 10, false}, {S::kPaused, 3, 10}},            // a question mid-way
      {{false, false, 0, -1, true}, {S::kError, 1, 1}},             // ended with failures
      {{false, true, 0, -1, false}, {S::kNone, 0, 0}},              // no work: nothing waits
      {{true, false, 0, -1, true}, {S::kIndeterminate, 0, 0}},      // new work hides the error
  };
  for (const Case& c : cases) {
    const TaskbarShow show = ChooseTaskbar(c.facts);
    EXPECT_EQ(show.state, c.show.state) << c.facts.busy << c.facts.waiting << c.facts.done << " "
                                        << c.facts.total << c.facts.failed_unseen;
    EXPECT_EQ(show.done, c.show.done);
    EXPECT_EQ(show.total, c.show.total);
  }
}

class RecordingButton final : public TaskbarButton {
 public:
  void Show(const TaskbarShow& show) override { shown.push_back(show); }
  std::vector<TaskbarShow> shown;
};

TEST(TaskbarProgressTest, TheButtonHearsOfChangesOnlyAndAnErrorStaysUntilTheWindowIsActivated) {
  RecordingButton button;
  TaskbarProgress progress(button);
  progress.Started();
  progress.Advanced(10, -1);  // a run's counts move, its state does not
  progress.Advanced(20, -1);
  progress.Waiting(true);
  progress.Waiting(true);
  progress.Waiting(false);
  progress.Activated();  // the window activated while work goes changes nothing
  progress.Ended(true);
  progress.Advanced(30, -1);  // late counts of ended work change nothing
  progress.Activated();
  progress.Activated();
  EXPECT_EQ(button.shown, (std::vector<TaskbarShow>{{S::kIndeterminate, 0, 0},
                                                    {S::kPaused, 0, 0},
                                                    {S::kIndeterminate, 0, 0},
                                                    {S::kError, 1, 1},
                                                    {S::kNone, 0, 0}}));

  // Work with a total, ended with failures; the next work clears the error without activation.
  button.shown.clear();
  progress.Started(4);
  progress.Advanced(1, 4);
  progress.Advanced(4, 4);
  progress.Ended(true);
  progress.Started(2);
  progress.Ended(false);
  EXPECT_EQ(button.shown, (std::vector<TaskbarShow>{{S::kNormal, 0, 4},
                                                    {S::kNormal, 1, 4},
                                                    {S::kNormal, 4, 4},
                                                    {S::kError, 1, 1},
                                                    {S::kNormal, 0, 2},
                                                    {S::kNone, 0, 0}}));
  EXPECT_EQ(progress.shown().state, S::kNone);
}

}  // namespace
}  // namespace keyloom::shell
