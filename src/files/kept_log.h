// The status log kept whole on disk. The status list shows only the last lines, so every line is
// also written, as the run goes, to the run's own log file beside its undo files ("RUNLOG-" and
// the run's start as yyyymmdd-hhmmss, ".TXT"; a name taken already gets "-2", "-3", ...), named in
// the run's journal block, and to the session's log, a temporary file of this program's life,
// which "Save to Logfile" copies. Lines are gathered in memory and written a buffer at a time: when
// the buffer is full, with the first line that comes a second or more after the last write, and at
// the end of each run; the files are UTF-8, each line ended by CR LF.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace keyloom::files {

// One log file written a buffer at a time. Not thread-safe (KeptLog guards it).
class LogFileWriter {
 public:
  LogFileWriter() = default;
  ~LogFileWriter() { Close(); }
  LogFileWriter(const LogFileWriter&) = delete;
  LogFileWriter& operator=(const LogFileWriter&) = delete;

  // Creates a new file `stem` + ".TXT" in `folder`, or `stem` + "-2.TXT" and so on when the name
  // is taken. "" or why not.
  std::string Create(const std::filesystem::path& folder, const std::string& stem);
  bool is_open() const { return file_ != nullptr; }
  const std::filesystem::path& path() const { return path_; }
  // Gathers the line; writes the gathered lines once kBufferBytes are reached.
  void Add(std::string_view line);
  // Writes what is gathered; "" or why not (the first failure is kept until Close).
  std::string Flush();
  // Flushes and closes; "" or why the file is not complete.
  std::string Close();

  static constexpr std::size_t kBufferBytes = 64 * 1024;

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::string buffer_;
  std::string error_;
};

class KeptLog {
 public:
  using Clock = std::chrono::steady_clock;
  // The session's log goes to `session_file` (empty: none); it is removed when the object goes.
  explicit KeptLog(std::filesystem::path session_file = {});
  ~KeptLog();
  KeptLog(const KeptLog&) = delete;
  KeptLog& operator=(const KeptLog&) = delete;

  // A run starts that `started` ("yyyy-mm-dd hh:mm:ss") in undo folder `folder`: its log file is
  // made. Returns its path, "" when none could be made (`*error` then says why).
  std::string BeginRun(const std::string& folder, const std::string& started, std::string* error);
  // The run has ended: its file is completed and closed. "" or why it is not complete.
  std::string EndRun();
  // One status log line, from any thread.
  void Add(std::string_view line);
  // The session's whole log so far; false when nothing was kept or it cannot be read.
  bool SessionText(std::string* text);

 private:
  void FlushIfDue();

  std::mutex mutex_;
  LogFileWriter run_;
  LogFileWriter session_;
  std::filesystem::path session_path_;
  bool session_failed_ = false;
  Clock::time_point last_flush_ = Clock::now();
};

// "RUNLOG-20240131-140522" for a run started "2024-01-31 14:05:22".
std::string RunLogStem(std::string_view started);

}  // namespace keyloom::files
