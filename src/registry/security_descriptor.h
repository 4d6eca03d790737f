// Security descriptors at the byte level, laid out as Windows lays them out, with no Windows
// headers: security identifiers (SIDs), access control entries and lists, self-relative security
// descriptors, and the access check a key's DACL makes. The in-memory registry keeps key
// security with these types; the permission repair reads and writes DACLs with them.
//
// Layouts (all integers little-endian):
// - SID: revision (1), sub-authority count (1), identifier authority (6, big-endian), then the
//   sub-authorities (4 each).
// - ACL: revision (1), padding (1), AclSize (2), AceCount (2), padding (2), then the entries.
// - ACE: type (1), flags (1), AceSize (2, a multiple of 4), then for the plain types an access mask
//   (4) and a SID.
// - Self-relative descriptor: revision 1 (1), padding (1), control (2), then the offsets of owner,
//   group, SACL and DACL (4 each; 0 = absent), 20 bytes in all; the parts follow.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom::reg {

using SdBytes = std::vector<std::uint8_t>;

// Descriptor control bits.
inline constexpr std::uint16_t kSdOwnerDefaulted = 0x0001;
inline constexpr std::uint16_t kSdGroupDefaulted = 0x0002;
inline constexpr std::uint16_t kSdDaclPresent = 0x0004;
inline constexpr std::uint16_t kSdDaclDefaulted = 0x0008;
inline constexpr std::uint16_t kSdSaclPresent = 0x0010;
inline constexpr std::uint16_t kSdSaclDefaulted = 0x0020;
inline constexpr std::uint16_t kSdDaclAutoInheritReq = 0x0100;
inline constexpr std::uint16_t kSdSaclAutoInheritReq = 0x0200;
inline constexpr std::uint16_t kSdDaclAutoInherited = 0x0400;
inline constexpr std::uint16_t kSdSaclAutoInherited = 0x0800;
inline constexpr std::uint16_t kSdDaclProtected = 0x1000;
inline constexpr std::uint16_t kSdSaclProtected = 0x2000;
inline constexpr std::uint16_t kSdSelfRelative = 0x8000;
// The control bits that belong to the DACL and to the SACL.
inline constexpr std::uint16_t kSdDaclBits = kSdDaclPresent | kSdDaclDefaulted |
                                             kSdDaclAutoInheritReq | kSdDaclAutoInherited |
                                             kSdDaclProtected;
inline constexpr std::uint16_t kSdSaclBits = kSdSaclPresent | kSdSaclDefaulted |
                                             kSdSaclAutoInheritReq | kSdSaclAutoInherited |
                                             kSdSaclProtected;

// Entry types with a mask and a SID; other types are kept as opaque bytes.
inline constexpr std::uint8_t kAceTypeAllowed = 0;
inline constexpr std::uint8_t kAceTypeDenied = 1;
inline constexpr std::uint8_t kAceTypeAudit = 2;
inline constexpr std::uint8_t kAceTypeAlarm = 3;

// Entry flags.
inline constexpr std::uint8_t kAceObjectInherit = 0x01;
inline constexpr std::uint8_t kAceContainerInherit = 0x02;
inline constexpr std::uint8_t kAceNoPropagateInherit = 0x04;
inline constexpr std::uint8_t kAceInheritOnly = 0x08;
inline constexpr std::uint8_t kAceInherited = 0x10;
inline constexpr std::uint8_t kAceSuccessfulAccess = 0x40;
inline constexpr std::uint8_t kAceFailedAccess = 0x80;

inline constexpr std::uint8_t kAclRevision = 2;
inline constexpr std::size_t kSdHeaderSize = 20;
inline constexpr std::size_t kMaxSubAuthorities = 15;

struct Sid {
  std::uint8_t revision = 1;
  std::array<std::uint8_t, 6> authority{};
  std::vector<std::uint32_t> sub_authorities;

  // Reads a SID at the start of `size` bytes. Rejects a revision other than 1, more than 15
  // sub-authorities and bytes too short for the count.
  static std::optional<Sid> Parse(const std::uint8_t* data, std::size_t size);
  static std::optional<Sid> Parse(const SdBytes& bytes) {
    return Parse(bytes.data(), bytes.size());
  }
  // "S-1-5-21-1-2-3": revision 1, an authority in decimal (or 0x + 12 hex digits, as Windows
  // writes authorities of 2^32 and above), then the sub-authorities in decimal.
  static std::optional<Sid> FromText(std::string_view text);

  std::size_t ByteSize() const { return 8 + 4 * sub_authorities.size(); }
  void AppendTo(SdBytes* out) const;
  SdBytes ToBytes() const;
  std::string ToText() const;

  bool operator==(const Sid& other) const = default;
};

struct Ace {
  std::uint8_t type = kAceTypeAllowed;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  Sid sid;
  // For the plain types: any bytes after the SID inside the entry. For other types: the whole
  // body after the 4-byte header (mask and sid then unused).
  SdBytes extra;

  bool IsPlain() const { return type <= kAceTypeAlarm; }
  std::size_t ByteSize() const { return 4 + (IsPlain() ? 4 + sid.ByteSize() : 0) + extra.size(); }
  bool operator==(const Ace& other) const = default;
};

struct Acl {
  std::uint8_t revision = kAclRevision;
  std::vector<Ace> aces;

  // Reads an ACL at the start of `size` bytes: AclSize must fit, every entry must lie inside
  // AclSize, be at least 4 bytes and a multiple of 4, and a plain entry must hold its SID.
  static std::optional<Acl> Parse(const std::uint8_t* data, std::size_t size);
  // The ACL's size as written: 8 + every entry.
  std::size_t ByteSize() const;
  void AppendTo(SdBytes* out) const;
  bool operator==(const Acl& other) const = default;
};

// A parsed security descriptor. `dacl` empty with kSdDaclPresent set is a NULL DACL (everyone may
// do everything); kSdDaclPresent clear means no DACL, which grants the same.
struct SecurityDescriptor {
  std::uint8_t resource_manager_control = 0;  // the byte after the revision
  std::uint16_t control = 0;
  std::optional<Sid> owner;
  std::optional<Sid> group;
  std::optional<Acl> dacl;
  std::optional<Acl> sacl;

  // Parses a self-relative descriptor. The parts may lie at any offsets inside the bytes; any
  // part reaching outside them, a revision other than 1 or a missing self-relative bit rejects
  // the whole descriptor.
  static std::optional<SecurityDescriptor> Parse(const std::uint8_t* data, std::size_t size);
  static std::optional<SecurityDescriptor> Parse(const SdBytes& bytes) {
    return Parse(bytes.data(), bytes.size());
  }

  bool DaclPresent() const { return (control & kSdDaclPresent) != 0 || dacl.has_value(); }
  bool SaclPresent() const { return (control & kSdSaclPresent) != 0 || sacl.has_value(); }

  // Self-relative bytes as MakeSelfRelativeSD writes them: the header, then SACL, DACL, owner
  // and group. The present bits follow `dacl` / `sacl` (a present bit without a list stays: NULL
  // list); kSdSelfRelative is always set.
  SdBytes Serialize() const;

  bool operator==(const SecurityDescriptor& other) const = default;
};

// Key-specific meaning of the generic rights: GENERIC_READ -> KEY_READ, GENERIC_WRITE ->
// KEY_WRITE, GENERIC_EXECUTE -> KEY_READ without SYNCHRONIZE, GENERIC_ALL -> KEY_ALL_ACCESS.
std::uint32_t MapGenericKeyRights(std::uint32_t mask);

// The access check of a key's DACL, as Windows makes it:
// - `dacl` null (no DACL, or a NULL DACL): every right is granted.
// - the owner (when `owner` is one of `caller_sids`) always gets READ_CONTROL and WRITE_DAC;
// - entries are taken in order; inherit-only entries and entries of other types than allow and
//   deny are skipped; an entry applies when its SID is one of `caller_sids`;
// - an allow entry grants its bits; a deny entry whose bits meet a still-wanted bit refuses the
//   request (with MAXIMUM_ALLOWED it only removes the bits not granted before);
// - generic rights in `desired` and in the entries are mapped with MapGenericKeyRights.
// ACCESS_SYSTEM_SECURITY is never granted by a DACL (it is a privilege matter): the caller
// removes it from `desired` after checking the privilege.
// Returns true and fills `*granted` (the mapped request, or everything allowed for
// MAXIMUM_ALLOWED) when the access is granted; false otherwise.
bool CheckKeyAccess(const Acl* dacl, const std::vector<Sid>& caller_sids, const Sid* owner,
                    std::uint32_t desired, std::uint32_t* granted);

}  // namespace keyloom::reg
