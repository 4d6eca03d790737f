// The Key List's "After replace" column: what a row's item becomes when a run replaces it under the
// Replace with text and options the window holds now. A cell is made when its row is drawn, from
// what the row keeps of its item (the data as the Data column shows it): nothing is kept per row
// and the registry is not read. The replacing is the run's own (engine::ReplaceRule), so the cell
// shows what a run writes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "engine/match_rules.h"
#include "engine/pattern.h"
#include "engine/replace_rule.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

// The options the column is made for, as the window's controls hold them.
struct ReplaceInputs {
  engine::MatchMode mode = engine::MatchMode::kText;
  std::string find;
  std::string replace;
  bool case_sensitive = false;
  bool whole_numbers = true;  // WHOLENUM
  bool operator==(const ReplaceInputs&) const = default;
};

class AfterReplace {
 public:
  explicit AfterReplace(ReplaceInputs inputs);
  AfterReplace(const AfterReplace&) = delete;
  AfterReplace& operator=(const AfterReplace&) = delete;

  const ReplaceInputs& inputs() const { return inputs_; }

  // The cell of row `row`, by the row's "Found in": the new data (as the Data column shows data),
  // the value's new name or the key's new name. A number whose replaced text is no integer shows
  // "refused: " and why, as does every row when the find text cannot be used in its mode. Data the
  // row keeps cut short is replaced as kept and ends with the same ellipsis. Empty for a text that
  // is not a result row.
  std::string CellText(const KeyListRows& rows, std::size_t row) const;

 private:
  std::string DataText(const RowDetails& details) const;
  std::string NumberText(const RowDetails& details, bool qword) const;
  std::string HexText(const RowDetails& details) const;

  ReplaceInputs inputs_;
  std::string error_;                               // why the find text cannot be used
  std::unique_ptr<const engine::Pattern> pattern_;  // null in the Text mode
  engine::ReplaceRule rule_;
};

}  // namespace keyloom::shell
