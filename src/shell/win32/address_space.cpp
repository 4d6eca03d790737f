#include "shell/win32/address_space.h"

#include <windows.h>

namespace keyloom::shell {

std::optional<std::uint64_t> FreeAddressSpace() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return std::nullopt;
  return status.ullAvailVirtual;
}

}  // namespace keyloom::shell
