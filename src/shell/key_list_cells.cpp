#include "shell/key_list_cells.h"

#include "engine/key_list_entry.h"

namespace keyloom::shell {

namespace {

// The cells of the row's own text: root, path and value name.
void TextCells(const KeyListRows& rows, std::size_t row, RowCells& cells) {
  const std::string_view text = rows[row];
  if (const auto fields = engine::SplitKeyListEntry(text)) {
    cells.texts[kColumnRoot] = fields->root;
    cells.texts[kColumnPath] = fields->path;
    cells.texts[kColumnValueName] = fields->value_name;
  } else {
    cells.texts[kColumnRoot] = text;
  }
}

// The cells of the row's details: type, data, found in, result, user, and its time.
void DetailCells(const KeyListRows& rows, std::size_t row, RowCells& cells) {
  const RowDetails details = rows.Details(row);
  cells.modified = details.modified;
  if (details.present) {
    cells.texts[kColumnType] = details.type;
    cells.texts[kColumnData] = details.data;
    cells.texts[kColumnFoundIn] = engine::FoundInText(details.found_in);
    cells.texts[kColumnResult] = ResultText(details);
    cells.texts[kColumnUser] = details.user;
  }
}

}  // namespace

RowCells CellsOf(const KeyListRows& rows, std::size_t row) {
  RowCells cells;
  TextCells(rows, row, cells);
  DetailCells(rows, row, cells);
  return cells;
}

// A sort reads one column of every row: only the part of the row that holds it.
std::string_view CellView(const KeyListRows& rows, std::size_t row, int column) {
  if (column < 0 || column >= kKeyListColumnCount || column == kColumnModified) return {};
  RowCells cells;
  if (column < kColumnType) {
    TextCells(rows, row, cells);
  } else {
    DetailCells(rows, row, cells);
  }
  return cells.texts[column];
}

std::string CellText(const KeyListRows& rows, std::size_t row, int column, const TimeText& time) {
  if (column != kColumnModified) return std::string(CellView(rows, row, column));
  const RowDetails details = rows.Details(row);
  return details.modified == 0 || !time ? std::string() : time(details.modified);
}

namespace {

void AppendTabCell(std::string_view cell, std::string& out) {
  if (cell.find_first_of("\t\"\r\n") == std::string_view::npos) {
    out.append(cell);
    return;
  }
  out.push_back('"');
  for (char c : cell) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace

std::string RowsAsTabText(const KeyListRows& rows, const std::vector<std::size_t>& which,
                          const TimeText& time) {
  std::string out;
  for (int column = 0; column < kKeyListColumnCount; ++column) {
    if (column > 0) out.push_back('\t');
    out.append(kKeyListColumnTitles[column]);
  }
  out.append("\r\n");
  for (std::size_t row : which) {
    if (row >= rows.size()) continue;
    for (int column = 0; column < kKeyListColumnCount; ++column) {
      if (column > 0) out.push_back('\t');
      AppendTabCell(CellText(rows, row, column, time), out);
    }
    out.append("\r\n");
  }
  return out;
}

std::string KeyPathText(std::string_view row) {
  const auto fields = engine::SplitKeyListEntry(row);
  if (!fields) return {};
  return std::string(fields->root) + std::string(fields->path);
}

}  // namespace keyloom::shell
