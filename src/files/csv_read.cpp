#include "files/csv_read.h"

namespace keyloom::files {
namespace {

// Reads one record from `text` at `*at` (which is not at a line's end) on to the end of its last
// line; `*line` counts the line ends passed.
CsvRecord ReadRecord(std::string_view text, std::size_t* at, std::size_t* line) {
  CsvRecord record;
  record.line = *line;
  std::size_t i = *at;
  std::string field;
  // A line ends with LF, CR LF, or the text.
  const auto end_of_line = [&text](std::size_t k) {
    if (k == text.size() || text[k] == '\n') return true;
    return text[k] == '\r' && (k + 1 == text.size() || text[k + 1] == '\n');
  };
  for (;;) {
    field.clear();
    if (i < text.size() && text[i] == '"') {
      ++i;
      for (;;) {
        if (i == text.size()) {
          record.error = "a quoted field is not closed";
          *at = i;
          return record;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (text[i] == '\n') ++*line;
        field += text[i++];
      }
      if (!end_of_line(i) && text[i] != ',') {
        record.error = "text after a closing quote";
        while (!end_of_line(i)) ++i;
      }
    } else {
      while (!end_of_line(i) && text[i] != ',') field += text[i++];
    }
    record.fields.push_back(field);
    if (end_of_line(i)) break;
    ++i;  // the comma
  }
  if (i < text.size()) i += text[i] == '\r' ? std::size_t{2} : std::size_t{1};
  if (i > text.size()) i = text.size();
  ++*line;
  *at = i;
  return record;
}

}  // namespace

std::vector<CsvRecord> ReadCsv(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<CsvRecord> records;
  std::size_t at = 0;
  std::size_t line = 1;
  while (at < text.size()) {
    // A blank line is no record.
    if (text[at] == '\n' || (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
      at += text[at] == '\r' ? std::size_t{2} : std::size_t{1};
      ++line;
      continue;
    }
    records.push_back(ReadRecord(text, &at, &line));
  }
  return records;
}

}  // namespace keyloom::files
