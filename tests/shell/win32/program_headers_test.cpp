// The built programs' executable headers: keyloom.exe and keyloom.com are large-address-aware (a
// 32-bit process gets 4 GB of address space on 64-bit Windows instead of 2) and terminal-server
// aware. Read from the files themselves, as the loader reads them. The test program is linked the
// same way and sees the address space the flag gives.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "shell/win32/address_space.h"
#include "support/win32/keyloom_exe.h"

namespace keyloom::shell {
namespace {

struct PeFlags {
  bool read = false;
  WORD machine = 0;
  WORD characteristics = 0;
  WORD dll_characteristics = 0;
};

template <typename T>
bool ReadAt(const std::vector<char>& file, std::size_t offset, T* out) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  std::memcpy(out, file.data() + offset, sizeof(T));
  return true;
}

PeFlags ReadPeFlags(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
  PeFlags flags;
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS32 nt{};
  if (!ReadAt(file, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return flags;
  if (!ReadAt(file, static_cast<std::size_t>(dos.e_lfanew), &nt)) return flags;
  if (nt.Signature != IMAGE_NT_SIGNATURE ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    return flags;
  }
  flags.read = true;
  flags.machine = nt.FileHeader.Machine;
  flags.characteristics = nt.FileHeader.Characteristics;
  flags.dll_characteristics = nt.OptionalHeader.DllCharacteristics;
  return flags;
}

TEST(ProgramHeaders, BothProgramsAreLargeAddressAwareAndTerminalServerAware) {
  const std::filesystem::path exe = keyloom::testing::KeyloomExe();
  for (const std::filesystem::path& program :
       {exe, std::filesystem::path(exe).replace_extension(L".com")}) {
    SCOPED_TRACE(program.string());
    const PeFlags flags = ReadPeFlags(program);
    ASSERT_TRUE(flags.read) << "no 32-bit executable header";
    EXPECT_EQ(flags.machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_NE(flags.characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, 0)
        << std::hex << flags.characteristics;
    EXPECT_NE(flags.characteristics & IMAGE_FILE_EXECUTABLE_IMAGE, 0);
    EXPECT_NE(flags.dll_characteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, 0)
        << std::hex << flags.dll_characteristics;
  }
}

TEST(ProgramHeaders, ALargeAddressAwareProcessOn64BitWindowsHasMoreThanThreeGigabytesLeft) {
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) {
    GTEST_SKIP() << "32-bit Windows gives a 32-bit process 2 GB (3 GB when booted to do so)";
  }
  const auto free = FreeAddressSpace();
  ASSERT_TRUE(free.has_value());
  EXPECT_GT(*free, std::uint64_t{3} << 30);
}

}  // namespace
}  // namespace keyloom::shell
