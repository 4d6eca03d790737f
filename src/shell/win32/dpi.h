// The DPI a window is shown at and the system calls that take one. The calls of per-monitor
// awareness (Windows 10 1607 and later) are looked up at run time: on older systems every window
// has the system's DPI.
#pragma once

#include <windows.h>

namespace keyloom::shell {

// WM_DPICHANGED: the window moved to a monitor of another scale (wParam's low word is the new
// DPI, lParam the suggested window rectangle).
inline constexpr UINT kMsgDpiChanged = 0x02E0;

// The screen's DPI for windows that are not per-monitor aware, and for all of them on systems
// without per-monitor awareness.
int SystemDpi();

// The DPI `window` is shown at (its monitor's); SystemDpi() when the system cannot say.
int WindowDpi(HWND window);

// The window size whose client area is `client_width` by `client_height` for `window`'s styles at
// `dpi`.
SIZE FrameSizeForClient(HWND window, int client_width, int client_height, int dpi);

// GetSystemMetrics(`index`) at `dpi`.
int MetricForDpi(int index, int dpi);

// The message font of the non-client metrics at `dpi`.
bool MessageLogFont(LOGFONTW* font, int dpi);

}  // namespace keyloom::shell
