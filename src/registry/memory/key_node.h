// The in-memory registry's key tree. A key holds its values in creation order and its subkeys in
// an order-statistic treap ordered by name with letter case ignored: lookup by name, insertion,
// removal and access by enumeration index all take O(log n), and nothing ever copies a child
// list. The treap links live in the child keys themselves, so a key costs one allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/reg_api.h"
#include "registry/security_descriptor.h"

namespace keyloom::reg::memory {

// One value: name, type and data in a single allocation (a key with five small values costs
// five small blocks, not fifteen).
class ValueRecord {
 public:
  ValueRecord(std::u16string_view name, std::uint32_t type, const Bytes& data);

  std::u16string_view name() const;
  std::uint32_t type() const;
  std::size_t data_size() const;
  Bytes data() const;
  std::span<const std::uint8_t> bytes() const;  // the data in place

 private:
  // Units 0-5: name length, data size and type as 32-bit pairs; then the name; then the data
  // bytes, two to a unit.
  std::unique_ptr<char16_t[]> blob_;
};

// The current time as a FILETIME count.
std::uint64_t FileTimeNow();

struct Node {
  Node() = default;
  explicit Node(std::u16string key_name) : name(std::move(key_name)) {}
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node();  // frees the subtree without recursion

  std::u16string name;  // as created
  Node* parent = nullptr;

  // This key's place in its parent's child treap.
  Node* left = nullptr;
  Node* right = nullptr;
  std::uint32_t priority = 0;
  std::uint32_t subtree_size = 1;

  Node* children = nullptr;  // root of this key's child treap (owned)
  std::vector<ValueRecord> values;
  // Upper-cased value name -> position, kept only for keys with many values.
  std::unique_ptr<std::unordered_map<std::u16string, std::uint32_t>> value_index;

  std::shared_ptr<const SecurityDescriptor> security;
  std::uint32_t open_handles = 0;
  bool deleted = false;
  bool hive_root = false;  // mounted by LoadKey
  // The key's last write time (see KeyInfo): set at creation and at every change of its values or
  // of its list of subkeys.
  std::uint64_t last_write_time = FileTimeNow();
};

// ---- Subkeys ----
std::size_t ChildCount(const Node& parent);
Node* FindChild(const Node& parent, std::u16string_view name);
// The child at enumeration position `index`, or null past the end.
Node* ChildAt(const Node& parent, std::size_t index);
// Adds `child` (whose name must not exist yet) and returns it.
Node* InsertChild(Node* parent, std::unique_ptr<Node> child);
// Takes `child` out of its parent's tree.
std::unique_ptr<Node> RemoveChild(Node* parent, Node* child);
// Moves every child out of `parent` into `out` (in no particular order).
void ReleaseChildren(Node* parent, std::vector<std::unique_ptr<Node>>* out);
// Calls f(const Node&) for each child in enumeration order.
template <class F>
void ForEachChild(const Node& parent, F&& f) {
  std::vector<const Node*> stack;
  const Node* cur = parent.children;
  while (cur != nullptr || !stack.empty()) {
    while (cur != nullptr) {
      stack.push_back(cur);
      cur = cur->left;
    }
    cur = stack.back();
    stack.pop_back();
    f(*cur);
    cur = cur->right;
  }
}

// ---- Values ----
// Position of value `name` (letter case ignored), or -1.
std::ptrdiff_t FindValue(const Node& key, std::u16string_view name);
// Creates or overwrites; an overwritten value keeps its position.
void PutValue(Node* key, std::u16string_view name, std::uint32_t type, const Bytes& data);
bool EraseValue(Node* key, std::u16string_view name);

// Names compare as the registry compares them.
bool SameName(std::u16string_view a, std::u16string_view b);
// `name` with every unit upper-cased as the registry compares names.
std::u16string Upcase(std::u16string_view name);

}  // namespace keyloom::reg::memory
