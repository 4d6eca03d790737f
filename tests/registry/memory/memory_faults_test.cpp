// Fault injection, call counting and error texts of the memory registry.
#include "memory_fixture.h"

namespace keyloom::reg::testing {
namespace {

using Faults = MemoryRegistryTest;
using Op = MemoryRegistry::Op;

TEST_F(Faults, PathFaultHitsTheKeyAndEverythingBelowOnly) {
  Create(kCurrentUser, "Software\\Bad\\Deeper");
  Create(kCurrentUser, "Software\\Badger");
  api_->InjectFault({Op::kOpenKey, "hkey_current_user\\software\\BAD\\", 0, kAccessDenied});
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Bad", access::kRead), kAccessDenied);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Bad\\Deeper", access::kRead), kAccessDenied);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Bad\\Missing", access::kRead), kAccessDenied);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Badger", access::kRead), kSuccess);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software", access::kRead), kSuccess);
  // Relative paths from an open key count by the key they reach.
  auto software = Open(kCurrentUser, "Software", access::kRead);
  EXPECT_EQ(OpenCode(software.get(), "bad", access::kRead), kAccessDenied);
  // Other operations on the key are not touched.
  KeyHandle key = kNullKey;
  bool created = false;
  ASSERT_EQ(api_->CreateKey(kCurrentUser, "Software\\Bad", 0, access::kAllAccess, &key, &created),
            kSuccess);
  EXPECT_EQ(api_->SetValue(key, "v", kRegDword, Bytes{1, 0, 0, 0}), kSuccess);
  api_->CloseKey(key);

  api_->ClearFaults();
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Bad", access::kRead), kSuccess);
}

TEST_F(Faults, NthMatchingCallFailsOnce) {
  auto key = Create(kCurrentUser, "Software\\Writes");
  api_->InjectFault({Op::kSetValue, "HKEY_CURRENT_USER\\Software\\Writes", 3, kNotEnoughMemory});
  std::vector<ErrorCode> results;
  for (int i = 0; i < 5; ++i) {
    results.push_back(api_->SetValue(key.get(), Numbered("v", i), kRegSz, Sz(u"x")));
  }
  EXPECT_EQ(results,
            (std::vector<ErrorCode>{kSuccess, kSuccess, kNotEnoughMemory, kSuccess, kSuccess}));
  // The failed call changed nothing.
  EXPECT_EQ(ValueNames(key.get()), (std::vector<std::string>{"v0", "v1", "v3", "v4"}));
}

TEST_F(Faults, AnyOpAndEmptyPathMatchEveryCall) {
  auto key = Create(kCurrentUser, "Software\\All");
  api_->InjectFault({Op::kAny, "", 2, kAccessDenied});
  std::string user;
  EXPECT_EQ(api_->CurrentUserName(&user), kSuccess);
  EXPECT_EQ(api_->ComputerName(&user), kAccessDenied);
  EXPECT_EQ(api_->ComputerName(&user), kSuccess);
  api_->ClearFaults();

  api_->InjectFault({Op::kCloseKey, "", 0, kInvalidHandle});
  EXPECT_EQ(api_->CloseKey(key.release()), kInvalidHandle);
  api_->ClearFaults();
  EXPECT_EQ(api_->OpenHandleCount(), 0u);  // a failing close still closed
}

TEST_F(Faults, CreateAndDeleteFaultsNameTheTargetKey) {
  api_->InjectFault(
      {Op::kCreateKey, "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Vendor", 0, kAccessDenied});
  KeyHandle key = kNullKey;
  bool created = false;
  // The 32-bit view resolves to Wow6432Node, so the fault path names the real key.
  EXPECT_EQ(api_->CreateKey(kLocalMachine, "Software\\Vendor\\App", 0, access::kAllAccess, &key,
                            &created),
            kAccessDenied);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software\\Vendor", access::kRead), kFileNotFound);
  ASSERT_EQ(api_->CreateKey(kLocalMachine, "Software\\Vendor", 0,
                            access::kAllAccess | access::kWow64_64Key, &key, &created),
            kSuccess);
  api_->CloseKey(key);
  api_->ClearFaults();

  api_->InjectFault({Op::kDeleteKey, "HKEY_LOCAL_MACHINE\\Software\\Vendor", 0, kAccessDenied});
  EXPECT_EQ(api_->DeleteKey(kLocalMachine, "Software\\Vendor", access::kWow64_64Key),
            kAccessDenied);
  api_->ClearFaults();
  EXPECT_EQ(api_->DeleteKey(kLocalMachine, "Software\\Vendor", access::kWow64_64Key), kSuccess);
}

TEST_F(Faults, RemoteKeysCarryTheMachineInTheirPath) {
  api_->AddMachine("FAR", true);
  KeyHandle remote = kNullKey;
  ASSERT_EQ(api_->ConnectRegistry("\\\\FAR", kLocalMachine, &remote), kSuccess);
  UniqueKey guard(*api_, remote);
  api_->InjectFault({Op::kOpenKey, "\\\\FAR\\HKEY_LOCAL_MACHINE\\Software", 0, kAccessDenied});
  EXPECT_EQ(OpenCode(remote, "Software", access::kRead | access::kWow64_64Key), kAccessDenied);
  EXPECT_EQ(OpenCode(kLocalMachine, "Software", access::kRead | access::kWow64_64Key), kSuccess);
  api_->InjectFault({Op::kConnectRegistry, "\\\\FAR\\HKEY_USERS", 0, kBadNetPath});
  KeyHandle users = kNullKey;
  EXPECT_EQ(api_->ConnectRegistry("FAR", kUsers, &users), kBadNetPath);
}

TEST_F(Faults, CallsAreCountedPerOperation) {
  auto key = Create(kCurrentUser, "Software\\Count");
  api_->ResetCallCounts();
  std::string name;
  api_->EnumKey(key.get(), 0, &name);
  api_->EnumKey(key.get(), 1, &name);
  api_->QueryValue(key.get(), "x", nullptr, nullptr);
  api_->ErrorMessage(kAccessDenied);
  EXPECT_EQ(api_->CallCount(Op::kEnumKey), 2u);
  EXPECT_EQ(api_->CallCount(Op::kQueryValue), 1u);
  EXPECT_EQ(api_->CallCount(Op::kErrorMessage), 1u);
  EXPECT_EQ(api_->CallCount(Op::kOpenKey), 0u);
  EXPECT_EQ(api_->CallCount(Op::kAny), 4u);
}

TEST_F(Faults, ErrorMessagesAreWindowsTexts) {
  EXPECT_EQ(api_->ErrorMessage(kFileNotFound), "The system cannot find the file specified.");
  EXPECT_EQ(api_->ErrorMessage(kAccessDenied), "Access is denied.");
  EXPECT_EQ(api_->ErrorMessage(kBadNetPath), "The network path was not found.");
  EXPECT_EQ(api_->ErrorMessage(kMoreData), "More data is available.");
  EXPECT_EQ(api_->ErrorMessage(kNoMoreItems), "No more data is available.");
  EXPECT_EQ(api_->ErrorMessage(kPrivilegeNotHeld),
            "A required privilege is not held by the client.");
  EXPECT_EQ(api_->ErrorMessage(4242), "Unknown error 4242");
  // Every code the port names has a text of its own.
  for (ErrorCode code :
       {kSuccess, kPathNotFound, kInvalidHandle, kNotEnoughMemory, kFileExists, kInvalidParameter,
        kCallNotImplemented, kInsufficientBuffer, kProcNotFound, kAlreadyExists, kBadDbFile,
        kKeyDeleted, kNotAllAssigned, kNoneMapped, kBadPathName}) {
    EXPECT_EQ(api_->ErrorMessage(code).find("Unknown error"), std::string::npos) << code;
  }
}

}  // namespace
}  // namespace keyloom::reg::testing
