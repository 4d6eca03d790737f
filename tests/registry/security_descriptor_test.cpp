#include "registry/security_descriptor.h"

#include <gtest/gtest.h>

#include "registry/reg_api.h"

namespace keyloom::reg {
namespace {

Sid S(const char* text) { return *Sid::FromText(text); }

Ace Entry(std::uint8_t type, const char* sid, std::uint32_t mask, std::uint8_t flags = 0) {
  return Ace{type, flags, mask, S(sid), {}};
}

// A descriptor as RegGetKeySecurity returns one: owner, group and a two-entry DACL.
SdBytes SampleBytes() {
  SecurityDescriptor sd;
  sd.control = kSdDaclPresent | kSdDaclAutoInherited;
  sd.owner = S("S-1-5-21-1-2-3-1000");
  sd.group = S("S-1-5-21-1-2-3-513");
  sd.dacl = Acl{kAclRevision,
                {Entry(kAceTypeAllowed, "S-1-5-21-1-2-3-1000", access::kAllAccess, 3),
                 Entry(kAceTypeDenied, "S-1-1-0", access::kSetValue)}};
  return sd.Serialize();
}

TEST(SidText, RoundTripsAndRejectsMalformedText) {
  for (const char* text : {"S-1-1-0", "S-1-5-32-544", "S-1-5-21-0-0-0-1000", "S-1-5",
                           "S-1-0x123456789ABC-7", "S-1-4294967295-4294967295"}) {
    const auto sid = Sid::FromText(text);
    ASSERT_TRUE(sid) << text;
    EXPECT_EQ(sid->ToText(), text);
    EXPECT_EQ(Sid::Parse(sid->ToBytes()), sid) << text;
  }
  for (const char* text : {"", "S-", "S-1", "X-1-5", "S-2-5-1", "S-1-5-", "S-1--5", "S-1-5-x",
                           "S-1-5-4294967296", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"}) {
    EXPECT_FALSE(Sid::FromText(text)) << text;
  }
}

TEST(SidBytes, LayoutIsWindowsOwn) {
  EXPECT_EQ(S("S-1-5-32-544").ToBytes(),
            (SdBytes{1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 2, 0, 0}));
  const SdBytes truncated = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 2, 0};
  EXPECT_FALSE(Sid::Parse(truncated));
  EXPECT_FALSE(Sid::Parse(SdBytes{2, 0, 0, 0, 0, 0, 0, 1}));   // revision 2
  EXPECT_FALSE(Sid::Parse(SdBytes{1, 16, 0, 0, 0, 0, 0, 1}));  // too many sub-authorities
}

TEST(SecurityDescriptorBytes, SerializeLaysOutHeaderSaclDaclOwnerGroup) {
  const SdBytes bytes = SampleBytes();
  // Header: revision 1, control 0x8404 (self-relative, DACL present, auto-inherited).
  ASSERT_GE(bytes.size(), 20u);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[2] | (bytes[3] << 8), 0x8404);
  // No SACL; the DACL right after the header, then owner and group.
  EXPECT_EQ(bytes[12], 0);
  EXPECT_EQ(bytes[16], 20);
  // ACL header: revision 2, size 8 + (8 + 28) + (8 + 12) = 64, two entries.
  EXPECT_EQ(bytes[20], 2);
  EXPECT_EQ(bytes[22] | (bytes[23] << 8), 64);
  EXPECT_EQ(bytes[24], 2);
  // First entry: allow, flags 3, size 36, mask KEY_ALL_ACCESS.
  EXPECT_EQ(bytes[28], 0);
  EXPECT_EQ(bytes[29], 3);
  EXPECT_EQ(bytes[30], 36);
  EXPECT_EQ(bytes[32] | (bytes[33] << 8) | (bytes[34] << 16), 0xF003F);
  EXPECT_EQ(bytes[4], 20 + 64);       // owner offset
  EXPECT_EQ(bytes[8], 20 + 64 + 28);  // group offset
  EXPECT_EQ(bytes.size(), 20u + 64 + 28 + 28);
}

TEST(SecurityDescriptorBytes, ParseSerializeRoundTrip) {
  const SdBytes bytes = SampleBytes();
  const auto parsed = SecurityDescriptor::Parse(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Serialize(), bytes);
  ASSERT_TRUE(parsed->dacl);
  EXPECT_EQ(parsed->dacl->aces.size(), 2u);
  EXPECT_EQ(parsed->dacl->aces[1].type, kAceTypeDenied);
  EXPECT_EQ(parsed->owner->ToText(), "S-1-5-21-1-2-3-1000");

  // A SACL with an audit entry, and an entry type this code does not interpret, survive too.
  SecurityDescriptor sd = *parsed;
  sd.sacl = Acl{kAclRevision, {Entry(kAceTypeAudit, "S-1-1-0", access::kDelete, 0xC0)}};
  sd.dacl->aces.push_back(Ace{0x11, 0, 0, Sid{}, {1, 2, 3, 4, 5, 6, 7, 8}});
  const auto again = SecurityDescriptor::Parse(sd.Serialize());
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, SecurityDescriptor::Parse(again->Serialize()).value());
  EXPECT_EQ(again->sacl, sd.sacl);
  EXPECT_EQ(again->dacl->aces.back().extra, sd.dacl->aces.back().extra);
}

TEST(SecurityDescriptorBytes, NullAndAbsentDaclsAreKeptApart) {
  SecurityDescriptor null_dacl;
  null_dacl.control = kSdDaclPresent;
  const auto parsed_null = SecurityDescriptor::Parse(null_dacl.Serialize());
  ASSERT_TRUE(parsed_null);
  EXPECT_TRUE(parsed_null->DaclPresent());
  EXPECT_FALSE(parsed_null->dacl);

  const auto parsed_absent = SecurityDescriptor::Parse(SecurityDescriptor{}.Serialize());
  ASSERT_TRUE(parsed_absent);
  EXPECT_FALSE(parsed_absent->DaclPresent());
  EXPECT_EQ(SecurityDescriptor{}.Serialize().size(), 20u);
}

TEST(SecurityDescriptorBytes, MalformedInputIsRejectedWithoutReadingOutside) {
  const SdBytes good = SampleBytes();
  // Every truncation fails cleanly (ASan watches the reads).
  for (std::size_t size = 0; size < good.size(); ++size) {
    const SdBytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_FALSE(SecurityDescriptor::Parse(cut)) << size;
  }
  auto patched = [&](std::size_t at, std::uint8_t byte) {
    SdBytes copy = good;
    copy[at] = byte;
    return SecurityDescriptor::Parse(copy);
  };
  EXPECT_FALSE(patched(0, 2));      // revision
  EXPECT_FALSE(patched(3, 0x04));   // not self-relative
  EXPECT_FALSE(patched(4, 0xF0));   // owner offset past the end
  EXPECT_FALSE(patched(16, 4));     // DACL offset inside the header
  EXPECT_FALSE(patched(22, 0xFF));  // AclSize past the end
  EXPECT_FALSE(patched(24, 200));   // more entries than AclSize holds
  EXPECT_FALSE(patched(30, 35));    // entry size not a multiple of 4
  EXPECT_FALSE(patched(30, 0));     // entry size 0
  EXPECT_FALSE(patched(30, 40));    // entry reaching past the ACL
  EXPECT_FALSE(patched(37, 9));     // SID count larger than the entry
  EXPECT_FALSE(SecurityDescriptor::Parse(nullptr, 0));
}

// ---- Access check ----

const std::vector<Sid> kCaller = {S("S-1-5-21-0-0-0-1000"), S("S-1-1-0"), S("S-1-5-32-545")};
const Sid kOwner = S("S-1-5-21-0-0-0-1000");
const Sid kOther = S("S-1-5-21-0-0-0-2000");

TEST(KeyAccessCheck, NoDaclGrantsEverythingAndEmptyDaclOnlyTheOwnersRights) {
  std::uint32_t granted = 0;
  EXPECT_TRUE(CheckKeyAccess(nullptr, kCaller, &kOther, access::kAllAccess, &granted));
  EXPECT_EQ(granted, access::kAllAccess);
  EXPECT_TRUE(CheckKeyAccess(nullptr, kCaller, &kOther, access::kMaximumAllowed, &granted));
  EXPECT_EQ(granted, access::kAllAccess);

  const Acl empty;
  EXPECT_FALSE(CheckKeyAccess(&empty, kCaller, &kOther, access::kQueryValue, &granted));
  EXPECT_FALSE(CheckKeyAccess(&empty, kCaller, &kOther, access::kMaximumAllowed, &granted));
  EXPECT_FALSE(CheckKeyAccess(&empty, kCaller, &kOwner, access::kQueryValue, &granted));
  EXPECT_TRUE(
      CheckKeyAccess(&empty, kCaller, &kOwner, access::kReadControl | access::kWriteDac, &granted));
  EXPECT_TRUE(CheckKeyAccess(&empty, kCaller, &kOwner, access::kMaximumAllowed, &granted));
  EXPECT_EQ(granted, access::kReadControl | access::kWriteDac);
}

TEST(KeyAccessCheck, EntriesApplyInOrder) {
  const Acl deny_first{kAclRevision,
                       {Entry(kAceTypeDenied, "S-1-5-21-0-0-0-1000", access::kSetValue),
                        Entry(kAceTypeAllowed, "S-1-1-0", access::kAllAccess)}};
  std::uint32_t granted = 0;
  EXPECT_FALSE(CheckKeyAccess(&deny_first, kCaller, &kOther, access::kWrite, &granted));
  EXPECT_TRUE(CheckKeyAccess(&deny_first, kCaller, &kOther, access::kRead, &granted));
  EXPECT_TRUE(CheckKeyAccess(&deny_first, kCaller, &kOther, access::kMaximumAllowed, &granted));
  EXPECT_EQ(granted, access::kAllAccess & ~access::kSetValue);

  // An allow entry that already granted the bit wins over a later deny.
  const Acl allow_first{kAclRevision,
                        {Entry(kAceTypeAllowed, "S-1-1-0", access::kAllAccess),
                         Entry(kAceTypeDenied, "S-1-5-21-0-0-0-1000", access::kSetValue)}};
  EXPECT_TRUE(CheckKeyAccess(&allow_first, kCaller, &kOther, access::kWrite, &granted));

  // Entries for SIDs the caller lacks, inherit-only entries and audit entries do nothing.
  const Acl ignored{kAclRevision,
                    {Entry(kAceTypeAllowed, "S-1-5-21-0-0-0-2000", access::kAllAccess),
                     Entry(kAceTypeAllowed, "S-1-1-0", access::kAllAccess, kAceInheritOnly),
                     Entry(kAceTypeAudit, "S-1-1-0", access::kAllAccess)}};
  EXPECT_FALSE(CheckKeyAccess(&ignored, kCaller, &kOther, access::kQueryValue, &granted));
}

TEST(KeyAccessCheck, OwnerKeepsReadControlAndWriteDacDespiteDenyEntries) {
  const Acl deny_all{kAclRevision,
                     {Entry(kAceTypeDenied, "S-1-5-21-0-0-0-1000", access::kAllAccess)}};
  std::uint32_t granted = 0;
  EXPECT_FALSE(CheckKeyAccess(&deny_all, kCaller, &kOwner, access::kRead, &granted));
  EXPECT_TRUE(CheckKeyAccess(&deny_all, kCaller, &kOwner, access::kReadControl | access::kWriteDac,
                             &granted));
  EXPECT_FALSE(CheckKeyAccess(&deny_all, kCaller, &kOther, access::kReadControl, &granted));
}

TEST(KeyAccessCheck, GenericRightsMapToKeyRights) {
  EXPECT_EQ(MapGenericKeyRights(access::kGenericRead), access::kRead);
  EXPECT_EQ(MapGenericKeyRights(access::kGenericWrite), access::kWrite);
  EXPECT_EQ(MapGenericKeyRights(access::kGenericExecute), access::kRead & ~access::kSynchronize);
  EXPECT_EQ(MapGenericKeyRights(access::kGenericAll | access::kSynchronize),
            access::kAllAccess | access::kSynchronize);

  const Acl generic_read{kAclRevision, {Entry(kAceTypeAllowed, "S-1-1-0", access::kGenericRead)}};
  std::uint32_t granted = 0;
  EXPECT_TRUE(CheckKeyAccess(&generic_read, kCaller, &kOther, access::kQueryValue, &granted));
  EXPECT_FALSE(CheckKeyAccess(&generic_read, kCaller, &kOther, access::kGenericWrite, &granted));
  EXPECT_TRUE(CheckKeyAccess(&generic_read, kCaller, &kOther, access::kGenericRead, &granted));
  EXPECT_EQ(granted, access::kRead);
}

TEST(KeyAccessCheck, SystemSecurityIsNeverGrantedByADacl) {
  std::uint32_t granted = 0;
  EXPECT_FALSE(CheckKeyAccess(nullptr, kCaller, &kOwner, access::kAccessSystemSecurity, &granted));
}

}  // namespace
}  // namespace keyloom::reg
