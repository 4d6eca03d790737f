#include "registry/registry_contract.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "registry/security_descriptor.h"
#include "support/value_data.h"

namespace keyloom::reg::testing {

namespace {

void SnapshotInto(RegApi& api, KeyHandle key, const std::string& relative, std::uint32_t view,
                  TreeSnapshot* out) {
  auto& values = (*out)[relative];
  std::string name;
  RawValue value;
  for (std::uint32_t i = 0; api.EnumValue(key, i, &name, &value.type, &value.data) == kSuccess;
       ++i) {
    values[name] = value;
  }
  for (std::uint32_t i = 0; api.EnumKey(key, i, &name) == kSuccess; ++i) {
    KeyHandle child = kNullKey;
    ASSERT_EQ(api.OpenKey(key, name, access::kRead | view, &child), kSuccess) << name;
    UniqueKey guard(api, child);
    SnapshotInto(api, child, relative.empty() ? name : relative + "\\" + name, view, out);
  }
}

void DeleteTreeQuietly(RegApi& api, KeyHandle root, const std::string& path, std::uint32_t view) {
  KeyHandle key = kNullKey;
  if (api.OpenKey(root, path, access::kAllAccess | view, &key) != kSuccess) return;
  std::vector<std::string> children;
  std::string name;
  for (std::uint32_t i = 0; api.EnumKey(key, i, &name) == kSuccess; ++i) children.push_back(name);
  api.CloseKey(key);
  for (const auto& child : children) DeleteTreeQuietly(api, root, path + "\\" + child, view);
  api.DeleteKey(root, path, view);
}

Bytes B(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

using keyloom::testing::Utf16Z;

}  // namespace

TreeSnapshot Snapshot(RegApi& api, KeyHandle root, const std::string& path, std::uint32_t view) {
  TreeSnapshot out;
  KeyHandle key = kNullKey;
  if (api.OpenKey(root, path, access::kRead | view, &key) != kSuccess) return out;
  UniqueKey guard(api, key);
  SnapshotInto(api, key, "", view, &out);
  return out;
}

void RegistryWrapper::SetUp() {
  api_ = GetParam().make();
  Scrub();
  KeyHandle key = kNullKey;
  ASSERT_EQ(api_->CreateKey(kCurrentUser, kScratch, 0, access::kAllAccess, &key, nullptr),
            kSuccess);
  api_->CloseKey(key);
}

void RegistryWrapper::TearDown() { Scrub(); }

void RegistryWrapper::Scrub() {
  DeleteTreeQuietly(*api_, kCurrentUser, kScratch, 0);
  DeleteTreeQuietly(*api_, kLocalMachine, kScratch, access::kWow64_32Key);
  DeleteTreeQuietly(*api_, kLocalMachine, kScratch, access::kWow64_64Key);
}

std::unique_ptr<TRegistry> RegistryWrapper::OpenScratch() {
  auto reg = std::make_unique<TRegistry>(*api_);
  EXPECT_TRUE(reg->OpenKey(std::string("\\") + kScratch)) << reg->LastErrorText();
  return reg;
}

namespace {

// Instantiated per adapter, in the adapters' own test files.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RegistryWrapper);

TEST_P(RegistryWrapper, PathsAreTakenFromTheRootOrTheOpenKey) {
  TRegistry reg(*api_);
  reg.CreateKey("\\Software\\KeyloomTest\\A\\B");
  ASSERT_TRUE(reg.OpenKey("\\Software\\KeyloomTest"));
  EXPECT_EQ(reg.CurrentPath(), "Software\\KeyloomTest");
  ASSERT_TRUE(reg.OpenKey("A"));  // relative to the open key
  EXPECT_EQ(reg.CurrentPath(), "Software\\KeyloomTest\\A");
  EXPECT_TRUE(reg.KeyExists("B"));
  EXPECT_TRUE(reg.KeyExists("\\Software\\KeyloomTest\\A\\B"));
  reg.CreateKey("C");  // created below the open key
  EXPECT_TRUE(reg.KeyExists("\\Software\\KeyloomTest\\A\\C"));

  EXPECT_FALSE(reg.OpenKey("\\Software\\KeyloomTest\\Missing"));
  EXPECT_EQ(reg.LastErrorText(), text::TrimMessage(api_->ErrorMessage(kFileNotFound)));
  EXPECT_EQ(reg.CurrentPath(), "Software\\KeyloomTest\\A") << "a failed open keeps the open key";

  reg.CloseKey();
  EXPECT_EQ(reg.CurrentKey(), kNullKey);
  EXPECT_TRUE(reg.KeyExists("Software\\KeyloomTest\\A"));  // from the root when none is open
}

TEST_P(RegistryWrapper, EveryKindIsWrittenAndReadBack) {
  auto reg = OpenScratch();
  reg->WriteString("s", "text");
  reg->WriteExpandString("e", "%TEMP%\\x");
  reg->WriteInteger("i", -1);
  reg->WriteInt64("q", 1234567890123456789LL);
  reg->WriteMultiString("m", Utf16Z(std::u16string(u"one\0two\0", 8)));
  reg->WriteBinaryData("b", B({1, 2, 0, 255}));
  reg->WriteRaw("", RawValue{kRegSz, Utf16Z(u"default")});

  EXPECT_EQ(reg->ReadString("s"), "text");
  EXPECT_EQ(reg->GetDataSize("s"), 10) << "one terminating NUL";
  EXPECT_EQ(reg->ReadString("e"), "%TEMP%\\x");
  EXPECT_EQ(reg->ReadInteger("i"), -1);
  EXPECT_EQ(reg->ReadRaw("i").data, B({255, 255, 255, 255}));
  EXPECT_EQ(reg->ReadInt64("q"), 1234567890123456789LL);
  EXPECT_EQ(reg->ReadBinaryData("m"), Utf16Z(std::u16string(u"one\0two\0", 8)));
  EXPECT_EQ(reg->ReadBinaryData("b"), B({1, 2, 0, 255}));
  EXPECT_EQ(reg->ReadString(""), "default");

  EXPECT_EQ(reg->GetDataType("s"), DataKind::kString);
  EXPECT_EQ(reg->GetDataType("e"), DataKind::kExpandString);
  EXPECT_EQ(reg->GetDataType("i"), DataKind::kInteger);
  EXPECT_EQ(reg->GetDataType("q"), DataKind::kInt64);
  EXPECT_EQ(reg->GetDataType("m"), DataKind::kMultiString);
  EXPECT_EQ(reg->GetDataType("b"), DataKind::kBinary);
  EXPECT_EQ(reg->GetDataType("missing"), DataKind::kUnknown);
  EXPECT_EQ(reg->GetDataSize("missing"), -1);
  EXPECT_TRUE(reg->ValueExists("S")) << "value names ignore letter case";
  EXPECT_FALSE(reg->ValueExists("missing"));
}

TEST_P(RegistryWrapper, ReadsRefuseTheWrongKindWithFormattedMessages) {
  auto reg = OpenScratch();
  reg->WriteInteger("dword", 7);
  reg->WriteRaw("short dword", RawValue{kRegDword, B({1, 2})});
  reg->WriteRaw("none", RawValue{kRegNone, B({9})});
  reg->WriteBinaryData("bin", B({1}));

  auto message_of = [](auto&& call) -> std::string {
    try {
      call();
    } catch (const ERegistryException& e) {
      return e.what();
    }
    return "(nothing raised)";
  };
  EXPECT_EQ(message_of([&] { reg->ReadBinaryData("dword"); }), "Invalid data type for 'dword'");
  EXPECT_EQ(message_of([&] { reg->ReadBinaryData("none"); }), "Invalid data type for 'none'");
  EXPECT_EQ(message_of([&] { reg->ReadInteger("short dword"); }),
            "Invalid data type for 'short dword'");
  EXPECT_EQ(message_of([&] { reg->ReadString("bin"); }), "Invalid data type for 'bin'");
  EXPECT_EQ(message_of([&] { reg->ReadInt64("dword"); }), "Invalid data type for 'dword'");
  EXPECT_EQ(message_of([&] { reg->ReadString("gone"); }), "Failed to get data for 'gone'");
  EXPECT_EQ(reg->ReadRaw("none").data, B({9})) << "raw reads take every kind";
}

TEST_P(RegistryWrapper, StringsAreCutAtTheirFirstNulButRawBytesAreKept) {
  auto reg = OpenScratch();
  const Bytes with_tail = Utf16Z(std::u16string(u"head\0tail", 9));
  reg->WriteRaw("s", RawValue{kRegSz, with_tail});
  reg->WriteRaw("odd", RawValue{kRegSz, B({'a', 0, 'b'})});
  reg->WriteRaw("empty", RawValue{kRegSz, {}});
  EXPECT_EQ(reg->ReadString("s"), "head");
  EXPECT_EQ(reg->ReadRaw("s").data, with_tail);
  EXPECT_EQ(reg->ReadString("odd"), "a");
  EXPECT_EQ(reg->ReadRaw("odd").data, B({'a', 0, 'b'}));
  EXPECT_EQ(reg->ReadString("empty"), "");
  EXPECT_EQ(reg->GetDataSize("empty"), 0);
}

TEST_P(RegistryWrapper, NamesComeInIndexOrder) {
  auto reg = OpenScratch();
  const std::string long_name(255, 'k');
  for (const char* name : {"zeta", "Alpha", "beta"}) reg->CreateKey(name);
  reg->CreateKey(long_name);
  for (const char* name : {"z", "A", "m"}) reg->WriteString(name, "x");
  EXPECT_EQ(reg->GetKeyNames(), (std::vector<std::string>{"Alpha", "beta", long_name, "zeta"}));
  // Value order is the adapter's own (creation order on Windows, sorted under Wine).
  auto value_names = reg->GetValueNames();
  std::sort(value_names.begin(), value_names.end());
  EXPECT_EQ(value_names, (std::vector<std::string>{"A", "m", "z"}));
  EXPECT_TRUE(reg->HasSubKeys());
  ASSERT_TRUE(reg->OpenKey("zeta"));
  EXPECT_FALSE(reg->HasSubKeys());
  EXPECT_TRUE(reg->GetValueNames().empty());
}

TEST_P(RegistryWrapper, DeleteValueReportsAndClearsTheLastError) {
  auto reg = OpenScratch();
  reg->WriteString("v", "x");
  EXPECT_FALSE(reg->DeleteValue("missing"));
  EXPECT_EQ(reg->LastErrorText(), text::TrimMessage(api_->ErrorMessage(kFileNotFound)));
  EXPECT_TRUE(reg->DeleteValue("V"));
  EXPECT_EQ(reg->LastErrorText(), "");
  EXPECT_FALSE(reg->ValueExists("v"));
}

std::uint64_t FileTimeOfNow() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return 116444736000000000ULL + static_cast<std::uint64_t>(since_1970.count()) * 10;
}

TEST_P(RegistryWrapper, AKeysLastWriteTimeFollowsItsChanges) {
  constexpr std::uint64_t kTwoSeconds = 20000000;
  const std::uint64_t before = FileTimeOfNow();
  auto reg = OpenScratch();
  reg->CreateKey("Timed");
  ASSERT_TRUE(reg->OpenKey("Timed"));
  KeyInfo created;
  ASSERT_EQ(api_->QueryInfoKey(reg->CurrentKey(), &created), kSuccess);
  EXPECT_GE(created.last_write_time + kTwoSeconds, before);
  EXPECT_LE(created.last_write_time, FileTimeOfNow() + kTwoSeconds);

  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  reg->WriteString("v", "x");
  KeyInfo written;
  ASSERT_EQ(api_->QueryInfoKey(reg->CurrentKey(), &written), kSuccess);
  EXPECT_GT(written.last_write_time, created.last_write_time) << "a value written";

  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  reg->CreateKey("Child");
  KeyInfo grown;
  ASSERT_EQ(api_->QueryInfoKey(reg->CurrentKey(), &grown), kSuccess);
  EXPECT_GT(grown.last_write_time, written.last_write_time) << "a subkey created";
}

TEST_P(RegistryWrapper, DeleteKeyRemovesADeepTree) {
  auto reg = OpenScratch();
  std::string deep = "\\Software\\KeyloomTest\\Tree";
  for (int level = 0; level < 42; ++level) {
    deep += "\\L" + std::to_string(level);
    reg->CreateKey(deep + "\\side");
  }
  ASSERT_TRUE(reg->OpenKey(deep));
  reg->WriteString("v", "x");
  reg->CloseKey();
  EXPECT_TRUE(reg->DeleteKey("\\Software\\KeyloomTest\\Tree"));
  EXPECT_EQ(reg->LastErrorText(), "");
  EXPECT_FALSE(reg->KeyExists("\\Software\\KeyloomTest\\Tree"));
  EXPECT_FALSE(reg->DeleteKey("\\Software\\KeyloomTest\\Tree"));
  EXPECT_FALSE(reg->LastErrorText().empty());
}

TEST_P(RegistryWrapper, RenameValueCarriesEveryValueAndRefusesToOverwrite) {
  auto reg = OpenScratch();
  const RawValue values[] = {{kRegBinary, {}},
                             {kRegSz, {}},
                             {kRegDwordBigEndian, B({0, 0, 0, 1})},
                             {0x1234, B({7, 7})},
                             {kRegSz, Utf16Z(std::u16string(u"a\0b", 3))}};
  int n = 0;
  for (const auto& value : values) {
    const std::string from = "from" + std::to_string(n), to = "to" + std::to_string(n++);
    reg->WriteRaw(from, value);
    EXPECT_TRUE(reg->RenameValue(from, to)) << from << ": " << reg->LastErrorText();
    EXPECT_FALSE(reg->ValueExists(from));
    EXPECT_EQ(reg->ReadRaw(to), value) << to;
  }

  reg->WriteString("a", "first");
  reg->WriteString("b", "second");
  EXPECT_FALSE(reg->RenameValue("a", "B"));
  EXPECT_EQ(reg->LastErrorText(), "Value already exists");
  EXPECT_EQ(reg->ReadString("a"), "first");
  EXPECT_EQ(reg->ReadString("b"), "second");

  EXPECT_FALSE(reg->RenameValue("nothing", "something"));
  EXPECT_FALSE(reg->ValueExists("something"));
}

TEST_P(RegistryWrapper, MoveKeyCopiesTheWholeTreeThenDeletesTheSource) {
  auto reg = OpenScratch();
  reg->CreateKey("Old\\Sub\\Deeper");
  reg->CreateKey("Old\\Empty");
  ASSERT_TRUE(reg->OpenKey("\\Software\\KeyloomTest\\Old"));
  // A large value first (by creation and by name): the values read after it keep their own sizes.
  reg->WriteRaw("a big one", RawValue{kRegBinary, Bytes(300000, 0x5A)});
  reg->WriteRaw("", RawValue{kRegSz, Utf16Z(u"default")});
  reg->WriteRaw("empty bin", RawValue{kRegBinary, {}});
  reg->WriteRaw("odd type", RawValue{0x4000, B({1, 2, 3})});
  reg->WriteInteger("n", 5);
  ASSERT_TRUE(reg->OpenKey("Sub\\Deeper"));
  reg->WriteRaw("tail", RawValue{kRegSz, Utf16Z(std::u16string(u"x\0y", 3))});
  const TreeSnapshot before = Snapshot(*api_, kCurrentUser, "Software\\KeyloomTest\\Old");

  ASSERT_TRUE(reg->MoveKey("\\Software\\KeyloomTest\\Old", "\\Software\\KeyloomTest\\New", true))
      << reg->LastErrorText();
  EXPECT_FALSE(reg->KeyExists("\\Software\\KeyloomTest\\Old"));
  EXPECT_EQ(Snapshot(*api_, kCurrentUser, "Software\\KeyloomTest\\New"), before);
}

TEST_P(RegistryWrapper, MoveKeyNeverOverwritesOrNestsIntoItself) {
  auto reg = OpenScratch();
  reg->CreateKey("A");
  reg->CreateKey("B");
  ASSERT_TRUE(reg->OpenKey("B"));
  reg->WriteString("keep", "me");
  ASSERT_TRUE(reg->OpenKey("\\Software\\KeyloomTest"));
  EXPECT_FALSE(reg->MoveKey("A", "b", true));
  EXPECT_EQ(reg->LastErrorText(), "Key to rename to already exists");
  EXPECT_TRUE(reg->KeyExists("A"));
  EXPECT_EQ(Snapshot(*api_, kCurrentUser, "Software\\KeyloomTest\\B").at("").size(), 1u);

  EXPECT_FALSE(reg->MoveKey("A", "A\\Inner", true));
  EXPECT_EQ(reg->LastErrorText(), "Cannot move a key into its own subtree");
  EXPECT_TRUE(reg->KeyExists("A"));
  EXPECT_FALSE(reg->KeyExists("A\\Inner"));
  EXPECT_FALSE(reg->MoveKey("Missing", "Other", true));
  EXPECT_EQ(reg->LastError(), kFileNotFound);
  EXPECT_FALSE(reg->KeyExists("Other"));
}

TEST_P(RegistryWrapper, TextOutsideEveryCodePageSurvivesReadModifyWrite) {
  auto reg = OpenScratch();
  std::u16string lone_surrogate = u"x";
  lone_surrogate += char16_t{0xD83D};
  const std::string key_name = "Κλειδί 鍵 \U0001F511";
  const std::string value_name = "名前 " + text::Utf16ToUtf8(lone_surrogate);
  const std::string data = "Ωmega 数据 \U0001F600";
  reg->CreateKey(key_name);
  ASSERT_TRUE(reg->OpenKey(key_name));
  reg->WriteString(value_name, data);
  EXPECT_EQ(reg->GetValueNames(), std::vector<std::string>{value_name});
  EXPECT_EQ(reg->ReadString(value_name), data);
  EXPECT_EQ(reg->ReadRaw(value_name).data, Utf16Z(text::Utf8ToUtf16(data)));

  reg->WriteString(value_name, reg->ReadString(value_name) + " ✓");
  EXPECT_EQ(reg->ReadString(value_name), data + " ✓");
  ASSERT_TRUE(reg->RenameValue(value_name, "νέο"));
  ASSERT_TRUE(reg->OpenKey("\\Software\\KeyloomTest"));
  ASSERT_TRUE(reg->MoveKey(key_name, "移動", true));
  ASSERT_TRUE(reg->OpenKey("移動"));
  EXPECT_EQ(reg->ReadString("νέο"), data + " ✓");
  EXPECT_EQ(Snapshot(*api_, kCurrentUser, "Software\\KeyloomTest").count("移動"), 1u);
}

// The walk reads every value into one reused room: each read must give exactly what EnumValue
// gives, a short value after a long one included, and the names as the registry's units.
TEST_P(RegistryWrapper, ValuesReadIntoReusedRoomAreThoseEnumValueReads) {
  auto reg = OpenScratch();
  std::u16string lone = u"名前 ";
  lone += char16_t{0xDC00};
  reg->WriteRaw(text::Utf16ToUtf8(lone), RawValue{kRegSz, Utf16Z(u"Ωmega \U0001F600")});
  reg->WriteRaw("big", RawValue{kRegBinary, Bytes(100000, 0xAB)});
  reg->WriteRaw("", RawValue{kRegDword, B({1, 2, 3, 4})});
  reg->WriteRaw("none", RawValue{kRegNone, {}});
  reg->WriteRaw("odd", RawValue{kRegMultiSz, B({'a', 0, 'b'})});
  KeyHandle key = kNullKey;
  ASSERT_EQ(api_->OpenKey(kCurrentUser, kScratch, access::kRead, &key), kSuccess);
  UniqueKey guard(*api_, key);
  ValueBuffer buffer;
  std::string name;
  RawValue plain;
  std::uint32_t i = 0;
  for (; api_->EnumValue(key, i, &name, &plain.type, &plain.data) == kSuccess; ++i) {
    ASSERT_EQ(api_->EnumValueInto(key, i, &buffer), kSuccess) << name;
    EXPECT_EQ(buffer.name(), text::Utf8ToUtf16(name));
    EXPECT_EQ(buffer.type(), plain.type) << name;
    EXPECT_EQ(Bytes(buffer.data().begin(), buffer.data().end()), plain.data) << name;
  }
  EXPECT_EQ(i, 5u);
  EXPECT_EQ(api_->EnumValueInto(key, i, &buffer), kNoMoreItems);
  ASSERT_EQ(api_->EnumValueInto(key, 0, &buffer), kSuccess);
  EXPECT_EQ(api_->EnumValueInto(key, 0, &buffer), kSuccess) << "the same room again";
}

// What a walk holding handles sees when another program deletes the keys it is in: every read
// through a handle of a deleted key, the key itself and its subkeys, answers "key deleted" (the
// walk relies on it instead of asking each key whether it is still there); closing still works.
TEST_P(RegistryWrapper, ReadsThroughHandlesOfADeletedTreeAnswerKeyDeleted) {
  auto reg = OpenScratch();
  reg->CreateKey("\\Software\\KeyloomTest\\Doomed\\Inner\\Leaf");
  ASSERT_TRUE(reg->OpenKey("\\Software\\KeyloomTest\\Doomed\\Inner"));
  reg->WriteString("v", "x");
  reg->CloseKey();
  const std::string doomed = std::string(kScratch) + "\\Doomed";
  KeyHandle outer = kNullKey;
  KeyHandle inner = kNullKey;
  ASSERT_EQ(api_->OpenKey(kCurrentUser, doomed, access::kRead, &outer), kSuccess);
  ASSERT_EQ(api_->OpenKey(outer, "Inner", access::kRead, &inner), kSuccess);
  ASSERT_TRUE(reg->DeleteKey("\\Software\\KeyloomTest\\Doomed")) << reg->LastErrorText();
  for (KeyHandle key : {outer, inner}) {
    SCOPED_TRACE(key == outer ? "the deleted key" : "its deleted subkey");
    KeyInfo info;
    std::string name;
    ValueBuffer value;
    KeyHandle child = kNullKey;
    EXPECT_EQ(api_->QueryInfoKey(key, &info), kKeyDeleted);
    EXPECT_EQ(api_->EnumKey(key, 0, &name), kKeyDeleted);
    EXPECT_EQ(api_->EnumValueInto(key, 0, &value), kKeyDeleted);
    EXPECT_EQ(api_->OpenKey(key, key == outer ? "Inner" : "Leaf", access::kRead, &child),
              kKeyDeleted);
  }
  EXPECT_EQ(api_->CloseKey(inner), kSuccess);
  EXPECT_EQ(api_->CloseKey(outer), kSuccess);
}

TEST_P(RegistryWrapper, ConnectsToTheLocalComputerAndReportsAnUnknownOne) {
  std::string computer;
  ASSERT_EQ(api_->ComputerName(&computer), kSuccess);
  for (const std::string& name : {std::string(), computer, "\\\\" + computer}) {
    TRegistry reg(*api_);
    reg.SetRootKey(kLocalMachine);
    EXPECT_TRUE(reg.RegistryConnect(name)) << name << ": " << reg.LastErrorText();
    reg.SetAccessMode(1);
    EXPECT_TRUE(reg.OpenKey("\\Software")) << reg.LastErrorText();
  }
  TRegistry reg(*api_);
  reg.SetRootKey(kLocalMachine);
  EXPECT_FALSE(reg.RegistryConnect("\\\\nosuchhost"));
  EXPECT_EQ(reg.LastErrorText(), text::TrimMessage(api_->ErrorMessage(kBadNetPath)));
  EXPECT_FALSE(reg.LastErrorText().empty());
}

TEST_P(RegistryWrapper, KeySecurityReadsAndWritesBack) {
  auto reg = OpenScratch();
  reg->CreateKey("Secured");
  reg->SetAccess(access::kReadControl | access::kWriteDac);
  ASSERT_TRUE(reg->OpenKey("Secured")) << reg->LastErrorText();
  Bytes descriptor;
  ASSERT_TRUE(reg->GetKeySecurity(kDaclSecurityInformation, &descriptor)) << reg->LastErrorText();
  EXPECT_GE(descriptor.size(), 20u);
  EXPECT_TRUE(reg->SetKeySecurity(kDaclSecurityInformation, descriptor)) << reg->LastErrorText();
  EXPECT_FALSE(reg->SetKeySecurity(kDaclSecurityInformation, Bytes{1, 2, 3}));
}

TEST_P(RegistryWrapper, ViewsKeepTheir32And64BitKeysApart) {
  if (!DetectIs64BitWindows(*api_)) GTEST_SKIP() << "a 32-bit Windows has one view";
  TRegistry reg64(*api_), reg32(*api_);
  reg64.SetRootKey(kLocalMachine);
  reg32.SetRootKey(kLocalMachine);
  reg64.SetView(RegView::k64);
  reg32.SetView(RegView::k32);

  reg64.CreateKey("\\Software\\KeyloomTest\\Only64");
  reg32.CreateKey("\\Software\\KeyloomTest\\Only32");
  EXPECT_TRUE(reg64.KeyExists("\\Software\\KeyloomTest\\Only64"));
  EXPECT_FALSE(reg32.KeyExists("\\Software\\KeyloomTest\\Only64"));
  EXPECT_TRUE(reg32.KeyExists("\\Software\\KeyloomTest\\Only32"));
  EXPECT_FALSE(reg64.KeyExists("\\Software\\KeyloomTest\\Only32"));

  // The same name in both views: moving and deleting in one view leaves the other alone.
  reg64.CreateKey("\\Software\\KeyloomTest\\Both");
  reg32.CreateKey("\\Software\\KeyloomTest\\Both");
  ASSERT_TRUE(
      reg64.MoveKey("\\Software\\KeyloomTest\\Both", "\\Software\\KeyloomTest\\Moved", true))
      << reg64.LastErrorText();
  EXPECT_TRUE(reg32.KeyExists("\\Software\\KeyloomTest\\Both"));
  EXPECT_FALSE(reg32.KeyExists("\\Software\\KeyloomTest\\Moved"));
  EXPECT_TRUE(reg64.KeyExists("\\Software\\KeyloomTest\\Moved"));
  EXPECT_TRUE(reg64.DeleteKey("\\Software\\KeyloomTest\\Moved")) << reg64.LastErrorText();
  EXPECT_TRUE(reg32.DeleteKey("\\Software\\KeyloomTest\\Both"));
  EXPECT_TRUE(reg64.KeyExists("\\Software\\KeyloomTest\\Only64"));
  EXPECT_TRUE(reg32.KeyExists("\\Software\\KeyloomTest\\Only32"));
}

TEST_P(RegistryWrapper, TheSystemNamesTheKeyAViewReaches) {
  if (!DetectIs64BitWindows(*api_)) GTEST_SKIP() << "a 32-bit Windows has one view";
  const std::string twin = "Software\\KeyloomTest\\Named";
  for (std::uint32_t view : {access::kWow64_32Key, access::kWow64_64Key}) {
    KeyHandle key = kNullKey;
    ASSERT_EQ(api_->CreateKey(kLocalMachine, twin, 0, access::kAllAccess | view, &key, nullptr),
              kSuccess);
    api_->CloseKey(key);
  }
  // The system's letter case differs between systems: names compare as the registry compares.
  auto name_of = [&](KeyHandle root, const std::string& path, std::uint32_t view) {
    KeyHandle key = kNullKey;
    std::string name;
    EXPECT_EQ(api_->OpenKey(root, path, access::kQueryValue | view, &key), kSuccess) << path;
    UniqueKey guard(*api_, key);
    EXPECT_EQ(api_->KeyRealName(key, &name), kSuccess) << path;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return name;
  };
  EXPECT_EQ(name_of(kLocalMachine, twin, access::kWow64_64Key),
            "\\REGISTRY\\MACHINE\\SOFTWARE\\KEYLOOMTEST\\NAMED");
  EXPECT_EQ(name_of(kLocalMachine, twin, access::kWow64_32Key),
            "\\REGISTRY\\MACHINE\\SOFTWARE\\WOW6432NODE\\KEYLOOMTEST\\NAMED");
  EXPECT_EQ(name_of(kLocalMachine, twin, 0), name_of(kLocalMachine, twin, access::kWow64_32Key))
      << "without a flag this 32-bit process is in the 32-bit view";
  EXPECT_EQ(
      name_of(kLocalMachine, "Software\\Wow6432Node\\KeyloomTest\\Named", access::kWow64_64Key),
      name_of(kLocalMachine, twin, access::kWow64_32Key))
      << "the 64-bit view reaches the 32-bit key under its real path";
  EXPECT_EQ(name_of(kLocalMachine, "Software", access::kWow64_64Key),
            "\\REGISTRY\\MACHINE\\SOFTWARE");

  // HKEY_CURRENT_USER is the user's key below HKEY_USERS, and its Software is in both views.
  std::string user, domain;
  Bytes sid;
  ASSERT_EQ(api_->CurrentUserName(&user), kSuccess);
  ASSERT_EQ(api_->LookupAccountByName(user, &sid, &domain), kSuccess);
  const auto parsed = Sid::Parse(sid);
  ASSERT_TRUE(parsed.has_value());
  const std::string scratch = "\\REGISTRY\\USER\\" + parsed->ToText() + "\\SOFTWARE\\KEYLOOMTEST";
  EXPECT_EQ(name_of(kCurrentUser, kScratch, access::kWow64_32Key), scratch);
  EXPECT_EQ(name_of(kCurrentUser, kScratch, access::kWow64_64Key), scratch);

  // A predefined root is no key the system names.
  std::string name = "unchanged";
  EXPECT_EQ(api_->KeyRealName(kLocalMachine, &name), kInvalidHandle);
  EXPECT_EQ(api_->KeyRealName(kCurrentUser, &name), kInvalidHandle);
}

}  // namespace
}  // namespace keyloom::reg::testing
