// The Key List's rows as the exports read them: each row split by the one parsing rule of Key List
// rows, "(Default)" turned into the unnamed value's empty name.
#pragma once

#include <optional>

#include "engine/key_list_entry.h"
#include "files/list_export.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

class KeyListExportRows final : public files::ExportRows {
 public:
  explicit KeyListExportRows(const KeyListRows& rows) : rows_(&rows) {}

  std::size_t size() const override { return rows_->size(); }
  std::optional<files::ExportItem> Item(std::size_t index) const override {
    std::optional<engine::KeyListEntry> entry = engine::ParseKeyListEntry((*rows_)[index]);
    if (!entry) return std::nullopt;
    std::string name = entry->RegistryValueName();
    return files::ExportItem{std::move(entry->root), std::move(entry->path), std::move(name)};
  }

 private:
  const KeyListRows* rows_;
};

}  // namespace keyloom::shell
