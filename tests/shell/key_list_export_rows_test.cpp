#include "shell/key_list_export_rows.h"

#include <gtest/gtest.h>

namespace keyloom::shell {
namespace {

TEST(KeyListExportRows, RowsAreSplitAsTheListShowsThemDefaultBecomesTheUnnamedValueUsersKept) {
  KeyListRows rows;
  rows.Append("HKEY_CURRENT_USER\t\\Software\\X\t(Default)");
  rows.Append("HKEY_CURRENT_USER\t\\Software\\X\t");
  rows.Append("HKEY_USERS\t\\S-1\\Y\tname\twith tab",
              {"REG_SZ", "", engine::FoundIn::kData, 0, change::ChangeResult::kNone, "", "ann"});
  rows.Append("not a result row");
  const KeyListExportRows items(rows);
  ASSERT_EQ(items.size(), 4u);
  const auto unnamed = items.Item(0);
  ASSERT_TRUE(unnamed.has_value());
  EXPECT_EQ(unnamed->root, "HKEY_CURRENT_USER");
  EXPECT_EQ(unnamed->path, "\\Software\\X");
  EXPECT_EQ(unnamed->value_name, "");
  EXPECT_EQ(unnamed->user, "");
  EXPECT_EQ(items.Item(1)->value_name, "");
  EXPECT_EQ(items.Item(2)->value_name, "name\twith tab");
  EXPECT_EQ(items.Item(2)->user, "ann");
  EXPECT_FALSE(items.Item(3).has_value());
}

}  // namespace
}  // namespace keyloom::shell
