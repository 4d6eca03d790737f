// The command line's /only FILE: the items a hit list names, as the Key List's CSV export writes
// it ("root,key path,value name,value text"), perhaps edited in a spreadsheet since (rows deleted,
// fields quoted anew). A line names an item by its root, key path and value name; an empty value
// name names the key and its unnamed value, as the export writes both. The value text is not
// compared: the run matches the find text itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/item_filter.h"

namespace keyloom::shell {

// The items `text` names. A line that names none refuses the whole list: the answer is why, with
// the line's number ("line 4 does not name an item: the root \"HKEY_X\" is unknown"); "" when
// every line names one. A list without any line is refused too.
std::string OnlyItemsOf(std::string_view text, std::vector<engine::OnlyItem>* items);

// The same for the file `file` (UTF-8, with or without a byte-order mark); its name leads a
// refusal.
std::string ReadOnlyFile(const std::string& file, std::vector<engine::OnlyItem>* items);

}  // namespace keyloom::shell
