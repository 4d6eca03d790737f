#include "shell/win32/window_base.h"

#include "shell/win32/failure_handler.h"

namespace keyloom::shell {

// ---- Window ----

Window::~Window() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

bool Window::RegisterWindowClass(HINSTANCE instance, const wchar_t* class_name, HICON icon) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, class_name, &existing)) return true;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = instance;
  window_class.hIcon = icon;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = class_name;
  return RegisterClassExW(&window_class) != 0;
}

HWND Window::Create(DWORD ex_style, const wchar_t* class_name, const wchar_t* title, DWORD style,
                    int x, int y, int width, int height, HWND parent, HINSTANCE instance) {
  return CreateWindowExW(ex_style, class_name, title, style, x, y, width, height, parent, nullptr,
                         instance, this);
}

LRESULT Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<Window*>(create->lpCreateParams);
    if (self == nullptr) return FALSE;
    self->hwnd_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    const LRESULT result = DefWindowProcW(window, message, wparam, lparam);
    self->hwnd_ = nullptr;
    Guarded(0, [&] {
      self->OnFinalMessage();
      return 0;
    });
    return result;
  }
  return Guarded(LRESULT{0}, [&] { return self->HandleMessage(message, wparam, lparam); });
}

// ---- Dialog ----

Dialog::~Dialog() {
  if (hwnd_ != nullptr && !modal_) {
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    DestroyWindow(hwnd_);
  }
}

INT_PTR Dialog::DoModal(HINSTANCE instance, int template_id, HWND owner) {
  modal_ = true;
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(template_id), owner, Procedure,
                         reinterpret_cast<LPARAM>(this));
}

HWND Dialog::CreateModeless(HINSTANCE instance, int template_id, HWND owner) {
  modal_ = false;
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(template_id), owner, Procedure,
                            reinterpret_cast<LPARAM>(this));
}

bool Dialog::OnCommand(int id, int /*code*/, HWND /*control*/) {
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM) { return false; }

void Dialog::End(INT_PTR result) {
  if (modal_) {
    EndDialog(hwnd_, result);
  } else {
    ShowWindow(hwnd_, SW_HIDE);
  }
}

void Dialog::CenterOn(HWND other) {
  RECT area{};
  if (other == nullptr || !IsWindowVisible(other) || !GetWindowRect(other, &area)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  RECT own{};
  GetWindowRect(hwnd_, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  const int x = area.left + ((area.right - area.left) - width) / 2;
  const int y = area.top + ((area.bottom - area.top) - height) / 2;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lparam);
    if (self == nullptr) return FALSE;
    self->hwnd_ = window;
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    return Guarded(INT_PTR{TRUE}, [&] { return INT_PTR{self->OnInit() ? TRUE : FALSE}; });
  }
  self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    self->hwnd_ = nullptr;
    return FALSE;
  }
  return Guarded(INT_PTR{FALSE}, [&]() -> INT_PTR {
    if (message == WM_COMMAND) {
      return self->OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam))
                 ? TRUE
                 : FALSE;
    }
    return self->OnMessage(message, wparam, lparam) ? TRUE : FALSE;
  });
}

}  // namespace keyloom::shell
