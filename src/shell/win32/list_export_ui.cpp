#include "shell/win32/list_export_ui.h"

#include <commdlg.h>

#include <system_error>
#include <utility>
#include <vector>

#include "shell/about_text.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

// "description|pattern|..." as the dialog wants it: NUL-separated, ending in two NULs.
std::wstring DialogFilter(const std::string& filter) {
  std::wstring wide = ToWide(filter);
  for (wchar_t& c : wide) {
    if (c == L'|') c = L'\0';
  }
  wide.push_back(L'\0');
  wide.push_back(L'\0');
  return wide;
}

}  // namespace

ListExportUi::ListExportUi(ListExportDeps deps) : deps_(std::move(deps)) {
  menu_resource_ = LoadMenuW(deps_.instance, MAKEINTRESOURCEW(IDR_STATUS_MENU));
  status_menu_ = menu_resource_ != nullptr ? GetSubMenu(menu_resource_, 0) : nullptr;
}

ListExportUi::~ListExportUi() {
  Stop();
  if (menu_resource_ != nullptr) DestroyMenu(menu_resource_);
}

void ListExportUi::ExportFile(files::ExportKind kind) {
  if (Busy()) return;
  const KeyListRows& rows = deps_.key_list->rows();
  // A filtered or sorted list exports the rows it shows, in their order.
  const std::vector<std::size_t>* shown = deps_.key_list->ShownOrder();
  const std::optional<std::filesystem::path> target =
      files::BeginExport(*this, kind, deps_.key_list->ShownCount());
  if (!target) return;

  // The rows stay as they are until the worker is done.
  HWND list = deps_.key_list->hwnd();
  if (GetFocus() == list) SetFocus(deps_.status_list->hwnd());
  EnableWindow(list, FALSE);

  files::ExportContext context;
  context.reader = deps_.reader;
  context.settings = deps_.context->ChangeSettingsNow();
  context.log = [this](const std::string& line) { Log(line); };
  context.hives = rows.hives();
  rows_ = std::make_unique<KeyListExportRows>(rows, shown);
  progress_.rows_done = 0;
  progress_.cancel = false;
  progress_.failure.clear();
  done_ = false;
  bar_ = std::string(files::kExportBarText);
  pacer_ = OutputPacer();
  try {
    worker_ = std::thread([this, kind, file = *target, context = std::move(context)] {
      files::ExportOutcome outcome = files::ExportOutcome::kWriteFailed;
      try {
        outcome = files::WriteExport(kind, file, *rows_, context, &progress_);
      } catch (...) {
        // Reported as a failed write; the former file is untouched.
      }
      outcome_ = outcome;
      done_ = true;
    });
  } catch (const std::system_error&) {  // no thread: nothing was written
    outcome_ = files::ExportOutcome::kWriteFailed;
    rows_.reset();
    EnableWindow(list, TRUE);
    files::FinishExport(*this, outcome_);
    return;
  }
  started_ = std::chrono::steady_clock::now();
  total_ = static_cast<std::int64_t>(rows_->size());
  progress_throttle_ = ProgressThrottle(std::chrono::milliseconds(250));
  if (deps_.taskbar != nullptr) deps_.taskbar->Started(total_);
  ShowProgress();
  SetTimer(deps_.window, IDT_EXPORT_PROGRESS, kTickMs, nullptr);
}

void ListExportUi::ShowProgress() {
  const auto done = static_cast<std::int64_t>(progress_.rows_done.load());
  if (deps_.taskbar != nullptr) deps_.taskbar->Advanced(done, total_);
  if (Silent()) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_);
  const std::wstring text = ToWide(CountedProgressText("Rows", done, total_, elapsed));
  SendMessageW(deps_.status_bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

void ListExportUi::OnTimer() {
  if (!Busy()) return;
  if (done_) {
    Finish();
    return;
  }
  const auto start = OutputPacer::Clock::now();
  if (progress_throttle_.Take(start)) ShowProgress();
  if (Silent() || !pacer_.Due(start)) return;
  bar_ = files::NextExportBarText(bar_);
  SetStatusBar(bar_);
  pacer_.Shown(start, OutputPacer::Clock::now());
}

void ListExportUi::Finish() {
  KillTimer(deps_.window, IDT_EXPORT_PROGRESS);
  worker_.join();
  ShowProgress();
  if (deps_.taskbar != nullptr) {
    deps_.taskbar->Ended(outcome_ == files::ExportOutcome::kCannotCreate ||
                         outcome_ == files::ExportOutcome::kWriteFailed);
  }
  rows_.reset();
  EnableWindow(deps_.key_list->hwnd(), TRUE);
  files::FinishExport(*this, outcome_, progress_.failure);
}

void ListExportUi::Cancel() {
  if (Busy()) progress_.cancel = true;
}

void ListExportUi::Stop() {
  if (!Busy()) return;
  progress_.cancel = true;
  KillTimer(deps_.window, IDT_EXPORT_PROGRESS);
  worker_.join();
  rows_.reset();
}

// The whole log of the runs since the program started when it is kept, else the list's lines.
void ListExportUi::SaveLog() {
  std::string text;
  files::KeptLog* kept = deps_.context->kept_log;
  if (kept != nullptr && kept->SessionText(&text)) {
    files::SaveLogFile(*this, files::LogFileBytes({}) + text);
  } else {
    files::SaveLogFile(*this, files::LogFileBytes(deps_.status_list->Lines()));
  }
}

void ListExportUi::ShowStatusMenu(int x, int y) {
  if (status_menu_ == nullptr) return;
  if (x == -1 && y == -1) {  // from the keyboard: at the list's top left corner
    RECT rect{};
    GetWindowRect(deps_.status_list->hwnd(), &rect);
    x = rect.left + 8;
    y = rect.top + 8;
  }
  TrackPopupMenu(status_menu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, deps_.window, nullptr);
}

// ---- files::ExportHost ----

bool ListExportUi::RunInProgress() { return deps_.run_active(); }

void ListExportUi::EnableRunButtons(bool enabled) {
  for (const int id : {IDC_BTN_SEARCH, IDC_BTN_REPLACE, IDC_BTN_NETWORK}) {
    EnableWindow(GetDlgItem(deps_.window, id), enabled ? TRUE : FALSE);
  }
}

std::optional<std::string> ListExportUi::PickSaveFile(const files::SaveDialogOptions& dialog) {
  std::vector<wchar_t> name(32768, L'\0');  // the file name field starts empty every time
  const std::wstring title = ToWide(dialog.title);
  const std::wstring filter = DialogFilter(dialog.filter);
  const std::wstring extension = ToWide(dialog.default_extension);
  OPENFILENAMEW open{};
  open.lStructSize = sizeof(open);
  open.hwndOwner = deps_.window;
  open.lpstrFilter = filter.c_str();
  open.nFilterIndex = 1;
  open.lpstrFile = name.data();
  open.nMaxFile = static_cast<DWORD>(name.size());
  open.lpstrTitle = title.c_str();
  open.lpstrDefExt = extension.c_str();
  // No overwrite prompt: the program asks its own question about an existing file.
  open.Flags =
      OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING;
  if (!GetSaveFileNameW(&open)) return std::nullopt;
  return FromWide(name.data());
}

bool ListExportUi::Confirm(const std::string& question) {
  return MessageBoxW(deps_.window, ToWide(question).c_str(), kAppTitle,
                     MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ListExportUi::ShowError(const std::string& text) {
  MessageBoxW(deps_.window, ToWide(text).c_str(), kAppTitle, MB_OK | MB_ICONERROR);
}

void ListExportUi::SetStatusBar(const std::string& text) {
  const std::wstring wide = ToWide(text);
  SendMessageW(deps_.status_bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  UpdateWindow(deps_.status_bar);
}

void ListExportUi::Log(const std::string& line) { deps_.context->log(line, false); }

bool ListExportUi::Silent() { return deps_.context->silent; }

}  // namespace keyloom::shell
