#include "shell/win32/dpi.h"

namespace keyloom::shell {
namespace {

template <typename Function>
Function UserFunction(const char* name) {
  HMODULE user = GetModuleHandleW(L"user32.dll");
  if (user == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using ParametersForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
using MetricsForDpiFn = int(WINAPI*)(int, UINT);

}  // namespace

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) {
  static const auto get_dpi = UserFunction<GetDpiForWindowFn>("GetDpiForWindow");
  if (get_dpi != nullptr && window != nullptr) {
    const UINT dpi = get_dpi(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
}

SIZE FrameSizeForClient(HWND window, int client_width, int client_height, int dpi) {
  static const auto adjust = UserFunction<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, client_width, client_height};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  const BOOL menu = GetMenu(window) != nullptr && (style & WS_CHILD) == 0 ? TRUE : FALSE;
  if (adjust == nullptr || !adjust(&frame, style, menu, ex_style, static_cast<UINT>(dpi))) {
    frame = {0, 0, client_width, client_height};
    AdjustWindowRectEx(&frame, style, menu, ex_style);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

int MetricForDpi(int index, int dpi) {
  static const auto metrics = UserFunction<MetricsForDpiFn>("GetSystemMetricsForDpi");
  if (metrics != nullptr) return metrics(index, static_cast<UINT>(dpi));
  return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

bool MessageLogFont(LOGFONTW* font, int dpi) {
  static const auto parameters = UserFunction<ParametersForDpiFn>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (parameters != nullptr && parameters(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                                          static_cast<UINT>(dpi))) {
    *font = metrics.lfMessageFont;
    return true;
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return false;
  *font = metrics.lfMessageFont;  // at the system's DPI
  font->lfHeight = MulDiv(font->lfHeight, dpi, SystemDpi());
  return true;
}

}  // namespace keyloom::shell
