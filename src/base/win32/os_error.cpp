// The file error texts on Windows: the system's message for the Windows error behind a failure.
#include "base/os_error.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <windows.h>

#include "base/text.h"

namespace keyloom::base {
namespace {

// The Windows error an errno value of the C library stands for, or 0 when it has none.
DWORD WindowsErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EMFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EIO:
      return ERROR_IO_DEVICE;
    default:
      return 0;
  }
}

std::string Utf8(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "";
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

// "" when the system has no text for the code.
std::string WindowsMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (buffer == nullptr) return "";
  std::string message = length > 0 ? Utf8(buffer, static_cast<int>(length)) : "";
  LocalFree(buffer);
  return text::TrimMessage(std::move(message));
}

}  // namespace

std::string SystemErrorText(int code) {
  std::string message = WindowsMessage(static_cast<DWORD>(code));
  return message.empty() ? "Unknown error " + std::to_string(code) : message;
}

void ClearFileError() {
  errno = 0;
  _doserrno = 0;
}

std::string LastFileErrorText() {
  const int error = errno != 0 ? errno : EIO;
  // The C library keeps the Windows error behind its errno; a failure it found by itself has none.
  DWORD code = _doserrno;
  if (code == 0) code = WindowsErrorOf(error);
  if (code != 0) {
    std::string message = WindowsMessage(code);
    if (!message.empty()) return message;
  }
  return text::TrimMessage(std::generic_category().message(error));
}

std::string FileSystemErrorText(const std::error_code& error) {
  DWORD code = 0;
  if (error.category() == std::system_category()) {
    code = static_cast<DWORD>(error.value());
  } else if (error.category() == std::generic_category()) {
    code = WindowsErrorOf(error.value());
  }
  if (code != 0) {
    std::string message = WindowsMessage(code);
    if (!message.empty()) return message;
  }
  return text::TrimMessage(error.message());
}

}  // namespace keyloom::base
