#include "registry/security_descriptor.h"

#include <algorithm>
#include <charconv>

#include "registry/reg_api.h"

namespace keyloom::reg {
namespace {

std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void AppendU16(SdBytes* out, std::size_t value) {
  out->push_back(static_cast<std::uint8_t>(value & 0xFF));
  out->push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void AppendU32(SdBytes* out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out->push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
  }
}

void WriteU32At(SdBytes* out, std::size_t at, std::size_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    (*out)[at + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
  }
}

// Parses an unsigned decimal (or, with `allow_hex`, "0x" + hex digits) that must fill `text`.
std::optional<std::uint64_t> ParseNumber(std::string_view text, bool allow_hex) {
  int base = 10;
  if (allow_hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool HasSid(const std::vector<Sid>& sids, const Sid& sid) {
  return std::find(sids.begin(), sids.end(), sid) != sids.end();
}

}  // namespace

// ---- Sid ----

std::optional<Sid> Sid::Parse(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 8) return std::nullopt;
  const std::size_t count = data[1];
  if (data[0] != 1 || count > kMaxSubAuthorities || size < 8 + 4 * count) return std::nullopt;
  Sid sid;
  sid.revision = data[0];
  std::copy(data + 2, data + 8, sid.authority.begin());
  sid.sub_authorities.reserve(count);
  for (std::size_t i = 0; i < count; ++i) sid.sub_authorities.push_back(ReadU32(data + 8 + 4 * i));
  return sid;
}

std::optional<Sid> Sid::FromText(std::string_view text) {
  if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') {
    return std::nullopt;
  }
  text.remove_prefix(2);
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t dash = text.find('-');
    parts.push_back(text.substr(0, dash));
    if (dash == std::string_view::npos) break;
    text.remove_prefix(dash + 1);
  }
  if (parts.size() < 2 || parts.size() - 2 > kMaxSubAuthorities) return std::nullopt;
  const auto revision = ParseNumber(parts[0], false);
  const auto authority = ParseNumber(parts[1], true);
  if (!revision || *revision != 1 || !authority || *authority > 0xFFFFFFFFFFFFull) {
    return std::nullopt;
  }
  Sid sid;
  for (std::size_t i = 0; i < 6; ++i) {
    sid.authority[i] = static_cast<std::uint8_t>((*authority >> (8 * (5 - i))) & 0xFF);
  }
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const auto sub = ParseNumber(parts[i], false);
    if (!sub || *sub > 0xFFFFFFFFu) return std::nullopt;
    sid.sub_authorities.push_back(static_cast<std::uint32_t>(*sub));
  }
  return sid;
}

void Sid::AppendTo(SdBytes* out) const {
  out->push_back(revision);
  out->push_back(static_cast<std::uint8_t>(sub_authorities.size()));
  out->insert(out->end(), authority.begin(), authority.end());
  for (std::uint32_t sub : sub_authorities) AppendU32(out, sub);
}

SdBytes Sid::ToBytes() const {
  SdBytes out;
  out.reserve(ByteSize());
  AppendTo(&out);
  return out;
}

std::string Sid::ToText() const {
  std::uint64_t value = 0;
  for (std::uint8_t byte : authority) value = (value << 8) | byte;
  std::string text = "S-";
  text += std::to_string(revision);
  text += '-';
  if (value >> 32) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    text += "0x";
    for (int shift = 44; shift >= 0; shift -= 4) text += kHex[(value >> shift) & 0xF];
  } else {
    text += std::to_string(value);
  }
  for (std::uint32_t sub : sub_authorities) {
    text += '-';
    text += std::to_string(sub);
  }
  return text;
}

// ---- Acl ----

std::optional<Acl> Acl::Parse(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 8) return std::nullopt;
  const std::size_t acl_size = ReadU16(data + 2);
  const std::size_t count = ReadU16(data + 4);
  if (data[0] < 2 || data[0] > 4 || acl_size < 8 || acl_size > size) return std::nullopt;
  // Every entry takes at least 4 bytes: a count that cannot fit is refused before reserving.
  if (count > (acl_size - 8) / 4) return std::nullopt;
  Acl acl;
  acl.revision = data[0];
  acl.aces.reserve(count);
  std::size_t offset = 8;
  for (std::size_t i = 0; i < count; ++i) {
    if (acl_size - offset < 4) return std::nullopt;
    const std::uint8_t* p = data + offset;
    const std::size_t ace_size = ReadU16(p + 2);
    if (ace_size < 4 || ace_size % 4 != 0 || ace_size > acl_size - offset) return std::nullopt;
    Ace ace;
    ace.type = p[0];
    ace.flags = p[1];
    if (ace.IsPlain()) {
      if (ace_size < 8) return std::nullopt;
      ace.mask = ReadU32(p + 4);
      auto sid = Sid::Parse(p + 8, ace_size - 8);
      if (!sid) return std::nullopt;
      ace.sid = std::move(*sid);
      ace.extra.assign(p + 8 + ace.sid.ByteSize(), p + ace_size);
    } else {
      ace.extra.assign(p + 4, p + ace_size);
    }
    acl.aces.push_back(std::move(ace));
    offset += ace_size;
  }
  return acl;
}

std::size_t Acl::ByteSize() const {
  std::size_t size = 8;
  for (const Ace& ace : aces) size += ace.ByteSize();
  return size;
}

void Acl::AppendTo(SdBytes* out) const {
  out->push_back(revision);
  out->push_back(0);
  AppendU16(out, ByteSize());
  AppendU16(out, aces.size());
  AppendU16(out, 0);
  for (const Ace& ace : aces) {
    out->push_back(ace.type);
    out->push_back(ace.flags);
    AppendU16(out, ace.ByteSize());
    if (ace.IsPlain()) {
      AppendU32(out, ace.mask);
      ace.sid.AppendTo(out);
    }
    out->insert(out->end(), ace.extra.begin(), ace.extra.end());
  }
}

// ---- SecurityDescriptor ----

std::optional<SecurityDescriptor> SecurityDescriptor::Parse(const std::uint8_t* data,
                                                            std::size_t size) {
  if (data == nullptr || size < kSdHeaderSize || data[0] != 1) return std::nullopt;
  SecurityDescriptor sd;
  sd.resource_manager_control = data[1];
  sd.control = ReadU16(data + 2);
  if ((sd.control & kSdSelfRelative) == 0) return std::nullopt;
  const std::size_t offsets[4] = {ReadU32(data + 4), ReadU32(data + 8), ReadU32(data + 12),
                                  ReadU32(data + 16)};  // owner, group, SACL, DACL
  for (std::size_t offset : offsets) {
    if (offset != 0 && (offset < kSdHeaderSize || offset >= size)) return std::nullopt;
  }
  if (offsets[0] != 0) {
    sd.owner = Sid::Parse(data + offsets[0], size - offsets[0]);
    if (!sd.owner) return std::nullopt;
  }
  if (offsets[1] != 0) {
    sd.group = Sid::Parse(data + offsets[1], size - offsets[1]);
    if (!sd.group) return std::nullopt;
  }
  if ((sd.control & kSdSaclPresent) != 0 && offsets[2] != 0) {
    sd.sacl = Acl::Parse(data + offsets[2], size - offsets[2]);
    if (!sd.sacl) return std::nullopt;
  }
  if ((sd.control & kSdDaclPresent) != 0 && offsets[3] != 0) {
    sd.dacl = Acl::Parse(data + offsets[3], size - offsets[3]);
    if (!sd.dacl) return std::nullopt;
  }
  return sd;
}

SdBytes SecurityDescriptor::Serialize() const {
  std::uint16_t flags = control | kSdSelfRelative;
  if (dacl) flags |= kSdDaclPresent;
  if (sacl) flags |= kSdSaclPresent;
  SdBytes out;
  out.reserve(kSdHeaderSize + (sacl ? sacl->ByteSize() : 0) + (dacl ? dacl->ByteSize() : 0) +
              (owner ? owner->ByteSize() : 0) + (group ? group->ByteSize() : 0));
  out.push_back(1);
  out.push_back(resource_manager_control);
  AppendU16(&out, flags);
  out.resize(kSdHeaderSize, 0);
  if (sacl) {
    WriteU32At(&out, 12, out.size());
    sacl->AppendTo(&out);
  }
  if (dacl) {
    WriteU32At(&out, 16, out.size());
    dacl->AppendTo(&out);
  }
  if (owner) {
    WriteU32At(&out, 4, out.size());
    owner->AppendTo(&out);
  }
  if (group) {
    WriteU32At(&out, 8, out.size());
    group->AppendTo(&out);
  }
  return out;
}

// ---- Access check ----

std::uint32_t MapGenericKeyRights(std::uint32_t mask) {
  std::uint32_t mapped = mask & ~(access::kGenericRead | access::kGenericWrite |
                                  access::kGenericExecute | access::kGenericAll);
  if (mask & access::kGenericRead) mapped |= access::kRead;
  if (mask & access::kGenericWrite) mapped |= access::kWrite;
  if (mask & access::kGenericExecute) mapped |= access::kRead & ~access::kSynchronize;
  if (mask & access::kGenericAll) mapped |= access::kAllAccess;
  return mapped;
}

bool CheckKeyAccess(const Acl* dacl, const std::vector<Sid>& caller_sids, const Sid* owner,
                    std::uint32_t desired, std::uint32_t* granted) {
  const bool maximum = (desired & access::kMaximumAllowed) != 0;
  const std::uint32_t wanted = MapGenericKeyRights(desired) & ~access::kMaximumAllowed;
  if ((wanted & access::kAccessSystemSecurity) != 0) return false;
  if (dacl == nullptr) {
    *granted = wanted | (maximum ? access::kAllAccess : 0);
    return true;
  }
  std::uint32_t allowed = 0;
  if (owner != nullptr && HasSid(caller_sids, *owner)) {
    allowed = access::kReadControl | access::kWriteDac;
  }
  std::uint32_t denied = 0;
  for (const Ace& ace : dacl->aces) {
    if (!maximum && (wanted & ~allowed) == 0) break;
    if ((ace.flags & kAceInheritOnly) != 0) continue;
    if (ace.type != kAceTypeAllowed && ace.type != kAceTypeDenied) continue;
    if (!HasSid(caller_sids, ace.sid)) continue;
    const std::uint32_t bits = MapGenericKeyRights(ace.mask);
    if (ace.type == kAceTypeAllowed) {
      allowed |= bits & ~denied;
    } else {
      if (!maximum && (bits & wanted & ~allowed) != 0) return false;
      denied |= bits & ~allowed;
    }
  }
  if ((wanted & ~allowed) != 0) return false;
  if (maximum) {
    if (allowed == 0) return false;
    *granted = allowed | wanted;
  } else {
    *granted = wanted;
  }
  return true;
}

}  // namespace keyloom::reg
