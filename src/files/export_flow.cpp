#include "files/export_flow.h"

#include <system_error>

#include "base/utf8_path.h"

namespace keyloom::files {
namespace {

constexpr std::size_t kLongestBarText = 50;
constexpr std::string_view kCancelledLine = "Export cancelled, the file was not written.";
constexpr std::string_view kIoError = "File I/O error.";

// The file the user picked and agreed to replace; nullopt when nothing is to be written.
std::optional<std::filesystem::path> ChooseTarget(ExportHost& host,
                                                  const SaveDialogOptions& dialog) {
  const std::optional<std::string> name = host.PickSaveFile(dialog);
  if (!name || name->empty()) return std::nullopt;
  const std::filesystem::path path = base::PathFromUtf8(*name);
  std::error_code error;
  if (std::filesystem::exists(path, error) || error) {
    if (!host.Confirm("Erase " + *name + "?")) return std::nullopt;
    if (!base::CanReplaceFile(path)) {
      host.ShowError("Unable to Delete file");
      return std::nullopt;
    }
  }
  return path;
}

}  // namespace

SaveDialogOptions ExportDialogOptions(ExportKind kind) {
  if (kind == ExportKind::kReg) return {"Save REG File", "REG File|*.reg|All Files|*.*", "reg"};
  return {"Save CSV List", "Comma Delimited|*.csv|Text File|*.txt|All Files|*.*", "csv"};
}

SaveDialogOptions LogDialogOptions() {
  return {"Save Log File", "Log Files|*.log|Text File|*.txt|All Files|*.*", "log"};
}

std::string NextExportBarText(std::string_view current) {
  if (current.size() > kLongestBarText) return std::string(kExportBarText);
  std::string next(current);
  next += '.';
  return next;
}

std::optional<std::filesystem::path> BeginExport(ExportHost& host, ExportKind kind,
                                                 std::size_t row_count) {
  if (row_count == 0) return std::nullopt;
  if (kind != ExportKind::kCsv && kind != ExportKind::kReg) return std::nullopt;
  if (host.RunInProgress()) {
    host.Log(kind == ExportKind::kCsv ? "You cannot \"Export to CSV File\" while searching.."
                                      : "You cannot \"Export to REG File\" while searching..");
    return std::nullopt;
  }
  host.EnableRunButtons(false);
  std::optional<std::filesystem::path> target;
  try {
    target = ChooseTarget(host, ExportDialogOptions(kind));
  } catch (...) {
    host.EnableRunButtons(true);
    throw;
  }
  if (!target) {
    host.EnableRunButtons(true);
    return std::nullopt;
  }
  if (!host.Silent()) host.SetStatusBar(std::string(kExportBarText));
  return target;
}

ExportOutcome WriteExport(ExportKind kind, const std::filesystem::path& file,
                          const ExportRows& rows, const ExportContext& context,
                          ExportProgress* progress) {
  return kind == ExportKind::kReg ? WriteRegExport(file, rows, context, progress)
                                  : WriteCsvExport(file, rows, context, progress);
}

void FinishExport(ExportHost& host, ExportOutcome outcome) {
  host.EnableRunButtons(true);
  switch (outcome) {
    case ExportOutcome::kSaved:
      host.Log("** File Saved **");
      break;
    case ExportOutcome::kCancelled:
      host.Log(std::string(kCancelledLine));
      break;
    case ExportOutcome::kCannotCreate:
    case ExportOutcome::kWriteFailed:
      if (!host.Silent()) host.SetStatusBar("");
      host.ShowError(std::string(kIoError));
      break;
  }
}

void ExportFile(ExportHost& host, ExportKind kind, const ExportRows& rows,
                const ExportContext& context) {
  const std::optional<std::filesystem::path> target = BeginExport(host, kind, rows.size());
  if (!target) return;
  ExportOutcome outcome = ExportOutcome::kWriteFailed;
  try {
    outcome = WriteExport(kind, *target, rows, context);
  } catch (...) {
    // A failure of any kind leaves the former file and says so below.
  }
  FinishExport(host, outcome);
}

void SaveLogFile(ExportHost& host, const std::vector<std::string>& lines,
                 const base::TempFileWriter& writer) {
  const std::optional<std::filesystem::path> target = ChooseTarget(host, LogDialogOptions());
  if (!target) return;
  if (!base::WriteFileAtomically(*target, LogFileBytes(lines), writer)) {
    host.ShowError(std::string(kIoError));
  }
}

}  // namespace keyloom::files
