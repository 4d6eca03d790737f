#include "shell/only_file.h"

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/utf8_path.h"
#include "files/csv_read.h"
#include "registry/registry.h"

namespace keyloom::shell {
namespace {

// Why `record` names no item; "" when it names `*item`.
std::string ItemOf(const files::CsvRecord& record, engine::OnlyItem* item) {
  if (!record.error.empty()) return record.error;
  if (record.fields.size() < 3) return "it holds fewer than three fields";
  const reg::RootKey* root = reg::RootByName(record.fields[0]);
  if (root == nullptr) return "the root \"" + record.fields[0] + "\" is unknown";
  const std::string& path = record.fields[1];
  if (path.size() < 2 || path.front() != '\\' || path.find("\\\\") != std::string::npos) {
    return "the key path \"" + path + "\" is not a key below the root";
  }
  item->root_index = root->index;
  item->path = path;
  item->value_name = record.fields[2];
  item->or_unnamed_value = item->value_name.empty();
  return "";
}

}  // namespace

std::string OnlyItemsOf(std::string_view text, std::vector<engine::OnlyItem>* items) {
  const std::vector<files::CsvRecord> records = files::ReadCsv(text);
  if (records.empty()) return "names no item";
  std::vector<engine::OnlyItem> read;
  read.reserve(records.size());
  for (const files::CsvRecord& record : records) {
    engine::OnlyItem item;
    if (std::string why = ItemOf(record, &item); !why.empty()) {
      return "line " + std::to_string(record.line) + " does not name an item: " + why;
    }
    read.push_back(std::move(item));
  }
  *items = std::move(read);
  return "";
}

std::string ReadOnlyFile(const std::string& file, std::vector<engine::OnlyItem>* items) {
  std::string bytes;
  if (!base::ReadWholeFile(base::PathFromUtf8(file), &bytes)) {
    return "cannot read " + file + " [" + base::LastFileErrorText() + "]";
  }
  const std::string why = OnlyItemsOf(bytes, items);
  return why.empty() ? why : file + " " + why;
}

}  // namespace keyloom::shell
