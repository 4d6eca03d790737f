// Security helper classes over the registry port: access control elements and lists, a key's
// security descriptor, and the secured-object base with its registry key flavour. The permission
// repair reads and writes a key's DACL through them.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "registry/reg_api.h"
#include "registry/security_descriptor.h"

namespace keyloom::reg {

// A Windows error raised by the security helpers; what() is the system's message.
class ESecurityError : public std::runtime_error {
 public:
  ESecurityError(ErrorCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  ErrorCode code() const { return code_; }

 private:
  ErrorCode code_;
};

// One entry of an access list. Every element owns its SID, so a list outlives the descriptor it
// was read from.
class TAccessControlElement {
 public:
  // From an existing entry.
  TAccessControlElement(RegApi& api, std::uint8_t type, Sid sid, std::uint32_t mask,
                        std::uint8_t flags);
  // From an account name ("name" or "DOMAIN\name"); a failed lookup leaves it without SID.
  TAccessControlElement(RegApi& api, const std::string& account, std::uint32_t mask,
                        std::uint8_t flags, std::uint8_t type);

  std::uint8_t type() const { return type_; }
  std::uint32_t mask() const { return mask_; }
  std::uint8_t flags() const { return flags_; }
  const std::optional<Sid>& sid() const { return sid_; }
  // DOMAIN\name of the SID (resolved on first use); "?" when the SID maps to no account.
  const std::string& AccountName();
  // The domain the lookup reported.
  const std::string& Domain();

 private:
  void Resolve();

  RegApi* api_;
  std::uint8_t type_;
  std::uint32_t mask_;
  std::uint8_t flags_;
  std::optional<Sid> sid_;
  bool resolved_ = false;
  std::string account_name_;
  std::string domain_;
};

class TAccessControlList;

// A self-relative security descriptor.
class TSecurityDescriptor {
 public:
  TSecurityDescriptor() = default;
  explicit TSecurityDescriptor(Bytes bytes) : bytes_(std::move(bytes)) {}
  const Bytes& bytes() const { return bytes_; }
  // Fills `list` from the descriptor's DACL (types 0, 1 and 2). False when the bytes are not a
  // descriptor.
  bool FillList(RegApi& api, TAccessControlList& list) const;

 private:
  Bytes bytes_;
};

// An ordered list of elements and the DACL control bits (protection, inheritance) it was read
// with, and the descriptor it was read from.
class TAccessControlList {
 public:
  std::size_t Count() const { return elements_.size(); }
  TAccessControlElement& Element(std::size_t index) { return elements_.at(index); }
  void Append(TAccessControlElement element) { elements_.push_back(std::move(element)); }
  void Delete(std::size_t index) {
    elements_.erase(elements_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void Clear() { elements_.clear(); }

  // The DACL as read: whether the key had one at all, and its control bits.
  bool dacl_present = true;
  std::uint16_t dacl_control = 0;
  // The descriptor the list was filled from, so the DACL can be put back exactly as it was (a
  // NULL DACL and entries of every type included). Empty for a list never filled.
  TSecurityDescriptor as_read;

  // The ACL of the elements in list order. Raises ESecurityError(kInvalidParameter) when an
  // element has no SID.
  Acl BuildAcl() const;

 private:
  std::vector<TAccessControlElement> elements_;
};

// A secured object: reads and writes its security, and its DACL as an access list.
class TNTObject {
 public:
  virtual ~TNTObject() = default;
  virtual void ReadSecurity(std::uint32_t info, TSecurityDescriptor& descriptor) = 0;
  virtual void WriteSecurity(std::uint32_t info, const TSecurityDescriptor& descriptor) = 0;

  void ReadAccessList(TAccessControlList& list);
  // Writes the list as the object's DACL with the list's control bits. An empty list whose key
  // had a DACL is written as an empty DACL (nobody but the owner), never as no DACL.
  void WriteAccessList(const TAccessControlList& list);
  // Puts back the DACL `list` was filled from, exactly as it was read.
  void RestoreAccessList(const TAccessControlList& list);

 protected:
  explicit TNTObject(RegApi& api) : api_(&api) {}
  RegApi& api() { return *api_; }

 private:
  RegApi* api_;
  std::optional<TSecurityDescriptor> cached_;
};

// A registry key's security through an open handle (not owned).
class TNTRegistryObject final : public TNTObject {
 public:
  TNTRegistryObject(RegApi& api, KeyHandle key) : TNTObject(api), key_(key) {}
  void ReadSecurity(std::uint32_t info, TSecurityDescriptor& descriptor) override;
  void WriteSecurity(std::uint32_t info, const TSecurityDescriptor& descriptor) override;

 private:
  KeyHandle key_;
};

}  // namespace keyloom::reg
