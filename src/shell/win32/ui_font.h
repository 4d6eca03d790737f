// Fonts of the program's windows: the system's message font (Segoe UI on current Windows, Tahoma
// under Wine) instead of the old System font, and derived bold and large forms of it.
#pragma once

#include <windows.h>

namespace keyloom::shell {

// An owned font handle.
class UniqueFont {
 public:
  UniqueFont() = default;
  explicit UniqueFont(HFONT font) : font_(font) {}
  UniqueFont(UniqueFont&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
  UniqueFont& operator=(UniqueFont&& other) noexcept;
  UniqueFont(const UniqueFont&) = delete;
  UniqueFont& operator=(const UniqueFont&) = delete;
  ~UniqueFont();

  HFONT get() const { return font_; }

 private:
  HFONT font_ = nullptr;
};

// The message font of the non-client metrics at `dpi`; DEFAULT_GUI_FONT when they cannot be
// read.
UniqueFont CreateMessageFont(int dpi);

// `base` (or the message font when null) in bold, its height multiplied by `scale`.
UniqueFont CreateDerivedFont(HFONT base, bool bold, double scale);

// Sets `font` on every child of `parent`.
void SetFontOnChildren(HWND parent, HFONT font);

}  // namespace keyloom::shell
