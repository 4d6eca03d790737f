#include "files/kept_log.h"

#include <cerrno>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/utf8_path.h"

namespace keyloom::files {

std::string LogFileWriter::Create(const std::filesystem::path& folder, const std::string& stem) {
  Close();
  error_.clear();
  for (int n = 1; n < 1000; ++n) {
    std::filesystem::path path =
        folder / base::PathFromUtf8(stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".TXT");
    base::ClearFileError();
    file_ = base::CreateNewFile(path);
    if (file_ != nullptr) {
      path_ = std::move(path);
      return "";
    }
    if (errno != EEXIST) return base::LastFileErrorText();
  }
  return "no free name";
}

void LogFileWriter::Add(std::string_view line) {
  if (file_ == nullptr) return;
  buffer_.append(line).append("\r\n");
  if (buffer_.size() >= kBufferBytes) Flush();
}

std::string LogFileWriter::Flush() {
  if (file_ == nullptr || buffer_.empty()) return error_;
  base::ClearFileError();
  const bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size() &&
                  std::fflush(file_) == 0;
  if (!ok && error_.empty()) error_ = base::LastFileErrorText();
  buffer_.clear();
  return error_;
}

std::string LogFileWriter::Close() {
  if (file_ == nullptr) return error_;
  Flush();
  if (std::fclose(file_) != 0 && error_.empty()) error_ = base::LastFileErrorText();
  file_ = nullptr;
  return error_;
}

KeptLog::KeptLog(std::filesystem::path session_file) : session_path_(std::move(session_file)) {}

KeptLog::~KeptLog() {
  run_.Close();
  if (session_.is_open()) {
    session_.Close();
    std::error_code ignored;
    std::filesystem::remove(session_.path(), ignored);
  }
}

std::string RunLogStem(std::string_view started) {
  std::string stem = "RUNLOG-";
  for (char c : started) {
    if (c >= '0' && c <= '9') stem += c;
    if (c == ' ') stem += '-';
  }
  return stem;
}

std::string KeptLog::BeginRun(const std::string& folder, const std::string& started,
                              std::string* error) {
  std::lock_guard lock(mutex_);
  run_.Close();
  const std::string why = run_.Create(base::PathFromUtf8(folder), RunLogStem(started));
  if (!why.empty()) {
    if (error != nullptr) *error = why;
    return "";
  }
  return base::PathToUtf8(run_.path());
}

std::string KeptLog::EndRun() {
  std::lock_guard lock(mutex_);
  session_.Flush();
  return run_.Close();
}

void KeptLog::Add(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (!session_.is_open() && !session_failed_ && !session_path_.empty()) {
    session_failed_ =
        !session_.Create(session_path_.parent_path(), base::PathToUtf8(session_path_.stem()))
             .empty();
  }
  session_.Add(line);
  run_.Add(line);
  FlushIfDue();
}

void KeptLog::FlushIfDue() {
  const Clock::time_point now = Clock::now();
  if (now - last_flush_ < std::chrono::seconds(1)) return;
  last_flush_ = now;
  session_.Flush();
  run_.Flush();
}

bool KeptLog::SessionText(std::string* text) {
  std::lock_guard lock(mutex_);
  if (!session_.is_open()) return false;  // nothing kept: the list's lines are all there is
  session_.Flush();
  return base::ReadWholeFile(session_.path(), text);
}

}  // namespace keyloom::files
