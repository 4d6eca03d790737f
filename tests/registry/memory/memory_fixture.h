// Shared set-up for the memory registry's own tests: a fresh registry per test and short helpers
// that report the caller's line.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "registry/memory/memory_registry.h"
#include "registry/reg_api.h"

namespace keyloom::reg::testing {

class MemoryRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset({}); }

  void Reset(MemoryRegistry::Config config) { api_ = NewMemoryRegistry(std::move(config)); }

  // Creates `path` below `root` (all access, no view flag) and returns the open key.
  UniqueKey Create(KeyHandle root, const std::string& path, std::uint32_t access = 0) {
    KeyHandle key = kNullKey;
    bool created = false;
    EXPECT_EQ(api_->CreateKey(root, path, kOptionNonVolatile, access::kAllAccess | access, &key,
                              &created),
              kSuccess)
        << path;
    return UniqueKey(*api_, key);
  }

  // Opens `path`; the result code lands in `*code` when given, else it must be kSuccess.
  UniqueKey Open(KeyHandle root, const std::string& path, std::uint32_t access,
                 ErrorCode* code = nullptr) {
    KeyHandle key = kNullKey;
    const ErrorCode result = api_->OpenKey(root, path, access, &key);
    if (code != nullptr) {
      *code = result;
    } else {
      EXPECT_EQ(result, kSuccess) << path;
    }
    return result == kSuccess ? UniqueKey(*api_, key) : UniqueKey();
  }

  ErrorCode OpenCode(KeyHandle root, const std::string& path, std::uint32_t access) {
    ErrorCode code = kSuccess;
    Open(root, path, access, &code);
    return code;
  }

  std::vector<std::string> SubkeyNames(KeyHandle key) {
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; api_->EnumKey(key, i, &name) == kSuccess; ++i) names.push_back(name);
    return names;
  }

  std::vector<std::string> ValueNames(KeyHandle key) {
    std::vector<std::string> names;
    std::string name;
    std::uint32_t type = 0;
    for (std::uint32_t i = 0; api_->EnumValue(key, i, &name, &type, nullptr) == kSuccess; ++i) {
      names.push_back(name);
    }
    return names;
  }

  // prefix + number (built by appending: GCC 12's -Wrestrict misfires on "x" + std::string).
  static std::string Numbered(const char* prefix, int number) {
    std::string name(prefix);
    name += std::to_string(number);
    return name;
  }

  static Bytes Sz(std::u16string_view text) {
    Bytes bytes = text::Utf16ToBytes(text);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
  }

  std::unique_ptr<MemoryRegistry> api_;
};

}  // namespace keyloom::reg::testing
