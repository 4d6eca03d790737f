#include "files/undo_numbering.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/file_io.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "files/run_journal.h"

namespace keyloom::files {

int UndoFileNumber(std::string_view file_name, std::string_view date) {
  constexpr std::string_view kPrefix = "UNDO-";
  const std::size_t digits_at = kPrefix.size() + date.size() + 1;
  if (file_name.size() < digits_at + 5 || file_name.substr(0, kPrefix.size()) != kPrefix ||
      file_name.substr(kPrefix.size(), date.size()) != date ||
      file_name[digits_at - 1] != '-') {
    return 0;
  }
  const std::string_view extension = file_name.substr(file_name.size() - 4);
  if (extension != ".REG" && extension != ".reg") return 0;
  const std::string_view digits = file_name.substr(digits_at, file_name.size() - 4 - digits_at);
  if (digits.empty() || digits.size() > 9) return 0;
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

int HighestUsedUndoNumber(const std::string& folder, std::string_view date) {
  namespace fs = std::filesystem;
  int highest = 0;
  std::error_code ec;
  for (fs::directory_iterator it(base::PathFromUtf8(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    highest = std::max(highest, UndoFileNumber(base::PathToUtf8(it->path().filename()), date));
  }
  // Every line of the journal that names a file ("File=" and the like) ends in the file's name.
  base::LockedFile journal(base::PathFromUtf8(JournalPath(folder)), base::LockedFile::Mode::kRead);
  std::string bytes;
  if (!journal.ReadAll(&bytes)) return highest;
  for (const std::string_view line : text::SplitLines(bytes)) {
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      highest = std::max(highest, UndoFileNumber(line.substr(equals + 1), date));
    }
  }
  return highest;
}

}  // namespace keyloom::files
