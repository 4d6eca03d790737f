// Replace and delete runs over the memory registry whose undo files, merged back, must give the
// tree from before byte for byte: names a registry editor file cannot carry, ordinary keys named
// Wow6432Node, replacement texts that contain the find text or a backslash, and values hit twice.
#include <gmock/gmock.h>

#include <functional>

#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"

namespace keyloom::engine::testing {
namespace {

class RunUndoTest;
using Lines = std::vector<std::string>;

struct RunCase {
  const char* what;
  std::function<void(RunUndoTest&)> seed;
  const char* find;
  const char* replace;
  bool delete_mode;
  std::function<void(RunUndoTest&, const Lines&)> expect;
};

// Its helpers are public for the case table.
class RunUndoTest : public WalkTest {
 public:
  using WalkTest::Exists;
  using WalkTest::PutString;
  using WalkTest::Read;

  void SetUp() override {
    WalkTest::SetUp();
    controls_.key_names = true;
    controls_.value_names = true;
  }

  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*registry_, reg::kCurrentUser, "T");
  }

  std::string UndoText() {
    std::string text;
    for (const auto& file : UndoFiles()) {
      for (const auto& line : files::testing::ReadRegFileLines(file)) text += line + "\n";
    }
    return text;
  }

  bool HasValue(const std::string& path, const std::string& name) {
    reg::TRegistry reg(*registry_);
    return reg.OpenKey("\\" + path) && reg.ValueExists(name);
  }

  // Each case with SAUNDO off and on; the run's undo files, merged newest first, give the tree
  // from before.
  void RunEachCase(const std::vector<RunCase>& cases) {
    for (const bool separate : {false, true}) {
      for (const RunCase& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (separate ? ", SAUNDO on" : ", SAUNDO off"));
        settings_.saundo = separate;
        Reset();
        c.seed(*this);
        const auto before = Tree();
        controls_.find = c.find;
        controls_.replace = c.replace;
        controls_.delete_mode = c.delete_mode;
        c.expect(*this, Run(true));
        const auto files = UndoFiles();
        for (auto it = files.rbegin(); it != files.rend(); ++it) {
          files::testing::MergeRegFile(*registry_, *it);
        }
        EXPECT_EQ(Tree(), before) << UndoText();
      }
    }
  }
};

reg::Bytes Sz(std::u16string_view text) {
  reg::Bytes data = text::Utf16ToBytes(text);
  data.insert(data.end(), {0, 0});
  return data;
}

TEST_F(RunUndoTest, EveryChangeOfARunIsTakenBackByItsUndoFiles) {
  RunUndoTest::RunEachCase({
      {"a value name with a line break is refused, its neighbours are changed",
       [](RunUndoTest& c) {
         c.PutString("T\\K", "line\nbreak", "needle");
         c.PutString("T\\K", "plain", "needle");
       },
       "needle", "pin", false,
       [](RunUndoTest& c, const Lines& lines) {
         EXPECT_EQ(c.Read("T\\K", "line\nbreak").data, Sz(u"needle"));
         EXPECT_EQ(c.Read("T\\K", "plain").data, Sz(u"pin"));
         EXPECT_THAT(lines, Contains(HasSubstr("line<LF>break")));
         EXPECT_THAT(lines, Contains("Failed to change [1] Entries."));
         EXPECT_THAT(c.UndoText(), Not(HasSubstr("break")));
       }},
      {"a key holding a name with a line break is neither renamed nor deleted",
       [](RunUndoTest& c) {
         c.PutString("T\\needleKey\\Sub", "carriage\rreturn", "x");
         c.PutString("T\\needleKey", "v", "x");
       },
       "needle", "pin", false,
       [](RunUndoTest& c, const Lines& lines) {
         EXPECT_TRUE(c.Exists("T\\needleKey\\Sub"));
         EXPECT_FALSE(c.Exists("T\\pinKey"));
         EXPECT_THAT(lines, Contains(HasSubstr("carriage<CR>return")));
         EXPECT_THAT(c.UndoText(), Not(HasSubstr("needleKey")));
       }},
      {"an ordinary key named Wow6432Node moves with its renamed parent",
       [](RunUndoTest& c) {
         c.PutString("T\\needleKey\\Wow6432Node\\Deep", "w", "kept");
         c.PutString("T\\needleKey\\Wow6432Node", "v", "kept");
       },
       "needle", "pin", false,
       [](RunUndoTest& c, const Lines&) {
         EXPECT_EQ(c.Read("T\\pinKey\\Wow6432Node\\Deep", "w").data, Sz(u"kept"));
       }},
      {"an ordinary key named Wow6432Node goes with its deleted parent",
       [](RunUndoTest& c) { c.PutString("T\\needleKey\\Wow6432Node", "v", "kept"); }, "needle", "x",
       true, [](RunUndoTest& c, const Lines&) { EXPECT_FALSE(c.Exists("T\\needleKey")); }},
      {"a replacement containing the find text changes each item once",
       [](RunUndoTest& c) {
         c.PutString("T\\abcA\\abcP", "x", "y");
         c.PutString("T\\abcA", "v", "abc");
         c.PutString("T\\abcA", "abcW", "abc");
       },
       "abc", "abcX", false,
       [](RunUndoTest& c, const Lines& lines) {
         EXPECT_TRUE(c.Exists("T\\abcXA\\abcXP"));
         EXPECT_FALSE(c.Exists("T\\abcXXA"));
         EXPECT_EQ(c.Read("T\\abcXA", "abcXW").data, Sz(u"abcX"));
         EXPECT_EQ(c.Read("T\\abcXA", "v").data, Sz(u"abcX"));
         EXPECT_THAT(lines, Contains("Finished, Replaced [5] Entries."));
         EXPECT_THAT(lines, Not(Contains(HasSubstr("Failed to change"))));
       }},
      {"a value hit by its data and its name is deleted once",
       [](RunUndoTest& c) { c.PutString("T\\K", "needle", "needle"); }, "needle", "x", true,
       [](RunUndoTest& c, const Lines& lines) {
         EXPECT_FALSE(c.HasValue("T\\K", "needle"));
         EXPECT_THAT(lines, Contains("Finished, Deleted [1] Entries."));
         EXPECT_THAT(lines, Not(Contains(HasSubstr("Failed to change"))));
         EXPECT_THAT(lines, Not(Contains(HasSubstr("Unable to Delete"))));
       }},
      {"a replacement with a backslash moves the key deeper",
       [](RunUndoTest& c) { c.PutString("T\\needleKey\\Sub", "v", "x"); }, "needle",
       "new\\deeper\\pin", false,
       [](RunUndoTest& c, const Lines&) {
         EXPECT_EQ(c.Read("T\\new\\deeper\\pinKey\\Sub", "v").data, Sz(u"x"));
         EXPECT_FALSE(c.Exists("T\\needleKey"));
       }},
      {"a replacement with a backslash into a key that exists keeps that key",
       [](RunUndoTest& c) {
         c.PutString("T\\needleKey", "v", "x");
         c.PutString("T\\new", "kept", "x");
       },
       "needle", "new\\pin", false,
       [](RunUndoTest& c, const Lines&) {
         EXPECT_EQ(c.Read("T\\new\\pinKey", "v").data, Sz(u"x"));
       }},
  });
}

// The memory registry names the keys of HKEY_CURRENT_USER and HKEY_USERS\<the user's SID> alike,
// as Windows does, though it keeps them apart: the copy under HKEY_USERS stands for the same value
// reached again, which the run must not change a second time.
TEST_F(RunUndoTest, AValueReachedUnderTwoRootsIsChangedOnce) {
  const std::string mirror = "S-1-5-21-0-0-0-1000\\T\\K";
  PutString("T\\K", "v", "abc");
  Put(mirror, "v", {reg::kRegSz, Sz(u"abc")}, reg::kUsers);
  controls_.root_choice = 0;
  controls_.find = "abc";
  controls_.replace = "abcX";
  const auto lines = Run(true);
  EXPECT_EQ(Read("T\\K", "v").data, Sz(u"abcX"));
  reg::TRegistry users(*registry_);
  users.SetRootKey(reg::kUsers);
  ASSERT_TRUE(users.OpenKey("\\" + mirror));
  EXPECT_EQ(users.ReadRaw("v").data, Sz(u"abc"));
  EXPECT_EQ(Rows().size(), 2u) << "a hit reached twice is listed twice";
  EXPECT_THAT(lines, Contains("Finished, Replaced [1] Entries."));
}

}  // namespace
}  // namespace keyloom::engine::testing
