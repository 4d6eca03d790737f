// keyloom.exe replacing a text across a scratch tree, unattended, in either registry view: the
// registry afterwards holds exactly what the replacement rules say, `reg query` sees the renamed
// key, and merging the run's undo files (newest first) as a user of 64-bit Windows does, with the
// 64-bit registry editor a double click starts, gives back the original tree byte for byte, while
// the other view's twin tree is never touched. The 32-bit view's files are merged with the 32-bit
// registry editor too.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/text.h"
#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/exit_codes.h"
#include "support/temp_folder.h"
#include "support/value_data.h"
#include "support/win32/keyloom_exe.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell {
namespace {

using reg::Bytes;

constexpr const char* kBase = "Software\\KeyloomTest\\E2E";

Bytes Sz(std::u16string_view s) { return keyloom::testing::Utf16Z(s); }

struct ViewCase {
  const char* name;
  reg::KeyHandle root;
  int searchkey;        // SEARCHKEY of the root
  std::uint32_t view;   // the view the scratch tree lives in
  std::uint32_t other;  // the other view, whose twin tree must stay untouched
  int scanmethod;       // SCANMETHOD selecting the view
  keyloom::testing::RegistryEditor editor;
};

void PrintTo(const ViewCase& view, std::ostream* out) { *out << view.name; }

class ReplaceEndToEnd : public ::testing::TestWithParam<ViewCase> {
 protected:
  void SetUp() override {
    api_ = reg::NewWin32RegApi();
    Scrub();
    Populate(GetParam().view);
    if (GetParam().other != 0) Populate(GetParam().other);
    std::filesystem::path exe(keyloom::testing::KeyloomExe());
    ASSERT_TRUE(std::filesystem::exists(exe));
    std::filesystem::copy_file(exe, folder_.path() / L"keyloom.exe");
  }
  void TearDown() override { Scrub(); }

  void Scrub() {
    files::testing::detail::DeleteTreeInBothViews(*api_, GetParam().root, "Software\\KeyloomTest");
  }

  void Populate(std::uint32_t view) {
    files::testing::detail::PutScratchTree(*api_, GetParam().root, kBase, view);
  }

  reg::testing::TreeSnapshot Tree(std::uint32_t view) {
    return reg::testing::Snapshot(*api_, GetParam().root, kBase, view);
  }

  void WriteIni() {
    const std::string undo = folder_.Utf8() + "UNDO";
    keyloom::testing::WriteBytes(
        folder_.path() / "KEYLOOM.INI",
        "[Keyloom]\r\nAUTOSTART=1\r\nAUTOCLOSE=1\r\nAUTOHIDE=1\r\nFIND=ζQ7\r\nREPLACE=新R8\r\n"
        "SEARCHKEY=" +
            std::to_string(GetParam().searchkey) +
            "\r\nSEARCHTREE=1\r\n"
            "SEARCHKEYS=1\r\nSEARCHVALUES=1\r\nUNDO=7\r\nSAUNDO=1\r\nSCANMETHOD=" +
            std::to_string(GetParam().scanmethod) + "\r\nUNDODIR=" + undo + "\r\n");
  }

  std::unique_ptr<reg::RegApi> api_;
  keyloom::testing::TempFolder folder_;
};

TEST_P(ReplaceEndToEnd, ReplacesEverywhereAndTheUndoFilesBringTheTreeBack) {
  const auto before = Tree(GetParam().view);
  const auto twin = GetParam().other != 0 ? Tree(GetParam().other) : before;
  WriteIni();
  ASSERT_EQ(
      keyloom::testing::RunAndWait(L"\"" + (folder_.path() / L"keyloom.exe").wstring() + L"\"",
                                   folder_.path().c_str()),
      static_cast<DWORD>(kExitOk));

  // The tree as the replacement rules leave it.
  reg::testing::TreeSnapshot expected;
  auto& app = expected["App-新R8"];
  app["path"] = {reg::kRegSz, Sz(u"C:\\新R8\\bin")};
  app["exp"] = {reg::kRegExpandSz, Sz(u"%TEMP%\\新R8")};
  app["list"] = {reg::kRegMultiSz, text::Utf16ToBytes(std::u16string(u"one 新R8\0two\0\0", 13))};
  app["新R8 name"] = {reg::kRegSz, Sz(u"plain")};
  app["num"] = {reg::kRegDword, {7, 0, 0, 0}};
  app["q"] = {reg::kRegQword, {5, 0, 0, 0, 0, 0, 0, 0}};
  app["bin"] = {reg::kRegBinary, {0xCE, 0xB6, 0x51, 0x37}};
  app["empty"] = {reg::kRegBinary, {}};
  app[""] = {reg::kRegSz, Sz(u"def 新R8")};
  app["tail"] = {reg::kRegSz, Sz(std::u16string(u"新R8\0after", 9))};
  expected["App-新R8\\Sub 日本"]["v"] = {reg::kRegSz, Sz(u"新R8 sub \U0001F600")};
  expected["Other"]["x"] = {reg::kRegSz, Sz(u"no hit")};
  expected[""];
  EXPECT_EQ(keyloom::testing::Differences(expected, Tree(GetParam().view)), "");
  if (GetParam().other != 0) {
    EXPECT_EQ(keyloom::testing::Differences(twin, Tree(GetParam().other)), "")
        << "the other view is never touched";
  }

  // What an administrator would check with reg.exe.
  const std::wstring root = GetParam().root == reg::kCurrentUser ? L"HKCU" : L"HKLM";
  const bool view64 = GetParam().view == reg::access::kWow64_64Key;
  const std::wstring reg_view = view64 ? L" /reg:64" : L" /reg:32";
  const std::wstring reg_exe = keyloom::testing::WindowsFolder() +
                               (view64 ? L"\\sysnative\\reg.exe" : L"\\system32\\reg.exe");
  EXPECT_EQ(keyloom::testing::RunAndWait(reg_exe + L" query \"" + root +
                                         L"\\Software\\KeyloomTest\\E2E\\App-新R8\"" + reg_view),
            0u);
  EXPECT_NE(keyloom::testing::RunAndWait(reg_exe + L" query \"" + root +
                                         L"\\Software\\KeyloomTest\\E2E\\App-ζQ7\"" + reg_view),
            0u);

  // One undo file per change: merged newest first they take the whole run back.
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / L"UNDO")) {
    files.push_back(entry.path());
  }
  ASSERT_GE(files.size(), 5u);
  std::sort(files.rbegin(), files.rend());
  for (const auto& file : files) {
    ASSERT_EQ(keyloom::testing::MergeRegFile(file, GetParam().editor), 0u) << file.string();
  }
  EXPECT_EQ(keyloom::testing::Differences(before, Tree(GetParam().view)), "");
  if (GetParam().other != 0) {
    EXPECT_EQ(keyloom::testing::Differences(twin, Tree(GetParam().other)), "")
        << "merging the undo files leaves the other view alone";
  }
}

using keyloom::testing::RegistryEditor;
constexpr std::uint32_t k32 = reg::access::kWow64_32Key;
constexpr std::uint32_t k64 = reg::access::kWow64_64Key;

// The 32-bit registry editor cannot reach the 64-bit view of HKEY_LOCAL_MACHINE\Software at all.
INSTANTIATE_TEST_SUITE_P(
    Views, ReplaceEndToEnd,
    ::testing::Values(
        ViewCase{"CurrentUser", reg::kCurrentUser, 2, 0, 0, 0, RegistryEditor::k64Bit},
        ViewCase{"LocalMachine32", reg::kLocalMachine, 3, k32, k64, 0, RegistryEditor::k64Bit},
        ViewCase{"LocalMachine32By32BitEditor", reg::kLocalMachine, 3, k32, k64, 0,
                 RegistryEditor::k32Bit},
        ViewCase{"LocalMachine64", reg::kLocalMachine, 3, k64, k32, 1, RegistryEditor::k64Bit}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keyloom::shell
