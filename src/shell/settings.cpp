#include "shell/settings.h"

#include <filesystem>
#include <limits>
#include <system_error>
#include <type_traits>

#include "base/utf8_path.h"
#include "shell/filter_texts.h"

namespace keyloom::shell {
namespace {

// A text value is read as at most this many characters.
constexpr std::size_t kMaxValueCharacters = 2047;

// Column widths outside this range fall back to the column's default.
constexpr int kMinColumnWidth = 1;
constexpr int kMaxColumnWidth = 1500;

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

// ---- The keys of the file ----
//
// One table names every key with the member it is kept in: LoadSettings reads the keys through it,
// SaveSettings writes them through it in its order, so no key can be read and never saved. A key
// is read into records that already hold the defaults: a missing key or a value that does not
// parse (or lies outside its range) leaves the default in place.

struct IniKey {
  const char* name;
  void (*read)(std::string_view text, Settings& s, WindowSettings& w);  // null: never read
  std::string (*write)(const Settings& s, const WindowSettings& w);     // null: never written
  bool whole = false;  // read in full, past the limit of a text value (a list of any length)
};

template <typename T, typename C>
C RecordOfMember(T C::*);

// The member `Member` of whichever record it belongs to.
template <auto Member, typename S, typename W>
auto& Field(S& s, W& w) {
  if constexpr (std::is_same_v<decltype(RecordOfMember(Member)), Settings>) {
    return s.*Member;
  } else {
    return w.*Member;
  }
}

template <auto Member>
constexpr IniKey TextKey(const char* name) {
  return {name,
          [](std::string_view text, Settings& s, WindowSettings& w) {
            Field<Member>(s, w) = std::string(text);
          },
          [](const Settings& s, const WindowSettings& w) { return Field<Member>(s, w); }};
}

template <auto Member, int Min = std::numeric_limits<int>::min(),
          int Max = std::numeric_limits<int>::max()>
constexpr IniKey IntegerKey(const char* name) {
  return {name,
          [](std::string_view text, Settings& s, WindowSettings& w) {
            const std::optional<int> value = ParseIniInteger(text);
            if (value && *value >= Min && *value <= Max) Field<Member>(s, w) = *value;
          },
          [](const Settings& s, const WindowSettings& w) {
            return std::to_string(Field<Member>(s, w));
          }};
}

template <auto Member>
constexpr IniKey BooleanKey(const char* name) {
  return {name,
          [](std::string_view text, Settings& s, WindowSettings& w) {
            if (const std::optional<int> value = ParseIniInteger(text)) {
              Field<Member>(s, w) = *value != 0;
            }
          },
          [](const Settings& s, const WindowSettings& w) {
            return std::string(Field<Member>(s, w) ? "1" : "0");
          }};
}

// A key that is read but never written: the file keeps whatever value it holds.
constexpr IniKey NeverWritten(IniKey key) {
  key.write = nullptr;
  return key;
}

// COL_0 .. COL_8: a width outside 1..1500 falls back to the column's default.
template <auto Widths, std::size_t Column>
constexpr IniKey ColumnKey(const char* name) {
  return {
      name,
      [](std::string_view text, Settings&, WindowSettings& w) {
        const std::optional<int> value = ParseIniInteger(text);
        if (value && *value >= kMinColumnWidth && *value <= kMaxColumnWidth) {
          (w.*Widths)[Column] = *value;
        }
      },
      [](const Settings&, const WindowSettings& w) { return std::to_string((w.*Widths)[Column]); }};
}

// The window's kept place: coordinates within +-kMaxPlaceCoordinate, sizes from 1 up to it; a
// value outside leaves the key's default (no place kept for a size).
constexpr int kMaxPlaceCoordinate = 100000;

template <auto Member, int Min, int Max>
constexpr IniKey PlaceKey(const char* name) {
  return {name,
          [](std::string_view text, Settings&, WindowSettings& w) {
            const std::optional<int> value = ParseIniInteger(text);
            if (value && *value >= Min && *value <= Max) w.place.*Member = *value;
          },
          [](const Settings&, const WindowSettings& w) { return std::to_string(w.place.*Member); }};
}

constexpr IniKey kMaximizedKey = {"WIN_MAXIMIZED",
                                  [](std::string_view text, Settings&, WindowSettings& w) {
                                    if (const std::optional<int> value = ParseIniInteger(text))
                                      w.place.maximized = *value != 0;
                                  },
                                  [](const Settings&, const WindowSettings& w) {
                                    return std::string(w.place.maximized ? "1" : "0");
                                  }};

// WARN: two flags, each "1" or anything else; written back as "1" or "0" each.
constexpr IniKey kWarnKey = {"WARN",
                             [](std::string_view text, Settings& s, WindowSettings&) {
                               s.suppress_key_name_warning = text.size() >= 1 && text[0] == '1';
                               s.warn_second_flag = text.size() >= 2 && text[1] == '1';
                             },
                             [](const Settings& s, const WindowSettings&) {
                               return std::string(s.suppress_key_name_warning ? "1" : "0") +
                                      (s.warn_second_flag ? "1" : "0");
                             }};

// REGUNDO: the main window's "Create Registry Undo File" box, which shows UNDO's run bits. Written
// from UNDO so that the file agrees with itself; on reading, UNDO decides and REGUNDO is ignored.
constexpr IniKey kRegUndoKey = {
    "REGUNDO", nullptr, [](const Settings& s, const WindowSettings&) {
      return std::string(RunUndoStateOf(s.undo) == RunUndoState::kAll ? "1" : "0");
    }};

// ---- The match mode and the filters ----
// A value that does not read as what the key holds leaves the key's default (no filter).

constexpr IniKey kMatchModeKey = {"MATCHMODE",
                                  [](std::string_view text, Settings&, WindowSettings& w) {
                                    if (const auto mode = engine::MatchModeNamed(text))
                                      w.rules.mode = *mode;
                                  },
                                  [](const Settings&, const WindowSettings& w) {
                                    return std::string(engine::MatchModeName(w.rules.mode));
                                  }};

using Limit = std::optional<std::uint64_t> engine::MatchRules::*;

template <Limit Member>
constexpr IniKey TimeKey(const char* name) {
  return {name,
          [](std::string_view text, Settings&, WindowSettings& w) {
            w.rules.*Member = engine::ParseLocalTime(text);
          },
          [](const Settings&, const WindowSettings& w) {
            return w.rules.*Member ? FilterTimeText(*(w.rules.*Member)) : std::string();
          }};
}

template <Limit Member>
constexpr IniKey SizeKey(const char* name) {
  return {name,
          [](std::string_view text, Settings&, WindowSettings& w) {
            w.rules.*Member = ParseByteCount(text);
          },
          [](const Settings&, const WindowSettings& w) {
            return w.rules.*Member ? std::to_string(*(w.rules.*Member)) : std::string();
          }};
}

// EXCLUDE: the excluded keys, separated by ";"; a "%" or ";" in a key's name is written "%25" or
// "%3B". An entry that names no key is left out; the others hold.
std::string JoinExclusions(const std::vector<engine::ExcludedKey>& keys) {
  std::string out;
  for (const engine::ExcludedKey& key : keys) {
    if (!out.empty()) out += ';';
    for (const char c : ExcludedKeyText(key)) {
      out += c == '%' ? std::string("%25") : c == ';' ? std::string("%3B") : std::string(1, c);
    }
  }
  return out;
}

std::vector<engine::ExcludedKey> SplitExclusions(std::string_view text) {
  std::vector<engine::ExcludedKey> keys;
  std::string entry;
  auto take = [&] {
    const std::optional<engine::ExcludedKey> key = ParseExcludedKey(entry);
    if (key) keys.push_back(*key);
    entry.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ';') {
      take();
    } else if (text.substr(i, 3) == "%25" || text.substr(i, 3) == "%3B" ||
               text.substr(i, 3) == "%3b") {
      entry += text[i + 1] == '2' ? '%' : ';';
      i += 2;
    } else {
      entry += text[i];
    }
  }
  take();
  return keys;
}

constexpr IniKey kExcludeKey = {
    "EXCLUDE",
    [](std::string_view text, Settings&, WindowSettings& w) {
      w.rules.exclusions = SplitExclusions(text);
    },
    [](const Settings&, const WindowSettings& w) { return JoinExclusions(w.rules.exclusions); },
    true};

// In the order of a new file.
constexpr IniKey kIniKeys[] = {
    TextKey<&WindowSettings::find>("FIND"),
    TextKey<&WindowSettings::replace>("REPLACE"),
    BooleanKey<&Settings::autostart>("AUTOSTART"),
    BooleanKey<&Settings::autoclose>("AUTOCLOSE"),
    BooleanKey<&Settings::autohide>("AUTOHIDE"),
    BooleanKey<&Settings::updateini>("UPDATEINI"),
    BooleanKey<&Settings::enabledel>("ENABLEDEL"),
    BooleanKey<&Settings::wholenum>("WHOLENUM"),
    BooleanKey<&Settings::showpermerr>("SHOWPERMERR"),
    IntegerKey<&WindowSettings::searchkey, 0, 6>("SEARCHKEY"),
    BooleanKey<&WindowSettings::usecase>("USECASE"),
    BooleanKey<&WindowSettings::searchkeys>("SEARCHKEYS"),
    BooleanKey<&WindowSettings::searchvalues>("SEARCHVALUES"),
    BooleanKey<&WindowSettings::searchtree>("SEARCHTREE"),
    kRegUndoKey,
    kWarnKey,
    TextKey<&Settings::undodir>("UNDODIR"),
    ColumnKey<&WindowSettings::col, 0>("COL_0"),
    ColumnKey<&WindowSettings::col, 1>("COL_1"),
    ColumnKey<&WindowSettings::col, 2>("COL_2"),
    IntegerKey<&Settings::undo>("UNDO"),
    BooleanKey<&Settings::smundo>("SMUNDO"),
    BooleanKey<&Settings::saundo>("SAUNDO"),
    IntegerKey<&WindowSettings::searchtype, 0, 8>("SEARCHTYPE"),
    IntegerKey<&Settings::scanmethod, 0, 1>("SCANMETHOD"),
    IntegerKey<&Settings::logging>("LOGGING"),
    IntegerKey<&Settings::defaultundo>("DEFAULTUNDO"),
    NeverWritten(BooleanKey<&Settings::simulate>("SIMULATE")),  // set only by editing the file
    BooleanKey<&Settings::fixperms>("FIXPERMS"),
    ColumnKey<&WindowSettings::detail_col, 0>("COL_3"),
    ColumnKey<&WindowSettings::detail_col, 1>("COL_4"),
    ColumnKey<&WindowSettings::detail_col, 2>("COL_5"),
    ColumnKey<&WindowSettings::detail_col, 3>("COL_6"),
    PlaceKey<&WindowPlace::left, -kMaxPlaceCoordinate, kMaxPlaceCoordinate>("WIN_LEFT"),
    PlaceKey<&WindowPlace::top, -kMaxPlaceCoordinate, kMaxPlaceCoordinate>("WIN_TOP"),
    PlaceKey<&WindowPlace::width, 1, kMaxPlaceCoordinate>("WIN_WIDTH"),
    PlaceKey<&WindowPlace::height, 1, kMaxPlaceCoordinate>("WIN_HEIGHT"),
    kMaximizedKey,
    ColumnKey<&WindowSettings::detail_col, 4>("COL_7"),
    ColumnKey<&WindowSettings::detail_col, 5>("COL_8"),
    kMatchModeKey,
    TimeKey<&engine::MatchRules::modified_after>("MODIFIEDAFTER"),
    TimeKey<&engine::MatchRules::modified_before>("MODIFIEDBEFORE"),
    SizeKey<&engine::MatchRules::min_size>("MINSIZE"),
    SizeKey<&engine::MatchRules::max_size>("MAXSIZE"),
    kExcludeKey,
};

}  // namespace

std::string IniFilePath(std::string_view program_folder) {
  return std::string(program_folder) + std::string(kIniFileName);
}

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

LoadedSettings LoadSettings(std::string_view program_folder) {
  return LoadSettingsFile(IniFilePath(program_folder), program_folder);
}

LoadedSettings LoadSettingsFile(std::string_view ini_path, std::string_view program_folder) {
  const IniFile file = IniFile::Load(base::PathFromUtf8(ini_path));
  LoadedSettings loaded;
  for (const IniKey& key : kIniKeys) {
    if (key.read == nullptr) continue;
    if (const std::optional<std::string> text = file.Get(kIniSection, key.name)) {
      key.read(key.whole ? *text : LimitCharacters(*text, kMaxValueCharacters), loaded.settings,
               loaded.window);
    }
  }
  // An empty UNDODIR would put undo files at the root of the current drive: it takes the default.
  std::string& undodir = loaded.settings.undodir;
  if (undodir.empty()) undodir = std::string(program_folder) + "UNDO";
  undodir = PrepareUndoFolder(std::move(undodir), loaded.status_lines);
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
  for (const IniKey& key : kIniKeys) {
    if (key.write != nullptr) file.Set(kIniSection, key.name, key.write(s, w));
  }

  if (base::WriteFileAtomically(path, file.ToText(), writer)) return std::nullopt;
  return "Error Saving Keyloom INI file [Unable to write to " + ini_path + "]";
}

}  // namespace keyloom::shell
