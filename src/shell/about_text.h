// The texts of the about box: the version and the line that describes the operating system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace keyloom::shell {

inline constexpr std::string_view kVersionText = "1.3.1.0";

// The program's name: the main window's caption and the title of its message boxes.
inline constexpr const wchar_t* kAppTitle = L"Keyloom";

// The platform identifiers the system reports with its version numbers.
inline constexpr std::uint32_t kPlatformWin32s = 0;  // 32-bit extension on 16-bit Windows
inline constexpr std::uint32_t kPlatformWin9x = 1;   // Windows 95/98 family
inline constexpr std::uint32_t kPlatformWinNt = 2;   // Windows NT family

// "Windows NT (10.0.19045)" and the like; "Unknown Operating System" for any other platform. The
// Windows 95/98 family keeps its version in the high word of the build number: only the low word
// is the build.
std::string OsLineText(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor,
                       std::uint32_t build);

}  // namespace keyloom::shell
