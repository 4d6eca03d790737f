// The steps around an export of the Key List and the saving of the status log: the refusal while
// a run is going, the save dialog, the question before an existing file is replaced, the status
// bar while the export runs, and what is said at its end. The window answers the questions through
// ExportHost; the writing itself (list_export.h) may run on another thread between BeginExport
// and FinishExport.
//
// An existing file is never deleted up front: the new one is written beside it and renamed over
// it once complete, so "No" to the erase question, a cancel and a failed write all leave the file
// as it was. A file that cannot be replaced (read-only, locked, a folder) is refused with
// "Unable to Delete file" before anything is written.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_io.h"
#include "files/list_export.h"

namespace keyloom::files {

enum class ExportKind {
  kCsv = 1,
  kReg = 3,
};

// The save dialog: its title, its filter (description|pattern pairs joined by "|") and the
// extension added to a name typed without one.
struct SaveDialogOptions {
  std::string title;
  std::string filter;
  std::string default_extension;
};

SaveDialogOptions ExportDialogOptions(ExportKind kind);
SaveDialogOptions LogDialogOptions();

// What the export steps need of the window.
class ExportHost {
 public:
  virtual ~ExportHost() = default;
  // A search or replace run is in progress.
  virtual bool RunInProgress() = 0;
  // Enables or disables the Search, Replace and remote-machine buttons.
  virtual void EnableRunButtons(bool enabled) = 0;
  // The save dialog, its file name field empty; the chosen file (UTF-8), nullopt on cancel. The
  // dialog itself asks nothing about existing files.
  virtual std::optional<std::string> PickSaveFile(const SaveDialogOptions& dialog) = 0;
  // A Yes/No question; true for Yes.
  virtual bool Confirm(const std::string& question) = 0;
  // An error message with OK.
  virtual void ShowError(const std::string& text) = 0;
  virtual void SetStatusBar(const std::string& text) = 0;
  // StatusLog at the normal level.
  virtual void Log(const std::string& line) = 0;
  // The unattended mode: no status bar text.
  virtual bool Silent() = 0;
};

inline constexpr std::string_view kExportBarText = "Please wait Creating export file";
// The bar's next text while an export runs: one more ".", or the bare text again once the current
// one is longer than 50 characters.
std::string NextExportBarText(std::string_view current);

// ExportFile up to the writing: nothing for an empty list or an unknown kind; the refusal line
// while a run is in progress; otherwise the run buttons are disabled, the user picks the file and
// agrees to replace an existing one, and the bar shows kExportBarText. Returns the file to write,
// or nullopt when nothing is to be written (the buttons are then enabled again).
std::optional<std::filesystem::path> BeginExport(ExportHost& host, ExportKind kind,
                                                 std::size_t row_count);

// Writes the export of `kind` (between BeginExport and FinishExport; any thread).
ExportOutcome WriteExport(ExportKind kind, const std::filesystem::path& file,
                          const ExportRows& rows, const ExportContext& context,
                          ExportProgress* progress = nullptr);

// The end of an export: "** File Saved **", the cancel line or "File I/O error." followed by
// `failure` (FileFailureText) in brackets; the run buttons are enabled again.
void FinishExport(ExportHost& host, ExportOutcome outcome, const std::string& failure = {});

// "File I/O error." and, when known, the failed file and why: "File I/O error. [C:\x\list.csv:
// Access is denied.]".
std::string FileIoErrorText(const std::string& failure);

// The whole export on the calling thread.
void ExportFile(ExportHost& host, ExportKind kind, const ExportRows& rows,
                const ExportContext& context);

// SavetoLogfile1Click: `bytes` (the log's text) to a file the user picks. `writer` replaces the
// file writing in tests.
void SaveLogFile(ExportHost& host, std::string_view bytes, const base::TempFileWriter& writer = {});

}  // namespace keyloom::files
