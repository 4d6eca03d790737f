#include "registry/registry_contract.h"
#include "registry/win32/win32_reg_api.h"

namespace keyloom::reg::testing {
namespace {

INSTANTIATE_TEST_SUITE_P(Win32, RegistryWrapper,
                         ::testing::Values(AdapterCase{"RealRegistry",
                                                       [] { return NewWin32RegApi(); }}),
                         AdapterName);

}  // namespace
}  // namespace keyloom::reg::testing

namespace keyloom::reg::testing {
namespace {

TEST(WindowsDetection, TheTestProgramIsA32BitProcessOn64BitWindows) {
  EXPECT_TRUE(DetectIs64BitWindows(*NewWin32RegApi()));
}

}  // namespace
}  // namespace keyloom::reg::testing
