// Test helpers for registry editor files: reading an undo file back as UTF-8 lines, and merging a
// file into a registry port with the program's importer, failing the test on any line that does
// not merge. The native tests prove with it that merging an undo file brings the registry back;
// the Windows tests also merge with the real registry editor.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/utf8_path.h"
#include "files/reg_file_import.h"
#include "registry/reg_api.h"
#include "registry/registry.h"
#include "support/temp_folder.h"
#include "support/value_data.h"

namespace keyloom::files::testing {

// The text of a UTF-16LE file with byte-order mark, as UTF-8; "" when the mark is missing.
inline std::string DecodeUtf16File(const std::string& bytes) {
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    return "";
  }
  std::u16string units;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return text::Utf16ToUtf8(units);
}

// Splits at CR LF; a text ending in CR LF gives no empty last line.
inline std::vector<std::string> SplitCrLf(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

inline std::vector<std::string> ReadRegFileLines(const std::filesystem::path& file) {
  return SplitCrLf(DecodeUtf16File(keyloom::testing::ReadBytes(file)));
}

namespace detail {

inline void DeleteTree(reg::RegApi& api, reg::KeyHandle root, const std::string& path,
                       std::uint32_t view) {
  reg::KeyHandle key = reg::kNullKey;
  if (api.OpenKey(root, path, reg::access::kAllAccess | view, &key) != reg::kSuccess) return;
  std::vector<std::string> children;
  std::string name;
  for (std::uint32_t i = 0; api.EnumKey(key, i, &name) == reg::kSuccess; ++i) {
    children.push_back(name);
  }
  api.CloseKey(key);
  for (const auto& child : children) DeleteTree(api, root, path + "\\" + child, view);
  api.DeleteKey(root, path, view);
}

// The tree at `path` deleted in the 32-bit and in the 64-bit view.
inline void DeleteTreeInBothViews(reg::RegApi& api, reg::KeyHandle root, const std::string& path) {
  for (std::uint32_t view : {reg::access::kWow64_32Key, reg::access::kWow64_64Key}) {
    DeleteTree(api, root, path, view);
  }
}

// Sets value `name` of key `path` below `root` in `view`, creating the key and its parents.
inline void PutValue(reg::RegApi& api, reg::KeyHandle root, const std::string& path,
                     const std::string& name, const reg::RawValue& value, std::uint32_t view = 0) {
  reg::KeyHandle key = reg::kNullKey;
  ASSERT_EQ(api.CreateKey(root, path, 0, reg::access::kAllAccess | view, &key, nullptr),
            reg::kSuccess)
      << path;
  reg::UniqueKey guard(api, key);
  ASSERT_EQ(api.SetValue(key, name, value.type, value.data), reg::kSuccess) << name;
}

// Fills `base` below `root` in `view` with every kind of value, names and data outside any code
// page, and the text "ζQ7" in a key name, in value names and in data; its key "Other" has no hit.
inline void PutScratchTree(reg::RegApi& api, reg::KeyHandle root, const std::string& base,
                           std::uint32_t view) {
  const auto sz = [](std::u16string_view s) { return keyloom::testing::Utf16Z(s); };
  const std::string app = base + "\\App-ζQ7";
  const std::pair<const char*, reg::RawValue> values[] = {
      {"path", {reg::kRegSz, sz(u"C:\\ζQ7\\bin")}},
      {"exp", {reg::kRegExpandSz, sz(u"%TEMP%\\ζQ7")}},
      {"list", {reg::kRegMultiSz, text::Utf16ToBytes(std::u16string(u"one ζQ7\0two\0\0", 13))}},
      {"ζQ7 name", {reg::kRegSz, sz(u"plain")}},
      {"num", {reg::kRegDword, {7, 0, 0, 0}}},
      {"q", {reg::kRegQword, {5, 0, 0, 0, 0, 0, 0, 0}}},
      {"bin", {reg::kRegBinary, {0xCE, 0xB6, 0x51, 0x37}}},
      {"empty", {reg::kRegBinary, {}}},
      {"", {reg::kRegSz, sz(u"def ζQ7")}},
      {"tail", {reg::kRegSz, sz(std::u16string(u"ζQ7\0after", 9))}},
  };
  for (const auto& [name, value] : values) PutValue(api, root, app, name, value, view);
  PutValue(api, root, app + "\\Sub 日本", "v", {reg::kRegSz, sz(u"ζQ7 sub \U0001F600")}, view);
  PutValue(api, root, base + "\\Other", "x", {reg::kRegSz, sz(u"no hit")}, view);
}

}  // namespace detail

inline reg::RegView ViewOfFlag(std::uint32_t view) {
  if (view == reg::access::kWow64_64Key) return reg::RegView::k64;
  if (view == reg::access::kWow64_32Key) return reg::RegView::k32;
  return reg::RegView::kNone;
}

// Merges the text of a registry editor file into the registry, in the given view, with the
// program's own importer; every line must merge.
inline void MergeRegText(reg::RegApi& api, std::string_view text, std::uint32_t view = 0) {
  const auto contents = ParseRegFile(text);
  ASSERT_EQ(contents.error, "");
  const auto outcome = MergeRegRecords(api, reg::Target{"", ViewOfFlag(view)}, contents.records);
  ASSERT_TRUE(outcome.ok()) << ::testing::PrintToString(outcome.errors);
}

inline void MergeRegFile(reg::RegApi& api, const std::filesystem::path& file,
                         std::uint32_t view = 0) {
  const auto outcome =
      files::MergeRegFile(api, reg::Target{"", ViewOfFlag(view)}, base::PathToUtf8(file));
  ASSERT_TRUE(outcome.ok()) << file.string() << ": " << ::testing::PrintToString(outcome.errors);
}

}  // namespace keyloom::files::testing
