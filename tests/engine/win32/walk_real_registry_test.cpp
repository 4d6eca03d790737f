// The walk on the real registry, where access checks are real: a key that denies the user is
// reported, or repaired for the time of its walk and left with exactly the DACL it had.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/text.h"
#include "engine/win32/real_run_fixture.h"
#include "registry/registry_contract.h"
#include "registry/security_descriptor.h"

namespace keyloom::engine::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kScratch = "Software\\KeyloomTest";

class RealRegistryWalkTest : public RealRegistryRun {
 protected:
  void SetUp() override {
    Scrub();
    reg::TRegistry reg(*api_);
    reg.CreateKey("\\Software\\KeyloomTest\\Locked\\Inner");
    ASSERT_TRUE(reg.OpenKey("\\Software\\KeyloomTest\\Locked\\Inner"));
    reg.WriteString("v", "needle");
    BuildEngine();
  }

  void TearDown() override {
    Unlock();
    Scrub();
  }

  void Scrub() {
    reg::TRegistry reg(*api_);
    reg.DeleteKey("\\Software\\KeyloomTest");
  }

  // A DACL that denies the user everything: the key refuses to open, but its owner may repair it.
  void Lock() {
    reg::Bytes sid;
    std::string domain;
    ASSERT_EQ(api_->LookupAccountByName(user_, &sid, &domain), reg::kSuccess);
    reg::SecurityDescriptor sd;
    sd.control = reg::kSdSelfRelative | reg::kSdDaclPresent | reg::kSdDaclProtected;
    reg::Acl dacl;
    reg::Ace deny;
    deny.type = reg::kAceTypeDenied;
    deny.flags = 3;
    deny.mask = reg::access::kAllAccess;
    deny.sid = *reg::Sid::Parse(sid);
    dacl.aces.push_back(deny);
    sd.dacl = dacl;
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(api_->OpenKey(reg::kCurrentUser, "Software\\KeyloomTest\\Locked",
                            reg::access::kReadControl | reg::access::kWriteDac, &key),
              reg::kSuccess);
    reg::UniqueKey guard(*api_, key);
    ASSERT_EQ(api_->SetKeySecurity(key, reg::kDaclSecurityInformation, sd.Serialize()),
              reg::kSuccess);
    ASSERT_EQ(api_->GetKeySecurity(key, reg::kDaclSecurityInformation, &locked_), reg::kSuccess);
  }

  // Gives the key back a DACL that lets everyone delete it.
  void Unlock() {
    reg::KeyHandle key = reg::kNullKey;
    if (api_->OpenKey(reg::kCurrentUser, "Software\\KeyloomTest\\Locked",
                      reg::access::kReadControl | reg::access::kWriteDac, &key) != reg::kSuccess) {
      return;
    }
    reg::UniqueKey guard(*api_, key);
    reg::SecurityDescriptor open;
    open.control = reg::kSdSelfRelative | reg::kSdDaclPresent;  // a NULL DACL
    api_->SetKeySecurity(key, reg::kDaclSecurityInformation, open.Serialize());
  }

  reg::Bytes CurrentDacl() {
    reg::KeyHandle key = reg::kNullKey;
    EXPECT_EQ(api_->OpenKey(reg::kCurrentUser, "Software\\KeyloomTest\\Locked",
                            reg::access::kReadControl, &key),
              reg::kSuccess);
    reg::UniqueKey guard(*api_, key);
    reg::Bytes bytes;
    EXPECT_EQ(api_->GetKeySecurity(key, reg::kDaclSecurityInformation, &bytes), reg::kSuccess);
    return bytes;
  }

  std::vector<std::string> Walk() {
    SearchSession& session = engine_->session();
    session.find_text = "needle";
    session.search_only = true;
    session.depth = 0;
    StoreSettings();
    engine_->SearchRoots("needle", "", 2, 2, std::string("\\") + kScratch);
    return output_.Lines();
  }

  reg::Bytes locked_;
};

TEST_F(RealRegistryWalkTest, ADeniedKeyIsReportedWithoutRepair) {
  Lock();
  const auto lines = Walk();
  const std::string denied = text::TrimMessage(api_->ErrorMessage(reg::kAccessDenied));
  EXPECT_THAT(lines,
              Contains("Unable to open key : \\Software\\KeyloomTest\\Locked - [" + denied + "]"));
  EXPECT_EQ(CurrentDacl(), locked_);
}

TEST_F(RealRegistryWalkTest, RepairSearchesADeniedKeyAndLeavesItsDaclByteIdentical) {
  Lock();
  settings_.fixperms = true;
  settings_.logging = 1;
  const auto lines = Walk();
  EXPECT_THAT(lines, Contains("Security - Re-open of key after permission change successful"));
  EXPECT_THAT(lines, Contains("Found in Key  : \\Software\\KeyloomTest\\Locked\\Inner\tv"));
  EXPECT_THAT(lines, Contains(HasSubstr("setting permissions back to original settings")));
  EXPECT_EQ(CurrentDacl(), locked_);
}

// The system answers "key deleted" to every read through a handle of a deleted key and its
// subkeys, so the walk learns of a key deleted while it is inside it without asking.
class RealRegistryDeletedKeyTest : public RealRegistryRun {
 protected:
  void SetUp() override { Scrub(); }
  void TearDown() override { Scrub(); }
  void Scrub() {
    reg::TRegistry reg(*api_);
    reg.DeleteKey("\\Software\\KeyloomTest");
  }
};

TEST_F(RealRegistryDeletedKeyTest, AKeyDeletedAtItsLastSubkeyEndsThePassAsItsReadsTell) {
  reg::TRegistry reg(*api_);
  for (const char* key : {"Gone\\K0", "Gone\\K1", "Gone\\K2", "Gone\\K2\\Inner", "Later"}) {
    const std::string path = std::string("\\Software\\KeyloomTest\\") + key;
    reg.CreateKey(path);
    ASSERT_TRUE(reg.OpenKey(path));
    reg.WriteString("v", "needle");
  }
  reg.CloseKey();
  const std::string root = "HKEY_CURRENT_USER\t\\Software\\KeyloomTest\\";
  DeletingOutput deleting(output_, *api_);
  deleting.trigger = root + "Gone\\K2\tv";  // K2's subkey Inner is still to be read
  deleting.doomed = "\\Software\\KeyloomTest\\Gone";
  walk_output_ = &deleting;
  BuildEngine();
  SearchSession& session = engine_->session();
  session.find_text = "needle";
  session.search_only = true;
  engine_->SearchRoots("needle", "", 2, 2, "\\Software\\KeyloomTest");
  EXPECT_TRUE(deleting.deleted);
  EXPECT_TRUE(session.abandon);
  std::vector<std::string> rows;
  for (const auto& e : output_.Events()) {
    if (e.rfind("row: ", 0) == 0) rows.push_back(e.substr(5));
  }
  EXPECT_THAT(rows, ElementsAre(root + "Gone\\K0\tv", root + "Gone\\K1\tv",
                                root + "Gone\\K2\tv", root + "Later\tv"));
  EXPECT_THAT(output_.Lines(), Not(Contains(HasSubstr("Unable"))));
}

}  // namespace
}  // namespace keyloom::engine::testing
