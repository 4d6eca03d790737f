#include "shell/about_text.h"

#include <gtest/gtest.h>

#include "shell/key_list_menu.h"

namespace keyloom::shell {
namespace {

TEST(OsLineTextTest, NamesEachPlatformWithItsNumbersInPlainDecimal) {
  EXPECT_EQ(OsLineText(kPlatformWinNt, 10, 0, 19045), "Windows NT (10.0.19045)");
  EXPECT_EQ(OsLineText(kPlatformWinNt, 6, 1, 7601), "Windows NT (6.1.7601)");
  EXPECT_EQ(OsLineText(kPlatformWin32s, 3, 10, 0), "Windows (32bit) (3.10.0)");
  // The 95/98 family carries major and minor in the build number's high word.
  EXPECT_EQ(OsLineText(kPlatformWin9x, 4, 10, 0x040A08AEu), "Windows 95/98 (4.10.2222)");
  EXPECT_EQ(OsLineText(3, 10, 0, 1), "Unknown Operating System");
  EXPECT_EQ(OsLineText(0xFFFFFFFFu, 0, 0, 0), "Unknown Operating System");
}

TEST(KeyListMenuTest, RowCommandsNeedASingleRowExceptDelete) {
  EXPECT_EQ(KeyListMenuStateFor(0), (KeyListMenuState{true, true, true, true, false}));
  EXPECT_EQ(KeyListMenuStateFor(1), (KeyListMenuState{true, true, true, true, true}));
  EXPECT_EQ(KeyListMenuStateFor(2), (KeyListMenuState{false, false, false, false, true}));
  EXPECT_EQ(KeyListMenuStateFor(100000), (KeyListMenuState{false, false, false, false, true}));
}

}  // namespace
}  // namespace keyloom::shell
