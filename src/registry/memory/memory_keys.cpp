// The memory registry's key and value operations.
#include <algorithm>

#include "base/text.h"
#include "registry/memory/memory_registry_impl.h"

namespace keyloom::reg::memory {
namespace {

std::uint32_t Units(std::size_t size) {
  return static_cast<std::uint32_t>(std::min<std::size_t>(size, 0xFFFFFFFFu));
}

}  // namespace

ErrorCode MemoryRegistryImpl::ConnectRegistry(std::string_view machine_name, KeyHandle root,
                                              KeyHandle* result) {
  std::lock_guard lock(mutex_);
  const std::string_view bare = StripMachinePrefix(machine_name);
  const bool local =
      bare.empty() || SameName(text::Utf8ToUtf16(bare), text::Utf8ToUtf16(config_.computer_name));
  const int index = RootIndexOfHandle(root);
  if (ErrorCode fault = Enter(Op::kConnectRegistry, [&] {
        if (index < 0) return std::string();
        std::string path = local ? "" : "\\\\" + std::string(bare) + "\\";
        return path + RootLongNameAt(static_cast<std::size_t>(index));
      })) {
    return fault;
  }
  if (result == nullptr) return kInvalidParameter;
  if (local) {
    if (index < 0) return kInvalidHandle;
    *result = root;  // the local registry's predefined key itself
    return kSuccess;
  }
  Machine* machine = FindMachine(bare);
  if (machine == nullptr || !machine->reachable) return kBadNetPath;
  if (index < 0 || machine->roots[static_cast<std::size_t>(index)] == nullptr) {
    return kInvalidHandle;
  }
  Node* node = machine->roots[static_cast<std::size_t>(index)].get();
  *result = NewHandle(machine, node, MaximumAllowed(node));
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::OpenKey(KeyHandle parent, std::string_view path, std::uint32_t access,
                                      KeyHandle* result) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  Walk walk;
  if (ErrorCode failed = EnterPath(Op::kOpenKey, parent, path, access, &ref, &walk)) return failed;
  if (result == nullptr) return kInvalidParameter;
  if (walk.error != kSuccess) return walk.error;
  if (walk.found < walk.components.size()) return kFileNotFound;
  if (ref.predefined && walk.components.empty()) {
    *result = parent;  // Windows hands back the predefined key itself
    return kSuccess;
  }
  std::uint32_t granted = 0;
  if (ErrorCode denied = GrantAccess(walk.node, access & ~access::kViewMask, false, &granted)) {
    return denied;
  }
  *result = NewHandle(ref.machine, walk.node, granted);
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::CreateKey(KeyHandle parent, std::string_view path,
                                        std::uint32_t options, std::uint32_t access,
                                        KeyHandle* result, bool* created) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  Walk walk;
  if (ErrorCode failed = EnterPath(Op::kCreateKey, parent, path, access, &ref, &walk)) {
    return failed;
  }
  if (result == nullptr) return kInvalidParameter;
  if (walk.error != kSuccess) return walk.error;
  if ((options & ~(kOptionBackupRestore | 1u)) != 0) return kInvalidParameter;
  const bool backup_intent = (options & kOptionBackupRestore) != 0;
  const bool bypass = backup_intent && BackupRestoreAccess() != 0;
  Node* cur = walk.node;
  for (std::size_t i = walk.found; i < walk.components.size(); ++i) {
    if (!bypass && !Allows(cur, access::kCreateSubKey)) return kAccessDenied;
    cur = AddChild(cur, walk.components[i]);
  }
  std::uint32_t granted = 0;
  if (ErrorCode denied = GrantAccess(cur, access & ~access::kViewMask, backup_intent, &granted)) {
    return denied;
  }
  if (created != nullptr) *created = walk.found < walk.components.size();
  *result = NewHandle(ref.machine, cur, granted);
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::CloseKey(KeyHandle key) {
  std::lock_guard lock(mutex_);
  const auto it = handles_.find(key);
  const ErrorCode fault = Enter(Op::kCloseKey, [&] {
    return it == handles_.end() ? std::string() : NodePath(it->second.node);
  });
  if (IsPredefinedKey(key)) return fault;
  if (it == handles_.end()) return fault != kSuccess ? fault : kInvalidHandle;
  Node* node = it->second.node;
  handles_.erase(it);
  if (--node->open_handles == 0 && node->deleted) graveyard_.erase(node);
  return fault;
}

ErrorCode MemoryRegistryImpl::QueryInfoKey(KeyHandle key, KeyInfo* info) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kQueryInfoKey, key, access::kQueryValue, &ref)) return failed;
  if (info == nullptr) return kInvalidParameter;
  KeyInfo out;
  out.subkey_count = Units(ChildCount(*ref.node));
  ForEachChild(*ref.node, [&](const Node& child) {
    out.max_subkey_name_length = std::max(out.max_subkey_name_length, Units(child.name.size()));
  });
  out.value_count = Units(ref.node->values.size());
  out.last_write_time = ref.node->last_write_time;
  for (const ValueRecord& value : ref.node->values) {
    out.max_value_name_length = std::max(out.max_value_name_length, Units(value.name().size()));
    out.max_value_data_size = std::max(out.max_value_data_size, Units(value.data_size()));
  }
  *info = out;
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::EnumKey(KeyHandle key, std::uint32_t index, std::string* name) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kEnumKey, key, access::kEnumerateSubKeys, &ref)) {
    return failed;
  }
  if (name == nullptr) return kInvalidParameter;
  const Node* child = ChildAt(*ref.node, index);
  if (child == nullptr) return kNoMoreItems;
  *name = text::Utf16ToUtf8(child->name);
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::EnumValue(KeyHandle key, std::uint32_t index, std::string* name,
                                        std::uint32_t* type, Bytes* data) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kEnumValue, key, access::kQueryValue, &ref)) return failed;
  if (name == nullptr) return kInvalidParameter;
  if (index >= ref.node->values.size()) return kNoMoreItems;
  const ValueRecord& value = ref.node->values[index];
  *name = text::Utf16ToUtf8(value.name());
  if (type != nullptr) *type = value.type();
  if (data != nullptr) *data = value.data();
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::EnumValueInto(KeyHandle key, std::uint32_t index,
                                            ValueBuffer* value) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kEnumValue, key, access::kQueryValue, &ref)) return failed;
  if (value == nullptr) return kInvalidParameter;
  if (index >= ref.node->values.size()) return kNoMoreItems;
  const ValueRecord& record = ref.node->values[index];
  value->Assign(record.name(), record.type(), record.bytes());
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::QueryValue(KeyHandle key, std::string_view name, std::uint32_t* type,
                                         Bytes* data) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kQueryValue, key, access::kQueryValue, &ref)) return failed;
  const std::ptrdiff_t at = FindValue(*ref.node, text::Utf8ToUtf16(name));
  if (at < 0) return kFileNotFound;
  const ValueRecord& value = ref.node->values[static_cast<std::size_t>(at)];
  if (type != nullptr) *type = value.type();
  if (data != nullptr) *data = value.data();
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::SetValue(KeyHandle key, std::string_view name, std::uint32_t type,
                                       const Bytes& data) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kSetValue, key, access::kSetValue, &ref)) return failed;
  const std::u16string wide = text::Utf8ToUtf16(name);
  if (wide.size() > kMaxValueNameUnits) return kInvalidParameter;
  PutValue(ref.node, wide, type, data);
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::DeleteValue(KeyHandle key, std::string_view name) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kDeleteValue, key, access::kSetValue, &ref)) return failed;
  return EraseValue(ref.node, text::Utf8ToUtf16(name)) ? kSuccess : kFileNotFound;
}

ErrorCode MemoryRegistryImpl::DeleteKey(KeyHandle parent, std::string_view path,
                                        std::uint32_t view) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  Walk walk;
  if (ErrorCode failed = EnterPath(Op::kDeleteKey, parent, path, view, &ref, &walk)) return failed;
  if (walk.error != kSuccess) return walk.error;
  if (walk.found < walk.components.size()) return kFileNotFound;
  Node* node = walk.node;
  // A root, a mounted hive's top key or a key with subkeys cannot go; the key's own security
  // decides, not the parent handle's access.
  if (node->parent == nullptr || node->hive_root) return kAccessDenied;
  if (!Allows(node, access::kDelete)) return kAccessDenied;
  if (ChildCount(*node) != 0) return kAccessDenied;
  Discard(RemoveChild(node->parent, node));
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::KeyRealName(KeyHandle key, std::string* name) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kKeyRealName, key, 0, &ref)) return failed;
  if (ref.predefined) return kInvalidHandle;  // Windows names only keys opened from a root
  if (name == nullptr) return kInvalidParameter;
  *name = RealName(ref.node);
  return kSuccess;
}

}  // namespace keyloom::reg::memory
