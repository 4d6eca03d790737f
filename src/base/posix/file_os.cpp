// Files and the local time on POSIX systems: fsync, flock, localtime_r.
#include "base/file_os.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "base/file_io.h"

namespace keyloom::base {

bool SyncAndClose(std::FILE* file) {
  bool ok = std::fflush(file) == 0;
  ok = fsync(fileno(file)) == 0 && ok;
  return std::fclose(file) == 0 && ok;
}

bool LockWhole(std::FILE* file, bool exclusive) {
  int rc;
  do {
    rc = flock(fileno(file), exclusive ? LOCK_EX : LOCK_SH);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool LocalTime(std::time_t when, std::tm* local) { return localtime_r(&when, local) != nullptr; }

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::FILE* CreateNewFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace keyloom::base
