// Writing undo files: a new one created exclusively with its first record, or records appended to
// one that exists (AppendRegLines, declared in undo_file.h).
#pragma once

#include <string>
#include <vector>

namespace keyloom::files {

// Creates `file` with the byte-order mark, `header` and `lines` (UTF-16LE, CR LF after each line)
// in one write, only when no file of that name exists: `*taken` tells that one did. A file that
// could not be written whole is removed again. "" or the reason.
std::string CreateRegFile(const std::string& file, const std::vector<std::string>& header,
                          const std::vector<std::string>& lines, bool* taken);

}  // namespace keyloom::files
