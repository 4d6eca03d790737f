// Files named by paths with any characters in them, and files replaced as one step.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace keyloom::base {

// std::fopen for a path of any characters (_wfopen on Windows, where the narrow name would go
// through the ANSI code page). `mode` is ASCII ("rb", "ab", "wb").
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// The whole content of the file at `path` into `bytes`. False when it cannot be opened or read;
// LastFileErrorText (os_error.h) then tells why.
bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes);

// Writes the temporary file's bytes; returns false when they could not all be written. Tests
// replace it to simulate a full disk or a crash in the middle of a save.
using TempFileWriter =
    std::function<bool(const std::filesystem::path& temp_path, std::string_view bytes)>;

// The name of the temporary file a save writes before it replaces `path`: `path` + ".tmp".
std::filesystem::path TempPathFor(const std::filesystem::path& path);

// Replaces the file at `path` with `bytes` as one step: the bytes go to a temporary file beside it,
// which is flushed to the disk and then renamed over `path`. On any failure `path` keeps its former
// content, the temporary file is removed, and false is returned, with `*reason` (when given) set
// to the system's words for the failure. `writer` defaults to writing the temporary file with the
// C library.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         const TempFileWriter& writer = {}, std::string* reason = nullptr);

// A file written piece by piece beside its final place (TempPathFor) and renamed over it only once
// complete, for contents too large to gather in memory first. Until Commit succeeds the file at
// the target is left as it was; a replacement that is dropped uncommitted removes its temporary
// file.
class FileReplacement {
 public:
  // Writes `bytes` to the open temporary file; false when they could not all be written. Tests
  // replace it to simulate a full disk.
  using Writer = std::function<bool(std::FILE* file, std::string_view bytes)>;

  explicit FileReplacement(std::filesystem::path target, Writer writer = {});
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Creates (or empties) the temporary file and keeps it open. False when it cannot be created.
  bool Begin();
  bool Write(std::string_view bytes);
  // Closes the temporary file so that others may append to it by name (temp_path); Commit opens
  // it again to push it to the disk.
  bool Close();
  // Pushes the temporary file to the disk and renames it over the target. False on any failure,
  // the target then keeps its former content and the temporary file is gone.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Abandon();

  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temp_path() const { return temp_; }
  // The system's words for the first failure of Begin, Write, Close or Commit; "" before one.
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  Writer writer_;
  std::FILE* file_ = nullptr;
  bool ok_ = true;      // every write so far succeeded
  bool begun_ = false;  // the temporary file is ours to remove
  std::string error_;

  // Keeps the first failure's text.
  void Failed(std::string text);
};

// Creates the file at `path` for writing, only when no file of that name exists yet: the test and
// the creation are one step of the system, so two writers (threads or processes) can never both
// create the same name. nullptr when the name exists (errno EEXIST) or the file cannot be made;
// LastFileErrorText tells why.
std::FILE* CreateNewFile(const std::filesystem::path& path);

// A file held under the system's exclusive lock (or a shared one) for appending whole pieces, so
// that pieces from several writers, threads or processes, never interleave and a reader that takes
// the shared lock never sees half a piece. The lock covers one byte far beyond any end of file, so
// plain readers and writers of the file's content are not refused by it. The lock goes with the
// object; a process that dies drops its locks.
class LockedFile {
 public:
  enum class Mode { kAppend, kRead };
  // Opens (for kAppend: creating it when missing) and locks the file, waiting as long as another
  // holder keeps the lock. ok() tells whether it worked; LastFileErrorText why not.
  LockedFile(const std::filesystem::path& path, Mode mode);
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  bool ok() const { return file_ != nullptr && locked_; }
  // kAppend: writes `bytes` at the end of the file and pushes them to the system; "" or why not.
  std::string Append(std::string_view bytes);
  // kRead: the whole content; false when it could not be read.
  bool ReadAll(std::string* bytes);

 private:
  std::FILE* file_ = nullptr;
  bool locked_ = false;
};

// Whether an existing file may be replaced: a regular file that can be opened for writing (a
// read-only or locked file cannot). Opening it changes nothing.
bool CanReplaceFile(const std::filesystem::path& path);

}  // namespace keyloom::base
