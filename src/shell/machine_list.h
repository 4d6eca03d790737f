// The computers of a fleet run: the `/machines` file, one name a line.
//
// Blank lines and lines beginning with "#" are left out; blanks around a name and leading "\\"
// are dropped. A name given again (letter case ignored) is taken once, where it first appears.
// Each name also names the machine's undo folder, so a name holding a character no file name
// may hold is refused with its line number. `/retry` writes its list in the same form.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom::shell {

struct MachineList {
  std::vector<std::string> names;  // in the order of the file, each once
  std::string error;               // why the list was refused ("" when it was taken)
};

// The names of a list's text (UTF-8, a byte order mark allowed).
MachineList ParseMachineList(std::string_view text);

// The names of the file `file` (UTF-8 name); a file that cannot be read is refused with the
// system's reason.
MachineList ReadMachineList(const std::string& file);

// The text of a list of `names`, as ParseMachineList reads it back: a comment line `heading`
// (when not empty), then one name a line, each line ended by CR LF.
std::string MachineListText(const std::vector<std::string>& names, std::string_view heading);

}  // namespace keyloom::shell
