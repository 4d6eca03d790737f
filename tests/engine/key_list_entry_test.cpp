#include "engine/key_list_entry.h"

#include <gtest/gtest.h>

namespace keyloom::engine {
namespace {

TEST(KeyListEntry, ARowSplitsBackIntoItsThreeFields) {
  const std::string row = MakeKeyListEntry("HKEY_CURRENT_USER", "\\Software\\A", "(Default)");
  EXPECT_EQ(row, "HKEY_CURRENT_USER\t\\Software\\A\t(Default)");
  const auto entry = ParseKeyListEntry(row);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->root, "HKEY_CURRENT_USER");
  EXPECT_EQ(entry->path, "\\Software\\A");
  EXPECT_EQ(entry->value_name, "(Default)");
  EXPECT_EQ(entry->ToRow(), row);
}

TEST(KeyListEntry, AKeyNameHitHasAnEmptyValueName) {
  const auto entry = ParseKeyListEntry("HKEY_USERS\t\\S-1-5-18\\Found\t");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->path, "\\S-1-5-18\\Found");
  EXPECT_EQ(entry->value_name, "");
}

TEST(KeyListEntry, TabsAfterTheSecondBelongToTheValueName) {
  const auto entry = ParseKeyListEntry("HKEY_LOCAL_MACHINE\t\\K\tname\twith\ttabs");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->path, "\\K");
  EXPECT_EQ(entry->value_name, "name\twith\ttabs");
}

TEST(KeyListEntry, OddRows) {
  EXPECT_EQ(ParseKeyListEntry("Search Matched 3 Keys."), std::nullopt);
  EXPECT_EQ(ParseKeyListEntry(""), std::nullopt);
  const auto one_tab = ParseKeyListEntry("HKEY_CLASSES_ROOT\t\\.txt");
  ASSERT_TRUE(one_tab.has_value());
  EXPECT_EQ(one_tab->path, "\\.txt");
  EXPECT_EQ(one_tab->value_name, "");
  const auto empty_fields = ParseKeyListEntry("\t\t");
  ASSERT_TRUE(empty_fields.has_value());
  EXPECT_EQ(*empty_fields, KeyListEntry{});
}

TEST(KeyListEntry, DefaultIsTheUnnamedValueForTheRegistry) {
  EXPECT_EQ(RegistryValueName("(Default)"), "");
  EXPECT_EQ(RegistryValueName("(default)"), "(default)");  // only the exact text
  EXPECT_EQ(RegistryValueName("Path"), "Path");
  EXPECT_EQ(ParseKeyListEntry("HKEY_CURRENT_USER\t\\A\t(Default)")->RegistryValueName(), "");
}

}  // namespace
}  // namespace keyloom::engine
