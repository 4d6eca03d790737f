#include "shell/win32/options_dialog.h"

#include <commdlg.h>
#include <shlobj.h>

#include <iterator>

#include "engine/run_context.h"
#include "registry/registry.h"
#include "shell/about_text.h"
#include "shell/dpi_scale.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/dpi.h"
#include "shell/win32/failure_handler.h"
#include "shell/win32/hints.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

// The client area, and the panel below the pages that holds Save and Cancel (design units).
constexpr int kClientWidth = 398;
constexpr int kClientHeight = 235;
constexpr int kPanelHeight = 36;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kMargin = 8;

constexpr int kPageCount = static_cast<int>(kOptionsPageTitles.size());

constexpr const char* kDeleteWarning =
    "This is an EXTREMELY DANGEROUS option.  Please be careful when using this.";
constexpr const char* kSecurityWarning =
    "This option will attempt to change the security of your registry.  Please use at your own "
    "risk.";

// cmbDefaultUndo's entries, by DEFAULTUNDO.
constexpr const char* kUndoKinds[] = {"REG File", "INF File"};

// The check boxes and the values they show, in the order the dialog fills them.
struct Box {
  int id;
  bool OptionsValues::*value;
};
constexpr Box kBoxes[] = {
    {IDC_OPT_CHK_AUTO_START, &OptionsValues::auto_start},
    {IDC_OPT_CHK_AUTO_CLOSE, &OptionsValues::auto_close},
    {IDC_OPT_CHK_AUTO_HIDE, &OptionsValues::auto_hide},
    {IDC_OPT_CHK_UPDATE_INI, &OptionsValues::update_ini},
    {IDC_OPT_CHK_WARN, &OptionsValues::warn_key_names},
    {IDC_OPT_CHK_UNDO_EDT, &OptionsValues::undo_edits},
    {IDC_OPT_CHK_UNDO_DEL, &OptionsValues::undo_deletes},
    {IDC_OPT_CHK_UNDO_REN, &OptionsValues::undo_renames},
    {IDC_OPT_CHK_ENABLE_DELETE, &OptionsValues::enable_delete},
    {IDC_OPT_CHK_SM_UNDO, &OptionsValues::separate_manual_undo},
    {IDC_OPT_CHK_SA_UNDO, &OptionsValues::separate_auto_undo},
    {IDC_OPT_CHK_WHOLE_NUMBERS, &OptionsValues::whole_numbers},
    {IDC_OPT_CHK_SHOW_PERM_ERRORS, &OptionsValues::show_permission_errors},
    {IDC_OPT_CHK_REG_ERRORS, &OptionsValues::fix_permissions},
};

struct Hint {
  int id;
  const wchar_t* text;
};
constexpr Hint kHints[] = {
    {IDC_OPT_BTN_BROWSE, L"Browse to the Required Undo Directory"},
    {IDC_OPT_CHK_ENABLE_DELETE,
     L"Enable this option to do a Search and Delete rather than a Search and Replace"},
    {IDC_OPT_CHK_WHOLE_NUMBERS,
     L"Enable this option to search Whole Numbers when the Key is a Binary or Dword Type"},
    {IDC_OPT_CHK_AUTO_START, L"Get Keyloom to Automatically Start a Search and Replace on Startup"},
    {IDC_OPT_CHK_AUTO_CLOSE,
     L"Get Keyloom to Automatically Shutdown after the Search and Replace has finished"},
    {IDC_OPT_CHK_UPDATE_INI,
     L"Specify if you want the INI file to be updated automatically or not."},
    {IDC_OPT_CHK_WARN, L"Turn the Warning for Key Names On or Off"},
    {IDC_OPT_BTN_BACKUP, L"Backup the currently selected Key to a Registry Hive"},
    {IDC_OPT_BTN_RESTORE, L"Restore a Hive Backup to the currently selected Key"},
    {IDC_OPT_BTN_REPLACE, L"Replace a Registry Hive on next boot with one of your backups"},
    {IDC_OPT_BTN_LOAD, L"Load a Backup File to Examine it"},
    {IDC_OPT_BTN_UNLOAD, L"Unload the Backup File that is currently Loaded"},
};

constexpr int PageOf(int id) { return (id - IDC_OPT_FIRST_PAGE_ID) / IDC_OPT_PAGE_ID_STEP; }

void AddItem(HWND combo, std::string_view item) {
  const std::wstring text = ToWide(item);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The combo's selected index, or `fallback` when nothing is selected.
int SelectionOr(HWND combo, int fallback) {
  const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? fallback : static_cast<int>(index);
}

// The folder picker starts at the folder passed in its data.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

}  // namespace

TfrmOptions::~TfrmOptions() { FormDestroy(); }

bool TfrmOptions::Show(HINSTANCE instance, HWND owner) {
  owner_ = owner;
  return DoModal(instance, IDD_OPTIONS, owner) == IDOK;
}

bool TfrmOptions::OnInit() {
  Arrange();
  HWND pages = Item(IDC_OPT_PAGES);
  for (int page = 0; page < kPageCount; ++page) {
    std::wstring title = ToWide(kOptionsPageTitles[static_cast<std::size_t>(page)]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title.data();
    SendMessageW(pages, TCM_INSERTITEMW, static_cast<WPARAM>(page),
                 reinterpret_cast<LPARAM>(&item));
  }
  PlacePages();
  AddHints();
  FormCreate();
  active_ = this;
  filter_ = SetWindowsHookExW(WH_MSGFILTER, MessageFilter, nullptr, GetCurrentThreadId());
  CenterOn(owner_);
  ShowPage(0, true);
  return false;  // the focus is set
}

// Client area 398 by 235 design units: the tab control fills it above the panel of Save and
// Cancel.
void TfrmOptions::Arrange() {
  const int dpi = WindowDpi(hwnd());
  auto px = [dpi](int design) { return ScaleToDpi(design, dpi); };
  const int width = px(kClientWidth), height = px(kClientHeight);
  const SIZE frame = FrameSizeForClient(hwnd(), width, height, dpi);
  SetWindowPos(hwnd(), nullptr, 0, 0, frame.cx, frame.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  MoveWindow(Item(IDC_OPT_PAGES), 0, 0, width, height - px(kPanelHeight), FALSE);
  const int top = height - px(kPanelHeight) + (px(kPanelHeight) - px(kButtonHeight)) / 2;
  MoveWindow(Item(IDCANCEL), width - px(kMargin + kButtonWidth), top, px(kButtonWidth),
             px(kButtonHeight), FALSE);
  MoveWindow(Item(IDOK), width - px(2 * (kMargin + kButtonWidth)), top, px(kButtonWidth),
             px(kButtonHeight), FALSE);
}

// The page controls, placed relative to their page, move into the tab control's display area
// (below one or two rows of page titles). Pages and their controls take the tab's background.
void TfrmOptions::PlacePages() {
  HWND pages = Item(IDC_OPT_PAGES);
  RECT display{};
  GetClientRect(pages, &display);
  SendMessageW(pages, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  MapWindowPoints(pages, hwnd(), reinterpret_cast<POINT*>(&display), 2);
  for (int id = IDC_OPT_FIRST_PAGE_ID; id <= IDC_OPT_LAST_PAGE_ID; ++id) {
    HWND control = Item(id);
    if (control == nullptr) continue;
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    SetWindowPos(control, nullptr, rect.left + display.left, rect.top + display.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  using EnableThemeDialogTextureFn = HRESULT(WINAPI*)(HWND, DWORD);
  if (HMODULE theme = LoadLibraryW(L"uxtheme.dll")) {
    constexpr DWORD kEnableTab = 0x00000006;  // ETDT_ENABLE | ETDT_USETABTEXTURE
    if (auto enable = reinterpret_cast<EnableThemeDialogTextureFn>(
            reinterpret_cast<void*>(GetProcAddress(theme, "EnableThemeDialogTexture")))) {
      enable(hwnd(), kEnableTab);
    }
  }
}

void TfrmOptions::AddHints() {
  tooltip_ = CreateHintWindow(
      hwnd(), reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd(), GWLP_HINSTANCE)));
  for (const Hint& hint : kHints) AddHint(tooltip_, hwnd(), Item(hint.id), hint.text);
}

// The controls take the settings: the undo folder, the check boxes, the root list, the logging
// level, the open-file dialog's folder, the undo kind. The click rules run as they do for the
// user, except that no warning is shown while the dialog is not yet visible.
void TfrmOptions::FormCreate() {
  const OptionsValues v = OptionsFromSettings(settings_.Snapshot());
  SetWindowTextUtf8(Item(IDC_OPT_EDT_UNDO_DIR), v.undo_dir);
  for (const Box& box : kBoxes) SetChecked(Item(box.id), v.*box.value);
  chkAutoClick();
  chkEnableDeleteClick();

  HWND roots = Item(IDC_OPT_CMB_KEY_ROOT_LIST);
  AddItem(roots, "<none selected>");
  for (const reg::RootKey& root : reg::RootKeys()) AddItem(roots, root.name);
  Select(roots, 0);

  HWND levels = Item(IDC_OPT_CMB_LOGGING_LEVEL);
  for (std::string_view name : kLoggingLevelNames) AddItem(levels, name);
  Select(levels, v.logging);  // a level outside the list selects nothing

  hive_folder_ = context_.program.folder + "RegBack";
  hive_window_ = std::make_unique<OptionsHiveWindow>(
      hwnd(), reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd(), GWLP_HINSTANCE)), hive_folder_,
      [this](const std::string& title) { return OpenHiveFile(title); }, open_editor_);
  hives_ = std::make_unique<HiveMaintenance>(
      *hive_window_, HiveMaintenance::Options{context_.api, hive_folder_, base::TodayLocalDate});

  HWND kinds = Item(IDC_OPT_CMB_DEFAULT_UNDO);
  for (const char* kind : kUndoKinds) AddItem(kinds, kind);
  Select(kinds, v.default_undo);

  chkRegErrorsClick();
  cmbLoggingLevelChange();
}

void TfrmOptions::FormDestroy() {
  if (filter_ != nullptr) UnhookWindowsHookEx(filter_);
  filter_ = nullptr;
  if (active_ == this) active_ = nullptr;
}

bool TfrmOptions::OnCommand(int id, int code, HWND control) {
  static constexpr CommandRoute<TfrmOptions> kRoutes[] = {
      {IDC_OPT_BTN_BROWSE, BN_CLICKED, &TfrmOptions::btnBrowseClick},
      {IDC_OPT_CHK_ENABLE_DELETE, BN_CLICKED, &TfrmOptions::chkEnableDeleteClick},
      {IDC_OPT_CHK_AUTO_START, BN_CLICKED, &TfrmOptions::chkAutoClick},
      {IDC_OPT_CHK_AUTO_CLOSE, BN_CLICKED, &TfrmOptions::chkAutoClick},
      {IDC_OPT_CHK_REG_ERRORS, BN_CLICKED, &TfrmOptions::chkRegErrorsClick},
      {IDC_OPT_CMB_LOGGING_LEVEL, CBN_SELCHANGE, &TfrmOptions::cmbLoggingLevelChange},
      {IDC_OPT_BTN_BACKUP, BN_CLICKED, &TfrmOptions::btnBackupClick},
      {IDC_OPT_BTN_RESTORE, BN_CLICKED, &TfrmOptions::btnRestoreClick},
      {IDC_OPT_BTN_REPLACE, BN_CLICKED, &TfrmOptions::btnReplaceClick},
      {IDC_OPT_BTN_LOAD, BN_CLICKED, &TfrmOptions::btnLoadClick},
      {IDC_OPT_BTN_UNLOAD, BN_CLICKED, &TfrmOptions::btnUnloadClick},
  };
  return RouteCommand(*this, kRoutes, id, code) || Dialog::OnCommand(id, code, control);
}

bool TfrmOptions::OnMessage(UINT message, WPARAM, LPARAM lparam) {
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lparam);
    if (header->idFrom == IDC_OPT_PAGES && header->code == TCN_SELCHANGE) {
      ShowPage(CurrentPage(), false);
      return true;
    }
  } else if (message == WM_DESTROY) {
    FormDestroy();
  }
  return false;
}

// ---- Save and Cancel ----

OptionsValues TfrmOptions::ReadControls() const {
  // Combos with nothing selected keep their setting.
  OptionsValues v = OptionsFromSettings(settings_.Snapshot());
  v.undo_dir = WindowTextUtf8(Item(IDC_OPT_EDT_UNDO_DIR));
  for (const Box& box : kBoxes) v.*box.value = IsChecked(Item(box.id));
  v.logging = SelectionOr(Item(IDC_OPT_CMB_LOGGING_LEVEL), v.logging);
  v.default_undo = SelectionOr(Item(IDC_OPT_CMB_DEFAULT_UNDO), v.default_undo);
  return v;
}

// The settings take the controls in one step (a run reads them whole, from then on); the main
// window then shows them and writes the file; the dialog closes even when that write failed.
void TfrmOptions::btnSaveClick() {
  const OptionsValues values = ReadControls();
  settings_.Update([&](Settings& s) { ApplyOptions(values, s); });
  if (saved_) saved_();
  End(IDOK);
}

void TfrmOptions::btnCancelClick() { End(IDCANCEL); }

// ---- Controls ----

void TfrmOptions::chkAutoClick() {
  const bool enabled = HideWindowEnabled(IsChecked(Item(IDC_OPT_CHK_AUTO_START)),
                                         IsChecked(Item(IDC_OPT_CHK_AUTO_CLOSE)));
  EnableWindow(Item(IDC_OPT_CHK_AUTO_HIDE), enabled ? TRUE : FALSE);  // the mark stays
}

void TfrmOptions::chkEnableDeleteClick() {
  WarnOnUserCheck(IDC_OPT_CHK_ENABLE_DELETE, kDeleteWarning);
}

void TfrmOptions::chkRegErrorsClick() { WarnOnUserCheck(IDC_OPT_CHK_REG_ERRORS, kSecurityWarning); }

void TfrmOptions::WarnOnUserCheck(int id, const char* text) {
  if (!IsWindowVisible(hwnd()) || !IsChecked(Item(id))) return;
  MessageBoxW(hwnd(), ToWide(text).c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
}

void TfrmOptions::cmbLoggingLevelChange() {
  const LRESULT level = SendMessageW(Item(IDC_OPT_CMB_LOGGING_LEVEL), CB_GETCURSEL, 0, 0);
  if (const auto detail = LoggingLevelDetail(static_cast<int>(level))) {
    SetWindowTextUtf8(Item(IDC_OPT_LBL_LOG_LEVEL_DETAIL), *detail);
  }
}

// A shell folder picker that can make a new folder, starting at the undo folder shown.
void TfrmOptions::btnBrowseClick() {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  std::wstring start = WindowTextW(Item(IDC_OPT_EDT_UNDO_DIR));
  if (start.size() > 3 && start.back() == L'\\') start.pop_back();  // "C:\" stays as it is
  BROWSEINFOW browse{};
  browse.hwndOwner = hwnd();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  browse.lpfn = BrowseCallback;
  browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
  if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse)) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(chosen, path) && path[0] != L'\0') {
      std::wstring folder = path;
      if (folder.back() != L'\\') folder += L'\\';
      SetWindowTextW(Item(IDC_OPT_EDT_UNDO_DIR), folder.c_str());
    }
    CoTaskMemFree(chosen);
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

std::optional<std::string> TfrmOptions::OpenHiveFile(const std::string& title) {
  CreateDirectoryW(ToWide(hive_folder_).c_str(), nullptr);  // one level; a failure shows there
  return PickFile(hwnd(), false, title, hive_folder_, "");
}

// ---- Hive maintenance ----

int TfrmOptions::SelectedRoot() const { return SelectionOr(Item(IDC_OPT_CMB_KEY_ROOT_LIST), 0); }

void TfrmOptions::btnBackupClick() { hives_->btnBackupClick(SelectedRoot()); }
void TfrmOptions::btnRestoreClick() { hives_->btnRestoreClick(SelectedRoot()); }
void TfrmOptions::btnReplaceClick() { hives_->btnReplaceClick(SelectedRoot()); }
void TfrmOptions::btnLoadClick() { hives_->btnLoadClick(); }
void TfrmOptions::btnUnloadClick() { hives_->btnUnloadClick(); }

// ---- Pages and keys ----

int TfrmOptions::CurrentPage() const {
  const LRESULT page = SendMessageW(Item(IDC_OPT_PAGES), TCM_GETCURSEL, 0, 0);
  return page < 0 ? 0 : static_cast<int>(page);
}

void TfrmOptions::ShowPage(int page, bool focus_first_control) {
  HWND pages = Item(IDC_OPT_PAGES);
  SendMessageW(pages, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  HWND first = nullptr;
  for (int id = IDC_OPT_FIRST_PAGE_ID; id <= IDC_OPT_LAST_PAGE_ID; ++id) {
    HWND control = Item(id);
    if (control == nullptr) continue;
    const bool shown = PageOf(id) == page;
    ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
    if (shown && first == nullptr && IsWindowEnabled(control) &&
        (GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP)) {
      first = control;
    }
  }
  if (focus_first_control) {
    SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first ? first : pages), TRUE);
  }
}

bool TfrmOptions::OwnsMnemonic(char letter) const {
  for (HWND child = GetWindow(hwnd(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (child == Item(IDC_OPT_PAGES) || !IsWindowVisible(child) || !IsWindowEnabled(child)) {
      continue;
    }
    if (MnemonicOf(WindowTextUtf8(child)) == MnemonicOf(std::string{'&', letter})) return true;
  }
  return false;
}

bool TfrmOptions::PreTranslate(const MSG& message) {
  const bool control_down = GetKeyState(VK_CONTROL) < 0;
  if (message.message == WM_KEYDOWN && control_down) {
    const bool shift_down = GetKeyState(VK_SHIFT) < 0;
    if (message.wParam == VK_TAB || message.wParam == VK_NEXT || message.wParam == VK_PRIOR) {
      const bool backwards = message.wParam == VK_PRIOR || (message.wParam == VK_TAB && shift_down);
      ShowPage(NextPage(CurrentPage(), backwards), true);
      return true;
    }
  }
  if (message.message == WM_SYSCHAR && message.wParam < 0x80) {
    const char letter = static_cast<char>(message.wParam);
    if (OwnsMnemonic(letter)) return false;  // the dialog manager presses that control
    if (const std::optional<int> page = PageWithMnemonic(letter)) {
      ShowPage(*page, true);
      return true;
    }
  }
  return false;
}

LRESULT CALLBACK TfrmOptions::MessageFilter(int code, WPARAM wparam, LPARAM lparam) {
  TfrmOptions* self = active_;
  if (code >= 0 && self != nullptr && self->hwnd() != nullptr) {
    const MSG& message = *reinterpret_cast<const MSG*>(lparam);
    HWND dialog = self->hwnd();
    if ((message.hwnd == dialog || IsChild(dialog, message.hwnd)) &&
        Guarded(false, [&] { return self->PreTranslate(message); })) {
      return TRUE;
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace keyloom::shell
