// A registry port that forwards every call to another one. A test double derives from it and
// overrides only the calls it cares about (a refused write, a slow enumeration, ...).
#pragma once

#include "registry/reg_api.h"

namespace keyloom::reg {

class ForwardingRegApi : public RegApi {
 public:
  explicit ForwardingRegApi(RegApi& target) : target_(&target) {}

  RegApi& target() const { return *target_; }

  ErrorCode ConnectRegistry(std::string_view machine, KeyHandle root, KeyHandle* result) override {
    return target_->ConnectRegistry(machine, root, result);
  }
  ErrorCode OpenKey(KeyHandle parent, std::string_view path, std::uint32_t access,
                    KeyHandle* result) override {
    return target_->OpenKey(parent, path, access, result);
  }
  ErrorCode CreateKey(KeyHandle parent, std::string_view path, std::uint32_t options,
                      std::uint32_t access, KeyHandle* result, bool* created) override {
    return target_->CreateKey(parent, path, options, access, result, created);
  }
  ErrorCode CloseKey(KeyHandle key) override { return target_->CloseKey(key); }
  ErrorCode QueryInfoKey(KeyHandle key, KeyInfo* info) override {
    return target_->QueryInfoKey(key, info);
  }
  ErrorCode EnumKey(KeyHandle key, std::uint32_t index, std::string* name) override {
    return target_->EnumKey(key, index, name);
  }
  ErrorCode EnumValue(KeyHandle key, std::uint32_t index, std::string* name, std::uint32_t* type,
                      Bytes* data) override {
    return target_->EnumValue(key, index, name, type, data);
  }
  ErrorCode QueryValue(KeyHandle key, std::string_view name, std::uint32_t* type,
                       Bytes* data) override {
    return target_->QueryValue(key, name, type, data);
  }
  ErrorCode SetValue(KeyHandle key, std::string_view name, std::uint32_t type,
                     const Bytes& data) override {
    return target_->SetValue(key, name, type, data);
  }
  ErrorCode DeleteValue(KeyHandle key, std::string_view name) override {
    return target_->DeleteValue(key, name);
  }
  ErrorCode DeleteKey(KeyHandle parent, std::string_view path, std::uint32_t view) override {
    return target_->DeleteKey(parent, path, view);
  }
  ErrorCode KeyRealName(KeyHandle key, std::string* name) override {
    return target_->KeyRealName(key, name);
  }
  ErrorCode GetKeySecurity(KeyHandle key, std::uint32_t info, Bytes* descriptor) override {
    return target_->GetKeySecurity(key, info, descriptor);
  }
  ErrorCode SetKeySecurity(KeyHandle key, std::uint32_t info, const Bytes& descriptor) override {
    return target_->SetKeySecurity(key, info, descriptor);
  }
  ErrorCode SaveKey(KeyHandle key, std::string_view file) override {
    return target_->SaveKey(key, file);
  }
  ErrorCode RestoreKey(KeyHandle key, std::string_view file, std::uint32_t flags) override {
    return target_->RestoreKey(key, file, flags);
  }
  ErrorCode ReplaceKey(KeyHandle key, std::string_view subkey, std::string_view new_file,
                       std::string_view old_file) override {
    return target_->ReplaceKey(key, subkey, new_file, old_file);
  }
  ErrorCode LoadKey(KeyHandle root, std::string_view subkey, std::string_view file) override {
    return target_->LoadKey(root, subkey, file);
  }
  ErrorCode UnLoadKey(KeyHandle root, std::string_view subkey) override {
    return target_->UnLoadKey(root, subkey);
  }
  ErrorCode SetPrivilege(std::string_view name, bool enable, bool* was_enabled) override {
    return target_->SetPrivilege(name, enable, was_enabled);
  }
  ErrorCode CurrentUserName(std::string* name) override { return target_->CurrentUserName(name); }
  ErrorCode ComputerName(std::string* name) override { return target_->ComputerName(name); }
  ErrorCode LookupAccountByName(std::string_view account, Bytes* sid,
                                std::string* domain) override {
    return target_->LookupAccountByName(account, sid, domain);
  }
  ErrorCode LookupAccountBySid(const Bytes& sid, std::string* name, std::string* domain) override {
    return target_->LookupAccountBySid(sid, name, domain);
  }
  ErrorCode IsWow64Process(bool* wow64) override { return target_->IsWow64Process(wow64); }
  ErrorCode ExpandEnvironmentText(std::string_view text, std::string* expanded) override {
    return target_->ExpandEnvironmentText(text, expanded);
  }
  std::string ErrorMessage(ErrorCode code) override { return target_->ErrorMessage(code); }

 private:
  RegApi* target_;
};

}  // namespace keyloom::reg
