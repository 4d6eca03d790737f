// The run journal: which undo files each run wrote, so that a whole run can be taken back from
// inside the program. It is a small UTF-8 text file beside the undo files, "UNDO-RUNS.TXT", with
// one block per run, in the order the runs were made:
//
//   [Run]
//   Date=2024-01-31 14:05:22
//   Find=old text
//   Replace=new text
//   Machine=\\SERVER          (empty for the local registry)
//   View=64-bit               (32-bit, 64-bit, or empty on 32-bit Windows)
//   File=UNDO-20240131-001.REG
//   File=UNDO-20240131-002.REG
//   Log=RUNLOG-20240131-140522.TXT  (the run's whole status log, beside its undo files)
//   Hive=KL_S-1-5-21-1-2-3-1001=C:\\Users\\ann\\NTUSER.DAT  (a user's hive the run loaded
//                             under HKEY_USERS by that name; its undo files name keys below it)
//   Undone=2024-01-31 15:10:02
//
// A run's block is written when its first undo file is, or at its end when it wrote none but kept
// its log (such a block names no file and lists no run); each further file is a short block of its
// own, written as the file is, that names the run's first file in the folder:
//
//   [Run]
//   Continues=UNDO-20240131-001.REG
//   File=UNDO-20240131-002.REG
//
// At its end a run that wrote undo files writes the state it left beside them (see run_state.h)
// and names it in one more block of that kind:
//
//   [Run]
//   Continues=UNDO-20240131-001.REG
//   State=RUNSTATE-20240131-001.TXT
//
// so the journal is right even after a crash, and runs going on at once (other processes too) each
// append whole blocks, one write under the journal's lock each, that never split another's block.
// Texts keep to one line: a backslash is written as "\\", a line break as "\n" or "\r". Undo files
// the journal does not name (written before it existed, or by manual changes outside a run) are
// listed as runs of one file each.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/registry_snapshot.h"
#include "registry/mounted_hives.h"
#include "registry/registry.h"

namespace keyloom::files {

inline constexpr std::string_view kRunJournalName = "UNDO-RUNS.TXT";

struct RunInfo {
  std::string date;  // "yyyy-mm-dd hh:mm:ss"
  std::string find;
  std::string replace;
  std::string machine;
  std::string view;
  std::string log = {};  // the run's kept status log (full path); "" when none was kept
  // The hives the run loaded under HKEY_USERS: taking it back loads them again by the same names.
  std::vector<reg::HiveMount> hives = {};
};

struct JournalRun {
  RunInfo info;
  std::vector<std::string> files;  // full paths, in the order written
  std::string log;                 // the run's kept status log (full path), "" for none
  // The state files the run left at its end (full paths, one per folder it wrote files in); none
  // for a run that was killed or ended before they existed.
  std::vector<std::string> states;
  std::string undone;              // the date it was taken back; "" when it was not
  bool single_file = false;        // an undo file the journal does not name
  std::size_t block = 0;           // its block's place in the journal (the first is 1); 0 alone
  // What the journal says that does not hold: a file this block names that another run wrote.
  std::vector<std::string> notes;
};

class RunJournal {
 public:
  // `now` gives the date and time as "yyyy-mm-dd hh:mm:ss" (the local clock when not given).
  explicit RunJournal(std::function<std::string()> now = {});
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  // A run starts: the undo files written from now until EndRun are its own. `info.date` is set
  // here.
  void BeginRun(RunInfo info);
  // The run ends: with a state reader set, the state it left is written beside its undo files
  // and named in the journal. "" or why that, or its log-only block (a run that kept its log but
  // wrote no undo file), could not be written.
  std::string EndRun();
  // What EndRun reads the state a run left with; without one (tests of the journal alone) no
  // state is written.
  void SetStateReader(RegistryReader reader);

  // The undo writer wrote a record to `file`; a file new to the open run is added to it. ""
  // when nothing had to be written or it was, else why the journal could not be written.
  std::string FileWritten(const std::string& file);
  // The undo files of the open run, or of the run that ended last, in the order written.
  std::vector<std::string> LastRunFiles() const;

  // The runs of the journal in `folder` and the undo files it does not name (dated by their last
  // write), newest first by their dates. A file that several blocks name belongs to the last run
  // that started before the file was last written (the file is that run's); the other blocks lose
  // it and note why.
  std::vector<JournalRun> Runs(const std::string& folder) const;

  // Marks exactly `run` (one of Runs) as taken back now; a single file gets a block of its own.
  // "" on success, else why not.
  std::string MarkUndone(const JournalRun& run);

 private:
  std::string WriteStates(const RegistryReader& reader, const RunInfo& info,
                          const std::vector<std::string>& files);

  std::function<std::string()> now_;
  mutable std::mutex mutex_;
  std::optional<RunInfo> open_;
  std::optional<RegistryReader> state_reader_;
  std::vector<std::string> open_files_;  // the open run's files; kept after its end
};

// "32-bit", "64-bit", or "" for no view (32-bit Windows), as the journal names a run's view.
std::string ViewName(reg::RegView view);

// The journal's file in `folder` (which may end in a path separator or not).
std::string JournalPath(const std::string& folder);

}  // namespace keyloom::files
