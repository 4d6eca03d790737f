// A value's data as the value editors show it, and the two forms of a multi-string: the stored
// strings separated by NULs, and the editor's lines separated by CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "registry/registry.h"

namespace keyloom::change {

// The current data of value `name` of the open key as text: a string or expandable string up to
// its first NUL; a REG_DWORD as a signed 32-bit decimal number (FFFFFFFF hex reads -1); a
// REG_QWORD as the exact signed 64-bit decimal number; a REG_MULTI_SZ as all its stored
// characters, separating and terminating NULs included ("" without data). Any other type gives
// "". A value that cannot be read raises ERegistryException.
std::string ReadValueAsText(reg::TRegistry& reg, std::string_view name);

// Every NUL becomes CR LF.
std::string MultiSzToLines(std::string_view text);

// The editor's lines are separated by CR LF pairs (a pair at the very end ends the last line, it
// begins none). A multi-string cannot hold an empty string: every reader of the value stops at
// it, and the strings after it are lost to them. So an empty line is never stored.

// The lines without the empty ones, separated by CR LF; `*removed` (when not null) is how many
// empty lines there were.
std::string WithoutEmptyLines(std::string_view text, std::size_t* removed = nullptr);
// The editor's message when Accept removed `removed` (at least one) empty lines.
std::string EmptyLinesRemovedText(std::size_t removed);
// The lines that are not empty, each CR LF between them become one NUL (no terminator).
std::string LinesToMultiSz(std::string_view text);

// The multi-string terminator rule: `text` followed by as many NULs (none, one or two) as it
// takes to end in two NULs. These are the characters an update of a REG_MULTI_SZ stores.
std::string TerminatedMultiString(std::string text);

// `text` without the one or two NULs that end its last string: the strings alone.
std::string_view WithoutTerminator(std::string_view text);

}  // namespace keyloom::change
