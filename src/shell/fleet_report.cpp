#include "shell/fleet_report.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "base/json_text.h"
#include "base/text.h"
#include "engine/hit_details.h"
#include "engine/key_list_entry.h"

namespace keyloom::shell {
namespace {

using text::Cat;
using text::JsonString;

std::string N(std::int64_t n) { return std::to_string(n); }

int Rank(int code) {
  const auto at = std::find(std::begin(kExitOrder), std::end(kExitOrder), code);
  return static_cast<int>(at - std::begin(kExitOrder));
}

bool HasFailures(const MachineReport& m) {
  const JobSummary& s = m.summary;
  return s.failures > 0 || s.keys_unreadable > 0 || s.values_unreadable > 0;
}

std::string Counts(const JobSummary& s, bool search_only) {
  std::string out = "hits " + N(s.hits);
  if (!search_only) out += Cat({", changes ", N(s.changes), ", failed ", N(s.failures)});
  out += ", not read " + N(s.keys_unreadable + s.values_unreadable);
  return out;
}

JobSummary Totals(const std::vector<MachineReport>& machines) {
  JobSummary t;
  for (const MachineReport& m : machines) {
    if (!m.reached) continue;
    t.keys_examined += m.summary.keys_examined;
    t.hits += m.summary.hits;
    t.changes += m.summary.changes;
    t.failures += m.summary.failures;
    t.keys_unreadable += m.summary.keys_unreadable;
    t.values_unreadable += m.summary.values_unreadable;
    t.undo_files.insert(t.undo_files.end(), m.summary.undo_files.begin(),
                        m.summary.undo_files.end());
  }
  return t;
}

std::size_t Reached(const std::vector<MachineReport>& machines) {
  return static_cast<std::size_t>(
      std::count_if(machines.begin(), machines.end(), [](const auto& m) { return m.reached; }));
}

// The longest start of `text` of at most `limit` bytes that ends between two characters.
std::string_view Cut(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// "label: A, B, C" with as many names as fit in `room` bytes, then "... and N more".
std::string NameList(std::string_view label, const std::vector<std::string>& names,
                     std::size_t room) {
  if (names.empty()) return "";
  std::string out = Cat({"; ", label, ": "});
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string more =
        Cat({" ... and ", N(static_cast<std::int64_t>(names.size() - i)), " more"});
    const std::string next = Cat({i == 0 ? "" : ", ", names[i]});
    const bool last = i + 1 == names.size();
    if (out.size() + next.size() + (last ? 0 : more.size()) > room) return out + more;
    out += next;
  }
  return out;
}

void JsonCounts(std::string& out, const JobSummary& s) {
  out += Cat({"\"keys_examined\": ", N(s.keys_examined), ", \"hits\": ", N(s.hits),
              ", \"changes\": ", N(s.changes), ", \"failures\": ", N(s.failures),
              ", \"keys_not_read\": ", N(s.keys_unreadable),
              ", \"values_not_read\": ", N(s.values_unreadable), ", \"undo_files\": ["});
  for (std::size_t i = 0; i < s.undo_files.size(); ++i) {
    out += Cat({i == 0 ? "" : ", ", JsonString(s.undo_files[i])});
  }
  out += "]";
}

std::string JsonUnits(std::u16string_view units) { return JsonString(text::Utf16ToUtf8(units)); }

// A value's data whole: a string as its text up to its end, a multi-string as an array of its
// strings, a well-formed number as a number, every other kind as its bytes in hexadecimal pairs
// ("0a 1b"); null when the hit has no value (a key name) or the value could not be read.
std::string JsonData(const std::optional<reg::RawValue>& value) {
  if (!value) return "null";
  const reg::Bytes& data = value->data;
  const std::u16string all_units = text::BytesToUtf16(data);
  const std::u16string_view units = all_units;
  switch (value->type) {
    case reg::kRegSz:
    case reg::kRegExpandSz:
      return JsonUnits(units.substr(0, units.find(u'\0')));
    case reg::kRegMultiSz: {
      std::string out = "[";
      for (std::u16string_view rest = units; !rest.empty();) {
        const std::size_t nul = rest.find(u'\0');
        // The list ends at an empty string (the terminating pair of NULs).
        if (nul == 0) break;
        out += Cat({out.size() == 1 ? "" : ", ", JsonUnits(rest.substr(0, nul))});
        if (nul == std::u16string_view::npos) break;
        rest.remove_prefix(nul + 1);
      }
      return out + "]";
    }
    case reg::kRegDword:
      if (data.size() == 4) return std::to_string(reg::DwordOf(data));
      break;
    case reg::kRegQword:
      if (data.size() == 8) return std::to_string(reg::QwordOf(data));
      break;
    default:
      break;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(data.size() * 3);
  for (const std::uint8_t byte : data) {
    if (!hex.empty()) hex += ' ';
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return Cat({"\"", hex, "\""});
}

void JsonHits(std::string& out, const KeyListRows& rows,
              const std::vector<std::optional<reg::RawValue>>* values) {
  out += ",\n      \"results\": [";
  bool first = true;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::optional<engine::KeyListEntry> entry = engine::ParseKeyListEntry(rows[i]);
    if (!entry) continue;
    const RowDetails details = rows.Details(i);
    const std::string_view found =
        details.present ? engine::FoundInText(details.found_in) : std::string_view();
    out += Cat({first ? "\n" : ",\n", "        {\"root\": ", JsonString(entry->root),
                ", \"key\": ", JsonString(entry->path), ", \"value_name\": ",
                entry->value_name.empty() ? "null" : JsonString(entry->RegistryValueName()),
                ", \"type\": ", JsonString(details.type), ", \"data\": ",
                values != nullptr && i < values->size() ? JsonData((*values)[i])
                                                        : JsonString(details.data),
                ", \"found_in\": ", JsonString(found),
                ", \"result\": ", JsonString(ResultText(details)),
                ", \"user\": ", details.user.empty() ? "null" : JsonString(details.user), "}"});
    first = false;
  }
  out += first ? "]" : "\n      ]";
}

}  // namespace

int WorstExitCode(const std::vector<MachineReport>& machines) {
  int worst = kExitOrder[0];
  for (const MachineReport& m : machines) {
    if (Rank(m.exit_code) > Rank(worst)) worst = m.exit_code;
  }
  return worst;
}

int DetectExitCode(int code, bool found, bool stopped) {
  if (code != 0 && code != 1) return code;
  if (found) return 1;
  return stopped ? 4 : 0;
}

std::string MachineSummaryLine(const MachineReport& m, bool search_only) {
  if (!m.reached) {
    std::string line = Cat({m.name, ": not reached; ", m.reason});
    if (!m.hint.empty()) line += Cat({" (", m.hint, ")"});
    return line;
  }
  std::string line = Cat({m.name, ": reached; ", Counts(m.summary, search_only)});
  if (!search_only) {
    line += Cat({", undo files ", N(static_cast<std::int64_t>(m.summary.undo_files.size()))});
    if (!m.undo_folder.empty()) line += Cat({" in ", m.undo_folder});
  }
  if (m.summary.stopped) line += ", stopped before the end";
  return line;
}

std::vector<std::string> FleetTotalLines(const std::vector<MachineReport>& machines,
                                         bool search_only) {
  const JobSummary t = Totals(machines);
  const std::size_t reached = Reached(machines);
  std::vector<std::string> lines;
  lines.push_back(Cat({"Machines: ", N(static_cast<std::int64_t>(machines.size())), ", reached ",
                       N(static_cast<std::int64_t>(reached)), ", not reached ",
                       N(static_cast<std::int64_t>(machines.size() - reached))}));
  lines.push_back("Keys examined: " + N(t.keys_examined));
  lines.push_back("Hits: " + N(t.hits));
  if (!search_only) {
    lines.push_back("Changes: " + N(t.changes));
    lines.push_back("Failed changes: " + N(t.failures));
  }
  lines.push_back("Keys not read: " + N(t.keys_unreadable));
  lines.push_back("Values not read: " + N(t.values_unreadable));
  if (!search_only) {
    lines.push_back("Undo files written: " + N(static_cast<std::int64_t>(t.undo_files.size())));
  }
  return lines;
}

std::string OneLineSummary(const std::vector<MachineReport>& machines, bool search_only, bool fleet,
                           std::string_view undo_folder) {
  const JobSummary t = Totals(machines);
  std::string head = "Keyloom: ";
  if (fleet) {
    head += Cat({N(static_cast<std::int64_t>(machines.size())), " machines, ",
                 N(static_cast<std::int64_t>(Reached(machines))), " reached; "});
  }
  head += Counts(t, search_only);
  if (!search_only) {
    head += Cat({", undo files ", N(static_cast<std::int64_t>(t.undo_files.size())), " in "});
    // A folder too long for the line keeps its start and its end.
    const std::size_t room = kSummaryLineLimit > head.size() + 600 ? 512 : 0;
    if (undo_folder.size() <= room) {
      head += undo_folder;
    } else if (room > 0) {
      head += Cat({Cut(undo_folder, room / 2), "...",
                   undo_folder.substr(undo_folder.size() - room / 2 + 3)});
    }
  }
  if (!fleet) return std::string(Cut(head, kSummaryLineLimit));
  std::vector<std::string> unreached, failed;
  for (const MachineReport& m : machines) {
    if (!m.reached) {
      unreached.push_back(m.name);
    } else if (HasFailures(m)) {
      failed.push_back(m.name);
    }
  }
  std::string line = head;
  line += NameList("not reached", unreached, (kSummaryLineLimit - line.size()) / 2);
  line += NameList("with failures", failed, kSummaryLineLimit - line.size());
  return std::string(Cut(line, kSummaryLineLimit));
}

std::vector<std::string> RetryNames(const std::vector<MachineReport>& machines) {
  std::vector<std::string> names;
  for (const MachineReport& m : machines) {
    if (!m.reached || HasFailures(m) || m.summary.stopped) names.push_back(m.name);
  }
  return names;
}

std::string JsonReport(const JsonRun& run, const std::vector<MachineReport>& machines) {
  std::string out =
      Cat({"{\n  \"find\": ", JsonString(run.find), ",\n  \"replace\": ", JsonString(run.replace),
           ",\n  \"mode\": ", JsonString(run.mode), ",\n  \"exit_code\": ", N(run.exit_code),
           ",\n  \"machines\": ["});
  for (std::size_t i = 0; i < machines.size(); ++i) {
    const MachineReport& m = machines[i];
    out += Cat({i == 0 ? "\n" : ",\n", "    {\"machine\": ", JsonString(m.name),
                ", \"reached\": ", m.reached ? "true" : "false",
                ", \"reason\": ", JsonString(m.reason), ", \"exit_code\": ", N(m.exit_code),
                ", \"undo_folder\": ", JsonString(m.undo_folder), ",\n      "});
    JsonCounts(out, m.summary);
    if (m.rows != nullptr) JsonHits(out, *m.rows, m.values);
    out += "}";
  }
  out += machines.empty() ? "],\n" : "\n  ],\n";
  out += "  \"totals\": {";
  JsonCounts(out, Totals(machines));
  out += Cat({", \"machines\": ", N(static_cast<std::int64_t>(machines.size())),
              ", \"reached\": ", N(static_cast<std::int64_t>(Reached(machines))), "}\n}\n"});
  return out;
}

}  // namespace keyloom::shell
