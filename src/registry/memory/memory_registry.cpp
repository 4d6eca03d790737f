// The memory registry's state: machines and their trees, handles, path walking with the WOW64
// view, fault injection and the test controls.
#include "registry/memory/memory_registry.h"

#include "base/text.h"
#include "registry/memory/memory_registry_impl.h"

namespace keyloom::reg {

std::unique_ptr<MemoryRegistry> NewMemoryRegistry(MemoryRegistry::Config config) {
  return std::make_unique<memory::MemoryRegistryImpl>(std::move(config));
}

namespace memory {
namespace {

constexpr const char* kRootLongNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                    "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                                    "HKEY_CURRENT_CONFIG"};
constexpr char16_t kWow6432Node[] = u"Wow6432Node";
// What Windows names the roots' keys; HKEY_CURRENT_USER's is followed by the user's SID.
constexpr const char* kRootRealNames[kRootCount] = {
    "\\REGISTRY\\MACHINE\\SOFTWARE\\Classes", "\\REGISTRY\\USER", "\\REGISTRY\\MACHINE",
    "\\REGISTRY\\USER",
    "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"};

// Whether `path` is `base` or lies below it (letter case ignored).
bool PathAtOrBelow(std::u16string_view path, std::u16string_view base) {
  if (path.size() < base.size()) return false;
  if (!SameName(path.substr(0, base.size()), base)) return false;
  return path.size() == base.size() || path[base.size()] == u'\\';
}

std::u16string TrimTrailingSeparators(std::u16string path) {
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

}  // namespace

std::string_view StripMachinePrefix(std::string_view name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.remove_prefix(2);
  return name;
}

int RootIndexOfHandle(KeyHandle key) {
  switch (key) {
    case kClassesRoot:
      return 0;
    case kCurrentUser:
      return 1;
    case kLocalMachine:
      return 2;
    case kUsers:
      return 3;
    case kCurrentConfig:
      return 4;
    default:
      return -1;
  }
}

const char* RootLongNameAt(std::size_t index) { return kRootLongNames[index]; }

MemoryRegistryImpl::MemoryRegistryImpl(Config config) : config_(std::move(config)) {
  if (config_.domain.empty()) config_.domain = config_.computer_name;
  InitAccount();
  machines_.push_back(NewMachine("", true));
  Node* current_user = machines_[0]->roots[1].get();
  AddChild(current_user, u"Software");
}

MemoryRegistryImpl::~MemoryRegistryImpl() = default;

std::unique_ptr<Machine> MemoryRegistryImpl::NewMachine(std::string name, bool with_all_roots) {
  auto machine = std::make_unique<Machine>();
  machine->name = std::move(name);
  for (std::size_t i = 0; i < kRootCount; ++i) {
    if (!with_all_roots && i != kRootLocalMachine && i != kRootUsers) continue;
    machine->roots[i] = std::make_unique<Node>(text::Utf8ToUtf16(kRootLongNames[i]));
    machine->roots[i]->security = DefaultSecurity();
  }
  Node* software = AddChild(machine->roots[kRootLocalMachine].get(), u"Software");
  if (config_.is_64bit_windows) AddChild(software, kWow6432Node);
  return machine;
}

Machine* MemoryRegistryImpl::FindMachine(std::string_view name) {
  const std::u16string wanted = text::Utf8ToUtf16(StripMachinePrefix(name));
  for (std::size_t i = 1; i < machines_.size(); ++i) {
    if (SameName(text::Utf8ToUtf16(machines_[i]->name), wanted)) return machines_[i].get();
  }
  return nullptr;
}

ErrorCode MemoryRegistryImpl::Lookup(KeyHandle key, KeyRef* ref) {
  const int root = RootIndexOfHandle(key);
  if (root >= 0) {
    Machine* local = machines_[0].get();
    Node* node = local->roots[static_cast<std::size_t>(root)].get();
    *ref = KeyRef{local, node, MaximumAllowed(node), true, root == 0};
    return kSuccess;
  }
  const auto it = handles_.find(key);
  if (it == handles_.end()) return kInvalidHandle;
  const HandleEntry& entry = it->second;
  if (!entry.machine->reachable) return kRpcServerUnavailable;
  if (entry.node->deleted) return kKeyDeleted;
  *ref = KeyRef{entry.machine, entry.node, entry.granted, false, false};
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::EnterKey(Op op, KeyHandle key, std::uint32_t required, KeyRef* ref) {
  const ErrorCode looked_up = Lookup(key, ref);
  if (ErrorCode fault = Enter(op, [&] { return NodePath(ref->node); })) return fault;
  if (looked_up != kSuccess) return looked_up;
  return (ref->granted & required) == required ? kSuccess : kAccessDenied;
}

ErrorCode MemoryRegistryImpl::EnterPath(Op op, KeyHandle parent, std::string_view path,
                                        std::uint32_t view_flags, KeyRef* ref, Walk* walk) {
  const ErrorCode looked_up = Lookup(parent, ref);
  if (looked_up == kSuccess) *walk = WalkPath(*ref, path, view_flags);
  if (ErrorCode fault = Enter(op, [&] { return CallPath(*walk); })) return fault;
  return looked_up;
}

KeyHandle MemoryRegistryImpl::NewHandle(Machine* machine, Node* node, std::uint32_t granted) {
  KeyHandle handle;
  do {
    handle = next_handle_;
    next_handle_ += 4;
  } while (handle == kNullKey || IsPredefinedKey(handle) || handles_.count(handle) != 0);
  handles_.emplace(handle, HandleEntry{machine, node, granted});
  ++node->open_handles;
  return handle;
}

bool MemoryRegistryImpl::Redirects(std::uint32_t view_flags) const {
  if (!config_.is_64bit_windows) return false;
  return (view_flags & access::kWow64_64Key) == 0;
}

bool MemoryRegistryImpl::IsRealSoftware(const Machine& machine, const Node* node) const {
  return node->parent != nullptr && node->parent == machine.roots[kRootLocalMachine].get() &&
         SameName(node->name, u"Software");
}

Walk MemoryRegistryImpl::WalkPath(const KeyRef& ref, std::string_view path,
                                  std::uint32_t view_flags) {
  Walk walk;
  walk.node = ref.node;
  if (config_.is_64bit_windows && (view_flags & access::kViewMask) == access::kViewMask) {
    walk.error = kInvalidParameter;  // both views at once
    return walk;
  }
  if (!path.empty() && path.front() == '\\') {
    if (!ref.classes_root) {
      walk.error = kBadPathName;
      return walk;
    }
    path.remove_prefix(1);
  }
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    if (part.empty()) continue;  // trailing or doubled separators
    std::u16string name = text::Utf8ToUtf16(part);
    if (name.size() > kMaxKeyNameUnits) {
      walk.error = kInvalidParameter;
      return walk;
    }
    walk.components.push_back(std::move(name));
  }
  const bool redirect = Redirects(view_flags);
  Node* cur = ref.node;
  for (std::size_t i = 0; i < walk.components.size(); ++i) {
    const std::u16string& name = walk.components[i];
    if (redirect && IsRealSoftware(*ref.machine, cur) && !SameName(name, kWow6432Node)) {
      if (Node* wow = FindChild(*cur, kWow6432Node)) cur = wow;
    }
    Node* child = FindChild(*cur, name);
    if (child == nullptr) {
      walk.node = cur;
      walk.found = i;
      return walk;
    }
    cur = child;
  }
  if (redirect && !walk.components.empty() && IsRealSoftware(*ref.machine, cur)) {
    if (Node* wow = FindChild(*cur, kWow6432Node)) cur = wow;
  }
  walk.node = cur;
  walk.found = walk.components.size();
  return walk;
}

std::string MemoryRegistryImpl::NodePath(const Node* node) const {
  if (node == nullptr || node->deleted) return {};
  std::vector<const Node*> chain;
  for (const Node* n = node; n != nullptr; n = n->parent) chain.push_back(n);
  const Node* top = chain.back();
  std::string path;
  for (const auto& machine : machines_) {
    for (std::size_t i = 0; i < kRootCount; ++i) {
      if (machine->roots[i].get() != top) continue;
      if (!machine->name.empty()) path = "\\\\" + machine->name + "\\";
      path += kRootLongNames[i];
    }
  }
  if (path.empty()) return {};
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    path += '\\';
    path += text::Utf16ToUtf8(chain[i]->name);
  }
  return path;
}

std::string MemoryRegistryImpl::RealName(const Node* node) const {
  std::vector<const Node*> chain;
  for (const Node* n = node; n != nullptr; n = n->parent) chain.push_back(n);
  std::string name;
  for (const auto& machine : machines_) {
    for (std::size_t i = 0; i < kRootCount; ++i) {
      if (machine->roots[i].get() != chain.back()) continue;
      name = kRootRealNames[i];
      if (i == kRootCurrentUser) name += "\\" + config_.user_sid;
    }
  }
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    name += '\\';
    name += text::Utf16ToUtf8(chain[i]->name);
  }
  return name;
}

std::string MemoryRegistryImpl::CallPath(const Walk& walk) const {
  std::string path = NodePath(walk.node);
  if (walk.error != kSuccess) return path;
  for (std::size_t i = walk.found; i < walk.components.size(); ++i) {
    path += '\\';
    path += text::Utf16ToUtf8(walk.components[i]);
  }
  return path;
}

Node* MemoryRegistryImpl::FindByAbsolutePath(std::string_view path) {
  Machine* machine = machines_[0].get();
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    path.remove_prefix(2);
    const std::size_t cut = path.find('\\');
    machine = FindMachine(path.substr(0, cut));
    if (machine == nullptr || cut == std::string_view::npos) return nullptr;
    path.remove_prefix(cut + 1);
  }
  const std::size_t cut = path.find('\\');
  const std::u16string root_name = text::Utf8ToUtf16(path.substr(0, cut));
  Node* node = nullptr;
  for (std::size_t i = 0; i < kRootCount; ++i) {
    if (SameName(text::Utf8ToUtf16(kRootLongNames[i]), root_name)) node = machine->roots[i].get();
  }
  path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
  while (node != nullptr && !path.empty()) {
    const std::size_t next = path.find('\\');
    const std::string_view part = path.substr(0, next);
    path = next == std::string_view::npos ? std::string_view() : path.substr(next + 1);
    if (!part.empty()) node = FindChild(*node, text::Utf8ToUtf16(part));
  }
  return node;
}

ErrorCode MemoryRegistryImpl::MatchFault(Op op, const std::string& path) {
  const std::u16string call_path = text::Utf8ToUtf16(path);
  ErrorCode result = kSuccess;
  for (ActiveFault& fault : faults_) {
    if (fault.op != Op::kAny && fault.op != op) continue;
    if (!fault.path.empty() && !PathAtOrBelow(call_path, fault.path)) continue;
    ++fault.matches;
    if (result == kSuccess && (fault.nth == 0 || fault.matches == fault.nth)) result = fault.code;
  }
  return result;
}

void MemoryRegistryImpl::Discard(std::unique_ptr<Node> node) {
  std::vector<std::unique_ptr<Node>> pending;
  pending.push_back(std::move(node));
  while (!pending.empty()) {
    std::unique_ptr<Node> cur = std::move(pending.back());
    pending.pop_back();
    ReleaseChildren(cur.get(), &pending);
    cur->deleted = true;
    cur->parent = nullptr;
    if (cur->open_handles > 0) {
      cur->values.clear();
      cur->value_index.reset();
      const Node* key = cur.get();
      graveyard_.emplace(key, std::move(cur));
    }
  }
}

bool MemoryRegistryImpl::HasOpenHandlesBelow(const Node* node) const {
  for (const auto& [handle, entry] : handles_) {
    for (const Node* n = entry.node; n != nullptr; n = n->parent) {
      if (n == node) return true;
    }
  }
  return false;
}

// ---- Test controls ----

void MemoryRegistryImpl::InjectFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back(ActiveFault{fault.op, TrimTrailingSeparators(text::Utf8ToUtf16(fault.path)),
                                fault.nth, fault.code});
}

void MemoryRegistryImpl::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::uint64_t MemoryRegistryImpl::CallCount(Op op) const {
  std::lock_guard lock(mutex_);
  return calls_[static_cast<std::size_t>(op)];
}

void MemoryRegistryImpl::ResetCallCounts() {
  std::lock_guard lock(mutex_);
  calls_.fill(0);
}

std::size_t MemoryRegistryImpl::OpenHandleCount() const {
  std::lock_guard lock(mutex_);
  return handles_.size();
}

namespace {

// The subkeys in the child treap `t`, in order, each followed by its values and its own subkeys.
void ReadKeys(const Node* t, std::uint32_t depth, MemoryRegistry::TreeReader& reader) {
  if (t == nullptr) return;
  ReadKeys(t->left, depth, reader);
  reader.Key(t->name, depth);
  for (const ValueRecord& value : t->values) {
    reader.Value(value.name(), value.type(), value.bytes());
  }
  ReadKeys(t->children, depth + 1, reader);
  ReadKeys(t->right, depth, reader);
}

}  // namespace

void MemoryRegistryImpl::ReadTree(KeyHandle root, TreeReader& reader) const {
  std::lock_guard lock(mutex_);
  const int index = RootIndexOfHandle(root);
  if (index < 0) return;
  const Node* top = machines_.front()->roots[static_cast<std::size_t>(index)].get();
  if (top != nullptr) ReadKeys(top->children, 1, reader);
}

void MemoryRegistryImpl::AddMachine(std::string_view name, bool reachable) {
  std::lock_guard lock(mutex_);
  if (Machine* known = FindMachine(name)) {
    known->reachable = reachable;
    return;
  }
  machines_.push_back(NewMachine(std::string(StripMachinePrefix(name)), false));
  machines_.back()->reachable = reachable;
}

void MemoryRegistryImpl::SetMachineReachable(std::string_view name, bool reachable) {
  std::lock_guard lock(mutex_);
  if (Machine* machine = FindMachine(name)) machine->reachable = reachable;
}

bool MemoryRegistryImpl::AddAccount(std::string_view name, std::string_view domain,
                                    std::string_view sid_text) {
  std::lock_guard lock(mutex_);
  auto sid = Sid::FromText(sid_text);
  if (!sid) return false;
  accounts_.push_back(Account{std::string(name), std::string(domain), std::move(*sid)});
  return true;
}

ErrorCode MemoryRegistryImpl::SetKeySecurityForTest(std::string_view path,
                                                    const Bytes& descriptor) {
  std::lock_guard lock(mutex_);
  Node* node = FindByAbsolutePath(path);
  if (node == nullptr) return kFileNotFound;
  auto parsed = SecurityDescriptor::Parse(descriptor);
  if (!parsed) return kInvalidParameter;
  node->security = std::make_shared<const SecurityDescriptor>(std::move(*parsed));
  return kSuccess;
}

ErrorCode MemoryRegistryImpl::GetKeySecurityForTest(std::string_view path, Bytes* descriptor) {
  std::lock_guard lock(mutex_);
  const Node* node = FindByAbsolutePath(path);
  if (node == nullptr) return kFileNotFound;
  *descriptor = node->security->Serialize();
  return kSuccess;
}

void MemoryRegistryImpl::SetPrivilegeForTest(std::string_view name, bool held, bool enabled) {
  std::lock_guard lock(mutex_);
  Privilege* privilege = FindPrivilege(name);
  if (privilege == nullptr) privilege = &privileges_[UpperAscii(name)];
  privilege->held = held;
  privilege->enabled = held && enabled;
}

bool MemoryRegistryImpl::PrivilegeEnabled(std::string_view name) const {
  std::lock_guard lock(mutex_);
  return Enabled(name);
}

std::vector<MemoryRegistry::PendingReplacement> MemoryRegistryImpl::PendingReplacements() const {
  std::lock_guard lock(mutex_);
  return replacements_;
}

std::vector<std::string> MemoryRegistryImpl::CallerSids() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> sids;
  for (const Sid& sid : caller_sids_) sids.push_back(sid.ToText());
  return sids;
}

}  // namespace memory
}  // namespace keyloom::reg
