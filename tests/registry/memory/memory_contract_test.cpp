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
