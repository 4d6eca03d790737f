// Small bases for the program's windows and dialogs. The static procedures store `this` when the
// window is created (WM_NCCREATE's create parameters, WM_INITDIALOG's parameter), forward every
// message to the object's virtual handlers and forget the object on the window's last message, so
// a late message never reaches a half-destroyed object. Every handler runs guarded: a C++ exception
// goes to the application failure handler and never into user32.
#pragma once

#include <windows.h>

#include <cstddef>

namespace keyloom::shell {

class Window {
 public:
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  HWND hwnd() const { return hwnd_; }

  // Registers a window class whose procedure dispatches to Window objects.
  static bool RegisterWindowClass(HINSTANCE instance, const wchar_t* class_name, HICON icon);

 protected:
  // Creates the window; HandleMessage sees WM_NCCREATE and everything after it.
  HWND Create(DWORD ex_style, const wchar_t* class_name, const wchar_t* title, DWORD style, int x,
              int y, int width, int height, HWND parent, HINSTANCE instance);
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // The window is gone (WM_NCDESTROY); hwnd() is null afterwards.
  virtual void OnFinalMessage() {}

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HWND hwnd_ = nullptr;
};

class Dialog {
 public:
  Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;
  virtual ~Dialog();

  // Shows the dialog of resource `template_id` modally; the result passed to End, or -1.
  INT_PTR DoModal(HINSTANCE instance, int template_id, HWND owner);
  // Creates the dialog modeless and hidden; null on failure.
  HWND CreateModeless(HINSTANCE instance, int template_id, HWND owner);
  HWND hwnd() const { return hwnd_; }

 protected:
  virtual bool OnInit() { return true; }
  // True when handled. The default sends IDOK to OnOK and IDCANCEL to OnCancel.
  virtual bool OnCommand(int id, int code, HWND control);
  virtual void OnOK() { End(IDOK); }
  virtual void OnCancel() { End(IDCANCEL); }
  // Any other message; true when handled.
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void End(INT_PTR result);
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  // Places the dialog in the middle of `other` (the screen's work area when null).
  void CenterOn(HWND other);

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HWND hwnd_ = nullptr;
  bool modal_ = false;
};

// A command a window hands to one of its handlers: the control or menu id and the notification
// code (kAnyCommandCode: whatever the code).
inline constexpr int kAnyCommandCode = -1;

template <typename Owner>
struct CommandRoute {
  int id;
  int code;
  void (Owner::*handler)();
};

// Calls the handler of the first route that takes `id` and `code`; false when none does.
template <typename Owner, std::size_t N>
bool RouteCommand(Owner& owner, const CommandRoute<Owner> (&routes)[N], int id, int code) {
  for (const CommandRoute<Owner>& route : routes) {
    if (route.id == id && (route.code == kAnyCommandCode || route.code == code)) {
      (owner.*route.handler)();
      return true;
    }
  }
  return false;
}

}  // namespace keyloom::shell
