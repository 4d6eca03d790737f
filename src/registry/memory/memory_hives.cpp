// The memory registry's hive operations over real files in the format of hive_file.h.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/ascii.h"
#include "base/text.h"
#include "base/utf8_path.h"
#include "registry/memory/hive_file.h"
#include "registry/memory/memory_registry_impl.h"

namespace keyloom::reg::memory {
namespace {

void WriteSubtree(HiveWriter* writer, const Node& node) {
  const SdBytes security = node.security->Serialize();
  writer->BeginKey(node.name, &security);
  for (const ValueRecord& value : node.values) {
    writer->AddValue(value.name(), value.type(), value.data());
  }
  ForEachChild(node, [&](const Node& child) { WriteSubtree(writer, child); });
  writer->EndKey();
}

// Reads and parses a hive file: kFileNotFound when it is missing, kAccessDenied when it cannot
// be read, kBadDbFile when it is not a hive.
ErrorCode ReadHive(std::string_view file, HiveKey* hive) {
  const std::filesystem::path path = base::PathFromUtf8(file);
  std::error_code error;
  if (file.empty() || !std::filesystem::is_regular_file(path, error)) return kFileNotFound;
  std::ifstream in(path, std::ios::binary);
  if (!in) return kAccessDenied;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return kAccessDenied;
  auto parsed = ParseHive(text);
  if (!parsed) return kBadDbFile;
  *hive = std::move(*parsed);
  return kSuccess;
}

// A file's path as two names of one file compare: absolute, normalised, letter case ignored (as
// on Windows).
std::string ComparedPath(std::string_view file) {
  std::error_code error;
  const std::filesystem::path path = base::PathFromUtf8(file);
  std::filesystem::path full = std::filesystem::weakly_canonical(path, error);
  if (error) full = std::filesystem::absolute(path, error).lexically_normal();
  return base::AsciiLower(base::PathToUtf8(full));
}

// Writes `node`'s subtree over `file`; false when it cannot be written whole.
bool WriteHiveFile(const Node& node, std::string_view file) {
  std::ofstream out(base::PathFromUtf8(file), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  HiveWriter writer(out);
  WriteSubtree(&writer, node);
  const bool written = writer.Finish();
  out.close();
  return written && static_cast<bool>(out);
}

bool IsHklmOrHku(const KeyRef& ref) {
  return ref.node == ref.machine->roots[kRootLocalMachine].get() ||
         ref.node == ref.machine->roots[kRootUsers].get();
}

}  // namespace

ErrorCode MemoryRegistryImpl::SaveKey(KeyHandle key, std::string_view file) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kSaveKey, key, 0, &ref)) return failed;
  if (ErrorCode missing = RequirePrivilege("SeBackupPrivilege")) return missing;
  const std::filesystem::path path = base::PathFromUtf8(file);
  std::error_code error;
  if (file.empty()) return kPathNotFound;
  if (std::filesystem::exists(path, error)) return kAlreadyExists;
  const std::filesystem::path folder = path.parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, error)) return kPathNotFound;
  std::ofstream out(path, std::ios::binary);
  if (!out) return kAccessDenied;
  HiveWriter writer(out);
  WriteSubtree(&writer, *ref.node);
  const bool written = writer.Finish();
  out.close();
  if (!written || !out) {
    std::filesystem::remove(path, error);
    return kAccessDenied;
  }
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::RestoreKey(KeyHandle key, std::string_view file,
                                         std::uint32_t /*flags*/) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterKey(Op::kRestoreKey, key, 0, &ref)) return failed;
  if (ErrorCode missing = RequirePrivilege("SeRestorePrivilege")) return missing;
  // HKEY_LOCAL_MACHINE and HKEY_USERS are no hives of their own: only their subkeys are.
  if (IsHklmOrHku(ref)) return kAccessDenied;
  HiveKey hive;
  if (ErrorCode failed = ReadHive(file, &hive)) return failed;

  Node* node = ref.node;
  std::vector<std::unique_ptr<Node>> old_children;
  ReleaseChildren(node, &old_children);
  for (auto& child : old_children) Discard(std::move(child));
  node->values.clear();
  node->value_index.reset();
  node->last_write_time = FileTimeNow();
  if (hive.security) node->security = std::make_shared<const SecurityDescriptor>(*hive.security);
  FillFromHive(node, hive);
  return kSuccess;
}

Node* MemoryRegistryImpl::AddHiveChild(Node* parent, const HiveKey& sub) {
  Node* child = AddChild(parent, sub.name);
  if (sub.security) child->security = std::make_shared<const SecurityDescriptor>(*sub.security);
  return child;
}

void MemoryRegistryImpl::FillFromHive(Node* node, const HiveKey& hive) {
  for (const HiveValue& value : hive.values) PutValue(node, value.name, value.type, value.data);
  for (const HiveKey& sub : hive.subkeys) FillFromHive(AddHiveChild(node, sub), sub);
}

ErrorCode MemoryRegistryImpl::ReplaceKey(KeyHandle key, std::string_view subkey,
                                         std::string_view new_file, std::string_view old_file) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  Walk walk;
  if (ErrorCode failed = EnterPath(Op::kReplaceKey, key, subkey, 0, &ref, &walk)) return failed;
  if (ErrorCode missing = RequirePrivilege("SeRestorePrivilege")) return missing;
  if (walk.error != kSuccess) return walk.error;
  std::error_code error;
  if (new_file.empty() || !std::filesystem::is_regular_file(base::PathFromUtf8(new_file), error)) {
    return kFileNotFound;
  }
  replacements_.push_back(
      PendingReplacement{CallPath(walk), std::string(new_file), std::string(old_file)});
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::EnterMount(Op op, KeyHandle root, std::string_view subkey,
                                         KeyRef* ref) {
  const ErrorCode looked_up = Lookup(root, ref);
  if (ErrorCode fault = Enter(op, [&] {
        return looked_up == kSuccess ? NodePath(ref->node) + "\\" + std::string(subkey)
                                     : std::string();
      })) {
    return fault;
  }
  if (looked_up != kSuccess) return looked_up;
  if (ErrorCode missing = RequirePrivilege("SeRestorePrivilege")) return missing;
  return IsHklmOrHku(*ref) ? kSuccess : kInvalidParameter;
}

ErrorCode MemoryRegistryImpl::LoadKey(KeyHandle root, std::string_view subkey,
                                      std::string_view file) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterMount(Op::kLoadKey, root, subkey, &ref)) return failed;
  const std::u16string name = text::Utf8ToUtf16(subkey);
  if (name.empty() || name.size() > kMaxKeyNameUnits || name.find(u'\\') != std::u16string::npos) {
    return kInvalidParameter;
  }
  if (FindChild(*ref.node, name) != nullptr) return kAlreadyExists;
  HiveKey hive;
  if (ErrorCode failed = ReadHive(file, &hive)) return failed;
  std::string compared = ComparedPath(file);
  for (const auto& [node, mounted_file] : mounted_files_) {
    if (mounted_file.compared == compared) return kSharingViolation;
  }
  hive.name = name;
  Node* mounted = AddHiveChild(ref.node, hive);
  mounted->hive_root = true;
  FillFromHive(mounted, hive);
  mounted_files_[mounted] = MountedFile{std::string(file), std::move(compared)};
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::UnLoadKey(KeyHandle root, std::string_view subkey) {
  std::lock_guard lock(mutex_);
  KeyRef ref;
  if (ErrorCode failed = EnterMount(Op::kUnLoadKey, root, subkey, &ref)) return failed;
  Node* mounted = FindChild(*ref.node, text::Utf8ToUtf16(subkey));
  if (mounted == nullptr) return kFileNotFound;
  if (!mounted->hive_root) return kInvalidParameter;
  // A hive with keys still open cannot go, as on Windows.
  if (HasOpenHandlesBelow(mounted)) return kAccessDenied;
  if (const auto file = mounted_files_.find(mounted); file != mounted_files_.end()) {
    if (!WriteHiveFile(*mounted, file->second.given)) return kAccessDenied;
    mounted_files_.erase(file);
  }
  Discard(RemoveChild(ref.node, mounted));
  return kSuccess;
}

}  // namespace keyloom::reg::memory
