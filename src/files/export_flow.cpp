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

std::string FileIoErrorText(const std::string& failure) {
  if (failure.empty()) return std::string(kIoError);
  return std::string(kIoError) + " [" + failure + "]";
}

void FinishExport(ExportHost& host, ExportOutcome outcome, const std::string& failure) {
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
      host.ShowError(FileIoErrorText(failure));
      break;
  }
}

void ExportFile(ExportHost& host, ExportKind kind, const ExportRows& rows,
                const ExportContext& context) {
  const std::optional<std::filesystem::path> target = BeginExport(host, kind, rows.size());
  if (!target) return;
  ExportOutcome outcome = ExportOutcome::kWriteFailed;
  ExportProgress progress;
  try {
    outcome = WriteExport(kind, *target, rows, context, &progress);
  } catch (...) {
    // A failure of any kind leaves the former file and says so below.
  }
  FinishExport(host, outcome, progress.failure);
}

void SaveLogFile(ExportHost& host, std::string_view bytes, const base::TempFileWriter& writer) {
  const std::optional<std::filesystem::path> target = ChooseTarget(host, LogDialogOptions());
  if (!target) return;
  std::string reason;
  if (!base::WriteFileAtomically(*target, bytes, writer, &reason)) {
    host.ShowError(FileIoErrorText(FileFailureText(base::PathToUtf8(*target), reason)));
  }
}

}  // namespace keyloom::files
