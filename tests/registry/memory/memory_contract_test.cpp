// The wrapper's contract suite on the memory registry.
#include "registry/memory/memory_registry.h"
#include "registry/registry_contract.h"

namespace keyloom::reg::testing {
namespace {

INSTANTIATE_TEST_SUITE_P(Memory, RegistryWrapper,
                         ::testing::Values(AdapterCase{
                             "MemoryRegistry",
                             [] { return std::unique_ptr<RegApi>(NewMemoryRegistry()); }}),
                         AdapterName);

}  // namespace
}  // namespace keyloom::reg::testing

namespace keyloom::reg::testing {
namespace {

TEST(WindowsDetection, FollowsTheWow64Question) {
  MemoryRegistry::Config config;
  EXPECT_TRUE(DetectIs64BitWindows(*NewMemoryRegistry(config)));
  config.is_64bit_windows = false;
  EXPECT_FALSE(DetectIs64BitWindows(*NewMemoryRegistry(config)));
  config.wow64_query = MemoryRegistry::Wow64Query::kMissing;
  EXPECT_FALSE(DetectIs64BitWindows(*NewMemoryRegistry(config))) << "no question: 32-bit Windows";
  config.wow64_query = MemoryRegistry::Wow64Query::kFails;
  try {
    DetectIs64BitWindows(*NewMemoryRegistry(config));
    ADD_FAILURE() << "a failing question must raise";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Invalid handle");
  }
}

TEST(WindowsDetection, On32BitWindowsNoViewFlagIsEverAdded) {
  MemoryRegistry::Config config;
  config.is_64bit_windows = false;
  auto api = NewMemoryRegistry(config);
  TRegistry reg(*api);
  reg.SetRootKey(kLocalMachine);
  reg.SetView(RegView::k64);  // a stray Bits choice: one registry all the same
  reg.CreateKey("\\Software\\KeyloomTest\\One");
  reg.SetView(RegView::k32);
  EXPECT_TRUE(reg.KeyExists("\\Software\\KeyloomTest\\One"));
}

}  // namespace
}  // namespace keyloom::reg::testing
