// The 32/64-bit views and remote machines of the memory registry.
#include "memory_fixture.h"

namespace keyloom::reg::testing {
namespace {

using Views = MemoryRegistryTest;
using Remote = MemoryRegistryTest;

constexpr std::uint32_t k32 = access::kWow64_32Key;
constexpr std::uint32_t k64 = access::kWow64_64Key;

TEST_F(Views, KeysOfOneViewAreNotSeenInTheOther) {
  KeyHandle key = kNullKey;
  bool created = false;
  ASSERT_EQ(api_->CreateKey(kLocalMachine, "Software\\Only64", 0, access::kAllAccess | k64, &key,
                            &created),
            kSuccess);
  api_->CloseKey(key);
  ASSERT_EQ(api_->CreateKey(kLocalMachine, "Software\\Only32", 0, access::kAllAccess | k32, &key,
                            &created),
            kSuccess);
  api_->CloseKey(key);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Only64", access::kRead | k64), kSuccess);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Only64", access::kRead | k32), kFileNotFound);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Only64", access::kRead), kFileNotFound);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Only32", access::kRead), kSuccess);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Only32", access::kRead | k64), kFileNotFound);
  // The 32-bit view's keys live in Wow6432Node, where the 64-bit view finds them.
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Wow6432Node\\Only32", access::kRead | k64),
            kSuccess);
  // A path that names Wow6432Node itself is not redirected twice.
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Wow6432Node\\Only32", access::kRead), kSuccess);

  EXPECT_EQ(OpenCode(kLocalMachine, "Software", access::kRead | k32 | k64), kInvalidParameter);

  EXPECT_EQ(api_->DeleteKey(kLocalMachine, "Software\\Only64", k32), kFileNotFound);
  EXPECT_EQ(api_->DeleteKey(kLocalMachine, "Software\\Only64", k64), kSuccess);
  EXPECT_EQ(api_->DeleteKey(kLocalMachine, "Software\\Only32", 0), kSuccess);
}

TEST_F(Views, Wow6432NodeIsListedOnlyInThe64BitView) {
  auto real = Open(kLocalMachine, "Software", access::kRead | k64);
  EXPECT_EQ(SubkeyNames(real.get()), std::vector<std::string>{"Wow6432Node"});
  auto redirected = Open(kLocalMachine, "Software", access::kRead);
  EXPECT_TRUE(SubkeyNames(redirected.get()).empty());
  // Handles do not remember their view: below a handle to the real Software a call without
  // view flag is still redirected.
  Create(redirected.get(), "Mine");
  EXPECT_EQ(OpenCode(real.get(), "Mine", access::kRead), kSuccess);
  EXPECT_EQ(OpenCode(real.get(), "Mine", access::kRead | k64), kFileNotFound);
  EXPECT_EQ(OpenCode(real.get(), "Wow6432Node\\Mine", access::kRead | k64), kSuccess);
}

TEST_F(Views, CurrentUserSoftwareIsShared) {
  KeyHandle key = kNullKey;
  bool created = false;
  ASSERT_EQ(api_->CreateKey(kCurrentUser, "Software\\Shared", 0, access::kAllAccess | k64, &key,
                            &created),
            kSuccess);
  api_->CloseKey(key);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Shared", access::kRead | k32), kSuccess);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Shared", access::kRead), kSuccess);
}

TEST_F(Views, On32BitWindowsNothingIsRedirected) {
  MemoryRegistry::Config config;
  config.is_64bit_windows = false;
  Reset(config);
  Create(kLocalMachine, "Software\\Plain");
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Plain", access::kRead | k64), kSuccess);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Plain", access::kRead | k32), kSuccess);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Wow6432Node", access::kRead | k64), kFileNotFound);
  bool wow64 = true;
  ASSERT_EQ(api_->IsWow64Process(&wow64), kSuccess);
  EXPECT_FALSE(wow64);
}

TEST_F(Views, Wow64QuestionCanBeMissingOrFail) {
  bool wow64 = false;
  ASSERT_EQ(api_->IsWow64Process(&wow64), kSuccess);
  EXPECT_TRUE(wow64);
  MemoryRegistry::Config config;
  config.wow64_query = MemoryRegistry::Wow64Query::kMissing;
  Reset(config);
  EXPECT_EQ(api_->IsWow64Process(&wow64), kProcNotFound);
  config.wow64_query = MemoryRegistry::Wow64Query::kFails;
  Reset(config);
  EXPECT_EQ(api_->IsWow64Process(&wow64), kInvalidHandle);
}

TEST_F(Remote, LocalNamesGiveTheLocalRegistry) {
  Create(kLocalMachine, "Software\\Here");
  for (const char* name : {"", "KEYLOOM-PC", "\\\\keyloom-pc", "\\\\KEYLOOM-PC"}) {
    KeyHandle root = kNullKey;
    ASSERT_EQ(api_->ConnectRegistry(name, kLocalMachine, &root), kSuccess) << name;
    EXPECT_EQ(OpenCode(root, "Software\\Here", access::kRead), kSuccess) << name;
    EXPECT_EQ(api_->CloseKey(root), kSuccess);
  }
  KeyHandle root = kNullKey;
  EXPECT_EQ(api_->ConnectRegistry("", kCurrentUser, &root), kSuccess);
  EXPECT_EQ(api_->ConnectRegistry("", 0x1234, &root), kInvalidHandle);
  EXPECT_EQ(api_->OpenHandleCount(), 0u);
}

TEST_F(Remote, MachinesHaveTheirOwnTrees) {
  api_->AddMachine("SERVER", true);
  KeyHandle remote = kNullKey;
  ASSERT_EQ(api_->ConnectRegistry("\\\\server", kLocalMachine, &remote), kSuccess);
  UniqueKey guard(*api_, remote);
  EXPECT_FALSE(IsPredefinedKey(remote));
  Create(remote, "Software\\OnServer");
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\OnServer", access::kRead), kFileNotFound);
  EXPECT_EQ(OpenCode(remote, "Software\\OnServer", access::kRead), kSuccess);
  EXPECT_EQ(OpenCode(remote, "Software\\Wow6432Node\\OnServer", access::kRead | k64), kSuccess);

  KeyHandle users = kNullKey;
  ASSERT_EQ(api_->ConnectRegistry("SERVER", kUsers, &users), kSuccess);
  api_->CloseKey(users);
  EXPECT_EQ(api_->ConnectRegistry("SERVER", kCurrentUser, &users), kInvalidHandle);
  EXPECT_EQ(api_->ConnectRegistry("SERVER", kClassesRoot, &users), kInvalidHandle);
}

TEST_F(Remote, UnknownOrUnreachableMachinesFail) {
  KeyHandle root = kNullKey;
  EXPECT_EQ(api_->ConnectRegistry("\\\\NOWHERE", kLocalMachine, &root), kBadNetPath);
  api_->AddMachine("\\\\SLEEPY", false);
  EXPECT_EQ(api_->ConnectRegistry("\\\\SLEEPY", kLocalMachine, &root), kBadNetPath);
  api_->SetMachineReachable("sleepy", true);
  ASSERT_EQ(api_->ConnectRegistry("\\\\SLEEPY", kLocalMachine, &root), kSuccess);
  // A machine that goes away leaves its open handles failing until they are closed.
  api_->SetMachineReachable("SLEEPY", false);
  KeyHandle key = kNullKey;
  EXPECT_EQ(api_->OpenKey(root, "Software", access::kRead, &key), kRpcServerUnavailable);
  EXPECT_EQ(api_->CloseKey(root), kSuccess);
  EXPECT_EQ(api_->OpenHandleCount(), 0u);
}

TEST_F(Remote, KeysAreNamedAsTheirOwnMachineNamesThem) {
  auto name_of = [&](KeyHandle root, const std::string& path, std::uint32_t view) {
    std::string name;
    auto key = Open(root, path, access::kRead | view);
    EXPECT_EQ(api_->KeyRealName(key.get(), &name), kSuccess) << path;
    return name;
  };
  api_->AddMachine("SERVER", true);
  KeyHandle remote = kNullKey;
  ASSERT_EQ(api_->ConnectRegistry("\\\\SERVER", kLocalMachine, &remote), kSuccess);
  UniqueKey guard(*api_, remote);
  Create(remote, "Software\\App");
  std::string name;
  ASSERT_EQ(api_->KeyRealName(remote, &name), kSuccess) << "a remote root is an opened key";
  EXPECT_EQ(name, "\\REGISTRY\\MACHINE");
  EXPECT_EQ(name_of(remote, "Software\\App", k32),
            "\\REGISTRY\\MACHINE\\Software\\Wow6432Node\\App");
  EXPECT_EQ(name_of(remote, "Software\\Wow6432Node\\App", k64),
            "\\REGISTRY\\MACHINE\\Software\\Wow6432Node\\App");

  // The roots' keys carry the names of the keys Windows links them to.
  Create(kClassesRoot, ".kl");
  Create(kCurrentConfig, "Software");
  Create(kUsers, ".DEFAULT");
  EXPECT_EQ(name_of(kClassesRoot, ".kl", k64), "\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\.kl");
  EXPECT_EQ(name_of(kCurrentConfig, "Software", k64),
            "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software");
  EXPECT_EQ(name_of(kUsers, ".DEFAULT", k64), "\\REGISTRY\\USER\\.DEFAULT");

  // A deleted key has no name any more.
  auto doomed = Create(kLocalMachine, "Software\\Doomed", k64);
  ASSERT_EQ(api_->DeleteKey(kLocalMachine, "Software\\Doomed", k64), kSuccess);
  EXPECT_EQ(api_->KeyRealName(doomed.get(), &name), kKeyDeleted);
  EXPECT_EQ(api_->KeyRealName(0x1234, &name), kInvalidHandle);
}

TEST_F(Views, On32BitWindowsKeysAreNamedByTheirPath) {
  MemoryRegistry::Config config;
  config.is_64bit_windows = false;
  Reset(config);
  auto key = Create(kLocalMachine, "Software\\Plain");
  std::string name;
  ASSERT_EQ(api_->KeyRealName(key.get(), &name), kSuccess);
  EXPECT_EQ(name, "\\REGISTRY\\MACHINE\\Software\\Plain");
}

}  // namespace
}  // namespace keyloom::reg::testing
