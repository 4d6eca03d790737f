#include "bench/bare_walk.h"

#include <algorithm>
#include <string>

namespace keyloom::bench {
namespace {

class Walker {
 public:
  Walker(reg::RegApi& api, std::uint32_t access) : api_(api), access_(access) {}

  void Level(reg::KeyHandle key, std::uint32_t depth) {
    counts_.max_depth = std::max(counts_.max_depth, depth);
    std::string name;
    for (std::uint32_t i = 0; api_.EnumKey(key, i, &name) == reg::kSuccess; ++i) {
      reg::KeyHandle child = reg::kNullKey;
      if (api_.OpenKey(key, name, access_, &child) != reg::kSuccess) {
        ++counts_.failures;
        continue;
      }
      reg::UniqueKey guard(api_, child);
      ++counts_.keys;
      ReadValues(child);
      Level(child, depth + 1);
    }
  }

  const WalkCounts& counts() const { return counts_; }

 private:
  void ReadValues(reg::KeyHandle key) {
    for (std::uint32_t i = 0;; ++i) {
      const reg::ErrorCode rc = api_.EnumValue(key, i, &value_name_, &type_, &data_);
      if (rc == reg::kNoMoreItems) return;
      if (rc != reg::kSuccess) {
        ++counts_.failures;
        return;
      }
      ++counts_.values;
      counts_.data_bytes += data_.size();
    }
  }

  reg::RegApi& api_;
  std::uint32_t access_;
  WalkCounts counts_;
  std::string value_name_;
  std::uint32_t type_ = 0;
  reg::Bytes data_;
};

}  // namespace

WalkCounts BareWalk(reg::RegApi& api, reg::KeyHandle start, std::uint32_t access) {
  Walker walker(api, access);
  walker.Level(start, 0);
  return walker.counts();
}

}  // namespace keyloom::bench
