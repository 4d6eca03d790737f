// The program's exit codes. They matter where nobody sees a window: the silent unattended mode of
// the settings file and runs from the command line, whose scripts test them as they test grep's.
#pragma once

namespace keyloom::shell {

inline constexpr int kExitOk = 0;            // the run ended (or the user closed the window);
                                             // from the command line: hits found, every change made
inline constexpr int kExitNothingFound = 1;  // the command-line run found nothing, or was stopped
                                             // before it changed anything
inline constexpr int kExitNoRun = 2;         // bad arguments, or the run could not start
inline constexpr int kExitFailure = 3;       // an unexpected failure ended the program
inline constexpr int kExitStopped = 4;       // the command-line run was stopped by the user after
                                             // it changed something (the report says what)
inline constexpr int kExitSomeFailed = 5;    // a change failed, or a key or value could not be read
inline constexpr int kExitWorkerStuck = 6;   // the run did not stop in time at the window's end

}  // namespace keyloom::shell
