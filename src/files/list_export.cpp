#include "files/list_export.h"

#include <optional>
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
  std::string line = Cat({CsvField(item.root), ",", CsvField(item.path), ",",
                          CsvField(item.value_name), ",", CsvField(value_text)});
  if (!item.user.empty()) line += Cat({",", CsvField(item.user)});
  return line;
}

namespace {

// The rows' lines, each after `machine_field` (a fleet's Machine column, or nothing).
ExportOutcome WriteCsvRows(base::FileReplacement& out, const ExportRows& rows,
                           const ExportContext& context, ExportProgress* progress,
                           std::string_view machine_field) {
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
        line = Cat({machine_field, CsvLine(*item, *text), kCrLf});
        if (!out.Write(line)) return ExportOutcome::kWriteFailed;
      } else {
        Log(context, ErrorLine(*item));
      }
    }
    CountRow(progress, i + 1);
  }
  return ExportOutcome::kSaved;
}

// Rows of a CSV file read in their own context (a fleet's machine), each line after
// `machine_field`.
struct CsvPart {
  const ExportRows* rows;
  const ExportContext* context;
  std::string machine_field;
};

// The whole CSV file: its byte-order mark, then the parts' lines; kept only when all were written.
ExportOutcome WriteCsvParts(base::FileReplacement& out, const std::vector<CsvPart>& parts,
                            ExportProgress* progress) {
  if (!out.Begin()) return ExportOutcome::kCannotCreate;
  if (!out.Write(kUtf8Bom)) return ExportOutcome::kWriteFailed;
  for (const CsvPart& part : parts) {
    const ExportOutcome outcome =
        WriteCsvRows(out, *part.rows, *part.context, progress, part.machine_field);
    if (outcome != ExportOutcome::kSaved) return outcome;
  }
  return out.Commit() ? ExportOutcome::kSaved : ExportOutcome::kWriteFailed;
}

ExportOutcome WriteCsv(base::FileReplacement& out, const ExportRows& rows,
                       const ExportContext& context, ExportProgress* progress) {
  return WriteCsvParts(out, {{&rows, &context, ""}}, progress);
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
      if (root == nullptr || !snapshot.ItemLines(request, &lines).empty()) {
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
  reg::ReloadedHives hives(*context.reader.api,
                           [&context](const std::string& line) { Log(context, line); });
  hives.Load(context.hives);
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

ExportOutcome WriteMachinesCsvExport(const std::filesystem::path& file,
                                     const std::vector<MachineRows>& machines,
                                     const base::FileReplacement::Writer& writer,
                                     std::string* failure) {
  std::vector<CsvPart> parts;
  parts.reserve(machines.size());
  for (const MachineRows& m : machines) {
    parts.push_back({m.rows, &m.context, Cat({CsvField(m.machine), ","})});
  }
  base::FileReplacement out(file, writer);
  const ExportOutcome outcome = WriteCsvParts(out, parts, nullptr);
  if (outcome != ExportOutcome::kSaved && failure != nullptr) {
    *failure = FileFailureText(base::PathToUtf8(file), out.error());
  }
  return outcome;
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
