// The numbers undo files of one day have used in an undo folder. A number is used once a file of
// that name exists or the folder's run journal names it: a file the user deleted keeps its number,
// so a later file never takes the name the journal still lists under an earlier run.
#pragma once

#include <string>
#include <string_view>

namespace keyloom::files {

// The number of an undo file's name "UNDO-" + `date` + "-" + digits + ".REG" (letter case of the
// extension ignored), or 0 for any other name.
int UndoFileNumber(std::string_view file_name, std::string_view date);

// The highest number of `date` ("yyyymmdd") used in `folder`, by its files and by the file names
// its run journal holds; 0 when none is.
int HighestUsedUndoNumber(const std::string& folder, std::string_view date);

}  // namespace keyloom::files
