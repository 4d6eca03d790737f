// What the undo writer and the registry actions read of the settings and of the process-wide values
// at the moment of a change. The caller fills one from its own settings record right before the
// change, so an option changed in between applies to the next change.
#pragma once

#include <string>

#include "registry/registry.h"

namespace keyloom::files {

// Bits of UNDO: which changes get undo records. A search run records its data replacements and
// value renames under kUndoEdits, its deletions and key renames under kUndoDeletes.
inline constexpr int kUndoEdits = 1;
inline constexpr int kUndoDeletes = 2;
inline constexpr int kUndoRenames = 4;

struct ChangeSettings {
  // UNDODIR: the folder of the undo files (a path separator at the end is optional).
  std::string undo_folder;
  // UNDO: which manual changes ask for undo records (1 edits, 2 deletes, 4 renames). The callers
  // turn it into TRegAction::CreateUndo; the writer itself does not read it.
  int undo_mask = 7;
  // SAUNDO: every change starts an undo file of its own.
  bool separate_undo_files = true;
  // DEFAULTUNDO: 0 writes .REG undo files; any other value writes no undo file at all.
  int default_undo = 0;
  // SIMULATE: nothing is written, renamed, deleted or recorded.
  bool simulate = false;
  // SearchMachine: "" for the local registry, else "\\" + the remote computer's name.
  std::string search_machine;
  // The program is a 32-bit process on 64-bit Windows: the two registry views exist.
  bool is_64bit_windows = false;
  // SCANMETHOD: the view changes are made in on 64-bit Windows: 0 the 32-bit, 1 the 64-bit one.
  int scan_method = 0;
};

// The view every key of a change is opened in: the SCANMETHOD view on 64-bit Windows, no view
// flag on 32-bit Windows.
inline reg::RegView ChangeView(const ChangeSettings& settings) {
  if (!settings.is_64bit_windows) return reg::RegView::kNone;
  return settings.scan_method == 1 ? reg::RegView::k64 : reg::RegView::k32;
}

}  // namespace keyloom::files
