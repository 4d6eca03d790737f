// Reading comma-separated text as spreadsheets write it back: fields bare or in double quotes
// (a quoted field may hold commas, doubled quotes and line breaks), records ended by CR LF or LF.
// The Key List's CSV export, opened, edited and saved by a spreadsheet, reads back this way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom::files {

struct CsvRecord {
  std::size_t line = 0;  // where the record begins, counted from 1
  std::vector<std::string> fields;
  // Why the record cannot be read ("a quoted field is not closed", "text after a closing
  // quote"); empty when it can.
  std::string error;
};

// The records of `text` (a UTF-8 byte-order mark at its start is passed over). Blank lines are
// no records.
std::vector<CsvRecord> ReadCsv(std::string_view text);

}  // namespace keyloom::files
