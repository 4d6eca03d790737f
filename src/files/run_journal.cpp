#include "files/run_journal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <tuple>

#include "base/file_io.h"
#include "base/local_date.h"
#include "base/os_error.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "files/run_state.h"

namespace keyloom::files {

using text::Cat;

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRunLine = "[Run]";

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::string FileNameOf(const std::string& path) {
  return base::PathToUtf8(base::PathFromUtf8(path).filename());
}

// The date and number of an undo file's name ("UNDO-yyyymmdd-NNN.REG"): the order files were
// written in. (0, 0) for any other name.
std::tuple<long, long> FileOrder(const std::string& path) {
  const std::string name = FileNameOf(path);
  long date = 0;
  long number = 0;
  if (std::sscanf(name.c_str(), "UNDO-%8ld-%ld", &date, &number) != 2) return {0, 0};
  return {date, number};
}

bool IsUndoFileName(const std::string& name) {
  if (name.size() < 18 || name.rfind("UNDO-", 0) != 0) return false;
  const std::string tail = name.substr(name.size() - 4);
  return (tail == ".REG" || tail == ".reg") && std::get<0>(FileOrder(name)) != 0;
}

std::string DateOfFileName(const std::string& path) {
  const auto date = std::to_string(std::get<0>(FileOrder(path)));
  if (date.size() != 8) return "";
  return Cat({date.substr(0, 4), "-", date.substr(4, 2), "-", date.substr(6, 2)});
}

std::vector<std::string> BlockLines(const RunInfo& info) {
  std::vector<std::string> lines = {"",
                                    std::string(kRunLine),
                                    Cat({"Date=", Escape(info.date)}),
                                    Cat({"Find=", Escape(info.find)}),
                                    Cat({"Replace=", Escape(info.replace)}),
                                    Cat({"Machine=", Escape(info.machine)}),
                                    Cat({"View=", Escape(info.view)})};
  if (!info.log.empty()) lines.push_back(Cat({"Log=", Escape(FileNameOf(info.log))}));
  for (const reg::HiveMount& hive : info.hives) {
    lines.push_back(Cat({"Hive=", Escape(Cat({hive.key, "=", hive.file}))}));
  }
  return lines;
}

// Appends `lines` in one write under the journal's lock: blocks of runs going on at once, in this
// process or another, never interleave, and a reader holding the lock never sees half a block.
std::string AppendLines(const std::string& journal, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += Cat({line, kCrLf});
  base::LockedFile file(base::PathFromUtf8(journal), base::LockedFile::Mode::kAppend);
  return file.Append(bytes);
}

std::vector<std::string> ReadLines(const std::string& journal) {
  std::string bytes;
  base::LockedFile file(base::PathFromUtf8(journal), base::LockedFile::Mode::kRead);
  if (!file.ReadAll(&bytes)) return {};
  std::vector<std::string> lines;
  for (const auto line : text::SplitLines(bytes)) lines.emplace_back(line);
  return lines;
}

// When `path` was last written, as a journal date; "" when it cannot be read.
std::string WrittenAt(const std::string& path) {
  std::error_code ec;
  const auto written = fs::last_write_time(base::PathFromUtf8(path), ec);
  if (ec) return "";
  const auto system = std::chrono::file_clock::to_sys(written);
  return base::DateTimeText(std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system)));
}

// A file that several blocks name was written by one run: the last that started before the file
// was last written (a file older than every such run is the first's; one that is gone, the
// last's). The other blocks lose the file and note it. Returns every file the journal names.
std::set<std::string> GiveFilesToTheirRuns(std::vector<JournalRun>* runs) {
  std::map<std::string, std::vector<JournalRun*>> namers;
  for (auto& run : *runs) {
    for (const auto& file : run.files) namers[file].push_back(&run);
  }
  std::set<std::string> named;
  for (const auto& [file, blocks] : namers) {
    named.insert(file);
    if (blocks.size() < 2) continue;
    const std::string written = WrittenAt(file);
    JournalRun* owner = written.empty() ? blocks.back() : blocks.front();
    for (JournalRun* run : blocks) {
      if (!written.empty() && run->info.date <= written) owner = run;
    }
    for (JournalRun* run : blocks) {
      if (run == owner) continue;
      std::erase(run->files, file);
      run->notes.push_back(
          Cat({"The journal names ", FileNameOf(file), " under this run too; the run of ",
               owner->info.date, " wrote it"}));
    }
  }
  return named;
}

// Folds each continuation block (its "Continues=" names the first file of its run in the folder)
// into the run it continues; `continues[i]` is that name for runs[i], "" for a run's first block.
void JoinContinuations(std::vector<JournalRun>* runs, const std::vector<std::string>& continues) {
  std::map<std::string, std::size_t> first_files;
  std::vector<bool> folded(runs->size(), false);
  for (std::size_t i = 0; i < runs->size(); ++i) {
    JournalRun& run = (*runs)[i];
    if (continues[i].empty()) {
      // The latest block a file opens: a continuation follows the first block of its run.
      if (!run.files.empty()) first_files[FileNameOf(run.files.front())] = i;
      continue;
    }
    const auto at = first_files.find(continues[i]);
    if (at == first_files.end()) continue;  // its first block is gone: a run of its own
    JournalRun& target = (*runs)[at->second];
    target.files.insert(target.files.end(), run.files.begin(), run.files.end());
    target.states.insert(target.states.end(), run.states.begin(), run.states.end());
    if (target.log.empty()) target.log = run.log;
    if (target.undone.empty()) target.undone = run.undone;
    folded[i] = true;
  }
  std::size_t i = 0;
  std::erase_if(*runs, [&](const JournalRun&) { return folded[i++]; });
}

// Applies each mark block ("Marks=" the place of the run's first block, with that run's date) to
// the run it marks. A run is marked undone by an appended block, so that the journal is only ever
// appended to, under its lock, while other runs write to it; a mark block names no file and goes
// with the other blocks that name none.
void ApplyMarks(std::vector<JournalRun>* runs, const std::vector<std::size_t>& marks) {
  for (std::size_t i = 0; i < runs->size(); ++i) {
    if (marks[i] == 0) continue;
    const JournalRun& by = (*runs)[i];
    for (auto& run : *runs) {
      if (run.block == marks[i] && run.info.date == by.info.date && run.undone.empty()) {
        run.undone = by.undone;
      }
    }
  }
}

}  // namespace

std::string ViewName(reg::RegView view) {
  if (view == reg::RegView::k32) return "32-bit";
  if (view == reg::RegView::k64) return "64-bit";
  return "";
}

std::string JournalPath(const std::string& folder) {
  return base::PathToUtf8(base::PathFromUtf8(folder) / std::string(kRunJournalName));
}

RunJournal::RunJournal(std::function<std::string()> now)
    : now_(now ? std::move(now) : base::LocalDateTimeText) {}

void RunJournal::BeginRun(RunInfo info) {
  std::lock_guard lock(mutex_);
  info.date = now_();
  open_ = std::move(info);
  open_files_.clear();
}

void RunJournal::SetStateReader(RegistryReader reader) {
  std::lock_guard lock(mutex_);
  state_reader_ = std::move(reader);
}

std::string RunJournal::EndRun() {
  std::optional<RunInfo> info;
  std::vector<std::string> files;
  std::optional<RegistryReader> reader;
  {
    std::lock_guard lock(mutex_);
    info = std::move(open_);
    open_.reset();
    files = open_files_;
    reader = state_reader_;
  }
  if (!info) return "";
  // A run that wrote no undo file still names its kept log, in the folder the log is in.
  if (files.empty()) {
    if (info->log.empty()) return "";
    const std::string folder = base::PathToUtf8(base::PathFromUtf8(info->log).parent_path());
    return AppendLines(JournalPath(folder), BlockLines(*info));
  }
  return reader ? WriteStates(*reader, *info, files) : "";
}

std::string RunJournal::WriteStates(const RegistryReader& reader, const RunInfo& info,
                                    const std::vector<std::string>& files) {
  // The registry is read without the journal's lock: other runs go on writing their blocks.
  const reg::Target target{info.machine, info.view.empty() ? reg::RegView::kNone
                                                           : reg::RegView::k64};
  std::map<std::string, std::vector<std::string>> by_folder;
  std::vector<std::string> folders;  // in the order first written to
  for (const std::string& file : files) {
    const std::string folder = base::PathToUtf8(base::PathFromUtf8(file).parent_path());
    if (by_folder.count(folder) == 0) folders.push_back(folder);
    by_folder[folder].push_back(file);
  }
  for (const std::string& folder : folders) {
    const std::vector<std::string>& own = by_folder[folder];
    const std::string state = RunStatePath(own.front());
    std::string error = WriteRunState(reader, target, own, state);
    if (error.empty()) {
      error = AppendLines(JournalPath(folder),
                          {"", std::string(kRunLine),
                           Cat({"Continues=", Escape(FileNameOf(own.front()))}),
                           Cat({"State=", Escape(FileNameOf(state))})});
    }
    if (!error.empty()) return Cat({"the state the run left could not be kept [", error, "]"});
  }
  return "";
}

std::vector<std::string> RunJournal::LastRunFiles() const {
  std::lock_guard lock(mutex_);
  return open_files_;
}

std::string RunJournal::FileWritten(const std::string& file) {
  std::lock_guard lock(mutex_);
  if (!open_ || std::find(open_files_.begin(), open_files_.end(), file) != open_files_.end()) {
    return "";
  }
  const std::string folder = base::PathToUtf8(base::PathFromUtf8(file).parent_path());
  // Each file is a block of its own, appended whole: the run's first file in a folder opens its
  // block with the run's texts, every further one continues it by naming that first file.
  const auto first_here =
      std::find_if(open_files_.begin(), open_files_.end(), [&](const std::string& other) {
        return base::PathFromUtf8(other).parent_path() == base::PathFromUtf8(file).parent_path();
      });
  std::vector<std::string> lines;
  if (first_here == open_files_.end()) {
    lines = BlockLines(*open_);
  } else {
    lines = {"", std::string(kRunLine), Cat({"Continues=", Escape(FileNameOf(*first_here))})};
  }
  lines.push_back(Cat({"File=", Escape(FileNameOf(file))}));
  open_files_.push_back(file);
  return AppendLines(JournalPath(folder), lines);
}

std::vector<JournalRun> RunJournal::Runs(const std::string& folder) const {
  std::lock_guard lock(mutex_);
  const fs::path base = base::PathFromUtf8(folder);
  std::vector<JournalRun> runs;
  std::vector<std::string> continues;
  std::vector<std::size_t> marks;
  std::size_t blocks = 0;
  for (const auto& line : ReadLines(JournalPath(folder))) {
    if (line == kRunLine) {
      runs.emplace_back().block = ++blocks;
      continues.emplace_back();
      marks.push_back(0);
      continue;
    }
    const auto equals = line.find('=');
    if (runs.empty() || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = Unescape(std::string_view(line).substr(equals + 1));
    JournalRun& run = runs.back();
    if (key == "Date") run.info.date = value;
    if (key == "Find") run.info.find = value;
    if (key == "Replace") run.info.replace = value;
    if (key == "Machine") run.info.machine = value;
    if (key == "View") run.info.view = value;
    if (key == "Log") run.log = run.info.log = base::PathToUtf8(base / value);
    if (key == "Undone") run.undone = value;
    if (const auto split = value.find('='); key == "Hive" && split != std::string::npos) {
      run.info.hives.push_back({value.substr(0, split), value.substr(split + 1)});
    }
    if (key == "Continues") continues.back() = value;
    if (key == "State") run.states.push_back(base::PathToUtf8(base / value));
    if (key == "Marks") {
      marks.back() = static_cast<std::size_t>(std::strtoull(value.c_str(), nullptr, 10));
    }
    const std::string path = base::PathToUtf8(base / value);
    if (key == "File" && std::find(run.files.begin(), run.files.end(), path) == run.files.end()) {
      run.files.push_back(path);
    }
  }
  ApplyMarks(&runs, marks);  // before the joining: a mark names its run's first block
  JoinContinuations(&runs, continues);
  const auto named = GiveFilesToTheirRuns(&runs);
  std::erase_if(runs, [](const JournalRun& run) { return run.files.empty() && run.notes.empty(); });
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = base::PathToUtf8(it->path().filename());
    if (!IsUndoFileName(name) || named.count(base::PathToUtf8(it->path())) != 0) continue;
    JournalRun run;
    run.single_file = true;
    run.files.push_back(base::PathToUtf8(it->path()));
    run.info.date = WrittenAt(run.files.front());
    if (run.info.date.empty()) run.info.date = DateOfFileName(name);
    runs.push_back(std::move(run));
  }
  // Newest first by date; at the same time, by the first file's date and number.
  std::stable_sort(runs.begin(), runs.end(), [](const JournalRun& a, const JournalRun& b) {
    if (a.info.date != b.info.date) return a.info.date > b.info.date;
    const auto first = [](const JournalRun& run) {
      return run.files.empty() ? std::tuple<long, long>{0, 0} : FileOrder(run.files.front());
    };
    return first(a) > first(b);
  });
  return runs;
}

std::string RunJournal::MarkUndone(const JournalRun& run) {
  std::lock_guard lock(mutex_);
  if (run.files.empty()) return "the run wrote no undo file";
  const std::string folder = base::PathToUtf8(base::PathFromUtf8(run.files.front()).parent_path());
  const std::string journal = JournalPath(folder);
  const std::string undone = Cat({"Undone=", Escape(now_())});
  if (run.single_file) {
    RunInfo info = run.info;
    auto lines = BlockLines(info);
    lines.push_back(Cat({"File=", Escape(FileNameOf(run.files.front()))}));
    lines.push_back(undone);
    return AppendLines(journal, lines);
  }
  // Blocks are only ever added: the run's block keeps its place, which the mark names.
  const auto lines = ReadLines(journal);
  auto at = lines.begin();
  for (std::size_t seen = 0; run.block != 0 && at != lines.end(); ++at) {
    if (*at == kRunLine && ++seen == run.block) break;
  }
  const auto end = at == lines.end() ? at : std::find(at + 1, lines.end(), std::string(kRunLine));
  if (at == lines.end() || std::find(at, end, Cat({"Date=", Escape(run.info.date)})) == end) {
    return Cat({"the run journal has no block of the run of ", run.info.date});
  }
  return AppendLines(journal,
                     {"", std::string(kRunLine), Cat({"Marks=", std::to_string(run.block)}),
                      Cat({"Date=", Escape(run.info.date)}), undone});
}

}  // namespace keyloom::files
