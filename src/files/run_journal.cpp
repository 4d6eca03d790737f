#include "files/run_journal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <tuple>

#include "base/file_io.h"
#include "base/local_date.h"
#include "base/os_error.h"
#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "registry/text.h"

namespace keyloom::files {
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
  return {"",
          std::string(kRunLine),
          Cat({"Date=", Escape(info.date)}),
          Cat({"Find=", Escape(info.find)}),
          Cat({"Replace=", Escape(info.replace)}),
          Cat({"Machine=", Escape(info.machine)}),
          Cat({"View=", Escape(info.view)})};
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

// Folds each continuation block (its "Continues=" names the first file of its run in the folder)
// into the run it continues; `continues[i]` is that name for runs[i], "" for a run's first block.
void JoinContinuations(std::vector<JournalRun>* runs, const std::vector<std::string>& continues) {
  std::map<std::string, std::size_t> first_files;
  std::vector<bool> folded(runs->size(), false);
  for (std::size_t i = 0; i < runs->size(); ++i) {
    JournalRun& run = (*runs)[i];
    if (continues[i].empty()) {
      if (!run.files.empty()) first_files.emplace(FileNameOf(run.files.front()), i);
      continue;
    }
    const auto at = first_files.find(continues[i]);
    if (at == first_files.end()) continue;  // its first block is gone: a run of its own
    JournalRun& target = (*runs)[at->second];
    target.files.insert(target.files.end(), run.files.begin(), run.files.end());
    if (target.undone.empty()) target.undone = run.undone;
    folded[i] = true;
  }
  std::size_t i = 0;
  std::erase_if(*runs, [&](const JournalRun&) { return folded[i++]; });
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

void RunJournal::EndRun() {
  std::lock_guard lock(mutex_);
  open_.reset();
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
  std::set<std::string> named;
  for (const auto& line : ReadLines(JournalPath(folder))) {
    if (line == kRunLine) {
      runs.emplace_back();
      continues.emplace_back();
      continue;
    }
    const auto equals = line.find('=');
    if (runs.empty() || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = Unescape(std::string_view(line).substr(equals + 1));
    RunInfo& info = runs.back().info;
    if (key == "Date") info.date = value;
    if (key == "Find") info.find = value;
    if (key == "Replace") info.replace = value;
    if (key == "Machine") info.machine = value;
    if (key == "View") info.view = value;
    if (key == "Undone") runs.back().undone = value;
    if (key == "Continues") continues.back() = value;
    if (key == "File") {
      runs.back().files.push_back(base::PathToUtf8(base / value));
      named.insert(value);
    }
  }
  JoinContinuations(&runs, continues);
  std::erase_if(runs, [](const JournalRun& run) { return run.files.empty(); });
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = base::PathToUtf8(it->path().filename());
    if (!IsUndoFileName(name) || named.count(name) != 0) continue;
    JournalRun run;
    run.single_file = true;
    run.files.push_back(base::PathToUtf8(it->path()));
    run.info.date = DateOfFileName(name);
    runs.push_back(std::move(run));
  }
  // Newest first: by the first file's date and number; runs of one journal keep their order.
  std::stable_sort(runs.begin(), runs.end(), [](const JournalRun& a, const JournalRun& b) {
    return FileOrder(a.files.front()) > FileOrder(b.files.front());
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
  auto lines = ReadLines(journal);
  const std::string first = Cat({"File=", Escape(FileNameOf(run.files.front()))});
  const auto at = std::find(lines.begin(), lines.end(), first);
  if (at == lines.end())
    return Cat({"the run journal does not name ", FileNameOf(run.files.front())});
  // The end of the run's block: the next run's line, or the last line that is not empty.
  auto end = std::find(at, lines.end(), std::string(kRunLine));
  while (end != at && (end - 1)->empty()) --end;
  lines.insert(end, undone);
  std::string bytes;
  for (const auto& line : lines) bytes += Cat({line, kCrLf});
  if (!base::WriteFileAtomically(base::PathFromUtf8(journal), bytes)) {
    return Cat({"the run journal ", journal, " could not be written"});
  }
  return "";
}

}  // namespace keyloom::files
