#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8_path.h"
#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

using Args = std::vector<std::string>;

struct Refusal {
  Args args;
  std::string error;  // a part of the message
};

class CommandLineRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(CommandLineRefusalTest, NamesTheProblem) {
  const ParsedCommandLine parsed = ParseCommandLine(GetParam().args);
  ASSERT_FALSE(parsed.line.has_value());
  EXPECT_NE(parsed.error.find(GetParam().error), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRefusal, CommandLineRefusalTest,
    ::testing::Values(
        Refusal{{}, "/find is required"}, Refusal{{"/case"}, "/find is required"},
        Refusal{{"/find", "a", "/frobnicate"}, "Unknown option /frobnicate"},
        Refusal{{"/find", "a", "stray"}, "Unexpected argument \"stray\""},
        Refusal{{"/find", "a", "/find", "b"}, "/find is given more than once"},
        Refusal{{"/find", "a", "-CASE", "--case"}, "/case is given more than once"},
        Refusal{{"/find"}, "/find needs a value"},
        Refusal{{"/find", "a", "/log"}, "/log needs a value"},
        Refusal{{"/find", "  "}, "must not be blank"},
        Refusal{{"/find", "a", "/replace", ""}, "use /delete"},
        Refusal{{"/find", "a", "/replace", "b", "/delete"}, "exclude each other"},
        Refusal{{"/find", "a", "/delete", "/undo", "u", "/noundo"}, "exclude each other"},
        Refusal{{"/find", "a", "/simulate"}, "need /replace or /delete"},
        Refusal{{"/find", "a", "/view", "16"}, "takes 32 or 64"},
        Refusal{{"/find", "a", "/in", "keys,values"}, "(not \"values\")"},
        Refusal{{"/find", "a", "/in", ""}, "takes keys, names and data"},
        Refusal{{"/find", "a", "/type", "REG_NONE"}, "(not \"REG_NONE\")"},
        Refusal{{"/find", "a", "/root", "HKXX\\Software"}, "takes a root key"},
        Refusal{{"/find", "a", "/root", "HKCU\\a\\\\b"}, "takes a root key"},
        // An empty key name is never taken for the key above it (here the whole root).
        Refusal{{"/find", "a", "/replace", "b", "/root", "HKCU\\\\"}, "takes a root key"},
        Refusal{{"/find", "a", "/root", "HKCU\\\\a"}, "takes a root key"},
        Refusal{{"/find", "a", "/root", "HKCU\\Software\\\\"}, "takes a root key"},
        // Another computer's registry is reached at HKLM and HKU only.
        Refusal{{"/find", "a", "/machine", "srv", "/root", "HKLM", "/root", "HKCU"},
                "HKEY_CURRENT_USER cannot be searched on another computer"},
        Refusal{{"/find", "a", "/root", "hkcr\\.txt", "/machine", "srv"},
                "HKEY_CLASSES_ROOT cannot be searched on another computer"},
        Refusal{{"/find", "a", "/machine", "srv", "/root", "HKCC"},
                "HKEY_CURRENT_CONFIG cannot be searched on another computer"},
        Refusal{{"/find", "a", "/root", "HKCU\\Software", "/root", "hkey_current_user\\software\\"},
                "twice"},
        Refusal{{"/find", "a", "/profiles", "/root", "HKU"}, "/root and /profiles exclude"},
        Refusal{{"/find", "a", "/machine", "\\\\"}, "must not be blank"},
        Refusal{{"/find", "a", "/progress", "/noprogress"},
                "/noprogress: /progress and /noprogress exclude each other"},
        Refusal{{"/find", "a", "/progress", "/PROGRESS"}, "/progress is given more than once"},
        // Match modes and filters.
        Refusal{{"/find", "a", "/regex", "/hex"}, "/hex: /regex, /wildcards and /hex exclude"},
        Refusal{{"/find", "a", "/modified-after", "2026-02-30"}, "takes a local date"},
        Refusal{{"/find", "a", "/modified-before", "2026-12-08 25:00"},
                "(not \"2026-12-08 25:00\")"},
        Refusal{{"/find", "a", "/modified-after", "08.12.2026"}, "takes a local date"},
        Refusal{{"/find", "a", "/modified-after", "2026-12-08", "/modified-before", "2026-12-08"},
                "/modified-after must name a time before /modified-before"},
        Refusal{{"/find", "a", "/min-size", "-1"}, "takes a number of bytes"},
        Refusal{{"/find", "a", "/max-size", "99999999999999999999"}, "takes a number of bytes"},
        Refusal{{"/find", "a", "/min-size", "10", "/max-size", "9"}, "must not be larger"},
        Refusal{{"/find", "a", "/exclude", "HKLM"}, "takes a key below a root key"},
        Refusal{{"/find", "a", "/exclude", "HKXX\\A"}, "takes a key below a root key"},
        Refusal{{"/find", "a", "/exclude-file", "/no/such/folder/keys.txt"},
                "/exclude-file: cannot read /no/such/folder/keys.txt ["}));

TEST(CommandLineTest, ReadsMatchModesFiltersAndExclusions) {
  keyloom::testing::TempFolder folder;
  const std::string list = folder.Utf8() + "keys.txt";
  keyloom::testing::WriteBytes(base::PathFromUtf8(list),
                               "\xEF\xBB\xBF; keys not to enter\r\n\r\n  HKCU\\Software\\Big  "
                               "\r\n# comment\nhklm\\system\n");
  const ParsedCommandLine parsed = ParseCommandLine(
      {"/find", "(a+)", "/replace", "$1", "/REGEX", "/modified-after", "2026-01-02",
       "/modified-before", "2026-01-02 10:30", "/min-size", "0", "/max-size", "4096", "/exclude",
       "HKCU\\Software\\Big", "/exclude", "HKU\\.DEFAULT\\", "/exclude-file", list});
  ASSERT_TRUE(parsed.line) << parsed.error;
  const engine::MatchRules& rules = parsed.line->rules;
  EXPECT_EQ(rules.mode, engine::MatchMode::kRegex);
  ASSERT_TRUE(rules.modified_after && rules.modified_before);
  EXPECT_EQ(*rules.modified_before - *rules.modified_after, (10 * 3600 + 30 * 60) * 10'000'000ull);
  EXPECT_EQ(rules.min_size, 0u);
  EXPECT_EQ(rules.max_size, 4096u);
  EXPECT_EQ(rules.exclusions, (std::vector<engine::ExcludedKey>{
                                  {2, "\\Software\\Big"}, {4, "\\.DEFAULT"}, {3, "\\system"}}))
      << "a key named twice is excluded once";
  Settings settings;
  WindowSettings window;
  ApplyCommandLine(*parsed.line, settings, window);
  EXPECT_EQ(window.rules, rules);

  keyloom::testing::WriteBytes(base::PathFromUtf8(list), "HKCU\\Fine\nHKQQ\\Bad\n");
  EXPECT_NE(ParseCommandLine({"/find", "a", "/exclude-file", list})
                .error.find("keys.txt line 2 takes a key below a root key"),
            std::string::npos);
}

// Every option read, then mapped onto the settings file's record and the window's request: what
// the line says wins over the file, and a command-line run never starts, hides or closes a window
// nor saves the file.
TEST(CommandLineTest, ReadsEveryOptionAndMapsItOntoTheSettings) {
  const ParsedCommandLine parsed = ParseCommandLine({"-find",     "/old/path",
                                                     "--REPLACE", "new",
                                                     "/root",     "hku\\.DEFAULT\\X\\",
                                                     "/root",     "HKEY_LOCAL_MACHINE",
                                                     "/machine",  "\\\\srv",
                                                     "/view",     "64",
                                                     "/in",       "names,KEYS",
                                                     "/type",     "reg_dword",
                                                     "/case",     "/whole",
                                                     "/simulate", "/undo",
                                                     "u dir",     "/separate-undo",
                                                     "/log",      "l.txt",
                                                     "/csv",      "c.csv",
                                                     "/ini",      "k.ini",
                                                     "/quiet",    "/noprogress"});
  ASSERT_TRUE(parsed.line.has_value()) << parsed.error;
  const CommandLine& line = *parsed.line;
  EXPECT_EQ(line.find, "/old/path");  // a value may begin with "/"
  EXPECT_EQ(line.replace, "new");
  EXPECT_FALSE(line.SearchOnly());
  ASSERT_EQ(line.roots.size(), 2u);
  EXPECT_EQ(line.roots[0], (engine::StartPoint{4, "\\.DEFAULT\\X"}));
  EXPECT_EQ(line.roots[1], (engine::StartPoint{3, "\\"}));
  EXPECT_EQ(line.machine, "srv");
  EXPECT_EQ(line.view, 64);
  EXPECT_EQ(line.in_keys, true);
  EXPECT_EQ(line.in_names, true);
  EXPECT_EQ(line.in_data, false);
  EXPECT_EQ(line.type, 5);
  EXPECT_TRUE(line.use_case && line.whole && line.simulate && line.separate_undo && line.quiet);
  EXPECT_EQ(line.undo_folder, "u dir");
  EXPECT_EQ(line.log_file, "l.txt");
  EXPECT_EQ(line.csv_file, "c.csv");
  EXPECT_EQ(line.ini_file, "k.ini");
  EXPECT_EQ(line.progress, ProgressSwitch::kOff);
  EXPECT_EQ(ParseCommandLine({"/find", "a"}).line->progress, ProgressSwitch::kAuto);
  EXPECT_EQ(ParseCommandLine({"/find", "a", "-progress"}).line->progress, ProgressSwitch::kOn);

  Settings settings;
  settings.undo = 0;  // the file said no undo; a command-line run writes them unless /noundo
  settings.autostart = settings.autoclose = settings.autohide = true;
  settings.wholenum = settings.saundo = false;
  WindowSettings window;
  window.searchkey = 4;
  ApplyCommandLine(line, settings, window);
  EXPECT_EQ(window.find, "/old/path");
  EXPECT_EQ(window.replace, "new");
  EXPECT_FALSE(settings.enabledel);
  EXPECT_EQ(window.searchkey, 0) << "the roots go to the run apart";
  for (const char* option : {"/profiles", "/profiles-default"}) {
    const auto profiles = ParseCommandLine({"/find", "a", option, "/machine", "srv"}).line;
    ASSERT_TRUE(profiles) << option;
    ApplyCommandLine(*profiles, settings, window);
    EXPECT_EQ(window.searchkey, engine::kProfilesChoice);
    EXPECT_EQ(profiles->default_profile, std::string(option) == "/profiles-default");
  }
  ApplyCommandLine(line, settings, window);
  EXPECT_TRUE(window.searchtree && window.searchkeys && !window.searchvalues);
  EXPECT_EQ(window.searchtype, 5);
  EXPECT_TRUE(window.usecase);
  EXPECT_EQ(settings.scanmethod, 1);
  EXPECT_TRUE(settings.wholenum && settings.simulate && settings.saundo);
  EXPECT_EQ(RunUndoStateOf(settings.undo), RunUndoState::kAll);
  EXPECT_EQ(settings.undodir, "u dir");
  EXPECT_FALSE(settings.autostart || settings.autoclose || settings.autohide || settings.updateini);

  // What a line leaves out: data only, every type, one undo file for the run.
  window.searchtree = true;
  window.searchtype = 3;
  const auto other =
      ParseCommandLine({"/find", "a", "/delete", "/view", "32", "/fixperms", "/noundo"});
  ASSERT_TRUE(other.line.has_value()) << other.error;
  ApplyCommandLine(*other.line, settings, window);
  EXPECT_EQ(window.replace, "");
  EXPECT_TRUE(settings.enabledel);
  EXPECT_TRUE(!window.searchtree && !window.searchkeys && window.searchvalues);
  EXPECT_EQ(window.searchtype, 0);
  EXPECT_FALSE(window.usecase);
  EXPECT_EQ(settings.scanmethod, 0);
  EXPECT_TRUE(settings.fixperms);
  EXPECT_FALSE(settings.saundo);
  EXPECT_EQ(RunUndoStateOf(settings.undo), RunUndoState::kNone);
}

TEST(CommandLineTest, HelpNeedsNothingElse) {
  for (const Args& args : {Args{"/?"}, Args{"-?"}, Args{"--help"}}) {
    const ParsedCommandLine parsed = ParseCommandLine(args);
    ASSERT_TRUE(parsed.line.has_value()) << parsed.error;
    EXPECT_TRUE(parsed.line->help);
  }
  const std::string usage = UsageText();
  for (const char* part : {"/find TEXT", "/root KEY", "keyloom.com", "0  hits",
                           "4  the run was stopped", "5  a change", "/progress ", "/noprogress "}) {
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  }
}

TEST(CommandLineTest, RootsTakeShortAndLongNamesWithOrWithoutAPath) {
  struct Case {
    const char* text;
    int root;
    const char* path;
  };
  for (const Case& c : {Case{"HKCR", 1, "\\"}, Case{"hkey_classes_root\\", 1, "\\"},
                        Case{"HKU\\S-1-5-18", 4, "\\S-1-5-18"}, Case{"HKCU\\", 2, "\\"},
                        Case{"hkcu\\Software\\", 2, "\\Software"},
                        Case{"HKEY_CURRENT_CONFIG\\System\\x", 5, "\\System\\x"}}) {
    const auto start = ParseRootArgument(c.text);
    ASSERT_TRUE(start.has_value()) << c.text;
    EXPECT_EQ(start->root_index, c.root) << c.text;
    EXPECT_EQ(start->path, c.path) << c.text;
  }
  EXPECT_FALSE(ParseRootArgument("HKEY_CURRENT").has_value());
  EXPECT_FALSE(ParseRootArgument("HKCU\\\\").has_value());
  EXPECT_FALSE(ParseRootArgument("").has_value());
}

}  // namespace
}  // namespace keyloom::shell
