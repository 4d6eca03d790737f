// Exclusions under the registry's other names for their keys: HKEY_CURRENT_USER and
// HKEY_USERS\<SID>, the classes under HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE\Software\Classes,
// HKEY_CURRENT_USER\Software\Classes and HKEY_USERS\<SID>_Classes. The memory registry keeps its
// roots apart (on Windows they are the same keys), so each name holds a key of its own here and
// the test sees which of them a run enters.
#include "engine/walk_fixture.h"

namespace keyloom::engine::testing {
namespace {

constexpr const char* kSid = "S-1-5-21-0-0-0-1000";  // the memory registry's user

class ExclusionAliasTest : public WalkTest {
 protected:
  void Seed() {
    Reset();
    const std::string sid = kSid;
    for (const auto& [root, path] : std::vector<std::pair<reg::KeyHandle, std::string>>{
             {reg::kCurrentUser, "Software\\Tool"},
             {reg::kUsers, sid + "\\Software\\Tool"},
             {reg::kUsers, "S-1-5-21-9-9-9-1001\\Software\\Tool"},  // another user
             {reg::kClassesRoot, ".ext"},
             {reg::kLocalMachine, "Software\\Classes\\.ext"},
             {reg::kCurrentUser, "Software\\Classes\\.ext"},
             {reg::kUsers, sid + "_Classes\\.ext"},
             {reg::kLocalMachine, "Software\\Other"}}) {
      Put(path, "v", {reg::kRegSz, {'o', 0, 'l', 0, 'd', 0, 0, 0}}, root);
    }
  }
};

std::string Hit(const std::string& root, const std::string& path) {
  return root + "\t\\" + path + "\tv";
}

TEST_F(ExclusionAliasTest, AnExclusionHoldsUnderEveryNameOfItsKeyAndAStartKeyInsideOneIsNotWalked) {
  const std::string sid = kSid;
  const std::string tool_cu = Hit("HKEY_CURRENT_USER", "Software\\Tool");
  const std::string tool_u = Hit("HKEY_USERS", sid + "\\Software\\Tool");
  const std::string tool_other = Hit("HKEY_USERS", "S-1-5-21-9-9-9-1001\\Software\\Tool");
  const std::string ext_cr = Hit("HKEY_CLASSES_ROOT", ".ext");
  const std::string ext_lm = Hit("HKEY_LOCAL_MACHINE", "Software\\Classes\\.ext");
  const std::string ext_cu = Hit("HKEY_CURRENT_USER", "Software\\Classes\\.ext");
  const std::string ext_u = Hit("HKEY_USERS", sid + "_Classes\\.ext");
  const std::string other = Hit("HKEY_LOCAL_MACHINE", "Software\\Other");
  struct Case {
    ExcludedKey excluded;
    std::vector<std::string> rows;  // what the run over all roots finds
    const char* line;               // a line the run writes
  };
  const std::vector<Case> cases = {
      {{2, "\\software\\TOOL"},
       {tool_other, ext_cr, ext_lm, ext_cu, ext_u, other},
       "Excluded Key not entered [HKEY_CURRENT_USER\\software\\TOOL]: 2 times."},
      {{4, "\\" + sid + "\\Software\\Tool"},
       {tool_other, ext_cr, ext_lm, ext_cu, ext_u, other},
       "Excluded Key not entered [HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Tool]: 2 times."},
      {{1, "\\.EXT"}, {tool_cu, tool_u, tool_other, other}, "]: 4 times."},
      {{4, "\\" + sid + "_Classes\\.ext"},
       {tool_cu, tool_u, tool_other, ext_lm, other},
       "]: 3 times."},
      // The machine's classes: all of HKEY_CLASSES_ROOT shows them, and is not walked.
      {{3, "\\Software\\Classes"},
       {tool_cu, tool_u, tool_other, ext_cu, ext_u, other},
       "Not searched: [HKEY_CLASSES_ROOT] lies in the excluded key "
       "[HKEY_LOCAL_MACHINE\\Software\\Classes]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.excluded.path);
    Seed();
    controls_.find = "old";
    controls_.root_choice = 0;
    controls_.rules.exclusions = {c.excluded};
    const auto lines = Run();
    EXPECT_THAT(Rows(), UnorderedElementsAreArray(c.rows));
    EXPECT_THAT(lines, Contains(HasSubstr(c.line)));
  }

  // A start key inside an excluded key: one line, and the other start keys are walked.
  Seed();
  controls_.rules.exclusions = {{2, "\\Software"}};
  controls_.starts = {{4, "\\" + sid + "\\Software\\Tool"}, {3, "\\Software\\Other"}};
  const auto lines = Run();
  EXPECT_THAT(Rows(), UnorderedElementsAreArray({other}));
  EXPECT_THAT(lines, Contains("Not searched: [HKEY_USERS\\" + sid +
                              "\\Software\\Tool] lies in the excluded key "
                              "[HKEY_CURRENT_USER\\Software]"));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("Checking Key : HKEY_USERS"))));
}

}  // namespace
}  // namespace keyloom::engine::testing
