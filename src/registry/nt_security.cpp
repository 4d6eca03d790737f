#include "registry/nt_security.h"

#include "base/text.h"
#include "registry/registry.h"

namespace keyloom::reg {
namespace {

[[noreturn]] void Raise(RegApi& api, ErrorCode code) {
  throw ESecurityError(code, text::TrimMessage(api.ErrorMessage(code)));
}

}  // namespace

TAccessControlElement::TAccessControlElement(RegApi& api, std::uint8_t type, Sid sid,
                                             std::uint32_t mask, std::uint8_t flags)
    : api_(&api), type_(type), mask_(mask), flags_(flags), sid_(std::move(sid)) {}

TAccessControlElement::TAccessControlElement(RegApi& api, const std::string& account,
                                             std::uint32_t mask, std::uint8_t flags,
                                             std::uint8_t type)
    : api_(&api), type_(type), mask_(mask), flags_(flags) {
  Bytes sid;
  std::string domain;
  if (api.LookupAccountByName(account, &sid, &domain) == kSuccess) {
    sid_ = Sid::Parse(sid);
    domain_ = domain;
  }
}

void TAccessControlElement::Resolve() {
  if (resolved_) return;
  resolved_ = true;
  std::string name, domain;
  if (sid_ && api_->LookupAccountBySid(sid_->ToBytes(), &name, &domain) == kSuccess) {
    account_name_ = domain.empty() ? name : domain + "\\" + name;
    domain_ = domain;
  } else {
    account_name_ = "?";
  }
}

const std::string& TAccessControlElement::AccountName() {
  Resolve();
  return account_name_;
}

const std::string& TAccessControlElement::Domain() {
  if (domain_.empty()) Resolve();
  return domain_;
}

Acl TAccessControlList::BuildAcl() const {
  Acl acl;
  for (const auto& element : elements_) {
    if (!element.sid()) throw ESecurityError(kInvalidParameter, "The parameter is incorrect");
    Ace ace;
    ace.type = element.type();
    ace.mask = element.mask();
    ace.flags = element.flags();
    ace.sid = *element.sid();
    acl.aces.push_back(std::move(ace));
  }
  return acl;
}

bool TSecurityDescriptor::FillList(RegApi& api, TAccessControlList& list) const {
  const auto descriptor = SecurityDescriptor::Parse(bytes_);
  if (!descriptor) return false;
  list.Clear();
  list.as_read = *this;
  list.dacl_present = descriptor->DaclPresent();
  list.dacl_control = static_cast<std::uint16_t>(descriptor->control & kSdDaclBits);
  if (!descriptor->dacl) return true;
  for (const auto& ace : descriptor->dacl->aces) {
    if (ace.type > kAceTypeAudit) continue;
    list.Append(TAccessControlElement(api, ace.type, ace.sid, ace.mask, ace.flags));
  }
  return true;
}

void TNTObject::ReadAccessList(TAccessControlList& list) {
  if (!cached_) {
    TSecurityDescriptor descriptor;
    ReadSecurity(kDaclSecurityInformation, descriptor);
    cached_ = std::move(descriptor);
  }
  if (!cached_->FillList(*api_, list)) Raise(*api_, kInvalidParameter);
}

void TNTObject::WriteAccessList(const TAccessControlList& list) {
  SecurityDescriptor descriptor;
  descriptor.control = static_cast<std::uint16_t>(kSdSelfRelative | list.dacl_control);
  if (list.dacl_present) {
    descriptor.control |= kSdDaclPresent;
    descriptor.dacl = list.BuildAcl();
  } else {
    descriptor.control = static_cast<std::uint16_t>(descriptor.control & ~kSdDaclPresent);
  }
  TSecurityDescriptor written(descriptor.Serialize());
  WriteSecurity(kDaclSecurityInformation, written);
  cached_ = std::move(written);
}

void TNTObject::RestoreAccessList(const TAccessControlList& list) {
  WriteSecurity(kDaclSecurityInformation, list.as_read);
  cached_ = list.as_read;
}

void TNTRegistryObject::ReadSecurity(std::uint32_t info, TSecurityDescriptor& descriptor) {
  Bytes bytes;
  const ErrorCode rc = api().GetKeySecurity(key_, info, &bytes);
  if (rc != kSuccess) Raise(api(), rc);
  descriptor = TSecurityDescriptor(std::move(bytes));
}

void TNTRegistryObject::WriteSecurity(std::uint32_t info, const TSecurityDescriptor& descriptor) {
  const ErrorCode rc = api().SetKeySecurity(key_, info, descriptor.bytes());
  if (rc != kSuccess) Raise(api(), rc);
}

}  // namespace keyloom::reg
