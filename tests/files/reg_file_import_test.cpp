#include "files/reg_file_import.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/text.h"
#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "files/undo_file.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry_contract.h"
#include "support/temp_folder.h"
#include "support/value_data.h"

namespace keyloom::files {

using text::Cat;

namespace {

using keyloom::testing::TempFolder;
using keyloom::testing::Utf16Z;
using keyloom::testing::WriteBytes;
using reg::testing::Snapshot;
using reg::testing::TreeSnapshot;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// `text` with every "~" turned into a NUL.
std::string WithNul(std::string text) {
  std::replace(text.begin(), text.end(), '~', '\0');
  return text;
}

reg::RawValue Raw(std::uint32_t type, reg::Bytes data) {
  return reg::RawValue{type, std::move(data)};
}

class RegFileImport : public ::testing::Test {
 protected:
  std::string File(std::string_view name, std::string_view bytes) {
    const auto path = folder_.path() / std::string(name);
    WriteBytes(path, bytes);
    return base::PathToUtf8(path);
  }
  MergeOutcome Merge(const std::string& file) {
    return MergeRegFile(*memory_, reg::Target{"", reg::RegView::kNone}, file);
  }
  TreeSnapshot Tree() { return Snapshot(*memory_, reg::kCurrentUser, "Software\\Imp"); }

  std::unique_ptr<reg::MemoryRegistry> memory_ = reg::NewMemoryRegistry();
  TempFolder folder_;
};

// Every kind the program's writer produces, with escapes, wrapped byte lists, the unnamed value
// and data the quoted form cannot carry, written by the writer into a real undo file and merged
// back into an empty registry: the same types and the same bytes.
TEST_F(RegFileImport, MergesEveryKindTheWriterWritesBackToTheSameBytes) {
  const std::vector<std::pair<std::string, reg::RawValue>> values = {
      {"", Raw(reg::kRegSz, Utf16Z(u"unnamed"))},
      {"Path", Raw(reg::kRegSz, Utf16Z(u"C:\\Temp \"quoted\" \u00e9\u20ac"))},
      {"a\"b\\c", Raw(reg::kRegSz, Utf16Z(u"x"))},
      {"empty", Raw(reg::kRegSz, {})},
      {"nul inside", Raw(reg::kRegSz, Utf16Z(std::u16string(u"a\0b", 3)))},
      {"odd", Raw(reg::kRegSz, {0x41, 0x00, 0x42})},
      {"line break", Raw(reg::kRegSz, Utf16Z(u"a\r\nb"))},
      {"expand", Raw(reg::kRegExpandSz, Utf16Z(u"%SystemRoot%\\x"))},
      {"Count", Raw(reg::kRegDword, reg::LittleEndian<std::uint32_t>(0xfffffffe))},
      {"short dword", Raw(reg::kRegDword, {1, 2})},
      {"multi", Raw(reg::kRegMultiSz, Utf16Z(std::u16string(u"one\0two\0", 8)))},
      {"binary", Raw(reg::kRegBinary, reg::Bytes(120, 0xab))},
      {"qword", Raw(reg::kRegQword, reg::LittleEndian<std::uint64_t>(0x0102030405060708))},
      {"none", Raw(reg::kRegNone, {1, 2, 3})},
      {"resources", Raw(reg::kRegResourceList, reg::Bytes(30, 7))},
      {"big endian", Raw(reg::kRegDwordBigEndian, {0, 0, 0, 1})},
      {"odd type", Raw(0x12345, {9})},
      {std::string(100, 'n'), Raw(reg::kRegBinary, reg::Bytes(60, 1))},
  };
  std::vector<std::string> lines = {"", "[HKEY_CURRENT_USER\\Software\\Imp\\Sub Key]"};
  for (const auto& [name, value] : values) lines.push_back(RegValueLine(name, value));
  const auto file = base::PathToUtf8(folder_.path() / "UNDO-20240131-001.REG");
  ASSERT_EQ(AppendRegLines(file, RegFileHeaderLines(""), lines), "");

  const auto outcome = Merge(file);
  EXPECT_TRUE(outcome.ok()) << ::testing::PrintToString(outcome.errors);
  EXPECT_EQ(outcome.records, 1u);
  std::map<std::string, reg::RawValue> expected(values.begin(), values.end());
  EXPECT_EQ(Tree(), (TreeSnapshot{{"", {}}, {"Sub Key", expected}}));
}

// The registry editor's other forms: an 8-bit REGEDIT4 file (Windows-1252 text, hex(2) bytes of
// the code page), a UTF-8 file with its mark, "@" and "" for the unnamed value, blanks and
// comments, removals of keys and values, a short dword and a trailing comma in a byte list.
TEST_F(RegFileImport, MergesTheEditorsOtherFormsAndRemovals) {
  const std::string ansi =
      "REGEDIT4\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Imp\\Old]\r\n"
      "\"gone\"=\"soon\"\r\n"
      "[HKEY_CURRENT_USER\\Software\\Imp\\A]\r\n"
      "@=\"Caf\xE9 \x80\"\r\n"
      "\"e\"=hex(2):25,41,e9,25,00\r\n"
      "\"m\"=hex(7):61,00,62,00,00\r\n"
      "\"stay\"=\"x\"\r\n"
      "\"drop\"=\"y\"\r\n";
  ASSERT_TRUE(Merge(File("a.reg", ansi)).ok());
  const std::string utf8 =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "\n"
      "; a comment\n"
      "[-HKEY_CURRENT_USER\\Software\\Imp\\Old]\n"
      "\"ignored\"=\"below a removed key\"\n"
      "  [HKEY_CURRENT_USER\\Software\\Imp\\A]  \n"
      "\"\" = \"Caf\xC3\xA9 again\"\n"
      "\"drop\"=-\n"
      "\"never there\"=-\n"
      "\"d\"=dword:ff\n"
      "\"b\"=hex:01, 02,\\\n"
      "    03,\n"
      "[-HKEY_CURRENT_USER\\Software\\Imp\\Never]\n";
  const auto outcome = Merge(File("b.reg", utf8));
  EXPECT_TRUE(outcome.ok()) << ::testing::PrintToString(outcome.errors);
  EXPECT_EQ(outcome.records, 3u);
  EXPECT_EQ(Tree(), (TreeSnapshot{
                        {"", {}},
                        {"A",
                         {{"", Raw(reg::kRegSz, Utf16Z(u"Caf\u00e9 again"))},
                          {"e", Raw(reg::kRegExpandSz, Utf16Z(u"%A\u00e9%"))},
                          {"m", Raw(reg::kRegMultiSz, Utf16Z(std::u16string(u"a\0b\0", 4)))},
                          {"stay", Raw(reg::kRegSz, Utf16Z(u"x"))},
                          {"d", Raw(reg::kRegDword, {0xff, 0, 0, 0})},
                          {"b", Raw(reg::kRegBinary, {1, 2, 3})}}},
                    }));
  // UTF-16LE with its mark, as the editor and the program write version 5.00 files.
  const auto utf16 =
      File("c.reg", Cat({kUtf16Bom, EncodeUtf16Le("Windows Registry Editor Version 5.00\r\n"
                                                  "[HKEY_CURRENT_USER\\Software\\Imp\\A]\r\n"
                                                  "\"u\"=\"\xE2\x82\xAC\"\r\n")}));
  ASSERT_TRUE(Merge(utf16).ok());
  EXPECT_EQ(Tree()["A"]["u"], Raw(reg::kRegSz, Utf16Z(u"\u20ac")));
}

// A malformed line stops its file: the records before it are merged whole, the record it stands
// in and everything after it not at all, and the message names the line. (A malformed key line
// starts a record of its own: the one before it is whole.)
TEST_F(RegFileImport, AMalformedLineStopsTheFileAndNamesItsLine) {
  const std::string head =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Imp\\Before]\r\n"
      "\"v\"=\"1\"\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Imp\\Broken]\r\n"
      "\"w\"=\"2\"\r\n";
  const TreeSnapshot before = {{"", {}}, {"Before", {{"v", Raw(reg::kRegSz, Utf16Z(u"1"))}}}};
  auto with_broken = before;
  with_broken["Broken"] = {{"w", Raw(reg::kRegSz, Utf16Z(u"2"))}};
  const std::string tail = "[HKEY_CURRENT_USER\\Software\\Imp\\After]\r\n\"z\"=\"3\"\r\n";
  struct Case {
    std::string line;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"\"x\"=dword:123456789", "dword"},
      {"\"x\"=dword:xyz", "dword"},
      {"\"x\"=\"no end", "closing double quote"},
      {"\"x\"=\"a\" b", "after the string"},
      {"\"x\"=\"a\\tb\"", "escape"},
      {"\"x\" \"y\"", "\"=\""},
      {"\"x\"=hex:1,,2", "not a byte"},
      {"\"x\"=hex:100", "not a byte"},
      {"\"x\"=hex(zz):01", "hex(type)"},
      {"\"x\"=sz:abc", "no known form"},
      {"[HKEY_NOWHERE\\x]", "unknown root key HKEY_NOWHERE"},
      {"[HKEY_CURRENT_USER\\x", "closing bracket"},
      {"[-HKEY_CURRENT_USER]", "root key cannot be removed"},
      {"just text", "neither"},
      // One flipped bit turns a blank into a NUL: the system would read a shorter name.
      {WithNul("[HKEY_CURRENT_USER\\Software\\Imp\\Before~ghost]"), "(0x00) in the key's name"},
      {WithNul("[-HKEY_CURRENT_USER\\Software\\Imp~\\x]"), "(0x00) in the key's name"},
      {WithNul("\"v~other\"=\"x\""), "(0x00) in the value's name"},
      {"[HKEY_CURRENT_USER\\Software\\Imp\\a\x1f]", "(0x1F) in the key's name"},
      {"\"v\x01\"=dword:00000001", "(0x01) in the value's name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    memory_ = reg::NewMemoryRegistry();
    const auto outcome = Merge(File("bad.reg", Cat({head, c.line, "\r\n", tail})));
    const bool key_line = c.line[0] == '[';
    EXPECT_EQ(outcome.records, key_line ? 2u : 1u);
    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_THAT(outcome.errors[0], HasSubstr("Malformed line 8 ["));
    EXPECT_THAT(outcome.errors[0], HasSubstr(c.reason));
    EXPECT_EQ(Tree(), key_line ? with_broken : before);
  }
  // A byte list continued past the end of the file, and a file that is not a registry file.
  EXPECT_EQ(ParseRegFile(Cat({head, "\"x\"=hex:01,\\\r\n  02,\\\r\n"})).error_line, 9u);
  EXPECT_EQ(ParseRegFile("Windows Registry Editor\r\n").error_line, 1u);
  EXPECT_EQ(ParseRegFile("").error_line, 1u);
  const auto early = ParseRegFile("REGEDIT4\r\n\"v\"=\"1\"\r\n");
  EXPECT_EQ(early.error, "Malformed line 2 [a value line before the first key]");
}

// A file that ends without a line end in the middle of its last record (cut from a longer file)
// says so, and nothing of that record is merged; a last line that is whole counts.
TEST_F(RegFileImport, ACutLastRecordIsReportedAndLeftOut) {
  const std::string head =
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_CURRENT_USER\\Software\\Imp\\Before]\r\n"
      "\"v\"=\"1\"\r\n"
      "[HKEY_CURRENT_USER\\Software\\Imp\\Last]\r\n"
      "\"w\"=\"2\"\r\n";
  const TreeSnapshot before = {{"", {}}, {"Before", {{"v", Raw(reg::kRegSz, Utf16Z(u"1"))}}}};
  struct Case {
    std::string last;
    bool cut;
  };
  const std::vector<Case> cases = {
      {"\"d\"=dword:1234", true},       // cut from dword:12345678
      {"\"d\"=dword:12345678", false},  // whole
      {"\"s\"=\"half a te", true},
      {"\"b\"=hex:01,02,", true},
      {"\"b\"=hex:01,0", true},
      {"\"b\"=hex:01,\\\r\n  02,03,\\\r\n  0", true},
      {"\"b\"=hex:01,02", false},
      {"\"b\"=he", true},
      {"[HKEY_CURRENT_USER\\Software\\Imp\\Aft", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last);
    memory_ = reg::NewMemoryRegistry();
    const auto contents = ParseRegFile(Cat({head, c.last}));
    EXPECT_EQ(contents.cut, c.cut);
    const auto outcome = Merge(File("cut.reg", Cat({head, c.last})));
    if (!c.cut) {
      EXPECT_TRUE(outcome.ok()) << ::testing::PrintToString(outcome.errors);
      EXPECT_EQ(Tree().size(), 3u);
      continue;
    }
    EXPECT_THAT(outcome.errors, ElementsAre(HasSubstr("Cut line ")));
    EXPECT_THAT(outcome.errors[0], HasSubstr("the file ends in the middle of this record"));
    if (c.last[0] == '[') {
      EXPECT_EQ(outcome.records, 2u);
      EXPECT_EQ(Tree()["Last"].size(), 1u);
    } else {
      EXPECT_EQ(outcome.records, 1u);
      EXPECT_EQ(Tree(), before);
    }
  }
  // UTF-16 cut inside a character: the last record is left out.
  const std::string utf16 = Cat({kUtf16Bom, EncodeUtf16Le(head), EncodeUtf16Le("\"x\"=\"a\"")});
  const auto odd = ParseRegFile(utf16.substr(0, utf16.size() - 1));
  EXPECT_TRUE(odd.cut);
  EXPECT_EQ(odd.records.size(), 1u);
  EXPECT_TRUE(ParseRegFile(utf16).error.empty());
}

// A record is merged whole or not at all: when a value cannot be written (a name longer than the
// registry allows), the values written before it get their former state back, and a key the
// record created goes again; the records around it are merged.
TEST_F(RegFileImport, ARecordWithAValueThatCannotBeWrittenIsNotMergedAtAll) {
  const std::string too_long(16384, 'n');
  const auto file = File("w.reg", Cat({"Windows Registry Editor Version 5.00\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Imp\\Old]\r\n"
                                       "\"keep\"=\"new\"\r\n"
                                       "\"gone\"=-\r\n"
                                       "\"added\"=dword:00000001\r\n\"",
                                       too_long,
                                       "\"=\"x\"\r\n"
                                       "\"after\"=\"y\"\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Imp\\New\\Deep]\r\n"
                                       "\"a\"=\"1\"\r\n\"",
                                       too_long,
                                       "\"=\"x\"\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Imp\\Next]\r\n"
                                       "\"z\"=\"3\"\r\n"}));
  const std::map<std::string, reg::RawValue> old_values = {
      {"keep", Raw(reg::kRegSz, Utf16Z(u"old"))}, {"gone", Raw(reg::kRegDword, {1, 0, 0, 0})}};
  {
    reg::TRegistry registry(*memory_);
    registry.SetRootKey(reg::kCurrentUser);
    registry.CreateKey("\\Software\\Imp\\Old");
    ASSERT_TRUE(registry.OpenKey("\\Software\\Imp\\Old"));
    for (const auto& [name, value] : old_values) registry.WriteRaw(name, value);
  }
  const auto outcome = Merge(file);
  EXPECT_EQ(outcome.records, 1u);
  EXPECT_THAT(
      outcome.errors,
      ElementsAre(HasSubstr("Unable to write value [HKEY_CURRENT_USER\\Software\\Imp\\Old\\n"),
                  "Nothing of the record [HKEY_CURRENT_USER\\Software\\Imp\\Old] was merged",
                  HasSubstr("Unable to write value [HKEY_CURRENT_USER\\Software\\Imp\\New"),
                  "Nothing of the record [HKEY_CURRENT_USER\\Software\\Imp\\New\\Deep] was "
                  "merged"));
  EXPECT_EQ(Tree(),
            (TreeSnapshot{
                {"", {}}, {"Old", old_values}, {"Next", {{"z", Raw(reg::kRegSz, Utf16Z(u"3"))}}}}));
}

// Merged in the 64-bit view, a path through Wow6432Node reaches the 32-bit view's key, as the
// 64-bit registry editor merges undo files; without a view flag HKEY_LOCAL_MACHINE\Software\X is
// the 32-bit key in a 32-bit process.
TEST_F(RegFileImport, MergesIntoTheViewThatThePathNames) {
  const auto file = File("v.reg",
                         "Windows Registry Editor Version 5.00\r\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Imp]\r\n\"w\"=\"32\"\r\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\Imp]\r\n\"w\"=\"64\"\r\n");
  ASSERT_TRUE(MergeRegFile(*memory_, reg::Target{"", reg::RegView::k64}, file).ok());
  using reg::access::kWow64_32Key;
  using reg::access::kWow64_64Key;
  EXPECT_THAT(Snapshot(*memory_, reg::kLocalMachine, "Software\\Imp", kWow64_32Key)[""],
              ElementsAre(std::pair{std::string("w"), Raw(reg::kRegSz, Utf16Z(u"32"))}));
  EXPECT_THAT(Snapshot(*memory_, reg::kLocalMachine, "Software\\Imp", kWow64_64Key)[""],
              ElementsAre(std::pair{std::string("w"), Raw(reg::kRegSz, Utf16Z(u"64"))}));
}

}  // namespace
}  // namespace keyloom::files
