// The "After replace" column: what each kind of hit becomes under the options shown, made from the
// row as the Key List keeps it, and the same as what a run then writes.
#include "shell/after_replace.h"

#include <set>

#include "engine/key_list_entry.h"
#include "engine/walk_fixture.h"
#include "shell/key_list_cells.h"
#include "shell/list_output.h"

namespace keyloom::shell {
namespace {

using engine::FoundIn;
using engine::MatchMode;

struct PreviewCase {
  const char* what;
  ReplaceInputs inputs;
  const char* type;  // empty for a key-name hit
  FoundIn found_in;
  std::string path;
  std::string value_name;
  std::string data;
  std::string expected;
};

ReplaceInputs Text(const char* find, const char* replace) {
  return {MatchMode::kText, find, replace, false, true};
}
ReplaceInputs Regex(const char* find, const char* replace) {
  return {MatchMode::kRegex, find, replace, false, true};
}
ReplaceInputs Hex(const char* find, const char* replace) {
  return {MatchMode::kHex, find, replace, false, true};
}

TEST(AfterReplaceTest, EveryKindOfHitShowsWhatItBecomes) {
  const std::string long_text = "old" + std::string(197, 'x');  // kept cut, as long data is
  const std::string ellipsis = "\xE2\x80\xA6";
  const PreviewCase cases[] = {
      {"string", Text("old", "new"), "REG_SZ", FoundIn::kData, "\\K", "Path", "C:\\OLD\\old.exe",
       "C:\\new\\new.exe"},
      {"expandable string", Text("old", "new"), "REG_EXPAND_SZ", FoundIn::kData, "\\K", "Exp",
       "%Old%\\bin", "%new%\\bin"},
      {"multi-string, element by element", Regex("^a(.)", "b$1"), "REG_MULTI_SZ", FoundIn::kData,
       "\\K", "List", "ax | ay | za", "bx | by | za"},
      {"multi-string of one element", Text("old", "new"), "REG_MULTI_SZ", FoundIn::kData, "\\K",
       "List", "Old one", "new one"},
      {"regex with a capture", Regex("(\\w+)@old", "$1@new"), "REG_SZ", FoundIn::kData, "\\K",
       "Mail", "me@old.org", "me@new.org"},
      {"dword", Text("26", "27"), "REG_DWORD", FoundIn::kData, "\\K", "N", "0x0000001a (26)",
       "0x0000001b (27)"},
      {"dword by its unsigned text", Text("4294967295", "-2"), "REG_DWORD", FoundIn::kData, "\\K",
       "N", "0xffffffff (4294967295)", "0xfffffffe (4294967294)"},
      {"dword refused", Text("26", "abc"), "REG_DWORD", FoundIn::kData, "\\K", "N",
       "0x0000001a (26)", "refused: 'abc' is not a valid integer value"},
      {"qword, regex", Regex("^5(0+)$", "7$1"), "REG_QWORD", FoundIn::kData, "\\K", "Q",
       "0x000000012a05f200 (5000000000)", "0x00000001a13b8600 (7000000000)"},
      {"number the find text no longer names", Text("99", "1"), "REG_DWORD", FoundIn::kData, "\\K",
       "N", "0x0000001a (26)", "0x0000001a (26)"},
      {"value name", Text("old", "new"), "REG_SZ", FoundIn::kValueName, "\\K", "Old name", "x",
       "new name"},
      {"unnamed value's name", Regex("Def", "Pre"), "REG_SZ", FoundIn::kValueName, "\\K",
       "(Default)", "x", "(Preault)"},
      {"key name", Text("old", "new"), "", FoundIn::kKeyName, "\\Software\\old\\Old key", "", "",
       "new key"},
      {"key name, regex", Regex("^(\\w+) key$", "$1 door"), "", FoundIn::kKeyName,
       "\\Software\\Old key", "", "", "Old door"},
      {"data kept cut", Text("old", "new"), "REG_SZ", FoundIn::kData, "\\K", "Long",
       long_text + ellipsis, "new" + std::string(197, 'x') + ellipsis},
      {"hex bytes", Hex("ADBE", "0000"), "REG_BINARY", FoundIn::kData, "\\K", "Bin",
       "de ad be ef", "de 00 00 ef"},
      {"regex that does not compile", Regex("(", "x"), "REG_SZ", FoundIn::kData, "\\K", "S", "a",
       ""},
  };
  for (const PreviewCase& c : cases) {
    SCOPED_TRACE(c.what);
    KeyListRows rows;
    engine::HitDetails details;
    details.type = c.type;
    details.data = c.data;
    details.found_in = c.found_in;
    ASSERT_TRUE(
        rows.Append(engine::MakeKeyListEntry("HKEY_CURRENT_USER", c.path, c.value_name), details));
    const AfterReplace after(c.inputs);
    const std::string cell = after.CellText(rows, 0);
    if (c.expected.empty()) {
      EXPECT_EQ(cell.rfind("refused: ", 0), 0u) << cell;
    } else {
      EXPECT_EQ(cell, c.expected);
    }
  }
}

// The column's cells after a search are what the replace run then writes, in the Text mode and in
// the Regex mode with a capture.
class AfterReplaceRunTest : public engine::testing::WalkTest {
 protected:
  void RunWith(const ReplaceInputs& inputs, bool replace) {
    controls_.find = inputs.find;
    controls_.replace = inputs.replace;
    controls_.rules.mode = inputs.mode;
    Run(replace);
  }
};

TEST_F(AfterReplaceRunTest, TheColumnShowsWhatTheRunWrites) {
  for (const ReplaceInputs& inputs : {Text("old", "new"), Regex("(o)ld", "$1ut")}) {
    SCOPED_TRACE(inputs.find);
    Reset();
    PutString("Software\\T", "Path", "C:\\old\\OLD.exe");
    PutString("Software\\T", "Exp", "%old%", reg::kRegExpandSz);
    Put("Software\\T", "List",
        {reg::kRegMultiSz,
         text::Utf16ToBytes(text::Utf8ToUtf16(std::string("old a\0b\0old\0\0", 14)))});
    PutString("Software\\T", "old name", "plain");
    MakeKey("Software\\T\\old key");
    controls_.key_names = controls_.values = controls_.value_names = true;
    testing::ListOutput search{output_};
    walk_output_ = &search;
    Build();
    RunWith(inputs, false);
    ASSERT_EQ(search.rows.size(), 5u);
    const AfterReplace after(inputs);
    std::multiset<std::string> previews;
    for (std::size_t i = 0; i < search.rows.size(); ++i) {
      previews.insert(after.CellText(search.rows, i));
    }

    testing::ListOutput replaced{output_};
    walk_output_ = &replaced;
    Build();
    RunWith(inputs, true);
    ASSERT_EQ(replaced.rows.size(), 5u);
    std::multiset<std::string> written;
    for (std::size_t i = 0; i < replaced.rows.size(); ++i) {
      const RowCells cells = CellsOf(replaced.rows, i);
      EXPECT_EQ(cells.texts[kColumnResult],
                cells.texts[kColumnFoundIn] == "Data" ? "Replaced" : "Renamed");
      if (cells.texts[kColumnFoundIn] == "Data") {
        written.emplace(cells.texts[kColumnData]);
      } else if (cells.texts[kColumnFoundIn] == "Value name") {
        written.emplace(cells.texts[kColumnValueName]);
      } else {
        const std::string_view path = cells.texts[kColumnPath];
        written.emplace(path.substr(path.rfind('\\') + 1));
      }
    }
    EXPECT_EQ(previews, written);
    walk_output_ = nullptr;
    Build();
  }
}

}  // namespace
}  // namespace keyloom::shell
