// keyloom.exe and keyloom.com started with arguments: one run from the command line, without a
// window (see shell/command_job.h).
//
// Output goes to the standard handles the process was given; a GUI-subsystem keyloom.exe started
// from a console without them attaches to that console (and writes nothing when there is none).
// Text goes to a console as UTF-16 and to a pipe or a file as UTF-8, so non-ASCII names survive a
// redirection. Ctrl+C, Ctrl+Break and closing the console stop the run at its next key; the summary
// is still written.
#pragma once

#include <string>
#include <vector>

namespace keyloom::shell {

// The process's arguments as UTF-8, without the program's own name.
std::vector<std::string> ProgramArguments();

// Runs the command line and returns the exit code (shell/exit_codes.h).
int RunCommandProgram(const std::vector<std::string>& args);

}  // namespace keyloom::shell
