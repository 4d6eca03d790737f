// The command line of an unattended run: `keyloom /find TEXT [/replace TEXT | /delete] ...`.
//
// Arguments are Windows style (`/name value`, `/flag`); `-name` and `--name` work as well, and
// names are not case sensitive. The argument after a name that takes a value is always its value,
// so a value may itself begin with "/" or "-" (`/find /old/path`). Every refusal names the
// argument and why: unknown, given twice, missing its value, or a value out of range.
//
// ApplyCommandLine maps a parsed line onto the settings record and the search request the window
// uses, so a command-line run is the window's run with other inputs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/item_filter.h"
#include "engine/match_rules.h"
#include "engine/run_io.h"
#include "shell/run_progress.h"
#include "shell/settings.h"

namespace keyloom::shell {

struct CommandLine {
  bool help = false;  // /? alone: the usage text
  std::string find;
  std::string replace;  // not empty: a replace run
  bool delete_hits = false;
  std::vector<engine::StartPoint> roots;  // empty: every root, as the window's "All"
  // /profiles: every user's profile, signed in or not; /profiles-default: the Default one too.
  bool profiles = false;
  bool default_profile = false;
  std::optional<int> view;                // 32 or 64
  std::string machine;                    // the computer's name, without leading backslashes
  // /in: where to look; nullopt keeps the default (value data only).
  std::optional<bool> in_keys, in_names, in_data;
  std::optional<int> type;  // the window's type filter item, 0 to 8
  bool use_case = false;
  bool whole = false;
  bool simulate = false;
  std::string undo_folder;
  bool no_undo = false;
  bool separate_undo = false;
  bool fixperms = false;
  std::string log_file;
  std::string csv_file;
  std::string ini_file;
  bool quiet = false;
  ProgressSwitch progress = ProgressSwitch::kAuto;  // /progress, /noprogress
  // /regex, /wildcards, /hex; /modified-after, /modified-before, /min-size, /max-size; /exclude and
  // the keys of /exclude-file.
  engine::MatchRules rules;
  // A fleet run: the computers of /machines FILE, up to /parallel of them at once, and the file
  // /retry writes the machines to take again to.
  std::vector<std::string> machines;
  std::optional<int> parallel;
  std::string retry_file;
  bool start_remote_registry = false;
  std::string json_file;
  bool detect = false;   // exit code 1 when the text was found, 0 when not
  bool summary = false;  // standard output gets one summary line alone
  // /only: the items of a hit list the run may change; none: every hit.
  std::optional<std::vector<engine::OnlyItem>> only;

  bool SearchOnly() const { return replace.empty() && !delete_hits; }
};

struct ParsedCommandLine {
  std::optional<CommandLine> line;
  std::string error;  // why the arguments were refused, when `line` is empty
};

// `args` without the program's own name, as UTF-8.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// "HKCU", "HKEY_CURRENT_USER\Software\X", "hklm\software\": a root (short or long name, any case)
// with an optional key below it. nullopt when the root is unknown or the path is malformed.
std::optional<engine::StartPoint> ParseRootArgument(std::string_view text);

// The settings record and the search request a run from this command line uses, on top of
// `settings` and `window` as read from the settings file.
void ApplyCommandLine(const CommandLine& line, Settings& settings, WindowSettings& window);

// The text `/?` shows: every argument and the exit codes.
std::string UsageText();

}  // namespace keyloom::shell
