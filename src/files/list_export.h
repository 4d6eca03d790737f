// The Key List's exports: every listed item read afresh from the registry and written as
// comma-separated text or as a registry editor file that recreates the items when merged.
//
// CSV: no header line; one line per row, "root,key path,value name,value text", each ending in
// CR LF, UTF-8 with a byte-order mark (so spreadsheets read every character). The value text is
// the value's plain form; a key row and a row of the unnamed value carry an empty value name and
// the text of the key's unnamed value. A row in a user's hive from a run over every user's profile
// has a fifth field, the user (the profile folder's name); other rows end with the value text. A
// field holding a comma, a double quote, CR or LF is put in double quotes with its double quotes
// doubled (RFC 4180), so a byte list such as 01,02 stays one field; every other field is written
// bare.
//
// REG: the undo files' format (UTF-16LE): their four header lines naming the machine, then
// per row an empty line, the key's bracket line and the row's value line, or for a key row and a
// row of the unnamed value the key's whole tree.
//
// Both write beside the chosen file and rename over it only once the file is complete: a failed
// or cancelled export leaves the former file as it was.
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_io.h"
#include "files/change_settings.h"
#include "files/registry_snapshot.h"
#include "registry/mounted_hives.h"

namespace keyloom::files {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// One listed item as the exports read it.
struct ExportItem {
  std::string root;        // the root's long name, HKEY_CLASSES_ROOT ... HKEY_CURRENT_CONFIG
  std::string path;        // the key path, beginning with "\"
  std::string value_name;  // as the registry names it: empty for a key row and the unnamed value
  std::string user = {};   // the profile folder's name of the hive holding the item, or empty
};

// The rows of a list, read by index on the export's thread. The list must not change while an
// export reads it.
class ExportRows {
 public:
  virtual ~ExportRows() = default;
  virtual std::size_t size() const = 0;
  // nullopt for a row that is not a result row; the export skips it.
  virtual std::optional<ExportItem> Item(std::size_t index) const = 0;
};

// Shared between an export's thread and the window that shows it.
struct ExportProgress {
  std::atomic<std::size_t> rows_done{0};
  std::atomic<bool> cancel{false};  // set by the window: the export stops, the file stays as it was
  // Set by a failed export before it returns: the file and the system's words for the failure
  // ("C:\x\list.csv: Access is denied").
  std::string failure;
};

enum class ExportOutcome {
  kSaved,
  kCancelled,     // the former file is untouched
  kCannotCreate,  // the file could not be created; nothing was written
  kWriteFailed,   // writing or replacing failed; the former file is untouched
};

// What an export reads and writes with.
struct ExportContext {
  RegistryReader reader;    // reads the values (CSV) and the records (REG); its api is required
  ChangeSettings settings;  // the view and the machine (its target) the items are read in
  // Status log lines: "Error access Key : " + root + path for a row that cannot be read.
  std::function<void(const std::string&)> log;
  // Writes the file's bytes; tests replace it to simulate a full disk.
  base::FileReplacement::Writer writer;
  // The users' hives the rows lie in, which a run over every user's profile loaded and unloaded:
  // loaded again by the same names for the export's time (one that cannot be is logged, and its
  // rows with it).
  std::vector<reg::HiveMount> hives = {};
};

// A CSV field: bare, or quoted when it holds a comma, a double quote, CR or LF.
std::string CsvField(std::string_view text);
// One CSV line without its line end: root, path, value name and value text, and the user when
// the item has one.
std::string CsvLine(const ExportItem& item, std::string_view value_text);

// Writes the rows as CSV to `file`. `progress` (optional) counts the rows done and may cancel.
ExportOutcome WriteCsvExport(const std::filesystem::path& file, const ExportRows& rows,
                             const ExportContext& context, ExportProgress* progress = nullptr);

// Writes the rows as a registry editor file to `file`: the undo files' header naming the
// context's machine, then every row's lines as the registry snapshot reads them.
ExportOutcome WriteRegExport(const std::filesystem::path& file, const ExportRows& rows,
                             const ExportContext& context, ExportProgress* progress = nullptr);

// A fleet's hits: each machine's rows, read in its own context.
struct MachineRows {
  std::string machine;  // the Machine column: the computer's name
  const ExportRows* rows = nullptr;
  ExportContext context;
};

// The CSV export of several machines' rows in one file: each line begins with its machine's name
// (the Machine column), then the columns of WriteCsvExport. `failure` receives the file and the
// reason when it is not saved.
ExportOutcome WriteMachinesCsvExport(const std::filesystem::path& file,
                                     const std::vector<MachineRows>& machines,
                                     const base::FileReplacement::Writer& writer,
                                     std::string* failure);

// A failed file's path and the system's words for the failure: "C:\x\list.csv: Access is
// denied." (an unknown reason reads "unknown error").
std::string FileFailureText(std::string_view file, std::string_view reason);

// The saved status log's bytes: UTF-8 with a byte-order mark, every line followed by CR LF.
std::string LogFileBytes(const std::vector<std::string>& lines);

}  // namespace keyloom::files
