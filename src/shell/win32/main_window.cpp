#include "shell/win32/main_window.h"

#include <windowsx.h>

#include <chrono>
#include <utility>

#include "engine/win32/event_pause_gate.h"
#include "registry/registry.h"
#include "shell/about_text.h"
#include "shell/exit_codes.h"
#include "shell/win32/address_space.h"
#include "shell/win32/app.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/dpi.h"
#include "shell/win32/failure_handler.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

TfrmMain::TfrmMain(MainWindowOptions options)
    : options_(std::move(options)), row_budget_(FreeAddressSpace) {}

TfrmMain::~TfrmMain() {
  if (hwnd() != nullptr) DestroyWindow(hwnd());
  if (menu_resource_ != nullptr) DestroyMenu(menu_resource_);
  if (run_parts_ != nullptr) UninstallFailureHandler(&run_parts_->context().silent);
}

bool TfrmMain::CreateMain(HINSTANCE instance) {
  instance_ = instance;
  gui_thread_ = GetCurrentThreadId();
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                    ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&classes);
  if (!RegisterWindowClass(instance, kClassName, LoadIconW(nullptr, MAKEINTRESOURCEW(32512)))) {
    return false;
  }
  // Created at the least size; start-up places it (PlaceOnStart) once the settings are read.
  return Create(WS_EX_CONTROLPARENT, kClassName, kAppTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                CW_USEDEFAULT, CW_USEDEFAULT, 641, 384, nullptr, instance) != nullptr;
}

LRESULT TfrmMain::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == Win32TaskbarButton::CreatedMessage()) {
    taskbar_button_.OnButtonCreated(hwnd());
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      try {
        FormCreate();
        return 0;
      } catch (const std::exception& e) {
        HandleFailure(e.what());
        return -1;  // no half-made window: the creation fails
      }
    case WM_DESTROY:
      FormDestroy();
      return 0;
    case WM_CLOSE:
      if (KeepOpenForRun()) return 0;
      break;  // the default destroys the window
    case WM_QUERYENDSESSION:
      if (controller_ != nullptr && controller_->Active()) controller_->StopRun();
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE) EndSession();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd(), focus)) last_focus_ = focus;
      } else {
        taskbar_.Activated();
        FormActivate();
      }
      break;
    case WM_SETFOCUS:  // back to the control that had the focus while it can take it, else
                       // to the find box
      SetFocus(last_focus_ != nullptr && IsWindow(last_focus_) && IsWindowEnabled(last_focus_) &&
                       IsWindowVisible(last_focus_)
                   ? last_focus_
                   : Control(IDC_EDT_FIND));
      return 0;
    case kMsgAutoStart:
      if (!controller_->Active()) btnReplaceClick();
      return 0;
    case WM_SHOWWINDOW:
      if (wparam != FALSE) ever_shown_ = true;
      snapshot_.Update([&](ControlValues& v) { v.visible = wparam != FALSE; });
      break;
    case WM_SIZE:
      Relayout();
      return 0;
    case WM_NEXTDLGCTL:  // from the dialog manager: an access key of a label
      OnNextControl(wparam, LOWORD(lparam) != 0);
      return 0;
    case kMsgDpiChanged:
      OnDpiChanged(LOWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lparam));
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam), lparam);
    case WM_CONTEXTMENU:
      OnContextMenu(reinterpret_cast<HWND>(wparam), GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_TIMER:
      if (wparam == IDT_EXPORT_PROGRESS) {
        if (export_ != nullptr) export_->OnTimer();
      } else {
        OnDrainTimer();
      }
      return 0;
    case kMsgDrain:
      DrainOutput();
      return 0;
    case KeyListView::kMsgOrderStep:
      key_list_.OnOrderStep();
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(DefaultButtonId(), DC_HASDEFID);
    case WM_SETCURSOR:
      if (OnSetCursor(lparam)) return TRUE;
      break;
    case WM_LBUTTONDOWN:
      OnMouseDown(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(GET_Y_LPARAM(lparam));
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      OnMouseUp();
      return 0;
    default:
      break;
  }
  return Window::HandleMessage(message, wparam, lparam);
}

// Start-up, in this order: the pause gate, the program folder, the user and the 64-bit detection,
// the run's parts and the failure handler, the root combo and the caption, the run state, the
// settings, the view, the start-up lines, then either the silent run or a window to be shown.
void TfrmMain::FormCreate() {
  CreateControls();
  post_target_ = hwnd();
  key_list_.SetOrderShown([this](bool sorted) { KeyListOrderShown(sorted); });
  queue_.SetWake([this](bool urgent) { WakeDrain(urgent); });
  queue_.SetLog([this](const std::string& line) { Log(line); });
  queue_.SetRowBudget(&row_budget_);

  gate_ = std::make_unique<engine::EventPauseGate>(hwnd());
  Win32TaskbarButton::Listen(hwnd());

  engine::ProgramFacts program;
  program.folder = options_.program_folder ? *options_.program_folder : ProgramFileFolder();
  std::string user;
  if (options_.api->CurrentUserName(&user) == reg::kSuccess && !user.empty()) {
    program.user_name = user;
  }
  if (options_.is_64bit_windows) {
    program.is_64bit_windows = *options_.is_64bit_windows;
  } else {
    try {
      program.is_64bit_windows = reg::DetectIs64BitWindows(*options_.api);
    } catch (const reg::ERegistryException&) {
      program.is_64bit_windows = false;
    }
  }
  // The run's parts: the run context, the logs, the undo writer (its new-file flag up), the walk.
  run_parts_ =
      std::make_unique<RunParts>(*options_.api, settings_, snapshot_, queue_, std::move(program));
  engine::RunContext& context = run_parts_->context();
  InstallFailureHandler(&context.silent);

  UpdateKeysCombo();

  // The controller.
  engine::KeyWalker& walker = options_.walker != nullptr ? *options_.walker : run_parts_->walker();
  settings_.Update([](Settings& s) { s.logging = 0; });
  controller_ = std::make_unique<engine::RunController>(
      engine::EngineDeps{&context, gate_.get(), &walker}, *this);
  ListExportDeps exports;
  exports.window = hwnd();
  exports.instance = instance_;
  exports.status_bar = status_bar_;
  exports.key_list = &key_list_;
  exports.status_list = &status_list_;
  exports.context = &context;
  exports.reader = run_parts_->reader();
  exports.run_active = [this] { return controller_->Active(); };
  exports.taskbar = &taskbar_;
  export_ = std::make_unique<ListExportUi>(std::move(exports));

  LoadedSettings loaded = LoadSettings(context.program.folder);
  settings_.Replace(loaded.settings);
  const Settings& s = loaded.settings;
  // Decided before any start-up line is written, so that the silent mode logs nothing at all.
  context.silent = s.autostart && s.autoclose && s.autohide;
  for (const std::string& line : loaded.status_lines) Log(line);
  ApplyWindowSettings(loaded.window);
  // The undo box shows three states (greyed: only one of the two run bits) and is set by its
  // handler.
  SendMessageW(Control(IDC_CHK_REG_UNDO), BM_SETSTYLE, BS_3STATE, FALSE);
  ShowRunUndo();
  controller_->RefreshReplaceCaption();

  Select(Control(IDC_CMB_SCAN_METHOD), loaded.settings.scanmethod);
  if (context.program.is_64bit_windows) {
    Log("64-bit Windows Detected");
  } else {
    EnableWindow(Control(IDC_CMB_SCAN_METHOD), FALSE);
    ShowWindow(Control(IDC_CMB_SCAN_METHOD), SW_HIDE);
    ShowWindow(Control(IDC_LBL_BITS), SW_HIDE);
  }
  if (loaded.settings.simulate) {
    Log("** SIMULATE ENABLED, NO CHANGES WILL BE MADE TO YOUR REGISTRY **");
  }
  SetTimer(hwnd(), 1, kDrainTickMs, nullptr);

  if (context.silent) {
    StartSilentRun();
  } else {
    should_show_ = true;
  }
}

// The unattended run of the silent mode. A run that cannot start (its validation failed, or
// starting it failed) ends the program with kExitNoRun instead of leaving it without a window.
// Whether it started is the click's answer: a small run may well have ended already.
void TfrmMain::StartSilentRun() {
  bool started = false;
  try {
    SyncControls();
    started = controller_->btnReplaceClick();
  } catch (...) {
    // Dropped without a message: nobody is there to read it.
  }
  if (!started) {
    exit_code_ = kExitNoRun;
    PostMessageW(hwnd(), WM_CLOSE, 0, 0);
  }
}

bool TfrmMain::KeepOpenForRun() {
  if (controller_ == nullptr || !controller_->Active() || run_parts_->context().silent) {
    return false;
  }
  if (close_when_run_ends_) return true;  // stopping already
  const int answer = MessageBoxW(hwnd(), L"A run is in progress. Stop it and close Keyloom?",
                                 kAppTitle, MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) return true;
  if (!controller_->Active()) return false;  // it ended while the question was open
  close_when_run_ends_ = true;
  controller_->StopRun();
  return true;
}

void TfrmMain::EndSession() {
  if (controller_ != nullptr) {
    controller_->StopRun();
    // The session ends once this returns: the run's summary must be shown by then, also one
    // that ended a moment ago and still waits in the queue.
    if (controller_->StopAndWait(std::chrono::milliseconds(kStopBoundMs))) DrainOutput();
  }
  if (hwnd() != nullptr) DestroyWindow(hwnd());
}

// The first activation after start-up starts the AUTOSTART replace run, once per program start.
void TfrmMain::FormActivate() {
  if (activated_) return;
  activated_ = true;
  if (settings_.Snapshot().autostart && !run_parts_->context().silent) {
    PostMessageW(hwnd(), kMsgAutoStart, 0, 0);
  }
}

void TfrmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  KillTimer(hwnd(), 1);
  post_target_ = nullptr;
  if (export_ != nullptr) export_->Stop();  // an export being written is cancelled
  taskbar_button_.Release();
  if (controller_ != nullptr) {
    WriteSettings(false);
    // A run still going is stopped before the gate goes; one that will not stop in time must not
    // outlive what it uses, so the process ends.
    if (!controller_->StopAndWait(std::chrono::milliseconds(kStopBoundMs))) {
      TerminateProcess(GetCurrentProcess(), static_cast<UINT>(kExitWorkerStuck));
    }
  }
  if (gate_ != nullptr) gate_->Open();
  queue_.Drain();
  if (options_.quit_on_destroy) PostQuitMessage(exit_code_);
}

void TfrmMain::ShowRunUndo() {
  static constexpr WPARAM kStates[] = {BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE};
  const RunUndoState state = RunUndoStateOf(settings_.Snapshot().undo);
  SendMessageW(Control(IDC_CHK_REG_UNDO), BM_SETCHECK, kStates[static_cast<int>(state)], 0);
}

void TfrmMain::WriteSettings(bool force) {
  if (auto error = SaveSettings(run_parts_->context().program.folder, settings_.Snapshot(),
                                ReadWindowSettings(), force)) {
    Log(*error);
  }
}

void TfrmMain::Log(const std::string& text, bool debug_only) {
  if (run_parts_ != nullptr) run_parts_->status_log().Write(text, debug_only);
}

void TfrmMain::WakeDrain(bool urgent) {
  if (!urgent && GetCurrentThreadId() != gui_thread_) return;  // the timer takes it
  if (drain_posted_.exchange(true)) return;
  HWND target = post_target_.load();
  if (target == nullptr || !PostMessageW(target, kMsgDrain, 0, 0)) drain_posted_ = false;
}

void TfrmMain::UpdateKeysCombo() {
  HWND combo = Control(IDC_CMB_KEYS);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"All"));
  for (const reg::RootKey& root : reg::RootKeys()) {
    const std::wstring name = ToWide(root.name);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"All user profiles"));
  const std::string& machine = run_parts_->context().machine;
  SetWindowTextUtf8(
      hwnd(), machine.empty() ? std::string("Keyloom") : std::string("Keyloom [") + machine + "]");
  Select(combo, 0);
  snapshot_.Update([](ControlValues& v) { v.request.searchkey = 0; });
}

void TfrmMain::ApplyWindowSettings(const WindowSettings& window) {
  SetWindowTextUtf8(Control(IDC_EDT_FIND), window.find);
  SetWindowTextUtf8(Control(IDC_EDT_REPLACE), window.replace);
  SetChecked(Control(IDC_CHK_CASE), window.usecase);
  SetChecked(Control(IDC_CHK_NAMES), window.searchkeys);
  SetChecked(Control(IDC_CHK_VALUES), window.searchvalues);
  SetChecked(Control(IDC_CHK_TREE), window.searchtree);  // never shows the key-name warning
  Select(Control(IDC_CMB_KEYS), window.searchkey);
  key_list_.SetColumnWidths(window.col);
  key_list_.SetDetailColumnWidths(window.detail_col);
  Select(Control(IDC_CMB_TYPE), window.searchtype);
  Select(Control(IDC_CMB_MODE), static_cast<int>(window.rules.mode));
  filters_ = window.rules;
  ShowFilterCount();
  PlaceOnStart(window.place);
  SyncControls();
}

WindowSettings TfrmMain::ReadWindowSettings() const {
  WindowSettings window;
  window.find = WindowTextUtf8(Control(IDC_EDT_FIND));
  window.replace = WindowTextUtf8(Control(IDC_EDT_REPLACE));
  window.searchkey = Selection(Control(IDC_CMB_KEYS));
  window.usecase = IsChecked(Control(IDC_CHK_CASE));
  window.searchkeys = IsChecked(Control(IDC_CHK_NAMES));
  window.searchvalues = IsChecked(Control(IDC_CHK_VALUES));
  window.searchtree = IsChecked(Control(IDC_CHK_TREE));
  window.col = key_list_.ColumnWidths();
  window.detail_col = key_list_.DetailColumnWidths();
  window.searchtype = Selection(Control(IDC_CMB_TYPE));
  window.rules = filters_;
  window.rules.mode = static_cast<engine::MatchMode>(Selection(Control(IDC_CMB_MODE)));
  window.place = CurrentPlace();
  return window;
}

void TfrmMain::SyncControls() {
  ControlValues values;
  values.request = ReadWindowSettings();
  values.visible = IsWindowVisible(hwnd()) != FALSE;
  ShowAfterReplace(values.request);
  snapshot_.Update([&](ControlValues& v) { v = std::move(values); });
}

// The "After replace" column shows while Replace with holds text, made for the options shown now.
void TfrmMain::ShowAfterReplace(const WindowSettings& request) {
  if (request.replace.empty()) {
    key_list_.SetAfterReplace(nullptr);
    return;
  }
  ReplaceInputs inputs;
  inputs.mode = request.rules.mode;
  inputs.find = request.find;
  inputs.replace = request.replace;
  inputs.case_sensitive = request.usecase;
  inputs.whole_numbers = settings_.Read([](const Settings& s) { return s.wholenum; });
  const AfterReplace* shown = key_list_.after_replace();
  if (shown != nullptr && shown->inputs() == inputs) return;
  key_list_.SetAfterReplace(std::make_unique<const AfterReplace>(std::move(inputs)));
}

// ---- RunWindow ----

void TfrmMain::ApplyButtons(const engine::ButtonState& state) {
  struct ButtonRow {
    int id;
    const std::string* caption;
    bool enabled;
  };
  const ButtonRow rows[] = {
      {IDC_BTN_SEARCH, &state.search_caption, state.search_enabled},
      {IDC_BTN_REPLACE, &state.replace_caption, state.replace_enabled},
      {IDC_BTN_PAUSE, &state.pause_caption, state.pause_enabled},
      {IDC_BTN_CLOSE, nullptr, state.close_enabled},
      {IDC_BTN_NETWORK, nullptr, state.network_enabled},
  };
  HWND focus = GetFocus();
  for (const ButtonRow& row : rows) {
    HWND button = Control(row.id);
    if (button == nullptr) continue;
    if (row.caption != nullptr) SetWindowTextUtf8(button, *row.caption);
    EnableWindow(button, row.enabled ? TRUE : FALSE);
  }
  // A button that lost the focus by being disabled hands it to the find box.
  if (focus != nullptr && !IsWindowEnabled(focus) && IsChild(hwnd(), focus)) {
    SetFocus(Control(IDC_EDT_FIND));
  }
}

void TfrmMain::ShowWarning(const std::string& text) {
  if (run_parts_->context().silent) return;
  MessageBoxW(hwnd(), ToWide(text).c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
}

void TfrmMain::ProcessPendingEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // left for the message loop
      return;
    }
    if (PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Closing goes through the message loop, so no handler destroys the window under its own feet.
void TfrmMain::CloseMainWindow() {
  if (hwnd() != nullptr) PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

bool TfrmMain::PreTranslate(MSG& message) {
  HWND window = hwnd();
  if (window == nullptr) return false;
  if (message.hwnd != window && !IsChild(window, message.hwnd)) return false;
  if (IsUndoRunKey(message)) {
    PostMessageW(window, WM_COMMAND, IDM_UNDO_RUN, 0);
    return true;
  }
  if (HandleListKeys(message)) return true;
  return IsDialogMessageW(window, &message) != FALSE;
}

}  // namespace keyloom::shell
