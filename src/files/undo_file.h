// UndoFile: the undo writer. Before the registry actions change an item they have it append the
// item's former state to the current undo file, a registry editor file (version 5.00, UTF-16LE
// with a byte-order mark and CR LF, as the registry editor writes its own), so that merging the
// file with the registry editor takes the changes back. It reads the before-states with the
// registry snapshot reader (registry_snapshot.h), which the exports read with too, and refuses a
// record that reader could not read whole.
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
#include "files/registry_snapshot.h"
#include "files/undo_ledger.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::files {

enum class RecordKind {
  kRename = 1,  // before a rename or a key delete (a key: its whole tree), and after a rename
  kUpdate = 2,  // before a value's data changes or the value is deleted
};

enum class RecordPhase {
  kBefore = 1,
  kAfter = 2,  // after a rename: the removal of what the rename created
};

struct UndoRequest {
  reg::KeyHandle root = reg::kNullKey;
  // Below the root; a missing leading "\" is put in front in the file.
  std::string key_path;
  // The value concerned. Empty means the key itself for kRename, unless
  // `unnamed_value` is set; for kUpdate it always means the key's unnamed value.
  std::string value_name;
  bool unnamed_value = false;
  RecordPhase phase = RecordPhase::kBefore;
  RecordKind kind = RecordKind::kRename;
  // "" for the local registry, else the form of SearchMachine.
  std::string machine_name;
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

  // Appends one undo record. Returns "" when the record was written or nothing had to be written
  // (a kUpdate of a value that does not exist, an item the file already restores), else "Unable
  // to write to undo file in " + the undo folder + " [" + reason + "]": the file is left as it
  // was, and an action must not make its change. DEFAULTUNDO other than 0 asks for a form of undo
  // file that is not defined: .REG files are written all the same, and the first record of each
  // run says so in the status log.
  std::string Record(const UndoRequest& request, const ChangeSettings& settings);
  // The records of several requests as one record of one change, in this order, written in one
  // step to one file (the file the first request chooses): all of them or none.
  std::string RecordAll(const std::vector<UndoRequest>& requests, const ChangeSettings& settings);

  // Raised at the start of every search or replace run: the next before-change record starts a
  // new file, numbered past what the folder has used by then.
  void RaiseNewFileFlag();
  bool NewFileFlag() const;

  // `written` is told the file of every undo record written (the run journal listens).
  void SetWrittenObserver(std::function<void(const std::string&)> written);
  int Counter() const;

  // The current file: the one the next record that starts no file goes to.
  std::string CurrentFileName(const ChangeSettings& settings) const;

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
  std::string CollectRecord(const UndoRequest& request, const ChangeSettings& settings,
                            std::vector<std::string>* lines,
                            std::vector<std::function<void(UndoLedger&)>>* ledger_changes);

  RegistryReader reader_;
  std::function<std::string()> today_;
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
