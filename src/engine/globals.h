// Process-wide values set at start-up (or by the remote-machine dialog) and read by many parts of
// the program. Written on the GUI thread before a run starts; a run reads them without a lock.
#pragma once

#include <atomic>
#include <string>

namespace keyloom::engine {

struct Globals {
  // The program file's folder with a trailing path separator: KEYLOOM.INI, the default undo folder
  // "UNDO", the hive folder "RegBack" and the debug log files live there.
  std::string program_folder;
  // Logon name of the user, or "unknown".
  std::string current_user_name = "unknown";
  // A 32-bit process on 64-bit Windows: the 32/64-bit views exist.
  bool is_64bit_windows = false;
  // Empty for the local registry, otherwise "\\" + the remote computer's name.
  std::string search_machine;
  // AUTOSTART, AUTOCLOSE and AUTOHIDE were all on at start-up: no window, no status log.
  std::atomic<bool> silent_mode{false};
};

}  // namespace keyloom::engine
