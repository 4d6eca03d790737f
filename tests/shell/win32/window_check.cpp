#include "shell/win32/window_check.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "shell/dpi_scale.h"
#include "shell/options_values.h"
#include "shell/win32/dpi.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell::testing {
namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool Is(HWND window, const wchar_t* class_name) {
  return lstrcmpiW(ClassOf(window).c_str(), class_name) == 0;
}

std::vector<HWND> ShownChildren(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsWindowVisible(child)) children.push_back(child);
  }
  return children;
}

std::string Name(HWND control) {
  return "id " + std::to_string(GetDlgCtrlID(control)) + " \"" + WindowTextUtf8(control) + "\"";
}

// The size `text` takes in `control`'s font, the "&" of an access key left out when `prefix`.
SIZE TextSize(HWND control, const std::wstring& text, bool prefix) {
  HDC dc = GetDC(control);
  HGDIOBJ former =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT rect{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_SINGLELINE | (prefix ? 0u : DT_NOPREFIX));
  SelectObject(dc, former);
  ReleaseDC(control, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The room a control's own parts (a check box's box, a button's edges) leave for its text.
int Chrome(HWND control, LONG style, int dpi) {
  if (Is(control, L"Button")) {
    switch (style & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return MetricForDpi(SM_CXMENUCHECK, dpi) + ScaleToDpi(3, dpi);
      case BS_GROUPBOX:
        return ScaleToDpi(12, dpi);
      default:
        return ScaleToDpi(6, dpi);
    }
  }
  return 0;
}

// The widest item of a combo box with its arrow beside it.
int ComboNeeds(HWND combo, int dpi) {
  int widest = 0;
  const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring text(
        static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)),
        L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(text.data()));
    widest = std::max(widest, static_cast<int>(TextSize(combo, text, false).cx));
  }
  return widest + MetricForDpi(SM_CXVSCROLL, dpi) + ScaleToDpi(6, dpi);
}

// A text the control shows on one line, in full: not a multi-line label or one that shortens
// its text itself.
bool ShowsOneLine(HWND control, LONG style, int height, int line) {
  if (Is(control, L"Static")) {
    if ((style & (SS_PATHELLIPSIS | SS_ENDELLIPSIS | SS_WORDELLIPSIS)) != 0) return false;
    return height < 2 * line;
  }
  return Is(control, L"Button") && (style & BS_MULTILINE) == 0;
}

// Whether a label's access key moves to the control after it.
bool IsLabelOfControl(HWND label) {
  HWND next = GetWindow(label, GW_HWNDNEXT);
  return next != nullptr && (GetWindowLongW(next, GWL_STYLE) & WS_TABSTOP) != 0 &&
         (Is(next, L"Edit") || Is(next, L"ComboBox") || Is(next, L"ListBox"));
}

// Whether `control` holds others on it: a tab control's pages, a group box's buttons.
bool HoldsOthers(HWND control) {
  return Is(control, WC_TABCONTROLW) ||
         (Is(control, L"Button") &&
          (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX);
}

std::vector<std::string> OverlapProblems(const std::vector<HWND>& controls) {
  std::vector<std::string> problems;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      if (HoldsOthers(controls[i]) || HoldsOthers(controls[j])) continue;
      RECT a{}, b{}, both{};
      GetWindowRect(controls[i], &a);
      GetWindowRect(controls[j], &b);
      if (IntersectRect(&both, &a, &b)) {
        problems.push_back(Name(controls[i]) + " and " + Name(controls[j]) + ": overlap");
      }
    }
  }
  return problems;
}

}  // namespace

std::vector<std::string> FitProblems(HWND parent, int dpi) {
  if (dpi == 0) dpi = WindowDpi(parent);
  RECT client{};
  GetClientRect(parent, &client);
  const std::vector<HWND> shown = ShownChildren(parent);
  std::vector<std::string> problems = OverlapProblems(shown);
  for (HWND control : shown) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.left < 0 || rect.top < 0 || rect.right > client.right || rect.bottom > client.bottom) {
      problems.push_back(Name(control) + ": outside the client area");
    }
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (Is(control, L"ComboBox")) {
      if (ComboNeeds(control, dpi) > width) problems.push_back(Name(control) + ": items cut");
      continue;
    }
    const std::wstring text = WindowTextW(control);
    if (text.empty()) continue;
    const bool prefix = !Is(control, L"Static") || (style & SS_NOPREFIX) == 0;
    const SIZE size = TextSize(control, text, prefix);
    if (!ShowsOneLine(control, style, height, size.cy)) continue;
    if (size.cx + Chrome(control, style, dpi) > width || size.cy > height) {
      problems.push_back(Name(control) + ": text " + std::to_string(size.cx) + "x" +
                         std::to_string(size.cy) + " in " + std::to_string(width) + "x" +
                         std::to_string(height));
    }
  }
  return problems;
}

std::vector<std::string> AccessKeyProblems(HWND parent, const std::vector<std::string>& extra) {
  std::vector<std::string> problems;
  std::map<char, std::string> owners;
  auto take = [&](char key, const std::string& owner) {
    auto [it, added] = owners.emplace(key, owner);
    if (!added) problems.push_back(owner + " and " + it->second + ": both '" + key + "'");
  };
  for (const std::string& caption : extra) {
    const char key = MnemonicOf(caption);
    if (key == 0) {
      problems.push_back("\"" + caption + "\": no access key");
    } else {
      take(key, "\"" + caption + "\"");
    }
  }
  for (HWND control : ShownChildren(parent)) {
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    bool labelled = false;
    if (Is(control, L"Button")) {
      labelled = (style & BS_TYPEMASK) != BS_GROUPBOX;
    } else if (Is(control, L"Static")) {
      if ((style & SS_NOPREFIX) != 0) continue;
      labelled = IsLabelOfControl(control);
    } else {
      continue;
    }
    const std::string caption = WindowTextUtf8(control);
    if (caption.empty()) continue;
    const char key = MnemonicOf(caption);
    if (key != 0) {
      take(key, Name(control));
    } else if (labelled) {
      problems.push_back(Name(control) + ": no access key");
    }
  }
  return problems;
}

std::vector<std::string> MenuAccessKeyProblems(HMENU menu) {
  std::vector<std::string> problems;
  std::map<char, std::string> owners;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    const std::string caption = FromWide(text);
    if (HMENU sub = GetSubMenu(menu, i)) {
      const std::vector<std::string> inner = MenuAccessKeyProblems(sub);
      problems.insert(problems.end(), inner.begin(), inner.end());
    }
    if (caption.empty()) continue;  // a separator
    const char key = MnemonicOf(caption);
    if (key == 0) {
      problems.push_back("\"" + caption + "\": no access key");
      continue;
    }
    auto [it, added] = owners.emplace(key, caption);
    if (!added) problems.push_back("\"" + caption + "\" and \"" + it->second + "\" clash");
  }
  return problems;
}

int ScreenDpi() { return SystemDpi(); }

int ExpectedDpi() {
  const char* value = std::getenv("KEYLOOM_TEST_DPI");
  return value != nullptr ? std::atoi(value) : 0;
}

}  // namespace keyloom::shell::testing
