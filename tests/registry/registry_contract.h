// The wrapper's contract suite, run against every registry adapter: the memory registry natively
// and under Wine, the real registry under Wine. Each adapter file instantiates it with a factory.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::reg {

// Values print as their type and bytes in test failures.
inline void PrintTo(const RawValue& value, std::ostream* out) {
  static const char* const kHex = "0123456789abcdef";
  *out << "type " << value.type << ":";
  for (auto b : value.data) *out << ' ' << kHex[b >> 4] << kHex[b & 15];
}

}  // namespace keyloom::reg

namespace keyloom::reg::testing {

struct AdapterCase {
  std::string name;
  std::function<std::unique_ptr<RegApi>()> make;
};

inline void PrintTo(const AdapterCase& adapter, std::ostream* out) { *out << adapter.name; }

inline std::string AdapterName(const ::testing::TestParamInfo<AdapterCase>& info) {
  return info.param.name;
}

// Every value of a tree, by "relative\key\path" then value name: type and raw bytes.
using TreeSnapshot = std::map<std::string, std::map<std::string, RawValue>>;

// Reads a whole tree through the port (not through the wrapper under test).
TreeSnapshot Snapshot(RegApi& api, KeyHandle root, const std::string& path, std::uint32_t view = 0);

// Sandbox key trees below HKCU\Software\KeyloomTest and HKLM\Software\KeyloomTest (both views),
// removed before and after each test.
class RegistryWrapper : public ::testing::TestWithParam<AdapterCase> {
 protected:
  static constexpr const char* kScratch = "Software\\KeyloomTest";

  void SetUp() override;
  void TearDown() override;
  void Scrub();

  // A wrapper on HKEY_CURRENT_USER with the scratch key open.
  std::unique_ptr<TRegistry> OpenScratch();

  std::unique_ptr<RegApi> api_;
};

}  // namespace keyloom::reg::testing
