#include "shell/key_list_cells.h"

#include "engine/key_list_entry.h"

namespace keyloom::shell {

std::string_view CellView(const KeyListRows& rows, std::size_t row, int column) {
  const std::string_view text = rows[row];
  if (column <= kColumnValueName) {
    const auto fields = engine::SplitKeyListEntry(text);
    if (!fields) return column == kColumnRoot ? text : std::string_view();
    if (column == kColumnRoot) return fields->root;
    return column == kColumnPath ? fields->path : fields->value_name;
  }
  const RowDetails details = rows.Details(row);
  if (!details.present) return {};
  switch (column) {
    case kColumnType:
      return details.type;
    case kColumnData:
      return details.data;
    case kColumnFoundIn:
      return engine::FoundInText(details.found_in);
    default:
      return {};
  }
}

std::string CellText(const KeyListRows& rows, std::size_t row, int column, const TimeText& time) {
  if (column != kColumnModified) return std::string(CellView(rows, row, column));
  const RowDetails details = rows.Details(row);
  return details.modified == 0 || !time ? std::string() : time(details.modified);
}

}  // namespace keyloom::shell
