#include "base/file_io.h"

#include <string>
#include <system_error>

#include "base/os_error.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace keyloom::base {
namespace {

bool WriteWithCLibrary(const std::filesystem::path& temp_path, std::string_view bytes) {
  std::FILE* file = OpenFile(temp_path, "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  // Push the bytes to the disk before the rename makes them the file.
#ifdef _WIN32
  ok = _commit(_fileno(file)) == 0 && ok;
#else
  ok = fsync(fileno(file)) == 0 && ok;
#endif
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

}  // namespace

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  const std::string narrow(mode);
  const std::wstring wide(narrow.begin(), narrow.end());
  return ::_wfopen(path.c_str(), wide.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::filesystem::path TempPathFor(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  return temp;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         const TempFileWriter& writer) {
  const std::filesystem::path temp = TempPathFor(path);
  bool ok;
  try {
    ok = writer ? writer(temp, bytes) : WriteWithCLibrary(temp, bytes);
  } catch (...) {
    ok = false;
  }
  std::error_code error;
  // rename replaces an existing file on both platforms (MoveFileEx with MOVEFILE_REPLACE_EXISTING
  // on Windows), and never leaves a half-written file under the final name.
  if (ok) std::filesystem::rename(temp, path, error);
  if (!ok || error) {
    // Only a file of ours is removed; a folder that happens to carry the name is left alone.
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(temp, error))) {
      std::filesystem::remove(temp, error);
    }
    return false;
  }
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
