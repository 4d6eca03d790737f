// The file error texts on POSIX systems: the C library's own words.
#include "base/os_error.h"

#include <cerrno>
#include <system_error>

#include "base/text.h"

namespace keyloom::base {
std::string SystemErrorText(int code) {
  return text::TrimMessage(std::generic_category().message(code));
}

void ClearFileError() {
  errno = 0;
}

std::string LastFileErrorText() {
  const int error = errno != 0 ? errno : EIO;
  return text::TrimMessage(std::generic_category().message(error));
}

std::string FileSystemErrorText(const std::error_code& error) {
  return text::TrimMessage(error.message());
}

}  // namespace keyloom::base
