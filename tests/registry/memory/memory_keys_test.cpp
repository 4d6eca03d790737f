// Keys, values, paths and handles of the memory registry.
#include <cstdio>

#include "memory_fixture.h"

namespace keyloom::reg::testing {
namespace {

using Keys = MemoryRegistryTest;

TEST_F(Keys, NamesIgnoreLetterCaseButKeepTheCaseTheyWereCreatedWith) {
  auto app = Create(kCurrentUser, "Software\\MyApp");
  Create(kCurrentUser, "SOFTWARE\\myapp\\Sub");  // the same keys
  EXPECT_EQ(SubkeyNames(Open(kCurrentUser, "software", access::kRead).get()),
            std::vector<std::string>{"MyApp"});
  EXPECT_EQ(SubkeyNames(app.get()), std::vector<std::string>{"Sub"});

  ASSERT_EQ(api_->SetValue(app.get(), "Colour", kRegSz, Sz(u"red")), kSuccess);
  ASSERT_EQ(api_->SetValue(app.get(), "COLOUR", kRegSz, Sz(u"blue")), kSuccess);
  EXPECT_EQ(ValueNames(app.get()), std::vector<std::string>{"Colour"});
  std::uint32_t type = 0;
  Bytes data;
  ASSERT_EQ(api_->QueryValue(app.get(), "colour", &type, &data), kSuccess);
  EXPECT_EQ(data, Sz(u"blue"));

  // Case folding reaches beyond ASCII; names keep lone surrogates.
  Create(kCurrentUser, "Software\\\xC3\x89t\xC3\xA9");  // Été
  EXPECT_EQ(OpenCode(kCurrentUser, "software\\\xC3\xA9T\xC3\x89", access::kRead), kSuccess);
  const std::string lone = text::Utf16ToUtf8(std::u16string(1, char16_t{0xD800}));
  ASSERT_EQ(api_->SetValue(app.get(), lone, kRegDword, Bytes{1, 0, 0, 0}), kSuccess);
  EXPECT_EQ(ValueNames(app.get()).back(), lone);
}

TEST_F(Keys, SubkeysEnumerateSortedValuesInCreationOrder) {
  auto key = Create(kCurrentUser, "Software\\Order");
  for (const char* name : {"b", "C", "a", "_x", "B2"}) Create(key.get(), name);
  // Compared upper-cased, so "_" (0x5F) comes after the letters.
  EXPECT_EQ(SubkeyNames(key.get()), (std::vector<std::string>{"a", "b", "B2", "C", "_x"}));

  for (const char* name : {"zeta", "alpha", "", "Mid"}) {
    ASSERT_EQ(api_->SetValue(key.get(), name, kRegSz, Sz(u"1")), kSuccess);
  }
  ASSERT_EQ(api_->SetValue(key.get(), "ALPHA", kRegDword, Bytes{2, 0, 0, 0}), kSuccess);
  EXPECT_EQ(ValueNames(key.get()), (std::vector<std::string>{"zeta", "alpha", "", "Mid"}));
  ASSERT_EQ(api_->DeleteValue(key.get(), "alpha"), kSuccess);
  EXPECT_EQ(ValueNames(key.get()), (std::vector<std::string>{"zeta", "", "Mid"}));
  EXPECT_EQ(api_->DeleteValue(key.get(), "alpha"), kFileNotFound);

  std::string name;
  std::uint32_t type = 0;
  EXPECT_EQ(api_->EnumKey(key.get(), 5, &name), kNoMoreItems);
  EXPECT_EQ(api_->EnumValue(key.get(), 3, &name, &type, nullptr), kNoMoreItems);
}

TEST_F(Keys, ManyValuesKeepOrderAndLookupThroughTheIndex) {
  auto key = Create(kCurrentUser, "Software\\Many");
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(api_->SetValue(key.get(), Numbered("v", i), kRegDword,
                             Bytes{static_cast<std::uint8_t>(i), 0, 0, 0}),
              kSuccess);
  }
  for (int i = 0; i < 100; i += 3)
    ASSERT_EQ(api_->DeleteValue(key.get(), Numbered("V", i)), kSuccess);
  const auto names = ValueNames(key.get());
  ASSERT_EQ(names.size(), 66u);
  EXPECT_EQ(names.front(), "v1");
  EXPECT_EQ(names.back(), "v98");
  Bytes data;
  std::uint32_t type = 0;
  ASSERT_EQ(api_->QueryValue(key.get(), "V97", &type, &data), kSuccess);
  EXPECT_EQ(data[0], 97);
  EXPECT_EQ(api_->QueryValue(key.get(), "v99", &type, &data), kFileNotFound);
}

TEST_F(Keys, ValueDataIsKeptByteForByte) {
  auto key = Create(kCurrentUser, "Software\\Data");
  const Bytes odd = {0x41, 0x00, 0x00, 0x00, 0x42};  // NUL inside, odd length
  ASSERT_EQ(api_->SetValue(key.get(), "odd", kRegSz, odd), kSuccess);
  ASSERT_EQ(api_->SetValue(key.get(), "empty", kRegBinary, Bytes{}), kSuccess);
  ASSERT_EQ(api_->SetValue(key.get(), "link", kRegLink, Bytes{1, 2}), kSuccess);
  std::uint32_t type = 0;
  Bytes data = {9};
  ASSERT_EQ(api_->QueryValue(key.get(), "odd", &type, &data), kSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(data, odd);
  ASSERT_EQ(api_->QueryValue(key.get(), "empty", &type, &data), kSuccess);
  EXPECT_TRUE(data.empty());
  ASSERT_EQ(api_->QueryValue(key.get(), "link", &type, nullptr), kSuccess);
  EXPECT_EQ(type, kRegLink);

  KeyInfo info;
  ASSERT_EQ(api_->QueryInfoKey(key.get(), &info), kSuccess);
  EXPECT_EQ(info.value_count, 3u);
  EXPECT_EQ(info.max_value_name_length, 5u);
  EXPECT_EQ(info.max_value_data_size, 5u);
  EXPECT_EQ(info.subkey_count, 0u);
}

TEST_F(Keys, QueryInfoCountsUtf16Units) {
  auto key = Create(kCurrentUser, "Software\\Info");
  Create(key.get(), "\xF0\x9F\x98\x80x");  // a surrogate pair + 1 = 3 units
  Create(key.get(), "ab");
  ASSERT_EQ(api_->SetValue(key.get(), "\xC3\xA9\xC3\xA9", kRegNone, Bytes{}), kSuccess);
  KeyInfo info;
  ASSERT_EQ(api_->QueryInfoKey(key.get(), &info), kSuccess);
  EXPECT_EQ(info.subkey_count, 2u);
  EXPECT_EQ(info.max_subkey_name_length, 3u);
  EXPECT_EQ(info.max_value_name_length, 2u);
}

TEST_F(Keys, NameLengthLimits) {
  auto key = Create(kCurrentUser, "Software\\Limits");
  KeyHandle handle = kNullKey;
  bool created = false;
  EXPECT_EQ(api_->CreateKey(key.get(), std::string(255, 'k'), 0, access::kRead, &handle, &created),
            kSuccess);
  api_->CloseKey(handle);
  EXPECT_EQ(api_->CreateKey(key.get(), std::string(256, 'k'), 0, access::kRead, &handle, &created),
            kInvalidParameter);
  EXPECT_EQ(api_->SetValue(key.get(), std::string(16383, 'v'), kRegNone, {}), kSuccess);
  EXPECT_EQ(api_->SetValue(key.get(), std::string(16384, 'v'), kRegNone, {}), kInvalidParameter);
}

TEST_F(Keys, PathsFollowWindows) {
  Create(kCurrentUser, "Software\\A\\B");
  // A leading backslash is refused, except below HKEY_CLASSES_ROOT; trailing ones are ignored.
  EXPECT_EQ(OpenCode(kCurrentUser, "\\Software\\A", access::kRead), kBadPathName);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\A\\B\\\\", access::kRead), kSuccess);
  Create(kClassesRoot, ".txt");
  EXPECT_EQ(OpenCode(kClassesRoot, "\\.txt", access::kRead), kSuccess);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\A\\Missing", access::kRead), kFileNotFound);
  EXPECT_EQ(OpenCode(kCurrentUser, std::string(256, 'x'), access::kRead), kInvalidParameter);

  // An empty path gives the predefined key itself, or a new handle to an open key.
  KeyHandle same = kNullKey;
  ASSERT_EQ(api_->OpenKey(kCurrentUser, "", access::kRead, &same), kSuccess);
  EXPECT_EQ(same, kCurrentUser);
  auto a = Open(kCurrentUser, "Software\\A", access::kRead);
  auto again = Open(a.get(), "", access::kRead);
  EXPECT_NE(again.get(), a.get());
  EXPECT_EQ(SubkeyNames(again.get()), std::vector<std::string>{"B"});

  // Each root is a tree of its own.
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\A", access::kRead), kFileNotFound);
  EXPECT_EQ(OpenCode(kCurrentConfig, "", access::kRead), kSuccess);
  EXPECT_EQ(OpenCode(0x80000004u, "", access::kRead), kInvalidHandle);
}

TEST_F(Keys, CreateReportsWhetherTheLastKeyIsNew) {
  KeyHandle key = kNullKey;
  bool created = false;
  ASSERT_EQ(api_->CreateKey(kCurrentUser, "Software\\New\\Deep", 0, access::kRead, &key, &created),
            kSuccess);
  EXPECT_TRUE(created);
  api_->CloseKey(key);
  ASSERT_EQ(api_->CreateKey(kCurrentUser, "Software\\New\\Deep", 0, access::kRead, &key, &created),
            kSuccess);
  EXPECT_FALSE(created);
  api_->CloseKey(key);
  ASSERT_EQ(api_->CreateKey(kCurrentUser, "", 0, access::kRead, &key, &created), kSuccess);
  EXPECT_NE(key, kCurrentUser);  // a new handle to the root
  EXPECT_FALSE(created);
  api_->CloseKey(key);
}

TEST_F(Keys, DeleteKeyNeedsAnEmptyKeyAndKeepsRootsAndOrder) {
  auto parent = Create(kCurrentUser, "Software\\Del");
  Create(parent.get(), "Child\\Grandchild");
  Create(parent.get(), "Other");
  EXPECT_EQ(api_->DeleteKey(parent.get(), "Child", 0), kAccessDenied);
  EXPECT_EQ(api_->DeleteKey(parent.get(), "Child\\Grandchild", 0), kSuccess);
  EXPECT_EQ(api_->DeleteKey(parent.get(), "Child", 0), kSuccess);
  EXPECT_EQ(api_->DeleteKey(parent.get(), "Child", 0), kFileNotFound);
  EXPECT_EQ(SubkeyNames(parent.get()), std::vector<std::string>{"Other"});
  EXPECT_EQ(api_->DeleteKey(kCurrentUser, "", 0), kAccessDenied);
  // An empty path deletes the handle's own key.
  auto other = Open(parent.get(), "Other", access::kRead);
  EXPECT_EQ(api_->DeleteKey(other.get(), "", 0), kSuccess);
  EXPECT_TRUE(SubkeyNames(parent.get()).empty());
}

// The raw reader sees what the port enumerates: every key below the root with its depth, in
// enumeration order, each followed by its values in creation order and then by its subkeys.
TEST_F(Keys, ReadTreeHandsOverTheTreeInEnumerationOrder) {
  auto top = Create(kCurrentUser, "Software\\Tree");
  for (const char* name : {"b", "A", "c\\Deep"}) Create(top.get(), name);
  auto a = Open(top.get(), "A", access::kAllAccess);
  ASSERT_EQ(api_->SetValue(a.get(), "z", kRegSz, Sz(u"1")), kSuccess);
  ASSERT_EQ(api_->SetValue(a.get(), "", kRegDword, Bytes{7, 0, 0, 0}), kSuccess);
  struct Recorder : MemoryRegistry::TreeReader {
    void Key(std::u16string_view name, std::uint32_t depth) override {
      seen.push_back(std::to_string(depth) + " " + text::Utf16ToUtf8(name));
    }
    void Value(std::u16string_view name, std::uint32_t type,
               std::span<const std::uint8_t> data) override {
      seen.push_back("= " + text::Utf16ToUtf8(name) + " " + std::to_string(type) + " " +
                     std::to_string(data.size()));
    }
    std::vector<std::string> seen;
  } recorder;
  api_->ReadTree(kCurrentUser, recorder);
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{"1 Software", "2 Tree", "3 A", "= z 1 4",
                                                     "=  4 4", "3 b", "3 c", "4 Deep"}));
  Recorder none;
  api_->ReadTree(kNullKey, none);
  EXPECT_TRUE(none.seen.empty());
}

TEST_F(Keys, HandlesOfADeletedKeyAnswerKeyDeleted) {
  auto parent = Create(kCurrentUser, "Software\\Gone");
  auto doomed = Create(parent.get(), "Doomed");
  ASSERT_EQ(api_->SetValue(doomed.get(), "v", kRegSz, Sz(u"x")), kSuccess);
  ASSERT_EQ(api_->DeleteKey(parent.get(), "Doomed", 0), kSuccess);

  std::string name;
  std::uint32_t type = 0;
  KeyInfo info;
  KeyHandle child = kNullKey;
  bool created = false;
  EXPECT_EQ(api_->QueryValue(doomed.get(), "v", &type, nullptr), kKeyDeleted);
  EXPECT_EQ(api_->SetValue(doomed.get(), "v", kRegSz, Sz(u"y")), kKeyDeleted);
  EXPECT_EQ(api_->EnumValue(doomed.get(), 0, &name, &type, nullptr), kKeyDeleted);
  EXPECT_EQ(api_->EnumKey(doomed.get(), 0, &name), kKeyDeleted);
  EXPECT_EQ(api_->QueryInfoKey(doomed.get(), &info), kKeyDeleted);
  EXPECT_EQ(api_->CreateKey(doomed.get(), "x", 0, access::kRead, &child, &created), kKeyDeleted);
  EXPECT_EQ(api_->OpenKey(doomed.get(), "", access::kRead, &child), kKeyDeleted);
  EXPECT_EQ(api_->DeleteKey(doomed.get(), "", 0), kKeyDeleted);
  EXPECT_EQ(api_->DeleteValue(doomed.get(), "v"), kKeyDeleted);

  // A key created again under the same name is a different key.
  auto reborn = Create(parent.get(), "Doomed");
  EXPECT_EQ(api_->QueryValue(reborn.get(), "v", &type, nullptr), kFileNotFound);
  EXPECT_EQ(api_->CloseKey(doomed.release()), kSuccess);
}

TEST_F(Keys, HandlesAreTheAdaptersOwnAndNeverLeak) {
  EXPECT_EQ(api_->OpenHandleCount(), 0u);
  {
    auto a = Create(kCurrentUser, "Software\\Leak");
    auto b = Open(a.get(), "", access::kRead);
    EXPECT_FALSE(IsPredefinedKey(a.get()));
    EXPECT_EQ(api_->OpenHandleCount(), 2u);
    Create(kLocalMachine, "Software\\Leak");
    ErrorCode code = kSuccess;
    Open(kCurrentUser, "Software\\Nope", access::kRead, &code);  // failures leave nothing open
    EXPECT_EQ(api_->OpenHandleCount(), 2u);
  }
  EXPECT_EQ(api_->OpenHandleCount(), 0u);
  EXPECT_EQ(api_->CloseKey(0x1234), kInvalidHandle);
  EXPECT_EQ(api_->CloseKey(kCurrentUser), kSuccess);
  std::string name;
  EXPECT_EQ(api_->EnumKey(0x1234, 0, &name), kInvalidHandle);
}

TEST_F(Keys, HandleRightsAreChecked) {
  Create(kCurrentUser, "Software\\Rights");
  auto read_only = Open(kCurrentUser, "Software\\Rights", access::kRead);
  EXPECT_EQ(api_->SetValue(read_only.get(), "v", kRegSz, Sz(u"x")), kAccessDenied);
  EXPECT_EQ(api_->DeleteValue(read_only.get(), "v"), kAccessDenied);
  auto set_only = Open(kCurrentUser, "Software\\Rights", access::kSetValue);
  EXPECT_EQ(api_->SetValue(set_only.get(), "v", kRegSz, Sz(u"x")), kSuccess);
  std::string name;
  std::uint32_t type = 0;
  KeyInfo info;
  EXPECT_EQ(api_->QueryValue(set_only.get(), "v", &type, nullptr), kAccessDenied);
  EXPECT_EQ(api_->EnumValue(set_only.get(), 0, &name, &type, nullptr), kAccessDenied);
  EXPECT_EQ(api_->EnumKey(set_only.get(), 0, &name), kAccessDenied);
  EXPECT_EQ(api_->QueryInfoKey(set_only.get(), &info), kAccessDenied);
  // Creating below a key is a matter of its security, not of the handle's access.
  KeyHandle child = kNullKey;
  bool created = false;
  ASSERT_EQ(api_->CreateKey(read_only.get(), "Child", 0, access::kRead, &child, &created),
            kSuccess);
  api_->CloseKey(child);
}

TEST_F(Keys, LargeFlatKeyEnumeratesByIndexInOrder) {
  auto key = Create(kCurrentUser, "Software\\Flat");
  constexpr int kCount = 5000;
  for (int i = kCount - 1; i >= 0; --i) {
    KeyHandle child = kNullKey;
    bool created = false;
    char name[16];
    std::snprintf(name, sizeof name, "k%05d", (i * 7919) % kCount);
    ASSERT_EQ(api_->CreateKey(key.get(), name, 0, 0, &child, &created), kSuccess);
    api_->CloseKey(child);
  }
  std::string name;
  for (std::uint32_t i = 0; i < kCount; i += 499) {
    ASSERT_EQ(api_->EnumKey(key.get(), i, &name), kSuccess);
    char expected[16];
    std::snprintf(expected, sizeof expected, "k%05u", i);
    EXPECT_EQ(name, expected);
  }
  // Deleting from the end while enumerating from the last index down, as a tree delete does.
  for (std::uint32_t i = kCount; i-- > 0;) {
    ASSERT_EQ(api_->EnumKey(key.get(), i, &name), kSuccess);
    ASSERT_EQ(api_->DeleteKey(key.get(), name, 0), kSuccess);
  }
  EXPECT_TRUE(SubkeyNames(key.get()).empty());
}

}  // namespace
}  // namespace keyloom::reg::testing
