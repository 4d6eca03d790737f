#include "bench/bare_walk.h"

#include <algorithm>
#include <string>
#include <vector>

namespace keyloom::bench {
namespace {

// Every value of `key` with its name and data, into room reused for the whole walk (the way the
// engine reads them).
struct ValueReader {
  void Read(reg::RegApi& api, reg::KeyHandle key, std::uint32_t count, WalkCounts* counts);
  reg::ValueBuffer room;
};

constexpr std::uint32_t kAll = 0xFFFFFFFF;

// The counts of a key's values and subkeys, so that their reads stop without the extra call that
// only answers "no more items"; unbounded when the key cannot tell.
reg::KeyInfo Counts(reg::RegApi& api, reg::KeyHandle key) {
  reg::KeyInfo info;
  if (api.QueryInfoKey(key, &info) != reg::kSuccess) info.value_count = info.subkey_count = kAll;
  return info;
}

void ValueReader::Read(reg::RegApi& api, reg::KeyHandle key, std::uint32_t count,
                       WalkCounts* counts) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const reg::ErrorCode rc = api.EnumValueInto(key, i, &room);
    if (rc == reg::kNoMoreItems) return;
    if (rc != reg::kSuccess) {
      ++counts->failures;
      return;
    }
    ++counts->values;
    counts->data_bytes += room.data().size();
  }
}

class Walker {
 public:
  Walker(reg::RegApi& api, std::uint32_t access) : api_(api), access_(access) {}

  void Level(reg::KeyHandle key, std::uint32_t depth, std::uint32_t subkeys) {
    std::string name;
    for (std::uint32_t i = 0; i < subkeys && api_.EnumKey(key, i, &name) == reg::kSuccess; ++i) {
      reg::KeyHandle child = reg::kNullKey;
      if (api_.OpenKey(key, name, access_, &child) != reg::kSuccess) {
        ++counts_.failures;
        continue;
      }
      reg::UniqueKey guard(api_, child);
      ++counts_.keys;
      counts_.max_depth = std::max(counts_.max_depth, depth + 1);
      const reg::KeyInfo info = Counts(api_, child);
      values_.Read(api_, child, info.value_count, &counts_);
      if (info.subkey_count > 0) Level(child, depth + 1, info.subkey_count);
    }
  }

  const WalkCounts& counts() const { return counts_; }

 private:
  reg::RegApi& api_;
  std::uint32_t access_;
  WalkCounts counts_;
  ValueReader values_;
};

// One open key at a time; the names of each level are read once, when the level starts.
class ReopeningWalker {
 public:
  ReopeningWalker(reg::RegApi& api, reg::KeyHandle root, std::uint32_t access)
      : api_(api), root_(root), access_(access) {}

  void Level(const std::string& path, std::uint32_t depth, std::uint32_t subkeys) {
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0;
         i < subkeys && api_.EnumKey(current_.get(), i, &name) == reg::kSuccess; ++i) {
      names.push_back(name);
    }
    for (const auto& subkey : names) {
      reg::KeyHandle child = reg::kNullKey;
      if (api_.OpenKey(current_.get(), subkey, access_, &child) == reg::kSuccess) {
        current_ = reg::UniqueKey(api_, child);  // the parent is closed
        ++counts_.keys;
        counts_.max_depth = std::max(counts_.max_depth, depth + 1);
        const reg::KeyInfo info = Counts(api_, child);
        values_.Read(api_, child, info.value_count, &counts_);
        if (info.subkey_count > 0) {
          Level(path.empty() ? subkey : path + "\\" + subkey, depth + 1, info.subkey_count);
        }
      } else {
        ++counts_.failures;
      }
      // Back to the parent by its absolute path.
      reg::KeyHandle parent = reg::kNullKey;
      if (api_.OpenKey(root_, path, access_, &parent) != reg::kSuccess) {
        ++counts_.failures;
        return;
      }
      current_ = reg::UniqueKey(api_, parent);
    }
  }

  WalkCounts Run() {
    current_ = reg::UniqueKey(api_, root_);
    Level("", 0, kAll);
    current_.Reset();
    return counts_;
  }

 private:
  reg::RegApi& api_;
  reg::KeyHandle root_;
  std::uint32_t access_;
  reg::UniqueKey current_;
  WalkCounts counts_;
  ValueReader values_;
};

}  // namespace

WalkCounts BareWalkReopening(reg::RegApi& api, reg::KeyHandle root, std::uint32_t access) {
  return ReopeningWalker(api, root, access).Run();
}

WalkCounts BareWalk(reg::RegApi& api, reg::KeyHandle start, std::uint32_t access) {
  Walker walker(api, access);
  walker.Level(start, 0, kAll);
  return walker.counts();
}

}  // namespace keyloom::bench
