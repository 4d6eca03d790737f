#include "shell/win32/ui_font.h"

#include <cmath>

#include "shell/win32/dpi.h"

namespace keyloom::shell {

UniqueFont& UniqueFont::operator=(UniqueFont&& other) noexcept {
  if (this != &other) {
    if (font_ != nullptr) DeleteObject(font_);
    font_ = other.font_;
    other.font_ = nullptr;
  }
  return *this;
}

UniqueFont::~UniqueFont() {
  if (font_ != nullptr) DeleteObject(font_);
}

UniqueFont CreateMessageFont(int dpi) {
  LOGFONTW font{};
  if (MessageLogFont(&font, dpi)) return UniqueFont(CreateFontIndirectW(&font));
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  return UniqueFont(CreateFontIndirectW(&font));
}

UniqueFont CreateDerivedFont(HFONT base, bool bold, double scale) {
  LOGFONTW font{};
  if (base == nullptr || GetObjectW(base, sizeof(font), &font) == 0) {
    if (!MessageLogFont(&font, SystemDpi())) GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  }
  if (bold) font.lfWeight = FW_BOLD;
  font.lfHeight = static_cast<LONG>(std::lround(font.lfHeight * scale));
  return UniqueFont(CreateFontIndirectW(&font));
}

namespace {

BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
  SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  return TRUE;
}

}  // namespace

void SetFontOnChildren(HWND parent, HFONT font) {
  EnumChildWindows(parent, SetChildFont, reinterpret_cast<LPARAM>(font));
}

}  // namespace keyloom::shell
