#include "shell/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;
using keyloom::testing::WriteBytes;

TEST(IniDecoding, Windows1252UpperHalfBecomesItsCharacters) {
  // Euro sign, curly quotes, a-umlaut, y-diaeresis; 81 is undefined and maps to U+0081.
  EXPECT_EQ(Windows1252ToUtf8("\x80 \x93q\x94 \xE4 \xFF \x81"),
            "\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC3\xA4 \xC3\xBF \xC2\x81");
  EXPECT_EQ(Windows1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(IniDecoding, ChoosesTheEncodingFromTheBytes) {
  EXPECT_EQ(DecodeIniText("FIND=Caf\xC3\xA9"), "FIND=Caf\xC3\xA9");  // valid UTF-8 as is
  EXPECT_EQ(DecodeIniText("\xEF\xBB\xBF[Keyloom]"), "[Keyloom]");    // BOM dropped
  EXPECT_EQ(DecodeIniText("FIND=Caf\xE9"), "FIND=Caf\xC3\xA9");      // 1252
  EXPECT_EQ(DecodeIniText(std::string("\xFF\xFE"
                                      "A\0\xE9\0",
                                      6)),
            "A\xC3\xA9");                                                      // UTF-16LE
  EXPECT_EQ(DecodeIniText(std::string("\xFE\xFF\0A\0\xE9", 6)), "A\xC3\xA9");  // UTF-16BE
}

TEST(IniInteger, DecimalAndThreeHexadecimalForms) {
  EXPECT_EQ(ParseIniInteger("0"), 0);
  EXPECT_EQ(ParseIniInteger("1500"), 1500);
  EXPECT_EQ(ParseIniInteger("-7"), -7);
  EXPECT_EQ(ParseIniInteger("+7"), 7);
  EXPECT_EQ(ParseIniInteger("0x3"), 3);
  EXPECT_EQ(ParseIniInteger("0X1f"), 31);
  EXPECT_EQ(ParseIniInteger("$A"), 10);
  EXPECT_EQ(ParseIniInteger("-$10"), -16);
  EXPECT_EQ(ParseIniInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseIniInteger("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseIniInteger("0xFFFFFFFF"), -1);
}

TEST(IniInteger, AnythingElseIsNoNumber) {
  for (const char* text : {"", "yes", "1.5", "12abc", " 1", "0x", "$", "-", "x3", "0x1G",
                           "2147483648", "0x100000000", "99999999999999999999"}) {
    EXPECT_EQ(ParseIniInteger(text), std::nullopt) << text;
  }
}

TEST(IniFileRead, SectionsAndKeysIgnoreCaseAndTheFirstCounts) {
  const IniFile file = IniFile::FromBytes(
      "KEY=outside\r\n[Other]\r\nFIND=other\r\n[KEYLOOM]\r\nfind = first \r\nFIND=second\r\n"
      "[Keyloom]\r\nFIND=later section\r\n");
  EXPECT_EQ(file.Get("Keyloom", "FIND"), "first");
  EXPECT_EQ(file.Get("keyloom", "Find"), "first");
  EXPECT_EQ(file.Get("Other", "FIND"), "other");
  EXPECT_EQ(file.Get("Keyloom", "KEY"), std::nullopt);
  EXPECT_EQ(file.Get("Missing", "FIND"), std::nullopt);
}

TEST(IniFileRead, ValuesLoseBlanksAndOnePairOfQuotes) {
  const IniFile file = IniFile::FromBytes(
      "[S]\nA=\"  padded  \"\nB=\"\"quoted\"\"\nC=\"half\nD=\nE=a=b\rF=\t x \t\n");
  EXPECT_EQ(file.Get("S", "A"), "  padded  ");
  EXPECT_EQ(file.Get("S", "B"), "\"quoted\"");
  EXPECT_EQ(file.Get("S", "C"), "\"half");
  EXPECT_EQ(file.Get("S", "D"), "");
  EXPECT_EQ(file.Get("S", "E"), "a=b");
  EXPECT_EQ(file.Get("S", "F"), "x");
}

TEST(IniFileWrite, SetKeepsEverythingItDoesNotOwn) {
  IniFile file =
      IniFile::FromBytes("; comment\n[Keyloom]\nUNKNOWN=kept\nFIND=old\n\n[Other]\nX=1\n");
  file.Set("Keyloom", "FIND", "new");
  file.Set("Keyloom", "REPLACE", "added");
  file.Set("Third", "Y", "2");
  EXPECT_EQ(file.ToText(),
            "; comment\r\n[Keyloom]\r\nUNKNOWN=kept\r\nFIND=new\r\nREPLACE=added\r\n\r\n"
            "[Other]\r\nX=1\r\n\r\n[Third]\r\nY=2\r\n");
}

TEST(IniFileWrite, EveryValueReadsBackUnchanged) {
  const std::string values[] = {"",           "plain",      "  leading",
                                "trailing\t", "\"quoted\"", "\"",
                                "a \"b\" c",  "x=y",        "\xE6\x97\xA5\xE6\x9C\xAC"};
  const auto key = [](std::size_t i) { return std::string(1, 'K').append(std::to_string(i)); };
  IniFile file;
  for (std::size_t i = 0; i < std::size(values); ++i) file.Set("S", key(i), values[i]);
  const IniFile reread = IniFile::FromBytes(file.ToText());
  for (std::size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(reread.Get("S", key(i)), values[i]) << i;
  }
}

TEST(IniFileWrite, LineBreaksInAValueCannotStartNewKeys) {
  IniFile file;
  file.Set("S", "FIND", "a\r\n[Evil]\nAUTOSTART=1");
  const IniFile reread = IniFile::FromBytes(file.ToText());
  EXPECT_EQ(reread.Get("S", "FIND"), "a  [Evil] AUTOSTART=1");
  EXPECT_EQ(reread.Get("Evil", "AUTOSTART"), std::nullopt);
}

TEST(IniFileLoad, MissingFileAndFolderGiveAnEmptyDocument) {
  TempFolder folder;
  EXPECT_EQ(IniFile::Load(folder.path() / "none.ini").ToText(), "");
  EXPECT_EQ(IniFile::Load(folder.path()).ToText(), "");  // a folder, not a file
}

}  // namespace
}  // namespace keyloom::shell
