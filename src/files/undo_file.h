// UndoFile: the undo writer. Before the registry actions change an item they have it append the
// item's former state to the current undo file, a registry editor file (version 5.00, UTF-16LE
// with a byte-order mark and CR LF, as the registry editor writes its own), so that merging the
// file with the registry editor takes the changes back. The REG export of the Key List writes its
// records with the same record code (ExportLines).
//
// Files: the undo folder + "UNDO-" + yyyymmdd + "-" + the undo counter ("%.3d") + ".REG". A record
// before a change (phase kBefore) starts a new file when the new-file flag is up (raised at program
// start and at the start of every run) or with SAUNDO on; the counter then moves past every number
// of the day that the folder's files and its run journal have used (see undo_numbering.h). A new
// file is created exclusively, with its four header lines and its first record in one write: when
// another writer (another run, another process) has taken the name meanwhile, the next number is
// taken. Every other record goes to the current file, the one this writer created, also after
// midnight; a writer never appends to a file it did not create. A failed append is cut off again.
//
// A change made in several registry steps (a rename: copy, then delete) is recorded with one
// RecordAll before its first step: what takes back every step, in one write that reaches the disk
// before the change starts, so a run killed at any point leaves a file that restores it.
//
// Bracket lines name each key by the path under which the 64-bit registry editor, which a double
// click on the file starts on 64-bit Windows, reaches the key of the view the change was made in
// (see editor_path.h): a key of the 32-bit view of HKEY_LOCAL_MACHINE\Software\X is written as
// HKEY_LOCAL_MACHINE\Software\Wow6432Node\X. The ledger knows items by the same names.
//
// One file may hold many changes (SAUNDO off): it records only the first before-state of each item
// and nothing about items it already removes (see undo_ledger.h), so merging it brings back the
// state from before its first record. With SAUNDO on, merging the files newest first does.
//
// Record is serialised: a manual change during a replace run never interleaves records with the
// run's or picks the same file number. A record that cannot be written is reported to the caller,
// which then does not make the change.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/change_settings.h"
#include "files/undo_ledger.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::files {

// The web-site domain header line 3 names.
inline constexpr std::string_view kProductDomain = "keyloom.dev";

enum class RecordKind {
  kRename = 1,  // before a rename or a key delete (a key: its whole tree), and after a rename
  kUpdate = 2,  // before a value's data changes or the value is deleted
  kExport = 3,  // a record of the REG export (ExportLines): no undo file, no counter, no ledger
};

enum class RecordPhase {
  kBefore = 1,
  kAfter = 2,  // after a rename: the removal of what the rename created
};

struct UndoRequest {
  reg::KeyHandle root = reg::kNullKey;
  // Below the root; a missing leading "\" is put in front in the file.
  std::string key_path;
  // The value concerned. Empty means the key itself for kRename and kExport, unless
  // `unnamed_value` is set; for kUpdate it always means the key's unnamed value.
  std::string value_name;
  bool unnamed_value = false;
  RecordPhase phase = RecordPhase::kBefore;
  RecordKind kind = RecordKind::kRename;
  // "" for the local registry, else the form of SearchMachine.
  std::string machine_name;
};

// Value text forms.
enum class ValueForm {
  kRecord,  // the value line of a registry editor file
  kPlain,   // the plain text of the CSV export
};

// What the records of one export share: for each root (and the machine, when one is named) one
// view of the registry, connected once, and the name of the key asked about last, so that the
// values of one key are named with one question. Made for one export; UndoFile fills it.
class ExportSession {
 public:
  ExportSession();
  ~ExportSession();
  ExportSession(const ExportSession&) = delete;
  ExportSession& operator=(const ExportSession&) = delete;

  struct Sources;  // known to the undo writer alone
  Sources& sources() { return *sources_; }

 private:
  std::unique_ptr<Sources> sources_;
};

class UndoFile {
 public:
  // `log` receives status log lines; `today` gives the date for file names as "yyyymmdd" (local
  // time when not given); `debug_log` receives lines for the debug log file alone.
  UndoFile(reg::RegApi& api, std::function<void(const std::string&)> log,
           std::function<std::string()> today = {},
           std::function<void(const std::string&)> debug_log = {});
  UndoFile(const UndoFile&) = delete;
  UndoFile& operator=(const UndoFile&) = delete;

  // Appends one undo record (kRename or kUpdate). Returns "" when the record was written or
  // nothing had to be written (a kUpdate of a value that does not exist, an item the file already
  // restores), else "Unable to write to undo file in " + the undo folder + " [" + reason + "]":
  // the file is left as it was, and an action must not make its change. DEFAULTUNDO other than 0
  // asks for a form of undo file that is not defined: .REG files are written all the same, and
  // the first record of each run says so in the status log. A kExport request writes
  // nothing and says so: export records are collected with ExportLines.
  std::string Record(const UndoRequest& request, const ChangeSettings& settings);
  // The records of several requests as one record of one change, in this order, written in one
  // step to one file (the file the first request chooses): all of them or none.
  std::string RecordAll(const std::vector<UndoRequest>& requests, const ChangeSettings& settings);

  // The lines an export record (kind kExport, whatever `request.kind` says) adds to its file, for a
  // writer that streams many records into one file instead of appending each by name. What cannot
  // be read is left out, as Record does; "" or the reason nothing could be collected.
  // With `session`, the export's records share its connections and names.
  std::string ExportLines(const UndoRequest& request, const ChangeSettings& settings,
                          std::vector<std::string>* lines, ExportSession* session = nullptr);

  // One value of a key as text. "" when the value does not exist, the key cannot be opened or the
  // machine cannot be reached (which is logged).
  std::string ValueText(reg::KeyHandle root, std::string_view key_path, std::string_view value_name,
                        std::string_view machine_name, ValueForm form,
                        const ChangeSettings& settings);
  // The same, but nullopt (with the reason in `error` when given) when the machine cannot be
  // reached or the key cannot be opened, so that a caller can tell a value that does not exist
  // ("") from one it could not read.
  std::optional<std::string> ReadValueText(reg::KeyHandle root, std::string_view key_path,
                                           std::string_view value_name,
                                           std::string_view machine_name, ValueForm form,
                                           const ChangeSettings& settings,
                                           std::string* error = nullptr,
                                           ExportSession* session = nullptr);

  // Raised at the start of every search or replace run: the next before-change record starts a
  // new file, numbered past what the folder has used by then.
  void RaiseNewFileFlag();
  bool NewFileFlag() const;

  // `written` is told the file of every undo record written (the run journal listens).
  void SetWrittenObserver(std::function<void(const std::string&)> written);
  int Counter() const;

  // The current file: the one the next record that starts no file goes to.
  std::string CurrentFileName(const ChangeSettings& settings) const;

  // The header lines of a new file for `machine_name`.
  static std::vector<std::string> HeaderLines(std::string_view machine_name);

 private:
  std::string FileNameFor(const ChangeSettings& settings, int counter) const;
  // Whether the record of `request` starts a new file; if so, names it (not made yet).
  void ChooseFile(const UndoRequest& request, const ChangeSettings& settings);
  // Names the next new file: past every number used in the folder today and every number this
  // writer has tried.
  void NameNewFile(const ChangeSettings& settings);
  // Writes the lines to the current file: a new one is created exclusively (the next number when
  // its name is taken), the writer's own one appended to. "" or the reason.
  std::string WriteLines(const std::string& machine_name, const std::vector<std::string>& lines,
                         const ChangeSettings& settings);
  // The record's lines and the ledger changes to apply once they are written; "" or the reason
  // the record cannot be written.
  std::string CollectRecord(const UndoRequest& request, const ChangeSettings& settings, bool undo,
                            std::vector<std::string>* lines,
                            std::vector<std::function<void(UndoLedger&)>>* ledger_changes,
                            ExportSession* session = nullptr);

  reg::RegApi* api_;
  std::function<void(const std::string&)> log_;
  std::function<std::string()> today_;
  std::function<void(const std::string&)> debug_log_;
  mutable std::mutex mutex_;
  int counter_ = 0;
  bool new_file_flag_ = true;
  std::string current_file_;  // "" until the first record names one
  std::string current_folder_;
  bool current_created_ = false;   // this writer created current_file_
  std::string numbering_day_;      // folder and date `highest_used_` is for
  int highest_used_ = 0;           // the highest number known used on that day in that folder
  bool form_noted_ = false;        // the run's note on DEFAULTUNDO is in the status log
  UndoLedger ledger_;
  std::function<void(const std::string&)> written_;
};

// Appends `lines`, each followed by CR LF, to `file`. A file that does not exist or is empty gets
// the byte-order mark and `header` first. An existing file is continued in its own encoding
// (UTF-16LE after FF FE, UTF-8 after EF BB BF; any other file only takes pure ASCII text). On
// failure the file is cut back to its former size (or removed when it was new) and the reason is
// returned; "" on success.
std::string AppendRegLines(const std::string& file, const std::vector<std::string>& header,
                           const std::vector<std::string>& lines);

}  // namespace keyloom::files
