// keyloom.exe and keyloom.com started with arguments, as a script starts them, against a scratch
// tree in the real registry: what they print through a pipe (non-ASCII names intact), what they
// change, and their exit codes. A replace run's undo file, merged with the registry editor, gives
// the tree back.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

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

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kBase = "Software\\KeyloomTest\\CLI";
constexpr const wchar_t* kRoot = L" /root \"HKCU\\Software\\KeyloomTest\\CLI\"";

reg::Bytes Sz(std::u16string_view s) { return keyloom::testing::Utf16Z(s); }

class CommandLineEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    api_ = reg::NewWin32RegApi();
    Scrub();
    Put("App-ζQ7", "server", Sz(u"old-ζQ7.example"));
    Put("App-ζQ7\\Sub 日本", "path", Sz(u"\\\\old-ζQ7\\share"));
    Put("Other", "x", Sz(u"no hit"));
    const auto exe = keyloom::testing::KeyloomExe();
    ASSERT_TRUE(std::filesystem::exists(exe));
    std::filesystem::copy_file(exe, folder_.path() / L"keyloom.exe");
    std::filesystem::copy_file(std::filesystem::path(exe).replace_extension(L".com"),
                               folder_.path() / L"keyloom.com");
  }
  void TearDown() override { Scrub(); }

  void Scrub() {
    files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, "Software\\KeyloomTest", 0);
  }

  void Put(const std::string& path, const std::string& name, reg::Bytes data) {
    files::testing::detail::PutValue(*api_, reg::kCurrentUser, std::string(kBase) + "\\" + path,
                                     name, {reg::kRegSz, std::move(data)});
  }

  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, kBase);
  }

  // The undo files the runs wrote (not the journal or the run's state).
  std::vector<std::filesystem::path> UndoFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / L"UNDO")) {
      if (entry.path().extension() == L".REG") files.push_back(entry.path());
    }
    return files;
  }

  keyloom::testing::CapturedRun Run(const std::wstring& arguments,
                                    const wchar_t* program = L"keyloom.exe") {
    return keyloom::testing::RunCaptured(
        L"\"" + (folder_.path() / program).wstring() + L"\" " + arguments, folder_.path().c_str());
  }

  std::unique_ptr<reg::RegApi> api_;
  keyloom::testing::TempFolder folder_;
};

TEST_F(CommandLineEndToEnd, SearchOnlyPrintsHitsInUtf8AndExitsZeroOrOne) {
  const auto before = Tree();
  auto run = Run(L"/find ζQ7 /in keys,names,data" + std::wstring(kRoot));
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("App-ζQ7"));
  EXPECT_THAT(run.out, HasSubstr("Sub 日本\\path"));
  EXPECT_THAT(run.out, HasSubstr("Hits: 3\r\n"));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");

  run = Run(L"/find nowhere-to-be-found" + std::wstring(kRoot), L"keyloom.com");
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitNothingFound)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("Hits: 0\r\n"));
}

TEST_F(CommandLineEndToEnd, ReplaceWritesOneUndoFileThatGivesTheTreeBack) {
  const auto before = Tree();
  const auto run = Run(L"/find ζQ7 /replace 新R8" + std::wstring(kRoot), L"keyloom.com");
  ASSERT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("Changes: 2\r\n"));
  EXPECT_THAT(run.out, HasSubstr("Undo files written: 1\r\n"));
  reg::testing::TreeSnapshot expected = before;
  expected["App-ζQ7"]["server"] = {reg::kRegSz, Sz(u"old-新R8.example")};
  expected["App-ζQ7\\Sub 日本"]["path"] = {reg::kRegSz, Sz(u"\\\\old-新R8\\share")};
  EXPECT_EQ(keyloom::testing::Differences(expected, Tree()), "");

  const std::vector<std::filesystem::path> files = UndoFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(run.out, HasSubstr(files[0].filename().string()));
  ASSERT_EQ(keyloom::testing::MergeRegFile(files[0], keyloom::testing::RegistryEditor::k64Bit), 0u);
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

TEST_F(CommandLineEndToEnd, DeleteAndSimulate) {
  const auto before = Tree();
  auto run = Run(L"/find ζQ7 /delete /simulate" + std::wstring(kRoot));
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("SIMULATE ENABLED"));
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");

  run = Run(L"/find old-ζQ7.example /delete /noundo" + std::wstring(kRoot));
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out << run.err;
  reg::testing::TreeSnapshot expected = before;
  expected["App-ζQ7"].erase("server");
  EXPECT_EQ(keyloom::testing::Differences(expected, Tree()), "");
  // No undo file: only the runs' kept logs and the journal naming them lie in the folder.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / L"UNDO", error)) {
    EXPECT_NE(entry.path().extension(), L".REG") << entry.path();
  }
}

// keyloom.com with its standard error in a file, as "2> err.txt" gives it: the file gets no
// progress line (not one carriage return) and the report on standard output is whole; /progress
// writes the line there all the same, and erases it at the end.
TEST_F(CommandLineEndToEnd, AStandardErrorFileGetsNoProgressLineUnlessItIsForced) {
  for (const bool forced : {false, true}) {
    SCOPED_TRACE(forced ? "/progress" : "no switch");
    const auto file = folder_.path() / (forced ? L"forced.txt" : L"plain.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(err, INVALID_HANDLE_VALUE);
    const auto run = keyloom::testing::RunCaptured(
        L"\"" + (folder_.path() / L"keyloom.com").wstring() + L"\" /find old-" +
            std::wstring(kRoot) + (forced ? L" /progress" : L""),
        folder_.path().c_str(), 120000, err);
    CloseHandle(err);
    EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out;
    EXPECT_THAT(run.out, HasSubstr("Sub 日本\\path"));
    EXPECT_THAT(run.out, HasSubstr("Hits: 2\r\n"));
    EXPECT_THAT(run.out, HasSubstr("Elapsed: 0:"));
    EXPECT_EQ(run.out.find("\rKeys "), std::string::npos);
    const std::string bytes = keyloom::testing::ReadBytes(file);
    if (forced) {
      EXPECT_THAT(bytes, HasSubstr("\rKeys "));
      EXPECT_THAT(bytes, HasSubstr(" | Hits "));
      EXPECT_EQ(bytes.back(), '\r') << "erased at the end";
    } else {
      EXPECT_EQ(bytes, "");
    }
  }
}

// A REG_DWORD of three bytes (hex(4):01,02,03, which the registry takes as it is) between two hits
// of its key, with hits in its subkey and in a sibling key: it is named and counted, and every
// hit around it is found and replaced; merging the undo file gives the tree back.
TEST_F(CommandLineEndToEnd, AValueOfTheWrongSizeIsNamedAndCountedAndHidesNoHitAroundIt) {
  const std::string odd = std::string(kBase) + "\\Odd";
  Put("Odd", "first", Sz(u"needle-1"));
  files::testing::detail::PutValue(*api_, reg::kCurrentUser, odd, "bad",
                                   {reg::kRegDword, {1, 2, 3}});
  Put("Odd", "last", Sz(u"needle-4"));
  Put("Odd\\Sub", "v", Sz(u"needle-2"));
  Put("Sibling", "v", Sz(u"needle-3"));
  const auto before = Tree();
  ASSERT_EQ(before.at("Odd").at("bad"), (reg::RawValue{reg::kRegDword, {1, 2, 3}}));
  const std::string named =
      "Unable to read value [\\" + odd + "\\bad] as REG_DWORD (3 bytes), skipping\r\n";

  auto run = Run(L"/find needle" + std::wstring(kRoot), L"keyloom.com");
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitSomeFailed)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr(named));
  EXPECT_THAT(run.out, HasSubstr("Hits: 4\r\n"));
  EXPECT_THAT(run.out, HasSubstr("Values not read: 1\r\n"));
  EXPECT_THAT(run.out, HasSubstr("Keys not read: 0\r\n"));

  run = Run(L"/find needle /replace pin" + std::wstring(kRoot), L"keyloom.com");
  EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitSomeFailed)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr(named));
  EXPECT_THAT(run.out, HasSubstr("Changes: 4\r\n"));
  EXPECT_THAT(run.out, HasSubstr("Failed changes: 0\r\n"));
  reg::testing::TreeSnapshot expected = before;
  expected["Odd"]["first"] = {reg::kRegSz, Sz(u"pin-1")};
  expected["Odd"]["last"] = {reg::kRegSz, Sz(u"pin-4")};
  expected["Odd\\Sub"]["v"] = {reg::kRegSz, Sz(u"pin-2")};
  expected["Sibling"]["v"] = {reg::kRegSz, Sz(u"pin-3")};
  EXPECT_EQ(keyloom::testing::Differences(expected, Tree()), "");

  const std::vector<std::filesystem::path> files = UndoFiles();
  ASSERT_EQ(files.size(), 1u);
  ASSERT_EQ(keyloom::testing::MergeRegFile(files[0], keyloom::testing::RegistryEditor::k64Bit), 0u);
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

TEST_F(CommandLineEndToEnd, ABadArgumentExitsTwoWithAMessageOnStandardError) {
  for (const wchar_t* program : {L"keyloom.exe", L"keyloom.com"}) {
    const auto run = Run(L"/find ζQ7 /view 48", program);
    EXPECT_EQ(run.exit_code, static_cast<DWORD>(kExitNoRun)) << run.out;
    EXPECT_THAT(run.err, HasSubstr("Option /view: takes 32 or 64"));
    EXPECT_EQ(run.out, "");
  }
  const auto help = Run(L"/?", L"keyloom.com");
  EXPECT_EQ(help.exit_code, static_cast<DWORD>(kExitOk));
  EXPECT_THAT(help.out, HasSubstr("Exit codes:\r\n"));
}

// The hits exported with /csv, one row deleted from the file, given back with /only: only the
// items left in it change, and the run's undo file gives them back.
TEST_F(CommandLineEndToEnd, OnlyChangesTheItemsTheExportedListKeeps) {
  const auto before = Tree();
  const std::filesystem::path csv = folder_.path() / L"hits.csv";
  auto run = Run(L"/find ζQ7 /csv \"" + csv.wstring() + L"\"" + std::wstring(kRoot));
  ASSERT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out << run.err;
  std::string list = keyloom::testing::ReadBytes(csv);
  const std::size_t path_row = list.find("Sub 日本,path");
  ASSERT_NE(path_row, std::string::npos) << list;
  const std::size_t row_start = list.rfind('\n', path_row) + 1;
  list.erase(row_start, list.find('\n', path_row) + 1 - row_start);
  keyloom::testing::WriteBytes(csv, list);

  run = Run(L"/find ζQ7 /replace 新R8 /only \"" + csv.wstring() + L"\"" + std::wstring(kRoot),
            L"keyloom.com");
  ASSERT_EQ(run.exit_code, static_cast<DWORD>(kExitOk)) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("Changes: 1\r\n"));
  reg::testing::TreeSnapshot expected = before;
  expected["App-ζQ7"]["server"] = {reg::kRegSz, Sz(u"old-新R8.example")};
  EXPECT_EQ(keyloom::testing::Differences(expected, Tree()), "");

  const std::vector<std::filesystem::path> files = UndoFiles();
  ASSERT_EQ(files.size(), 1u);
  ASSERT_EQ(keyloom::testing::MergeRegFile(files[0], keyloom::testing::RegistryEditor::k64Bit), 0u);
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

}  // namespace
}  // namespace keyloom::shell
