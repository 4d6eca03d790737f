#include "shell/about_text.h"

namespace keyloom::shell {

std::string OsLineText(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor,
                       std::uint32_t build) {
  std::string name;
  switch (platform_id) {
    case kPlatformWin32s:
      name = "Windows (32bit)";
      break;
    case kPlatformWin9x:
      name = "Windows 95/98";
      build &= 0xFFFFu;
      break;
    case kPlatformWinNt:
      name = "Windows NT";
      break;
    default:
      return "Unknown Operating System";
  }
  return name + " (" + std::to_string(major) + "." + std::to_string(minor) + "." +
         std::to_string(build) + ")";
}

}  // namespace keyloom::shell
