#include "engine/hit_details.h"

#include <gtest/gtest.h>

#include <string>

#include "support/value_data.h"

namespace keyloom::engine {
namespace {

using keyloom::testing::Utf16Z;

const std::string kEllipsis = "\xE2\x80\xA6";

TEST(DataPreviewTest, ShowsEachKindOnOneLineAsTheRegistryEditorListsIt) {
  // One call per case (an array of cases with vectors inside trips a compiler's false warning).
  const auto expect = [](const char* what, std::uint32_t type, reg::Bytes data,
                         const std::string& expected) {
    EXPECT_EQ(DataPreview(reg::RawValue{type, std::move(data)}), expected) << what;
  };
  expect("string", reg::kRegSz, Utf16Z(u"C:\\Program Files\\App"), "C:\\Program Files\\App");
  expect("string cut at its NUL", reg::kRegExpandSz, Utf16Z(u"%TEMP%\0tail"), "%TEMP%");
  expect("line breaks and TABs", reg::kRegSz, Utf16Z(u"a\r\nb\tc"), "a  b c");
  expect("non-ASCII", reg::kRegSz, Utf16Z(u"Größe 名前 \U0001F600"),
         "Gr\xC3\xB6\xC3\x9F"
         "e \xE5\x90\x8D\xE5\x89\x8D \xF0\x9F\x98\x80");
  expect("multi-string", reg::kRegMultiSz, Utf16Z(std::u16string(u"one\0two\0three\0", 14)),
         "one | two | three");
  expect("QWORD", reg::kRegQword, {1, 0, 0, 0, 0, 0, 0, 1},
         "0x0100000000000001 (72057594037927937)");
  expect("empty multi-string", reg::kRegMultiSz, Utf16Z(u""), "");
  expect("DWORD", reg::kRegDword, {0x1a, 0, 0, 0}, "0x0000001a (26)");
  expect("DWORD at its top", reg::kRegDword, {0xff, 0xff, 0xff, 0xff}, "0xffffffff (4294967295)");
  expect("DWORD of the wrong size", reg::kRegDword, {1, 2}, "01 02");
  expect("binary", reg::kRegBinary, {0x00, 0xab, 0x10}, "00 ab 10");
  expect("empty binary", reg::kRegBinary, {}, "(zero-length binary value)");
  expect("unknown type", 0x1234, {7}, "07");
}

TEST(DataPreviewTest, CutsLongDataAtTwoHundredCharactersNeverInsideOne) {
  const std::u16string exact(kPreviewCharacters, u'x');
  EXPECT_EQ(DataPreview({reg::kRegSz, Utf16Z(exact)}), std::string(kPreviewCharacters, 'x'));

  // 'é' takes two bytes, U+1F600 two UTF-16 units and four bytes: the cut counts characters.
  std::u16string accented(kPreviewCharacters + 50, u'\u00e9');
  std::string expected;
  for (std::size_t i = 0; i < kPreviewCharacters; ++i) expected += "\xC3\xA9";
  EXPECT_EQ(DataPreview({reg::kRegSz, Utf16Z(accented)}), expected + kEllipsis);
  std::u16string faces;
  for (std::size_t i = 0; i < kPreviewCharacters + 1; ++i) faces += u"\U0001F600";
  const std::string face_preview = DataPreview({reg::kRegSz, Utf16Z(faces)});
  EXPECT_EQ(face_preview.size(), kPreviewCharacters * 4 + kEllipsis.size());

  const reg::Bytes bytes(100, 0xee);  // 100 bytes take 299 characters as hexadecimal pairs
  const std::string binary = DataPreview({reg::kRegBinary, bytes});
  EXPECT_EQ(binary.size(), kPreviewCharacters + kEllipsis.size());
  EXPECT_EQ(binary.substr(0, 6), "ee ee ");

  std::u16string many;
  for (int i = 0; i < 100; ++i) many += u"item" + std::u16string(1, u'\0');
  const std::string list = DataPreview({reg::kRegMultiSz, Utf16Z(many)});
  EXPECT_EQ(list.substr(0, 14), "item | item | ");
  EXPECT_EQ(list.size(), kPreviewCharacters + kEllipsis.size());
}

TEST(DataPreviewTest, NamesTypesAndWhereATextWasFound) {
  EXPECT_EQ(TypeName(reg::kRegSz), "REG_SZ");
  EXPECT_EQ(TypeName(reg::kRegMultiSz), "REG_MULTI_SZ");
  EXPECT_EQ(TypeName(reg::kRegQword), "REG_QWORD");
  EXPECT_EQ(TypeName(0x20), "0x00000020");
  EXPECT_EQ(FoundInText(FoundIn::kKeyName), "Key name");
  EXPECT_EQ(FoundInText(FoundIn::kValueName), "Value name");
  EXPECT_EQ(FoundInText(FoundIn::kData), "Data");
}

}  // namespace
}  // namespace keyloom::engine
