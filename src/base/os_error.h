// Error texts of file calls in the operating system's own words, as the program words every
// failure ("Unable to write to undo file in C:\Undo\ [The system cannot find the path
// specified]"): on Windows the system's message for the Windows error behind the failure,
// elsewhere the C library's text.
// Every text comes without trailing blanks, full stops and line ends.
#pragma once

#include <string>
#include <system_error>

namespace keyloom::base {

// The system's text for one of its error codes: a Windows error code on Windows, an errno value
// elsewhere.
std::string SystemErrorText(int code);

// Forgets the error an earlier C library call left behind. Call it right before the file calls
// whose failure LastFileErrorText is to tell.
void ClearFileError();

// Why the C library file call (fopen, fread, fwrite, fflush, fclose) that has just failed failed.
// Read it before any other call can overwrite the error.
std::string LastFileErrorText();

// The text of an error that std::filesystem reported.
std::string FileSystemErrorText(const std::error_code& error);

}  // namespace keyloom::base
