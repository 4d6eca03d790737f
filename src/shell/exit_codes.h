// The program's exit codes. They matter in the silent unattended mode, where nobody sees a window.
#pragma once

namespace keyloom::shell {

inline constexpr int kExitOk = 0;           // the run ended (or the user closed the window)
inline constexpr int kExitNoRun = 2;        // the unattended run could not start
inline constexpr int kExitFailure = 3;      // an unexpected failure ended the program
inline constexpr int kExitWorkerStuck = 4;  // the run did not stop in time at the window's end

}  // namespace keyloom::shell
