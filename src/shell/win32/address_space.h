// The address space this process has left, as the system counts it.
#pragma once

#include <cstdint>
#include <optional>

namespace keyloom::shell {

// The bytes of user address space not reserved or committed; nullopt when the system does not
// tell.
std::optional<std::uint64_t> FreeAddressSpace();

}  // namespace keyloom::shell
