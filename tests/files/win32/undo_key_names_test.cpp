// Undo records on the real registry name each key as the system names it: a key of the 32-bit
// view that 64-bit Windows keeps elsewhere (below HKEY_LOCAL_MACHINE\Software and below
// HKEY_CLASSES_ROOT\CLSID) by the path under which the 64-bit registry editor reaches it, and
// merged with that editor the record brings the value back into the view it was changed in,
// while the same-named key of the 64-bit view is never created.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/reg_file_testing.h"
#include "files/undo_file.h"
#include "registry/registry.h"
#include "registry/win32/win32_reg_api.h"
#include "support/temp_folder.h"
#include "support/value_data.h"
#include "support/win32/registry_editor.h"

namespace keyloom::files {
namespace {

constexpr std::uint32_t k32 = reg::access::kWow64_32Key;
constexpr std::uint32_t k64 = reg::access::kWow64_64Key;

struct NameCase {
  reg::KeyHandle root;
  const char* scratch;  // created and deleted by the test, in both views
  const char* key;      // below the scratch key
  const char* written;  // the bracket line the record must hold (letter case aside)
};

std::string Upper(std::string text) {
  for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  return text;
}

TEST(UndoKeyNames, The32BitViewsKeysAreWrittenAsThe64BitEditorReachesThem) {
  const NameCase cases[] = {
      {reg::kLocalMachine, "Software\\KeyloomTest", "Software\\KeyloomTest\\Names",
       "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\KeyloomTest\\Names]"},
      {reg::kClassesRoot, "CLSID\\{KeyloomTest}", "CLSID\\{KeyloomTest}\\Names",
       "[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{KeyloomTest}\\Names]"},
      {reg::kCurrentUser, "Software\\KeyloomTest", "Software\\KeyloomTest\\Names",
       "[HKEY_CURRENT_USER\\Software\\KeyloomTest\\Names]"},
  };
  const auto api = reg::NewWin32RegApi();
  keyloom::testing::TempFolder folder;
  std::vector<std::string> debug;
  UndoFile undo(
      *api, [](const std::string&) {}, {},
      [&debug](const std::string& line) { debug.push_back(line); });
  ChangeSettings settings;
  settings.undo_folder = folder.Utf8();
  ASSERT_TRUE(reg::DetectIs64BitWindows(*api));
  settings.target.view = reg::RegView::k32;

  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.written);
    auto scrub = [&] {
      for (const std::uint32_t view : {k32, k64}) {
        testing::detail::DeleteTree(*api, c.root, c.scratch, view);
      }
    };
    scrub();
    auto write = [&](std::u16string_view text) {
      reg::KeyHandle key = reg::kNullKey;
      ASSERT_EQ(api->CreateKey(c.root, c.key, 0, reg::access::kAllAccess | k32, &key, nullptr),
                reg::kSuccess);
      reg::UniqueKey guard(*api, key);
      const reg::Bytes data = keyloom::testing::Utf16Z(text);
      ASSERT_EQ(api->SetValue(key, "v", reg::kRegSz, data), reg::kSuccess);
    };
    write(u"before");

    UndoRequest request;
    request.root = c.root;
    request.key_path = std::string("\\") + c.key;
    request.value_name = "v";
    request.kind = RecordKind::kUpdate;
    ASSERT_EQ(undo.Record(request, settings), "");
    const auto file = base::PathFromUtf8(undo.CurrentFileName(settings));
    const auto lines = testing::ReadRegFileLines(file);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(Upper(lines[5]), Upper(c.written));

    write(u"after");
    ASSERT_EQ(keyloom::testing::MergeRegFile(file, keyloom::testing::RegistryEditor::k64Bit), 0u);
    reg::RawValue value;
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(api->OpenKey(c.root, c.key, reg::access::kRead | k32, &key), reg::kSuccess);
    reg::UniqueKey guard(*api, key);
    ASSERT_EQ(api->QueryValue(key, "v", &value.type, &value.data), reg::kSuccess);
    EXPECT_EQ(value.data, keyloom::testing::Utf16Z(u"before"));
    if (c.root != reg::kCurrentUser) {
      EXPECT_FALSE(reg::KeyExists(*api, c.root, c.key, reg::RegView::k64))
          << "the 64-bit view's key of that name is never created";
    }
    scrub();
  }
  EXPECT_EQ(debug, std::vector<std::string>()) << "the system named every key";
}

}  // namespace
}  // namespace keyloom::files
