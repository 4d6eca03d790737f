#include "registry/memory/key_node.h"

#include <atomic>
#include <chrono>
#include <cstring>

#include "base/text.h"

namespace keyloom::reg::memory {

std::uint64_t FileTimeNow() {
  // FILETIME counts from 1601-01-01, the system clock from 1970-01-01.
  constexpr std::uint64_t kFrom1601To1970 = 116444736000000000ULL;
  const auto since_1970 =
      std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
          std::chrono::system_clock::now().time_since_epoch());
  return kFrom1601To1970 + static_cast<std::uint64_t>(since_1970.count());
}

namespace {

constexpr std::size_t kHeaderUnits = 6;
// Keys with more values than this keep a name index; smaller ones are searched in place.
constexpr std::size_t kIndexThreshold = 32;

std::uint32_t Size(const Node* n) { return n != nullptr ? n->subtree_size : 0; }

void Update(Node* n) { n->subtree_size = 1 + Size(n->left) + Size(n->right); }

int Compare(std::u16string_view a, std::u16string_view b) {
  return text::CompareNamesIgnoringCase(a, b);
}

// Treap priorities: a counter scrambled by a 32-bit mixer (murmur3's finalizer).
std::uint32_t NextPriority() {
  static std::atomic<std::uint32_t> counter{0};
  std::uint32_t z = counter.fetch_add(0x9E3779B9u, std::memory_order_relaxed);
  z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
  z = (z ^ (z >> 13)) * 0xC2B2AE35u;
  return z ^ (z >> 16);
}

// Splits treap `t` into the keys ordered before `name` and the others.
void Split(Node* t, std::u16string_view name, Node** before, Node** rest) {
  if (t == nullptr) {
    *before = *rest = nullptr;
    return;
  }
  if (Compare(t->name, name) < 0) {
    Split(t->right, name, &t->right, rest);
    *before = t;
  } else {
    Split(t->left, name, before, &t->left);
    *rest = t;
  }
  Update(t);
}

// Joins two treaps whose keys are all ordered `a` before `b`.
Node* Merge(Node* a, Node* b) {
  if (a == nullptr) return b;
  if (b == nullptr) return a;
  if (a->priority > b->priority) {
    a->right = Merge(a->right, b);
    Update(a);
    return a;
  }
  b->left = Merge(a, b->left);
  Update(b);
  return b;
}

Node* Erase(Node* t, const Node* target) {
  if (t == target) {
    Node* joined = Merge(t->left, t->right);
    t->left = t->right = nullptr;
    t->subtree_size = 1;
    return joined;
  }
  if (Compare(target->name, t->name) < 0) {
    t->left = Erase(t->left, target);
  } else {
    t->right = Erase(t->right, target);
  }
  Update(t);
  return t;
}

void BuildIndex(Node* key) {
  key->value_index = std::make_unique<std::unordered_map<std::u16string, std::uint32_t>>();
  key->value_index->reserve(key->values.size() * 2);
  for (std::size_t i = 0; i < key->values.size(); ++i) {
    key->value_index->emplace(Upcase(key->values[i].name()), static_cast<std::uint32_t>(i));
  }
}

}  // namespace

std::u16string Upcase(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& unit : upper) unit = text::UpcaseUnit(unit);
  return upper;
}

// ---- ValueRecord ----

ValueRecord::ValueRecord(std::u16string_view name, std::uint32_t type, const Bytes& data) {
  const std::size_t units = kHeaderUnits + name.size() + (data.size() + 1) / 2;
  blob_ = std::make_unique<char16_t[]>(units);
  const std::uint32_t header[3] = {static_cast<std::uint32_t>(name.size()),
                                   static_cast<std::uint32_t>(data.size()), type};
  for (std::size_t i = 0; i < 3; ++i) {
    blob_[2 * i] = static_cast<char16_t>(header[i] & 0xFFFF);
    blob_[2 * i + 1] = static_cast<char16_t>(header[i] >> 16);
  }
  std::copy(name.begin(), name.end(), blob_.get() + kHeaderUnits);
  if (!data.empty()) {
    std::memcpy(blob_.get() + kHeaderUnits + name.size(), data.data(), data.size());
  }
}

std::u16string_view ValueRecord::name() const {
  const std::size_t length = blob_[0] | (static_cast<std::size_t>(blob_[1]) << 16);
  return {blob_.get() + kHeaderUnits, length};
}

std::size_t ValueRecord::data_size() const {
  return blob_[2] | (static_cast<std::size_t>(blob_[3]) << 16);
}

std::uint32_t ValueRecord::type() const {
  return static_cast<std::uint32_t>(blob_[4]) | (static_cast<std::uint32_t>(blob_[5]) << 16);
}

Bytes ValueRecord::data() const {
  const std::span<const std::uint8_t> in_place = bytes();
  return Bytes(in_place.begin(), in_place.end());
}

std::span<const std::uint8_t> ValueRecord::bytes() const {
  const auto* start =
      reinterpret_cast<const std::uint8_t*>(blob_.get() + kHeaderUnits + name().size());
  return {start, data_size()};
}

// ---- Node ----

Node::~Node() {
  if (children == nullptr) return;
  // Each child is released before it dies, so destruction never nests.
  std::vector<std::unique_ptr<Node>> pending;
  ReleaseChildren(this, &pending);
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    ReleaseChildren(node.get(), &pending);
  }
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && Compare(a, b) == 0;
}

std::size_t ChildCount(const Node& parent) { return Size(parent.children); }

Node* FindChild(const Node& parent, std::u16string_view name) {
  Node* t = parent.children;
  while (t != nullptr) {
    const int c = Compare(name, t->name);
    if (c == 0) return t;
    t = c < 0 ? t->left : t->right;
  }
  return nullptr;
}

Node* ChildAt(const Node& parent, std::size_t index) {
  Node* t = parent.children;
  while (t != nullptr) {
    const std::size_t left = Size(t->left);
    if (index < left) {
      t = t->left;
    } else if (index == left) {
      return t;
    } else {
      index -= left + 1;
      t = t->right;
    }
  }
  return nullptr;
}

Node* InsertChild(Node* parent, std::unique_ptr<Node> child) {
  Node* node = child.release();
  node->parent = parent;
  node->left = node->right = nullptr;
  node->subtree_size = 1;
  node->priority = NextPriority();
  Node* before = nullptr;
  Node* rest = nullptr;
  Split(parent->children, node->name, &before, &rest);
  parent->children = Merge(Merge(before, node), rest);
  parent->last_write_time = FileTimeNow();
  return node;
}

std::unique_ptr<Node> RemoveChild(Node* parent, Node* child) {
  parent->children = Erase(parent->children, child);
  parent->last_write_time = FileTimeNow();
  child->parent = nullptr;
  return std::unique_ptr<Node>(child);
}

void ReleaseChildren(Node* parent, std::vector<std::unique_ptr<Node>>* out) {
  std::vector<Node*> stack;
  if (parent->children != nullptr) stack.push_back(parent->children);
  parent->children = nullptr;
  parent->last_write_time = FileTimeNow();
  while (!stack.empty()) {
    Node* t = stack.back();
    stack.pop_back();
    if (t->left != nullptr) stack.push_back(t->left);
    if (t->right != nullptr) stack.push_back(t->right);
    t->left = t->right = nullptr;
    t->subtree_size = 1;
    t->parent = nullptr;
    out->emplace_back(t);
  }
}

// ---- Values ----

std::ptrdiff_t FindValue(const Node& key, std::u16string_view name) {
  if (key.value_index) {
    const auto it = key.value_index->find(Upcase(name));
    return it == key.value_index->end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
  }
  for (std::size_t i = 0; i < key.values.size(); ++i) {
    if (SameName(key.values[i].name(), name)) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

void PutValue(Node* key, std::u16string_view name, std::uint32_t type, const Bytes& data) {
  key->last_write_time = FileTimeNow();
  const std::ptrdiff_t at = FindValue(*key, name);
  if (at >= 0) {
    // The stored name keeps the letter case it was created with.
    const std::u16string kept(key->values[static_cast<std::size_t>(at)].name());
    key->values[static_cast<std::size_t>(at)] = ValueRecord(kept, type, data);
    return;
  }
  key->values.emplace_back(name, type, data);
  if (key->value_index) {
    key->value_index->emplace(Upcase(name), static_cast<std::uint32_t>(key->values.size() - 1));
  } else if (key->values.size() > kIndexThreshold) {
    BuildIndex(key);
  }
}

bool EraseValue(Node* key, std::u16string_view name) {
  const std::ptrdiff_t at = FindValue(*key, name);
  if (at < 0) return false;
  key->last_write_time = FileTimeNow();
  key->values.erase(key->values.begin() + at);
  if (key->value_index) {
    if (key->values.size() <= kIndexThreshold / 2) {
      key->value_index.reset();
    } else {
      key->value_index->erase(Upcase(name));
      for (auto& entry : *key->value_index) {
        if (entry.second > static_cast<std::uint32_t>(at)) --entry.second;
      }
    }
  }
  return true;
}

}  // namespace keyloom::reg::memory
