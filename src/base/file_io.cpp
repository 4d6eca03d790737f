#include "base/file_io.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "base/file_os.h"
#include "base/os_error.h"

namespace keyloom::base {
namespace {

bool WriteWithCLibrary(const std::filesystem::path& temp_path, std::string_view bytes) {
  std::FILE* file = OpenFile(temp_path, "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return SyncAndClose(file) && ok;
}

bool WriteWithFwrite(std::FILE* file, std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// Removes the temporary file when it is a file of ours; a folder that happens to carry the name
// is left alone.
void RemoveTemp(const std::filesystem::path& temp) {
  std::error_code error;
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(temp, error))) {
    std::filesystem::remove(temp, error);
  }
}

}  // namespace

LockedFile::LockedFile(const std::filesystem::path& path, Mode mode) {
  ClearFileError();
  file_ = OpenFile(path, mode == Mode::kAppend ? "ab" : "rb");
  if (file_ != nullptr) locked_ = LockWhole(file_, mode == Mode::kAppend);
}

LockedFile::~LockedFile() {
  if (file_ != nullptr) std::fclose(file_);  // closing drops the lock
}

std::string LockedFile::Append(std::string_view bytes) {
  if (!ok()) return LastFileErrorText();
  ClearFileError();
  // One write at the end of the file as it is now, under the lock.
  if (std::fseek(file_, 0, SEEK_END) != 0 ||
      std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
      std::fflush(file_) != 0) {
    return LastFileErrorText();
  }
  return "";
}

bool LockedFile::ReadAll(std::string* bytes) {
  if (!ok()) return false;
  bytes->clear();
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) bytes->append(buffer, got);
  return std::ferror(file_) == 0;
}

std::filesystem::path TempPathFor(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  return temp;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         const TempFileWriter& writer, std::string* reason) {
  const std::filesystem::path temp = TempPathFor(path);
  bool ok;
  ClearFileError();
  try {
    ok = writer ? writer(temp, bytes) : WriteWithCLibrary(temp, bytes);
  } catch (...) {
    ok = false;
  }
  if (!ok && reason != nullptr) *reason = LastFileErrorText();
  std::error_code error;
  // rename replaces an existing file on both platforms (MoveFileEx with MOVEFILE_REPLACE_EXISTING
  // on Windows), and never leaves a half-written file under the final name.
  if (ok) std::filesystem::rename(temp, path, error);
  if (error && reason != nullptr) *reason = FileSystemErrorText(error);
  if (!ok || error) {
    RemoveTemp(temp);
    return false;
  }
  return true;
}

FileReplacement::FileReplacement(std::filesystem::path target, Writer writer)
    : target_(std::move(target)),
      temp_(TempPathFor(target_)),
      writer_(writer ? std::move(writer) : WriteWithFwrite) {}

FileReplacement::~FileReplacement() { Abandon(); }

void FileReplacement::Failed(std::string text) {
  if (error_.empty()) error_ = std::move(text);
}

bool FileReplacement::Begin() {
  Abandon();
  ClearFileError();
  file_ = OpenFile(temp_, "wb");
  begun_ = ok_ = file_ != nullptr;
  if (!ok_) Failed(LastFileErrorText());
  // Rows come in small pieces: a large buffer keeps the writes few.
  if (file_ != nullptr) std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  return ok_;
}

bool FileReplacement::Write(std::string_view bytes) {
  if (file_ == nullptr || !ok_) return false;
  ClearFileError();
  try {
    ok_ = writer_(file_, bytes);
  } catch (...) {
    ok_ = false;
  }
  if (!ok_) Failed(LastFileErrorText());
  return ok_;
}

bool FileReplacement::Close() {
  if (file_ == nullptr) return ok_ && begun_;
  ClearFileError();
  if (std::fclose(file_) != 0 && ok_) {
    ok_ = false;
    Failed(LastFileErrorText());
  }
  file_ = nullptr;
  return ok_;
}

bool FileReplacement::Commit() {
  if (!begun_) return false;
  ClearFileError();
  if (file_ == nullptr && ok_) file_ = OpenFile(temp_, "ab");  // only to push it to the disk
  bool ok = ok_ && file_ != nullptr;
  if (file_ != nullptr) ok = SyncAndClose(file_) && ok;
  file_ = nullptr;
  if (!ok) Failed(LastFileErrorText());
  std::error_code error;
  if (ok) std::filesystem::rename(temp_, target_, error);
  if (error) Failed(FileSystemErrorText(error));
  if (!ok || error) {
    Abandon();
    return false;
  }
  begun_ = false;
  return true;
}

void FileReplacement::Abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (begun_) RemoveTemp(temp_);
  begun_ = false;
}

bool CanReplaceFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::FILE* file = OpenFile(path, "ab");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes) {
  ClearFileError();
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) return false;
  bytes->clear();
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, got);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

}  // namespace keyloom::base
