#include "files/reg_file_format.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "files/reg_file_testing.h"
#include "support/value_data.h"

namespace keyloom::files {
namespace {

using reg::Bytes;
using reg::RawValue;

using keyloom::testing::Utf16Z;

std::vector<std::string> Lines(const std::string& value_line) {
  return testing::SplitCrLf(value_line);
}

TEST(RegFileFormat, EscapesNamesAndStringsAsTheRegistryEditorReadsThem) {
  EXPECT_EQ(RegValueLine("Path", {reg::kRegSz, Utf16Z(u"C:\\Temp")}), R"("Path"="C:\\Temp")");
  EXPECT_EQ(RegValueLine("a\"b", {reg::kRegSz, Utf16Z(u"x")}), R"("a\"b"="x")");
  EXPECT_EQ(EscapeRegText("\\\"'%;[]="), "\\\\\\\"'%;[]=");
  // The unnamed value is "@", the registry editor's own form.
  EXPECT_EQ(RegValueLine("", {reg::kRegSz, Utf16Z(u"abc")}), "@=\"abc\"");
  EXPECT_EQ(RegRemoveValueLine(""), "@=-");
  EXPECT_EQ(RegRemoveValueLine("B\\"), R"("B\\"=-)");
  // Names and strings beyond ASCII stay as they are (the file is UTF-16).
  EXPECT_EQ(RegValueLine("Grüße", {reg::kRegSz, Utf16Z(u"日本")}), "\"Grüße\"=\"日本\"");
}

TEST(RegFileFormat, EveryKindHasItsPrefixAndData) {
  EXPECT_EQ(RegValueLine("Count", {reg::kRegDword, {0xFF, 0, 0, 0}}), "\"Count\"=dword:000000ff");
  EXPECT_EQ(RegValueLine("x", {reg::kRegExpandSz, Utf16Z(u"%A%")}),
            "\"x\"=hex(2):25,00,41,00,25,00,00,00");
  EXPECT_EQ(RegValueLine("x", {reg::kRegExpandSz, Utf16Z(u"")}), "\"x\"=hex(2):00,00");
  // Real UTF-16LE, not one byte per character.
  EXPECT_EQ(RegValueLine("x", {reg::kRegExpandSz, Utf16Z(u"é€")}),
            "\"x\"=hex(2):e9,00,ac,20,00,00");
  EXPECT_EQ(RegValueLine("m", {reg::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}}),
            "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00");
  EXPECT_EQ(RegValueLine("b", {reg::kRegBinary, {1, 0xAB}}), "\"b\"=hex:01,ab");
  EXPECT_EQ(RegValueLine("q", {reg::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}}),
            "\"q\"=hex(b):01,02,03,04,05,06,07,08");
  EXPECT_EQ(RegValueLine("r", {reg::kRegResourceList, {1}}), "\"r\"=hex(8):01");
  EXPECT_EQ(RegValueLine("r", {reg::kRegFullResourceDescriptor, {1}}), "\"r\"=hex(9):01");
  EXPECT_EQ(RegValueLine("r", {reg::kRegResourceRequirementsList, {1}}), "\"r\"=hex(a):01");
}

TEST(RegFileFormat, DataTheQuotedFormsCannotCarryKeepsItsTypeAndBytes) {
  // A string with data after its NUL, without terminator, of odd size, empty, with a line break.
  EXPECT_EQ(RegValueLine("s", {reg::kRegSz, {'a', 0, 0, 0, 'b', 0}}),
            "\"s\"=hex(1):61,00,00,00,62,00");
  EXPECT_EQ(RegValueLine("s", {reg::kRegSz, {'a', 0}}), "\"s\"=hex(1):61,00");
  EXPECT_EQ(RegValueLine("s", {reg::kRegSz, {'a', 0, 0}}), "\"s\"=hex(1):61,00,00");
  EXPECT_EQ(RegValueLine("s", {reg::kRegSz, {}}), "\"s\"=hex(1):");
  EXPECT_EQ(RegValueLine("s", {reg::kRegSz, Utf16Z(u"a\r\nb")}),
            "\"s\"=hex(1):61,00,0d,00,0a,00,62,00,00,00");
  // An integer of another size, REG_NONE and types without a name of their own.
  EXPECT_EQ(RegValueLine("d", {reg::kRegDword, {1, 2}}), "\"d\"=hex(4):01,02");
  EXPECT_EQ(RegValueLine("d", {reg::kRegDword, {}}), "\"d\"=hex(4):");
  EXPECT_EQ(RegValueLine("n", {reg::kRegNone, {7}}), "\"n\"=hex(0):07");
  EXPECT_EQ(RegValueLine("n", {reg::kRegDwordBigEndian, {0, 0, 0, 1}}), "\"n\"=hex(5):00,00,00,01");
  EXPECT_EQ(RegValueLine("n", {0x1234, {}}), "\"n\"=hex(1234):");
}

TEST(RegFileFormat, ByteListsWrapAfterACommaWithinColumn79) {
  // 40 bytes: the prefix and 22 bytes (78 characters with the "\"), then 18 bytes.
  const auto lines = Lines(RegValueLine("name", {reg::kRegBinary, Bytes(40, 1)}));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 78u);
  EXPECT_EQ(lines[0], "\"name\"=hex:" + ByteList(Bytes(22, 1)) + ",\\");
  EXPECT_EQ(lines[1], "  " + ByteList(Bytes(18, 1)));

  // Full continuation lines carry 25 bytes; no line is longer than 80.
  const auto long_lines = Lines(RegValueLine("name", {reg::kRegBinary, Bytes(200, 0xEE)}));
  ASSERT_GE(long_lines.size(), 3u);
  EXPECT_EQ(long_lines[1], "  " + ByteList(Bytes(25, 0xEE)) + ",\\");
  for (const auto& line : long_lines) EXPECT_LE(line.size(), 80u);

  // A value of a megabyte (a large binary value in a key tree's record) wraps the same way all
  // along, and its lines join back into the whole byte list.
  const Bytes big(1 << 20, 0xAB);
  const auto big_lines = Lines(RegValueLine("big", {reg::kRegBinary, big}));
  std::string joined;
  for (std::size_t i = 0; i < big_lines.size(); ++i) {
    std::string_view line = big_lines[i];
    ASSERT_LE(line.size(), 80u) << i;
    if (i > 0) line.remove_prefix(2);
    if (i + 1 < big_lines.size()) line.remove_suffix(1);
    joined += line;
  }
  EXPECT_EQ(joined, "\"big\"=hex:" + ByteList(big));
}

TEST(RegFileFormat, LinesOf78And79CharactersStayWholeAnd80Wrap) {
  // "n"=hex: is 8 characters, the first byte 2 and each further one 3: 8 + 2 + 3 * 23 = 79.
  const std::string line79 = RegValueLine("n", {reg::kRegBinary, Bytes(24, 2)});
  EXPECT_EQ(line79.size(), 79u);
  EXPECT_EQ(Lines(line79).size(), 1u);
  const std::string line78 = RegValueLine("nnn", {reg::kRegBinary, Bytes(23, 2)});
  EXPECT_EQ(line78.size(), 78u);
  EXPECT_EQ(Lines(line78).size(), 1u);
  // One more character: cut after the last comma within the first 79.
  const auto lines80 = Lines(RegValueLine("nn", {reg::kRegBinary, Bytes(24, 2)}));
  ASSERT_EQ(lines80.size(), 2u);
  EXPECT_EQ(lines80[0], "\"nn\"=hex:" + ByteList(Bytes(23, 2)) + ",\\");
  EXPECT_EQ(lines80[1], "  02");
}

TEST(RegFileFormat, LongNamesAreNeverCut) {
  // No comma of the byte list within the first 79 characters: one line.
  const std::string name(80, 'n');
  EXPECT_EQ(Lines(RegValueLine(name, {reg::kRegBinary, Bytes(30, 3)})).size(), 1u);
  // A comma inside the name is not a place to cut either.
  const std::string comma_name = std::string(30, 'a') + "," + std::string(45, 'b');
  const std::string line = RegValueLine(comma_name, {reg::kRegBinary, Bytes(2, 3)});
  EXPECT_EQ(Lines(line).size(), 1u) << line;
  // Wrapping counts characters, not bytes: 20 three-byte characters are 20 columns.
  const std::string wide_name = "名前名前名前名前名前名前名前名前名前名前";
  const auto wide = Lines(RegValueLine(wide_name, {reg::kRegBinary, Bytes(17, 4)}));
  EXPECT_EQ(wide.size(), 1u);  // 22 + 5 + 17 * 3 - 1 = 77 characters (117 bytes)
}

TEST(RegFileFormat, PlainFormForTheCsvExport) {
  EXPECT_EQ(PlainValueText({reg::kRegSz, Utf16Z(u"abc")}), "abc");
  EXPECT_EQ(PlainValueText({reg::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}}), "a");
  EXPECT_EQ(PlainValueText({reg::kRegExpandSz, Utf16Z(u"%A%")}), "%A%");
  EXPECT_EQ(PlainValueText({reg::kRegDword, {0xFF, 0, 0, 0}}), "255");
  EXPECT_EQ(PlainValueText({reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}}), "-1");
  EXPECT_EQ(PlainValueText({reg::kRegMultiSz, {'a', 0, 0, 0, 0, 0}}), "61,00,00,00,00,00");
  EXPECT_EQ(PlainValueText({reg::kRegBinary, {1, 2}}), "01,02");
  EXPECT_EQ(PlainValueText({reg::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}}), "01,00,00,00,00,00,00,00");
  EXPECT_EQ(PlainValueText({reg::kRegNone, {1}}), "");
  EXPECT_EQ(PlainValueText({reg::kRegDwordBigEndian, {1}}), "");
}

TEST(RegFileFormat, FilesAreUtf16LittleEndian) {
  EXPECT_EQ(EncodeUtf16Le("A€"), std::string("A\0\xAC\x20", 4));
  EXPECT_EQ(testing::DecodeUtf16File(std::string(kUtf16Bom) + EncodeUtf16Le("Grüße\r\n")),
            "Grüße\r\n");
}

}  // namespace
}  // namespace keyloom::files
