#include "files/run_journal.h"

#include <algorithm>
#include <chrono>
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

std::string AppendLines(const std::string& journal, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += Cat({line, kCrLf});
  base::ClearFileError();
  std::FILE* file = base::OpenFile(base::PathFromUtf8(journal), "ab");
  if (file == nullptr) return base::LastFileErrorText();
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  std::string error = ok ? "" : base::LastFileErrorText();
  if (std::fclose(file) != 0 && error.empty()) error = base::LastFileErrorText();
  return error;
}

std::vector<std::string> ReadLines(const std::string& journal) {
  std::string bytes;
  if (!base::ReadWholeFile(base::PathFromUtf8(journal), &bytes)) return {};
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
  std::vector<std::string> lines;
  // The block starts in every folder the run writes to.
  const bool first_here =
      std::none_of(open_files_.begin(), open_files_.end(), [&](const std::string& other) {
        return base::PathFromUtf8(other).parent_path() == base::PathFromUtf8(file).parent_path();
      });
  if (first_here) lines = BlockLines(*open_);
  lines.push_back(Cat({"File=", Escape(FileNameOf(file))}));
  open_files_.push_back(file);
  return AppendLines(JournalPath(folder), lines);
}

std::vector<JournalRun> RunJournal::Runs(const std::string& folder) const {
  std::lock_guard lock(mutex_);
  const fs::path base = base::PathFromUtf8(folder);
  std::vector<JournalRun> runs;
  std::size_t blocks = 0;
  for (const auto& line : ReadLines(JournalPath(folder))) {
    if (line == kRunLine) {
      runs.emplace_back().block = ++blocks;
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
    if (key == "Undone") run.undone = value;
    const std::string path = base::PathToUtf8(base / value);
    if (key == "File" && std::find(run.files.begin(), run.files.end(), path) == run.files.end()) {
      run.files.push_back(path);
    }
  }
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
  auto lines = ReadLines(journal);
  // The run's own block: its place in the journal, with its date (blocks are only ever added).
  auto at = lines.begin();
  for (std::size_t seen = 0; at != lines.end(); ++at) {
    if (*at == kRunLine && ++seen == run.block) break;
  }
  auto end = at == lines.end() ? at : std::find(at + 1, lines.end(), std::string(kRunLine));
  if (at == lines.end() || std::find(at, end, Cat({"Date=", Escape(run.info.date)})) == end) {
    return Cat({"the run journal has no block of the run of ", run.info.date});
  }
  // The end of the run's block: before the next run's line and the empty lines above it.
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
