#include "shell/run_settings.h"

namespace keyloom::shell {

engine::RunSettings ToRunSettings(const Settings& settings) {
  engine::RunSettings run;
  run.autoclose = settings.autoclose;
  run.enabledel = settings.enabledel;
  run.wholenum = settings.wholenum;
  run.fixperms = settings.fixperms;
  run.simulate = settings.simulate;
  run.undo = settings.undo;
  run.logging = settings.logging;
  run.scanmethod = settings.scanmethod;
  return run;
}

files::ChangeSettings ToChangeSettings(const Settings& settings, const engine::Globals& globals) {
  files::ChangeSettings change;
  change.undo_folder = settings.undodir;
  change.undo_mask = settings.undo;
  change.separate_undo_files = settings.saundo;
  change.default_undo = settings.defaultundo;
  change.simulate = settings.simulate;
  change.search_machine = globals.search_machine;
  change.is_64bit_windows = globals.is_64bit_windows;
  change.scan_method = settings.scanmethod;
  return change;
}

}  // namespace keyloom::shell
