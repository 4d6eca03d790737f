// The Key List's rows as the exports read them: each row split by the one parsing rule of Key List
// rows, "(Default)" turned into the unnamed value's empty name, with the user of its details.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/key_list_entry.h"
#include "files/list_export.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

class KeyListExportRows final : public files::ExportRows {
 public:
  // All rows in list order, or the rows of `shown` in its order (the rows a filtered or sorted
  // list shows).
  explicit KeyListExportRows(const KeyListRows& rows,
                             const std::vector<std::size_t>* shown = nullptr)
      : rows_(&rows),
        shown_(shown != nullptr ? *shown : std::vector<std::size_t>()),
        mapped_(shown != nullptr) {}

  std::size_t size() const override { return mapped_ ? shown_.size() : rows_->size(); }
  std::optional<files::ExportItem> Item(std::size_t index) const override {
    const std::size_t row = mapped_ ? shown_[index] : index;
    std::optional<engine::KeyListEntry> entry = engine::ParseKeyListEntry((*rows_)[row]);
    if (!entry) return std::nullopt;
    std::string name = entry->RegistryValueName();
    return files::ExportItem{std::move(entry->root), std::move(entry->path), std::move(name),
                             std::string(rows_->Details(row).user)};
  }

 private:
  const KeyListRows* rows_;
  std::vector<std::size_t> shown_;
  bool mapped_;
};

}  // namespace keyloom::shell
