// Files and the local time on Windows: wide file names, _commit, LockFileEx, localtime_s.
#include "base/file_os.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <sys/stat.h>

#include <windows.h>

#include "base/file_io.h"

namespace keyloom::base {

bool SyncAndClose(std::FILE* file) {
  bool ok = std::fflush(file) == 0;
  ok = _commit(_fileno(file)) == 0 && ok;
  return std::fclose(file) == 0 && ok;
}

bool LockWhole(std::FILE* file, bool exclusive) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFEu;  // one byte far beyond the end: readers of the content pass freely
  at.OffsetHigh = 0x7FFFFFFFu;
  const BOOL locked =
      LockFileEx(handle, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at);
  if (!locked) _doserrno = GetLastError();
  return locked != FALSE;
}

bool LocalTime(std::time_t when, std::tm* local) { return localtime_s(local, &when) == 0; }

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  const std::string narrow(mode);
  const std::wstring wide(narrow.begin(), narrow.end());
  return ::_wfopen(path.c_str(), wide.c_str());
}

std::FILE* CreateNewFile(const std::filesystem::path& path) {
  const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) ::_close(fd);
  return file;
}

}  // namespace keyloom::base
