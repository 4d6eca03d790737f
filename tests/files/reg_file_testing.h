// Test helpers for registry editor files: reading an undo file back as UTF-8 lines, and a small
// merger that applies a file to a registry port the way the registry editor merges it (key lines,
// key removals, value lines of every form, value removals, continuation lines of byte lists). The
// native tests prove with it that merging an undo file brings the registry back; the Windows
// tests merge with the real registry editor instead.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_api.h"
#include "registry/registry.h"
#include "registry/text.h"
#include "support/temp_folder.h"

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

// Reads a quoted, escaped text starting at line[*pos] == '"'; *pos ends after the closing quote.
inline std::string Unquote(const std::string& line, std::size_t* pos) {
  std::string out;
  std::size_t i = *pos + 1;
  for (; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    out += line[i];
  }
  *pos = i + 1;
  return out;
}

inline reg::Bytes ParseByteList(std::string_view list) {
  reg::Bytes bytes;
  std::string digits;
  auto flush = [&] {
    if (!digits.empty())
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
    digits.clear();
  };
  for (const char c : list) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += c;
    } else if (c == ',') {
      flush();
    }
  }
  flush();
  return bytes;
}

}  // namespace detail

// Merges the text of a registry editor file into the registry, in the given view.
inline void MergeRegText(reg::RegApi& api, std::string_view text, std::uint32_t view = 0) {
  std::vector<std::string> lines;
  for (auto& line : SplitCrLf(text)) {
    if (!lines.empty() && lines.back().size() >= 2 &&
        lines.back().compare(lines.back().size() - 2, 2, ",\\") == 0) {
      lines.back().pop_back();
      lines.back() += line.substr(line.find_first_not_of(' '));
    } else {
      lines.push_back(line);
    }
  }
  reg::UniqueKey current;
  for (const auto& line : lines) {
    if (line.empty() || line[0] == ';' || line.rfind("Windows Registry", 0) == 0) continue;
    if (line[0] == '[') {
      current.Reset();
      const bool remove = line[1] == '-';
      const std::string full = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
      const auto slash = full.find('\\');
      const reg::RootKey* root = reg::RootByName(full.substr(0, slash));
      ASSERT_NE(root, nullptr) << line;
      const std::string path = slash == std::string::npos ? "" : full.substr(slash + 1);
      if (remove) {
        detail::DeleteTree(api, root->handle, path, view);
        continue;
      }
      reg::KeyHandle key = reg::kNullKey;
      ASSERT_EQ(api.CreateKey(root->handle, path, 0, reg::access::kAllAccess | view, &key, nullptr),
                reg::kSuccess)
          << line;
      current = reg::UniqueKey(api, key);
      continue;
    }
    ASSERT_TRUE(current) << "value line outside a key: " << line;
    std::size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
      pos = 1;
    } else {
      ASSERT_EQ(line[0], '"') << line;
      name = detail::Unquote(line, &pos);
    }
    ASSERT_EQ(line[pos], '=') << line;
    const std::string data = line.substr(pos + 1);
    if (data == "-") {
      api.DeleteValue(current.get(), name);
      continue;
    }
    reg::RawValue value;
    if (data[0] == '"') {
      std::size_t at = 0;
      value.type = reg::kRegSz;
      value.data = text::Utf16ToBytes(text::Utf8ToUtf16(detail::Unquote(data, &at)));
      value.data.insert(value.data.end(), {0, 0});
    } else if (data.rfind("dword:", 0) == 0) {
      const auto number = static_cast<std::uint32_t>(std::stoul(data.substr(6), nullptr, 16));
      value.type = reg::kRegDword;
      for (int i = 0; i < 4; ++i)
        value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    } else if (data.rfind("hex:", 0) == 0) {
      value.type = reg::kRegBinary;
      value.data = detail::ParseByteList(data.substr(4));
    } else {
      ASSERT_EQ(data.rfind("hex(", 0), 0u) << line;
      const auto close = data.find("):");
      value.type = static_cast<std::uint32_t>(std::stoul(data.substr(4, close - 4), nullptr, 16));
      value.data = detail::ParseByteList(data.substr(close + 2));
    }
    ASSERT_EQ(api.SetValue(current.get(), name, value.type, value.data), reg::kSuccess) << line;
  }
}

inline void MergeRegFile(reg::RegApi& api, const std::filesystem::path& file,
                         std::uint32_t view = 0) {
  MergeRegText(api, DecodeUtf16File(keyloom::testing::ReadBytes(file)), view);
}

}  // namespace keyloom::files::testing
