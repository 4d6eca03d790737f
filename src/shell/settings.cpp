#include "shell/settings.h"

#include <filesystem>
#include <system_error>

#include "base/utf8_path.h"

namespace keyloom::shell {
namespace {

// A text value is read as at most this many characters.
constexpr std::size_t kMaxValueCharacters = 2047;

// Column widths outside this range fall back to the column's default.
constexpr int kMinColumnWidth = 1;
constexpr int kMaxColumnWidth = 1500;
constexpr std::array<const char*, 3> kColumnKeys = {"COL_0", "COL_1", "COL_2"};

// The longest prefix of UTF-8 text holding at most `max` characters.
std::string LimitCharacters(std::string text, std::size_t max) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte
    if (count == max) {
      text.resize(i);
      break;
    }
    ++count;
  }
  return text;
}

class Reader {
 public:
  explicit Reader(const IniFile& file) : file_(file) {}

  std::optional<std::string> Text(const char* key) const {
    auto value = file_.Get(kIniSection, key);
    if (value) *value = LimitCharacters(std::move(*value), kMaxValueCharacters);
    return value;
  }
  std::string Text(const char* key, std::string fallback) const {
    auto value = Text(key);
    return value ? std::move(*value) : std::move(fallback);
  }
  int Integer(const char* key, int fallback) const {
    const auto value = Text(key);
    if (!value) return fallback;
    return ParseIniInteger(*value).value_or(fallback);
  }
  // Integer(key) when it lies in min..max, else the fallback.
  int Integer(const char* key, int fallback, int min, int max) const {
    const int value = Integer(key, fallback);
    return (value < min || value > max) ? fallback : value;
  }
  bool Boolean(const char* key, bool fallback) const { return Integer(key, fallback ? 1 : 0) != 0; }

 private:
  const IniFile& file_;
};

class Writer {
 public:
  explicit Writer(IniFile& file) : file_(file) {}
  void Text(const char* key, std::string_view value) { file_.Set(kIniSection, key, value); }
  void Integer(const char* key, int value) { Text(key, std::to_string(value)); }
  void Boolean(const char* key, bool value) { Text(key, value ? "1" : "0"); }

 private:
  IniFile& file_;
};

// The undo folder as read: created when missing (one level only), then given its final separator.
std::string PrepareUndoFolder(std::string folder, std::vector<std::string>& status_lines) {
  std::error_code error;
  const std::filesystem::path path = base::PathFromUtf8(folder);
  if (!std::filesystem::is_directory(path, error)) {
    std::filesystem::create_directory(path, error);
    if (error || !std::filesystem::is_directory(path, error)) {
      status_lines.push_back("Unable to Create Undo Directory : " + folder);
    }
  }
  if (!base::EndsWithPathSeparator(folder)) folder += base::kPathSeparator;
  return folder;
}

}  // namespace

std::string IniFilePath(std::string_view program_folder) {
  return std::string(program_folder) + std::string(kIniFileName);
}

LoadedSettings LoadSettings(std::string_view program_folder) {
  const IniFile file = IniFile::Load(base::PathFromUtf8(IniFilePath(program_folder)));
  const Reader read(file);
  LoadedSettings loaded;
  Settings& s = loaded.settings;
  WindowSettings& w = loaded.window;
  const Settings defaults;
  const WindowSettings window_defaults;

  w.find = read.Text("FIND", "");
  w.replace = read.Text("REPLACE", "");
  s.autostart = read.Boolean("AUTOSTART", defaults.autostart);
  s.autoclose = read.Boolean("AUTOCLOSE", defaults.autoclose);
  s.autohide = read.Boolean("AUTOHIDE", defaults.autohide);
  s.updateini = read.Boolean("UPDATEINI", defaults.updateini);
  s.enabledel = read.Boolean("ENABLEDEL", defaults.enabledel);
  s.wholenum = read.Boolean("WHOLENUM", defaults.wholenum);
  s.showpermerr = read.Boolean("SHOWPERMERR", defaults.showpermerr);
  w.searchkey = read.Integer("SEARCHKEY", window_defaults.searchkey, 0, 5);
  w.usecase = read.Boolean("USECASE", window_defaults.usecase);
  w.searchkeys = read.Boolean("SEARCHKEYS", window_defaults.searchkeys);
  w.searchvalues = read.Boolean("SEARCHVALUES", window_defaults.searchvalues);
  w.searchtree = read.Boolean("SEARCHTREE", window_defaults.searchtree);
  w.regundo = read.Boolean("REGUNDO", window_defaults.regundo);

  const std::string warn = read.Text("WARN", "00");
  s.suppress_key_name_warning = warn.size() >= 1 && warn[0] == '1';
  s.warn_second_flag = warn.size() >= 2 && warn[1] == '1';

  // An empty UNDODIR would put undo files at the root of the current drive: it takes the default.
  std::string undodir = read.Text("UNDODIR", "");
  if (undodir.empty()) undodir = std::string(program_folder) + "UNDO";
  s.undodir = PrepareUndoFolder(std::move(undodir), loaded.status_lines);

  for (std::size_t i = 0; i < w.col.size(); ++i) {
    w.col[i] =
        read.Integer(kColumnKeys[i], window_defaults.col[i], kMinColumnWidth, kMaxColumnWidth);
  }
  s.undo = read.Integer("UNDO", defaults.undo);
  s.smundo = read.Boolean("SMUNDO", defaults.smundo);
  s.saundo = read.Boolean("SAUNDO", defaults.saundo);
  w.searchtype = read.Integer("SEARCHTYPE", window_defaults.searchtype, 0, 8);
  s.logging = read.Integer("LOGGING", defaults.logging);
  s.defaultundo = read.Integer("DEFAULTUNDO", defaults.defaultundo);
  s.scanmethod = read.Integer("SCANMETHOD", defaults.scanmethod, 0, 1);
  s.simulate = read.Boolean("SIMULATE", defaults.simulate);
  s.fixperms = read.Boolean("FIXPERMS", defaults.fixperms);
  return loaded;
}

std::optional<std::string> SaveSettings(std::string_view program_folder, const Settings& s,
                                        const WindowSettings& w, bool force,
                                        const base::TempFileWriter& writer) {
  if (!force && !s.updateini) return std::nullopt;
  const std::string ini_path = IniFilePath(program_folder);
  const std::filesystem::path path = base::PathFromUtf8(ini_path);
  // What the file holds besides our keys (SIMULATE among them) is kept as it is now on disk.
  IniFile file = IniFile::Load(path);
  Writer write(file);

  write.Text("FIND", w.find);
  write.Text("REPLACE", w.replace);
  write.Boolean("AUTOSTART", s.autostart);
  write.Boolean("AUTOCLOSE", s.autoclose);
  write.Boolean("AUTOHIDE", s.autohide);
  write.Boolean("UPDATEINI", s.updateini);
  write.Boolean("ENABLEDEL", s.enabledel);
  write.Boolean("WHOLENUM", s.wholenum);
  write.Boolean("SHOWPERMERR", s.showpermerr);
  write.Integer("SEARCHKEY", w.searchkey);
  write.Boolean("USECASE", w.usecase);
  write.Boolean("SEARCHKEYS", w.searchkeys);
  write.Boolean("SEARCHVALUES", w.searchvalues);
  write.Boolean("SEARCHTREE", w.searchtree);
  write.Boolean("REGUNDO", w.regundo);
  write.Text("WARN", std::string(s.suppress_key_name_warning ? "1" : "0") +
                         (s.warn_second_flag ? "1" : "0"));
  write.Text("UNDODIR", s.undodir);
  for (std::size_t i = 0; i < w.col.size(); ++i) write.Integer(kColumnKeys[i], w.col[i]);
  write.Integer("UNDO", s.undo);
  write.Boolean("SMUNDO", s.smundo);
  write.Boolean("SAUNDO", s.saundo);
  write.Integer("SEARCHTYPE", w.searchtype);
  write.Integer("SCANMETHOD", s.scanmethod);
  write.Integer("LOGGING", s.logging);
  write.Integer("DEFAULTUNDO", s.defaultundo);
  write.Boolean("FIXPERMS", s.fixperms);

  if (base::WriteFileAtomically(path, file.ToText(), writer)) return std::nullopt;
  return "Error Saving Keyloom INI file [Unable to write to " + ini_path + "]";
}

}  // namespace keyloom::shell
