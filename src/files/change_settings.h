// What the undo writer and the registry actions read of the settings at the moment of a change,
// and where the change goes. Made by ChangeSettingsFor from the settings record as it is right
// before the change, so an option changed in between applies to the next change.
#pragma once

#include <string>

#include "config/settings.h"
#include "registry/registry.h"

namespace keyloom::files {

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
  // The machine and the view every key of the change is opened in.
  reg::Target target;
};

inline ChangeSettings ChangeSettingsFor(const config::Settings& settings, reg::Target target) {
  ChangeSettings change;
  change.undo_folder = settings.undodir;
  change.undo_mask = settings.undo;
  change.separate_undo_files = settings.saundo;
  change.default_undo = settings.defaultundo;
  change.simulate = settings.simulate;
  change.target = std::move(target);
  return change;
}

// The view every key of a change is opened in.
inline reg::RegView ChangeView(const ChangeSettings& settings) { return settings.target.view; }

}  // namespace keyloom::files
