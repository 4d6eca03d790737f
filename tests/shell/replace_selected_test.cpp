// Replace Selected from a filtered, sorted Key List over the memory registry: the rows shown and
// selected are the run's items, and only they change, each with its undo record; an item that
// vanished since the search is skipped with the reason, the other rows stay as they were.
#include "shell/replace_selected.h"
#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"
#include "shell/key_list_cells.h"
#include "shell/key_list_order.h"
#include "shell/list_output.h"

namespace keyloom::shell {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class ReplaceSelectedTest : public engine::testing::WalkTest {
 protected:
  std::string String(const std::string& name) {
    return text::Utf16ToUtf8(text::BytesToUtf16(Read("Software\\T", name).data).c_str());
  }
  std::string Cell(std::size_t row, int column) {
    return std::string(CellView(list_.rows, row, column));
  }
  testing::ListOutput list_{output_};
};

TEST_F(ReplaceSelectedTest, OnlyTheSelectedShownRowsChangeAndAVanishedOneIsSkipped) {
  for (const auto& [name, data] : {std::pair{"Alpha", "needle one"},
                                   {"Beta", "needle two"},
                                   {"Gamma", "needle three"},
                                   {"Epsilon", "needle tea"},
                                   {"needle t-name", "plain"}}) {
    PutString("Software\\T", name, data);
  }
  MakeKey("Software\\T\\needle kids");
  controls_.key_names = controls_.values = controls_.value_names = true;
  controls_.replace = "thread";
  walk_output_ = &list_;
  Build();
  Run();
  ASSERT_EQ(list_.rows.size(), 6u);

  // Shown: the rows holding "needle t", by value name descending.
  std::vector<std::size_t> order(list_.rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  SortRows(list_.rows, kColumnValueName, true, order);
  const auto no_time = [](std::uint64_t) { return std::string(); };
  const std::vector<std::size_t> shown =
      FilterRows(list_.rows, order, TextFilter("needle t"), no_time);
  ASSERT_EQ(shown.size(), 4u);
  const std::vector<std::size_t> selected(shown.begin(), shown.begin() + 3);
  EXPECT_EQ(Cell(selected[0], kColumnValueName), "needle t-name");
  EXPECT_EQ(Cell(selected[1], kColumnValueName), "Gamma");
  EXPECT_EQ(Cell(selected[2], kColumnValueName), "Epsilon");

  // Epsilon vanishes after the search.
  reg::TRegistry reg(*registry_);
  ASSERT_TRUE(reg.OpenKey("\\Software\\T"));
  ASSERT_TRUE(reg.DeleteValue("Epsilon"));
  reg.CloseKey();

  StoreSettings();
  output_.Clear();
  ASSERT_TRUE(controller_->ReplaceItems(ItemsOfRows(list_.rows, selected)));
  ASSERT_TRUE(output_.WaitFor("finished"));
  controller_->OnRunFinished();
  ApplyOutcomes(list_.rows, selected, *controller_->engine().session().only);

  EXPECT_EQ(String("Gamma"), "thread three");
  EXPECT_EQ(String("thread t-name"), "plain");
  EXPECT_EQ(String("Alpha"), "needle one");
  EXPECT_EQ(String("Beta"), "needle two");
  EXPECT_TRUE(Exists("Software\\T\\needle kids"));
  const auto lines = output_.Lines();
  EXPECT_THAT(lines,
              Contains("Skipped, the value is gone [HKEY_CURRENT_USER\\Software\\T\\Epsilon]"));
  EXPECT_THAT(lines, Contains("Finished, Replaced [2] Entries."));
  EXPECT_THAT(output_.Events(), Not(Contains("clear")));

  // The rows of the changed items show them as they are now; the others are untouched.
  EXPECT_EQ(Cell(selected[0], kColumnValueName), "thread t-name");
  EXPECT_EQ(Cell(selected[0], kColumnResult), "Renamed");
  EXPECT_EQ(Cell(selected[1], kColumnData), "thread three");
  EXPECT_EQ(Cell(selected[1], kColumnResult), "Replaced");
  EXPECT_EQ(Cell(selected[2], kColumnResult), "");
  EXPECT_EQ(Cell(shown[3], kColumnResult), "");

  // One undo file (SAUNDO off) holding the two items' former state, noted as the journal's run.
  ASSERT_EQ(UndoFiles().size(), 1u);
  const auto undo = files::testing::ReadRegFileLines(UndoFiles()[0]);
  EXPECT_THAT(undo, Contains("\"Gamma\"=\"needle three\""));
  EXPECT_THAT(undo, Contains("\"needle t-name\"=\"plain\""));
  EXPECT_THAT(undo, Not(Contains(HasSubstr("Alpha"))));
  EXPECT_EQ(journal_.LastRunFiles().size(), 1u);
}

}  // namespace
}  // namespace keyloom::shell
