// UTF-8 inside the program, UTF-16 at the window functions: the conversions and the window text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/text.h"

namespace keyloom::shell {

inline std::wstring ToWide(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

inline std::string FromWide(std::wstring_view wide) {
  return text::Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

inline std::wstring WindowTextW(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

inline std::string WindowTextUtf8(HWND window) { return FromWide(WindowTextW(window)); }

inline void SetWindowTextUtf8(HWND window, std::string_view utf8) {
  SetWindowTextW(window, ToWide(utf8).c_str());
}

}  // namespace keyloom::shell
