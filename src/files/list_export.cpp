#include "files/list_export.h"

#include <vector>

#include "base/text.h"
#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "registry/registry.h"

namespace keyloom::files {

using text::Cat;

namespace {

std::string ErrorLine(const ExportItem& item) {
  return Cat({"Error access Key : ", item.root, item.path});
}

bool Cancelled(const ExportProgress* progress) {
  return progress != nullptr && progress->cancel.load(std::memory_order_relaxed);
}

void CountRow(ExportProgress* progress, std::size_t done) {
  if (progress != nullptr) progress->rows_done.store(done, std::memory_order_relaxed);
}

void Log(const ExportContext& context, const std::string& line) {
  if (context.log) context.log(line);
}

}  // namespace

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string CsvLine(const ExportItem& item, std::string_view value_text) {
  return Cat({CsvField(item.root), ",", CsvField(item.path), ",", CsvField(item.value_name), ",",
              CsvField(value_text)});
}

namespace {

ExportOutcome WriteCsv(base::FileReplacement& out, const ExportRows& rows,
                       const ExportContext& context, ExportProgress* progress) {
  if (!out.Begin()) return ExportOutcome::kCannotCreate;
  if (!out.Write(kUtf8Bom)) return ExportOutcome::kWriteFailed;
  const std::string& machine = context.settings.target.machine;
  // One connection to the machine for the whole list.
  RegistrySnapshot snapshot(context.reader, ChangeView(context.settings));
  std::string line;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (Cancelled(progress)) return ExportOutcome::kCancelled;
    if (const std::optional<ExportItem> item = rows.Item(i)) {
      const reg::RootKey* root = reg::RootByName(item->root);
      std::optional<std::string> text;
      if (root != nullptr) {
        text = snapshot.ReadValueText(root->handle, item->path, item->value_name, machine,
                                      ValueForm::kPlain);
      }
      if (text) {
        line = CsvLine(*item, *text);
        line += kCrLf;
        if (!out.Write(line)) return ExportOutcome::kWriteFailed;
      } else {
        Log(context, ErrorLine(*item));
      }
    }
    CountRow(progress, i + 1);
  }
  return out.Commit() ? ExportOutcome::kSaved : ExportOutcome::kWriteFailed;
}

ExportOutcome WriteReg(base::FileReplacement& out, const ExportRows& rows,
                       const ExportContext& context, ExportProgress* progress) {
  if (!out.Begin()) return ExportOutcome::kCannotCreate;
  const std::string& machine = context.settings.target.machine;
  std::string text;
  for (const std::string& line : RegFileHeaderLines(machine)) text += Cat({line, kCrLf});
  if (!out.Write(Cat({kUtf16Bom, EncodeUtf16Le(text)}))) return ExportOutcome::kWriteFailed;
  SnapshotItem request;
  request.machine_name = machine;
  // One connection to the machine, the keys' names asked once each.
  RegistrySnapshot snapshot(context.reader, ChangeView(context.settings));
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (Cancelled(progress)) return ExportOutcome::kCancelled;
    if (const std::optional<ExportItem> item = rows.Item(i)) {
      const reg::RootKey* root = reg::RootByName(item->root);
      request.root = root != nullptr ? root->handle : reg::kNullKey;
      request.key_path = item->path;
      request.value_name = item->value_name;
      lines.clear();
      if (root == nullptr ||
          !snapshot.ItemLines(request, &lines).empty()) {
        Log(context, ErrorLine(*item));
      } else {
        text.clear();
        for (const std::string& line : lines) text += Cat({line, kCrLf});
        if (!out.Write(EncodeUtf16Le(text))) return ExportOutcome::kWriteFailed;
      }
    }
    CountRow(progress, i + 1);
  }
  return out.Commit() ? ExportOutcome::kSaved : ExportOutcome::kWriteFailed;
}

using ExportWriter = ExportOutcome (*)(base::FileReplacement&, const ExportRows&,
                                       const ExportContext&, ExportProgress*);

// Runs `write` on a replacement of `file`; a failure leaves its file and reason in `progress`.
ExportOutcome WriteWith(ExportWriter write, const std::filesystem::path& file,
                        const ExportRows& rows, const ExportContext& context,
                        ExportProgress* progress) {
  base::FileReplacement out(file, context.writer);
  const ExportOutcome outcome = write(out, rows, context, progress);
  const bool failed =
      outcome == ExportOutcome::kCannotCreate || outcome == ExportOutcome::kWriteFailed;
  if (failed && progress != nullptr) {
    progress->failure = FileFailureText(base::PathToUtf8(file), out.error());
  }
  return outcome;
}

}  // namespace

std::string FileFailureText(std::string_view file, std::string_view reason) {
  return Cat({file, ": ", reason.empty() ? std::string_view("unknown error") : reason, "."});
}

ExportOutcome WriteCsvExport(const std::filesystem::path& file, const ExportRows& rows,
                             const ExportContext& context, ExportProgress* progress) {
  return WriteWith(WriteCsv, file, rows, context, progress);
}

ExportOutcome WriteRegExport(const std::filesystem::path& file, const ExportRows& rows,
                             const ExportContext& context, ExportProgress* progress) {
  return WriteWith(WriteReg, file, rows, context, progress);
}

std::string LogFileBytes(const std::vector<std::string>& lines) {
  std::string bytes(kUtf8Bom);
  for (const std::string& line : lines) {
    bytes += line;
    bytes += kCrLf;
  }
  return bytes;
}

}  // namespace keyloom::files
