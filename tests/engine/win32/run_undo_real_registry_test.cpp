// Whole replace runs on the real registry whose undo files, merged by the 64-bit registry editor
// (the one a double click starts), give back the tree from before, compared through the API; and
// a search of all roots that reaches a value of HKEY_CURRENT_USER twice (also as HKEY_USERS\<sid>)
// and changes it once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/win32/real_run_fixture.h"
#include "files/reg_file_testing.h"
#include "registry/registry_contract.h"
#include "support/value_data.h"
#include "support/win32/registry_editor.h"

namespace keyloom::engine::testing {
namespace {

using keyloom::testing::Utf16Z;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kScratch = "Software\\KeyloomTest";

class RealRegistryRunUndoTest : public RealRegistryRun {
 protected:
  void SetUp() override {
    context_.program.is_64bit_windows = reg::DetectIs64BitWindows(*api_);
    Scrub();
    BuildEngine();
    controls_.key_names = true;
    controls_.value_names = true;
  }
  void TearDown() override { Scrub(); }

  void Scrub() { files::testing::detail::DeleteTree(*api_, reg::kCurrentUser, kScratch, kView); }

  void Put(const std::string& path, const std::string& name, const reg::RawValue& value) {
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(api_->CreateKey(reg::kCurrentUser, std::string(kScratch) + "\\" + path, 0,
                              reg::access::kAllAccess | kView, &key, nullptr),
              reg::kSuccess)
        << path;
    reg::UniqueKey guard(*api_, key);
    ASSERT_EQ(api_->SetValue(key, name, value.type, value.data), reg::kSuccess) << name;
  }
  reg::RawValue Get(const std::string& path, const std::string& name) {
    reg::TRegistry reg(*api_);
    reg.SetView(reg::RegView::k64);
    EXPECT_TRUE(reg.OpenKey(std::string("\\") + kScratch + "\\" + path)) << path;
    return reg.ReadRaw(name);
  }
  reg::testing::TreeSnapshot Tree() {
    return reg::testing::Snapshot(*api_, reg::kCurrentUser, kScratch, kView);
  }

  std::vector<std::string> Run(const std::string& find, const std::string& replace) {
    controls_.find = find;
    controls_.replace = replace;
    StoreSettings();
    engine_->RunSession(false);
    return output_.Lines();
  }

  // Merges the run's undo files newest first with the 64-bit registry editor.
  void MergeUndoFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(undo_folder_.path())) {
      files.push_back(entry.path());
    }
    ASSERT_FALSE(files.empty());
    std::sort(files.rbegin(), files.rend());
    for (const auto& file : files) {
      ASSERT_EQ(keyloom::testing::MergeRegFile(file, keyloom::testing::RegistryEditor::k64Bit), 0u)
          << file;
    }
  }

  // The 64-bit view, where a key named Wow6432Node is an ordinary key under Wine too.
  static constexpr std::uint32_t kView = reg::access::kWow64_64Key;
};

TEST_F(RealRegistryRunUndoTest, AReplaceRunIsTakenBackByTheRegistryEditor) {
  ASSERT_TRUE(context_.program.is_64bit_windows);
  settings_.scanmethod = 1;
  Put("Plain", "line\nqzkv", {reg::kRegSz, Utf16Z(u"qzkv")});
  Put("Plain", "ordinary", {reg::kRegSz, Utf16Z(u"qzkv")});
  Put("qzkvKey", "v", {reg::kRegSz, Utf16Z(u"qzkv")});
  Put("qzkvKey\\Wow6432Node\\Deep", "w", {reg::kRegDword, {1, 2, 3, 4}});
  Put("qzkvKey\\qzkvSub", "x", {reg::kRegSz, Utf16Z(u"y")});
  const auto before = Tree();

  // The replacement holds the find text and a backslash.
  const auto lines = Run("qzkv", "new\\qzkvX");
  EXPECT_THAT(lines, Contains(HasSubstr("line<LF>qzkv holds a line break")));
  EXPECT_EQ(Get("Plain", "line\nqzkv"), (reg::RawValue{reg::kRegSz, Utf16Z(u"qzkv")}));
  EXPECT_EQ(Get("Plain", "ordinary"), (reg::RawValue{reg::kRegSz, Utf16Z(u"new\\qzkvX")}));
  EXPECT_EQ(Get("new\\qzkvXKey", "v"), (reg::RawValue{reg::kRegSz, Utf16Z(u"new\\qzkvX")}));
  EXPECT_EQ(Get("new\\qzkvXKey\\Wow6432Node\\Deep", "w"),
            (reg::RawValue{reg::kRegDword, {1, 2, 3, 4}}));
  EXPECT_EQ(Get("new\\qzkvXKey\\new\\qzkvXSub", "x"), (reg::RawValue{reg::kRegSz, Utf16Z(u"y")}));

  MergeUndoFiles();
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

TEST_F(RealRegistryRunUndoTest, RegexAndHexRunsAreTakenBackByTheRegistryEditor) {
  ASSERT_TRUE(context_.program.is_64bit_windows);
  settings_.scanmethod = 1;
  Put("Rx", "path", {reg::kRegSz, Utf16Z(u"\\\\qzkv12\\share")});
  Put("Rx", "list", {reg::kRegMultiSz, Utf16Z(std::u16string(u"qzkv7\0other\0", 12))});
  Put("Rx\\qzkv3Key", "qzkv4Name", {reg::kRegSz, Utf16Z(u"x")});
  Put("Rx", "blob", {reg::kRegBinary, {1, 0xDE, 0xAD, 0xBE, 0xEF}});
  Put("Skip\\Deep", "v", {reg::kRegSz, Utf16Z(u"qzkv99")});
  const auto before = Tree();

  controls_.rules.mode = MatchMode::kRegex;
  controls_.rules.exclusions = {{2, "\\Software\\KeyloomTest\\Skip"}};
  const auto lines = Run(R"(qzkv(\d+))", "srv-$1");
  EXPECT_EQ(Get("Rx", "path"), (reg::RawValue{reg::kRegSz, Utf16Z(u"\\\\srv-12\\share")}));
  EXPECT_EQ(Get("Rx", "list"),
            (reg::RawValue{reg::kRegMultiSz, Utf16Z(std::u16string(u"srv-7\0other\0", 12))}));
  EXPECT_EQ(Get("Rx\\srv-3Key", "srv-4Name"), (reg::RawValue{reg::kRegSz, Utf16Z(u"x")}));
  EXPECT_EQ(Get("Skip\\Deep", "v"), (reg::RawValue{reg::kRegSz, Utf16Z(u"qzkv99")}));
  EXPECT_THAT(lines, Contains("Excluded Key not entered "
                              "[HKEY_CURRENT_USER\\Software\\KeyloomTest\\Skip]: 1 time."));

  // Hex bytes in binary data, replaced by more bytes.
  controls_.rules = {};
  controls_.rules.mode = MatchMode::kHex;
  controls_.key_names = controls_.value_names = false;
  Run("DE AD BE EF", "01 02 03 04 05");
  EXPECT_EQ(Get("Rx", "blob"), (reg::RawValue{reg::kRegBinary, {1, 1, 2, 3, 4, 5}}));

  MergeUndoFiles();
  EXPECT_EQ(keyloom::testing::Differences(before, Tree()), "");
}

TEST_F(RealRegistryRunUndoTest, AllRootsChangeAValueOfTheCurrentUserOnce) {
  Put("Twice", "v", {reg::kRegSz, Utf16Z(u"qzkv")});
  controls_.root_choice = 0;
  controls_.key_names = false;
  controls_.value_names = false;
  const auto lines = Run("qzkv", "qzkvX");
  EXPECT_EQ(Get("Twice", "v"), (reg::RawValue{reg::kRegSz, Utf16Z(u"qzkvX")}));
  EXPECT_THAT(lines, Contains("Finished, Replaced [1] Entries."));
  // The hit is listed under both roots; the change is made under the first.
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.rfind("Found in Key  : ", 0) == 0 &&
                                   line.find("\\Software\\KeyloomTest\\Twice\tv") !=
                                       std::string::npos;
                          }),
            2);
}

}  // namespace
}  // namespace keyloom::engine::testing
