#include "shell/command_line.h"

#include <algorithm>
#include <array>
#include <functional>
#include <set>

#include "base/ascii.h"
#include "base/file_io.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "registry/registry.h"
#include "shell/filter_texts.h"
#include "shell/fleet_run.h"
#include "shell/machine_list.h"
#include "shell/only_file.h"

namespace keyloom::shell {
namespace {

using base::AsciiLower;

struct ShortRoot {
  const char* name;
  int index;
};
constexpr int kLocalMachine = 3;
constexpr int kUsers = 4;
constexpr std::array<ShortRoot, 5> kShortRoots = {{
    {"hkcr", 1},
    {"hkcu", 2},
    {"hklm", kLocalMachine},
    {"hku", kUsers},
    {"hkcc", 5},
}};

// The type filter's items, in the order of the window's list, as /type names them.
constexpr std::array<const char*, 9> kTypeNames = {"all",        "strings",       "numbers",
                                                   "reg_sz",     "reg_expand_sz", "reg_dword",
                                                   "reg_binary", "reg_multi_sz",  "reg_qword"};

using Setter = std::function<std::string(CommandLine&, const std::string& value)>;

struct Option {
  const char* name;
  bool takes_value;
  Setter set;               // "" when the value is accepted, else why not
  bool repeatable = false;  // may be given more than once
};

std::string NotBlank(std::string& target, const std::string& value, const char* what) {
  if (text::IsWhiteSpace(value)) return std::string(what) + " must not be blank";
  target = value;
  return "";
}

std::string SetIn(CommandLine& line, const std::string& value) {
  line.in_keys = line.in_names = line.in_data = false;
  std::size_t start = 0;
  while (start <= value.size()) {
    const std::size_t comma = std::min(value.find(',', start), value.size());
    const std::string item = AsciiLower(value.substr(start, comma - start));
    if (item == "keys") {
      line.in_keys = true;
    } else if (item == "names") {
      line.in_names = true;
    } else if (item == "data") {
      line.in_data = true;
    } else {
      return "takes keys, names and data, separated by commas (not \"" + item + "\")";
    }
    start = comma + 1;
  }
  return "";
}

std::string SetType(CommandLine& line, const std::string& value) {
  const std::string name = AsciiLower(value);
  for (std::size_t i = 0; i < kTypeNames.size(); ++i) {
    if (name == kTypeNames[i]) {
      line.type = static_cast<int>(i);
      return "";
    }
  }
  return "takes all, strings, numbers, REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY, "
         "REG_MULTI_SZ or REG_QWORD (not \"" +
         value + "\")";
}

std::string SetRoot(CommandLine& line, const std::string& value) {
  const std::optional<engine::StartPoint> start = ParseRootArgument(value);
  if (!start) {
    return "takes a root key (HKCR, HKCU, HKLM, HKU, HKCC or their long names), optionally "
           "followed by a key below it, as in HKCU\\Software\\Example (not \"" +
           value + "\")";
  }
  const auto same = [&](const engine::StartPoint& other) {
    return other.root_index == start->root_index &&
           AsciiLower(other.path) == AsciiLower(start->path);
  };
  if (std::any_of(line.roots.begin(), line.roots.end(), same)) {
    return "names " + value + " twice";
  }
  line.roots.push_back(*start);
  return "";
}

// /regex, /wildcards or /hex: one of them at most.
Setter SetMode(engine::MatchMode mode) {
  return [mode](CommandLine& line, const std::string&) {
    if (line.rules.mode != engine::MatchMode::kText) {
      return std::string("/regex, /wildcards and /hex exclude each other");
    }
    line.rules.mode = mode;
    return std::string();
  };
}

Setter SetTime(std::optional<std::uint64_t> engine::MatchRules::*member) {
  return [member](CommandLine& line, const std::string& value) {
    const auto when = engine::ParseLocalTime(value);
    if (!when) {
      return "takes a local date as yyyy-mm-dd or yyyy-mm-dd hh:mm[:ss] (not \"" + value + "\")";
    }
    line.rules.*member = when;
    return std::string();
  };
}

Setter SetSize(std::optional<std::uint64_t> engine::MatchRules::*member) {
  return [member](CommandLine& line, const std::string& value) {
    const std::optional<std::uint64_t> size = ParseByteCount(value);
    if (!size) return "takes a number of bytes, 0 or more (not \"" + value + "\")";
    line.rules.*member = size;
    return std::string();
  };
}

// One excluded key, from /exclude or a line of /exclude-file.
std::string AddExclusion(CommandLine& line, std::string_view value) {
  const std::optional<engine::ExcludedKey> key = ParseExcludedKey(value);
  if (!key) {
    return "takes a key below a root key, as in HKLM\\SOFTWARE\\Classes (not \"" +
           std::string(value) + "\")";
  }
  const engine::ExcludedKey& excluded = *key;
  if (line.rules.ExclusionOf(excluded.root_index, excluded.path) < 0) {
    line.rules.exclusions.push_back(excluded);
  }
  return "";
}

// The keys of a file, one a line (filter_texts.h).
std::string AddExclusionFile(CommandLine& line, const std::string& value) {
  std::string bytes;
  if (!base::ReadWholeFile(base::PathFromUtf8(value), &bytes)) {
    return "cannot read " + value + " [" + base::LastFileErrorText() + "]";
  }
  for (const ExclusionFileEntry& entry : ExclusionFileEntries(bytes)) {
    if (std::string why = AddExclusion(line, entry.text); !why.empty()) {
      return value + " line " + std::to_string(entry.line) + " " + why;
    }
  }
  return "";
}

std::string SetMachines(CommandLine& line, const std::string& value) {
  MachineList list = ReadMachineList(value);
  line.machines = std::move(list.names);
  return list.error;
}

std::string SetParallel(CommandLine& line, const std::string& value) {
  int n = 0;
  const bool digits =
      !value.empty() && value.size() <= 3 &&
      std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) n = std::stoi(value);
  if (n < 1 || n > kMaxParallel) {
    return "takes a number of machines from 1 to " + std::to_string(kMaxParallel) + " (not \"" +
           value + "\")";
  }
  line.parallel = n;
  return "";
}

// The options that only a fleet run (/machines) takes, and those it cannot take.
std::string FleetRefusal(const CommandLine& line) {
  if (line.machines.empty()) {
    if (line.parallel || !line.retry_file.empty() || line.start_remote_registry) {
      return "Options /parallel, /retry and /start-remote-registry need /machines";
    }
    return "";
  }
  if (!line.machine.empty()) return "Options /machine and /machines exclude each other";
  for (const engine::StartPoint& start : line.roots) {
    if (start.root_index != kLocalMachine && start.root_index != kUsers) {
      return std::string("Option /root: ") + reg::RootByIndex(start.root_index)->name +
             " cannot be searched on other computers (/machines); only HKLM and HKU can";
    }
  }
  return "";
}

// The items of a hit list (only_file.h).
std::string AddOnlyFile(CommandLine& line, const std::string& value) {
  std::vector<engine::OnlyItem> items;
  if (std::string why = ReadOnlyFile(value, &items); !why.empty()) return why;
  line.only = std::move(items);
  return "";
}

// The filters that contradict themselves select nothing: refused rather than run for nothing.
std::string RulesRefusal(const engine::MatchRules& rules) {
  if (TimeRangeSelectsNothing(rules)) {
    return "Option /modified-after must name a time before /modified-before";
  }
  if (SizeRangeSelectsNothing(rules)) {
    return "Option /min-size must not be larger than /max-size";
  }
  return "";
}

// An option without a value that sets `member`.
Setter Flag(bool CommandLine::*member) {
  return [member](CommandLine& line, const std::string&) {
    line.*member = true;
    return std::string();
  };
}

// An option whose value, not blank, goes to `member`; `what` names it in the refusal.
Setter Text(std::string CommandLine::*member, const char* what) {
  return [member, what](CommandLine& line, const std::string& value) {
    return NotBlank(line.*member, value, what);
  };
}

// /progress or /noprogress: one of them at most.
Setter SetProgress(ProgressSwitch choice) {
  return [choice](CommandLine& line, const std::string&) {
    if (line.progress != ProgressSwitch::kAuto) {
      return std::string("/progress and /noprogress exclude each other");
    }
    line.progress = choice;
    return std::string();
  };
}

const std::vector<Option>& Options() {
  static const std::vector<Option> options = {
      {"find", true, Text(&CommandLine::find, "the text")},
      {"replace", true,
       Text(&CommandLine::replace, "the replacement (use /delete to delete hits)")},
      {"delete", false, Flag(&CommandLine::delete_hits)},
      {"root", true, SetRoot, true},
      {"profiles", false, Flag(&CommandLine::profiles)},
      {"profiles-default", false,
       [](CommandLine& l, const std::string&) {
         l.profiles = l.default_profile = true;
         return std::string();
       }},
      {"view", true,
       [](CommandLine& l, const std::string& v) -> std::string {
         if (v != "32" && v != "64") return "takes 32 or 64 (not \"" + v + "\")";
         l.view = v == "32" ? 32 : 64;
         return "";
       }},
      {"machine", true,
       [](CommandLine& l, const std::string& v) {
         std::string name = v;
         while (!name.empty() && name.front() == '\\') name.erase(0, 1);
         return NotBlank(l.machine, name, "the computer's name");
       }},
      {"in", true, SetIn},
      {"type", true, SetType},
      {"case", false, Flag(&CommandLine::use_case)},
      {"whole", false, Flag(&CommandLine::whole)},
      {"simulate", false, Flag(&CommandLine::simulate)},
      {"undo", true, Text(&CommandLine::undo_folder, "the undo folder")},
      {"noundo", false, Flag(&CommandLine::no_undo)},
      {"separate-undo", false, Flag(&CommandLine::separate_undo)},
      {"fixperms", false, Flag(&CommandLine::fixperms)},
      {"log", true, Text(&CommandLine::log_file, "the log file's name")},
      {"csv", true, Text(&CommandLine::csv_file, "the CSV file's name")},
      {"ini", true, Text(&CommandLine::ini_file, "the settings file's name")},
      {"quiet", false, Flag(&CommandLine::quiet)},
      {"progress", false, SetProgress(ProgressSwitch::kOn)},
      {"noprogress", false, SetProgress(ProgressSwitch::kOff)},
      {"regex", false, SetMode(engine::MatchMode::kRegex)},
      {"wildcards", false, SetMode(engine::MatchMode::kWildcards)},
      {"hex", false, SetMode(engine::MatchMode::kHex)},
      {"modified-after", true, SetTime(&engine::MatchRules::modified_after)},
      {"modified-before", true, SetTime(&engine::MatchRules::modified_before)},
      {"min-size", true, SetSize(&engine::MatchRules::min_size)},
      {"max-size", true, SetSize(&engine::MatchRules::max_size)},
      {"exclude", true, AddExclusion, true},
      {"exclude-file", true, AddExclusionFile, true},
      {"machines", true, SetMachines},
      {"parallel", true, SetParallel},
      {"retry", true, Text(&CommandLine::retry_file, "the retry list's file name")},
      {"start-remote-registry", false, Flag(&CommandLine::start_remote_registry)},
      {"json", true, Text(&CommandLine::json_file, "the JSON file's name")},
      {"detect", false, Flag(&CommandLine::detect)},
      {"summary", false, Flag(&CommandLine::summary)},
      {"only", true, AddOnlyFile},
      {"?", false, Flag(&CommandLine::help)},
      {"help", false, Flag(&CommandLine::help)},
  };
  return options;
}

// The option's name without its "/", "-" or "--"; nullopt when `arg` is not an option.
std::optional<std::string> OptionName(const std::string& arg) {
  std::string_view name = arg;
  if (name.starts_with("--")) {
    name.remove_prefix(2);
  } else if (name.starts_with("/") || name.starts_with("-")) {
    name.remove_prefix(1);
  } else {
    return std::nullopt;
  }
  if (name.empty()) return std::nullopt;
  return AsciiLower(name);
}

std::string Refusal(ParsedCommandLine& parsed, std::string error) {
  parsed.line.reset();
  parsed.error = std::move(error);
  return parsed.error;
}

// Another computer's registry is reached only at HKEY_LOCAL_MACHINE and HKEY_USERS: a run asked
// for another root there would search nothing and say only that it found nothing.
std::string RemoteRootRefusal(const CommandLine& line) {
  if (line.machine.empty()) return "";
  for (const engine::StartPoint& start : line.roots) {
    if (start.root_index != kLocalMachine && start.root_index != kUsers) {
      return std::string("Option /root: ") + reg::RootByIndex(start.root_index)->name +
             " cannot be searched on another computer (/machine); only HKLM and HKU can";
    }
  }
  return "";
}

}  // namespace

std::optional<engine::StartPoint> ParseRootArgument(std::string_view text) {
  const std::size_t slash = text.find('\\');
  const std::string root = AsciiLower(text.substr(0, slash));
  engine::StartPoint start;
  for (const ShortRoot& s : kShortRoots) {
    if (root == s.name || root == AsciiLower(reg::RootByIndex(s.index)->name)) {
      start.root_index = s.index;
    }
  }
  if (start.root_index == 0) return std::nullopt;
  if (slash == std::string_view::npos) return start;
  // One backslash may end the text ("HKCU\", "HKCU\Software\"); the key names before it are
  // never empty: "HKCU\\", "HKCU\\a" and "HKCU\a\\b" name nothing, and must not be taken
  // for a key above the one meant.
  std::string_view names = text.substr(slash + 1);
  if (names.empty()) return start;
  if (names.back() == '\\') names.remove_suffix(1);
  if (names.empty() || names.front() == '\\' || names.back() == '\\' ||
      names.find("\\\\") != std::string_view::npos) {
    return std::nullopt;
  }
  start.path = "\\" + std::string(names);
  return start;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  parsed.line.emplace();
  std::set<std::string> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::optional<std::string> name = OptionName(arg);
    if (!name) {
      Refusal(parsed, "Unexpected argument \"" + arg + "\" (an option begins with /)");
      return parsed;
    }
    const auto option = std::find_if(Options().begin(), Options().end(),
                                     [&](const Option& o) { return *name == o.name; });
    if (option == Options().end()) {
      Refusal(parsed, "Unknown option " + arg + " (keyloom /? lists the options)");
      return parsed;
    }
    const std::string canonical = option->name == std::string("help") ? "?" : option->name;
    if (!option->repeatable && !seen.insert(canonical).second) {
      Refusal(parsed, "Option /" + canonical + " is given more than once");
      return parsed;
    }
    std::string value;
    if (option->takes_value) {
      if (i + 1 == args.size()) {
        Refusal(parsed, "Option /" + canonical + " needs a value");
        return parsed;
      }
      value = args[++i];
    }
    if (std::string why = option->set(*parsed.line, value); !why.empty()) {
      Refusal(parsed, "Option /" + canonical + ": " + why);
      return parsed;
    }
  }
  CommandLine& line = *parsed.line;
  if (line.help) return parsed;
  if (line.find.empty()) {
    Refusal(parsed, "Option /find is required (keyloom /? lists the options)");
  } else if (!line.replace.empty() && line.delete_hits) {
    Refusal(parsed, "Options /replace and /delete exclude each other");
  } else if (line.only && line.SearchOnly()) {
    Refusal(parsed, "Option /only restricts a change: it needs /replace or /delete");
  } else if (!line.undo_folder.empty() && line.no_undo) {
    Refusal(parsed, "Options /undo and /noundo exclude each other");
  } else if (line.profiles && !line.roots.empty()) {
    Refusal(parsed, "Options /root and /profiles exclude each other");
  } else if (const std::string why = RemoteRootRefusal(line); !why.empty()) {
    Refusal(parsed, why);
  } else if (const std::string fleet_why = FleetRefusal(line); !fleet_why.empty()) {
    Refusal(parsed, fleet_why);
  } else if (const std::string rules_why = RulesRefusal(line.rules); !rules_why.empty()) {
    Refusal(parsed, rules_why);
  } else if (line.SearchOnly() && (line.simulate || line.fixperms || line.no_undo ||
                                   line.separate_undo || !line.undo_folder.empty())) {
    Refusal(parsed,
            "Options /simulate, /fixperms, /undo, /noundo and /separate-undo need /replace or "
            "/delete");
  }
  return parsed;
}

void ApplyCommandLine(const CommandLine& line, Settings& settings, WindowSettings& window) {
  window.find = line.find;
  window.replace = line.replace;
  settings.enabledel = line.delete_hits;
  // Every root, or the one root the window would show; start points below roots are handed to the
  // run apart, as the window has no control for them.
  window.searchkey = line.profiles ? engine::kProfilesChoice : 0;
  if (line.in_keys) window.searchtree = *line.in_keys;
  if (line.in_names) window.searchkeys = *line.in_names;
  if (line.in_data) window.searchvalues = *line.in_data;
  if (!line.in_keys && !line.in_names && !line.in_data) {
    window.searchtree = window.searchkeys = false;
    window.searchvalues = true;
  }
  window.searchtype = line.type.value_or(0);
  window.usecase = line.use_case;
  window.rules = line.rules;
  if (line.whole) settings.wholenum = true;
  if (line.view) settings.scanmethod = *line.view == 64 ? 1 : 0;
  if (line.simulate) settings.simulate = true;
  if (line.fixperms) settings.fixperms = true;
  // Undo files are written unless /noundo says otherwise, whatever the settings file holds.
  settings.undo = WithRunUndo(settings.undo, !line.no_undo);
  if (!line.undo_folder.empty()) settings.undodir = line.undo_folder;
  // One undo file for the run, so that one merge takes the whole run back; /separate-undo gives
  // each change its own.
  settings.saundo = line.separate_undo;
  // A command-line run never quits a window nor saves the settings file.
  settings.autostart = settings.autoclose = settings.autohide = false;
  settings.updateini = false;
}

std::string UsageText() {
  return R"(Searches the registry for a text and replaces or deletes every hit, writing undo files.

keyloom /find TEXT [/replace TEXT | /delete] [options]

  /find TEXT        the text to find (required)
  /replace TEXT     replace every hit by TEXT
  /delete           delete every hit (value, or key when key names are searched)
                    neither: search only, nothing is changed
  /root KEY         where to search: a root key (HKCR, HKCU, HKLM, HKU, HKCC or the long
                    names) with an optional key below it, e.g. HKCU\Software\Example;
                    may be given more than once; default: every root
  /profiles         search every user's profile, signed in or not: the hives of users not
                    signed in are loaded for the run as HKU\KL_<SID> (needs an elevated
                    prompt; otherwise only the signed-in users are searched)
  /profiles-default the same and the Default profile new users are made from
  /machine NAME     search the registry of another computer (HKLM and HKU only)
  /view 32|64       the registry view on 64-bit Windows
  /in LIST          where to look: keys, names, data, separated by commas (default: data)
  /type TYPE        all, strings, numbers, REG_SZ, REG_EXPAND_SZ, REG_DWORD,
                    REG_MULTI_SZ or REG_QWORD (default: all)
  /case             case-sensitive matching
  /regex            TEXT is a Perl regular expression, matched anywhere in a text; the
                    replacement may hold $0-$9, ${number}, ${name} and $$ (backslashes in
                    it are plain characters); a supplementary character is two units
  /wildcards        TEXT must match a whole text: * any characters, ? one character;
                    the replacement takes the whole text
  /hex              TEXT is bytes (DE AD BE EF or deadbeef), found in the data of values
                    of every type; the replacement is bytes too
  /modified-after DATE   only keys written at DATE or later (yyyy-mm-dd [hh:mm[:ss]],
                    local time, as the Modified column shows it); their subkeys are searched
  /modified-before DATE  only keys written before DATE
  /min-size N       only values of at least N bytes of data
  /max-size N       only values of at most N bytes of data
  /exclude KEY      do not enter KEY (e.g. HKLM\SOFTWARE\Classes) nor anything below it;
                    may be given more than once
  /exclude-file FILE  the keys to exclude, one a line (lines beginning with ; or # are
                    comments)
  /only FILE        change only the items FILE lists: a CSV file as /csv and the Key List
                    write it (root, key path, value name), rows may be deleted; needs
                    /replace or /delete, and still changes only hits of TEXT
  /whole            numbers match only as whole numbers
  /simulate         do everything but change the registry
  /undo DIR         write the undo files into DIR (default: the settings file's folder)
  /noundo           write no undo files
  /separate-undo    one undo file for each change (default: one for the whole run)
  /fixperms         repair the permissions of keys that refuse access
  /log FILE         append the status log to FILE (UTF-8)
  /csv FILE         write the hits to FILE as CSV (with /machines, a Machine column first)
  /json FILE        write the run to FILE as JSON: each machine, its counts and its hits
  /machines FILE    run on every computer FILE names (one a line; # begins a comment),
                    each through its remote registry (HKLM and HKU), its undo files in a
                    folder of its own below the undo folder
  /parallel N       with /machines: at most N machines at once, 1 to 64 (default 8)
  /retry FILE       with /machines: write the machines not reached or with failures to
                    FILE, in the form /machines reads
  /start-remote-registry  with /machines: start a stopped Remote Registry service for
                    the run, and put it back as it was afterwards
  /detect           exit code 1 when the text was found, 0 when not (for detection
                    scripts); the other codes stay
  /summary          print one line alone (at most 2,048 characters): hits, changes,
                    failures and the undo folder
  /ini FILE         start from the settings in FILE instead of KEYLOOM.INI
  /quiet            print only the summary
  /progress         show the progress line on standard error even when it is not a console
  /noprogress       show no progress line (default: shown when standard error is a console)
  /?                this text

Options may also begin with - or --. Scripts call keyloom.com, which waits for the run.

Exit codes:
  0  hits were found and every change was made
  1  nothing was found, or the run was stopped (Ctrl+C) before it changed anything
  2  bad arguments, or the run could not start (the reason is on standard error)
  3  an unexpected failure
  4  the run was stopped (Ctrl+C) after it changed something (the report says what)
  5  a change failed, or a key or a value could not be read, or the CSV file could not
     be written (the report names them); also a machine of /machines not reached
With /machines the worst code of the machines, from worst to best: 3, 2, 5, 4, 0, 1.
)";
}

}  // namespace keyloom::shell
