#include "bench/win32/raw_walk.h"

#include <algorithm>
#include <vector>

namespace keyloom::bench {
namespace {

class RawWalker {
 public:
  explicit RawWalker(REGSAM access) : access_(access), data_(4096) {}

  void Level(HKEY key, std::uint32_t depth, DWORD subkeys) {
    for (DWORD i = 0; i < subkeys; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(key, i, name_, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        return;
      }
      HKEY child = nullptr;
      if (RegOpenKeyExW(key, name_, 0, access_, &child) != ERROR_SUCCESS) {
        ++counts_.failures;
        continue;
      }
      ++counts_.keys;
      counts_.max_depth = std::max(counts_.max_depth, depth + 1);
      DWORD child_subkeys = 0, values = 0, max_data = 0;
      if (RegQueryInfoKeyW(child, nullptr, nullptr, nullptr, &child_subkeys, nullptr, nullptr,
                           &values, nullptr, &max_data, nullptr, nullptr) != ERROR_SUCCESS) {
        child_subkeys = values = 0xFFFFFFFF;
      }
      Values(child, values, max_data);
      if (child_subkeys > 0) Level(child, depth + 1, child_subkeys);
      RegCloseKey(child);
    }
  }

  const WalkCounts& counts() const { return counts_; }

 private:
  void Values(HKEY key, DWORD count, DWORD max_data) {
    if (data_.size() < max_data) data_.resize(max_data);
    for (DWORD i = 0; i < count; ++i) {
      DWORD name_length = 16384;
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(data_.size());
      LONG rc = RegEnumValueW(key, i, value_name_.data(), &name_length, nullptr, &type,
                              data_.data(), &size);
      if (rc == ERROR_MORE_DATA) {  // grown since the count was asked
        data_.resize(size);
        --i;
        continue;
      }
      if (rc == ERROR_NO_MORE_ITEMS) return;
      if (rc != ERROR_SUCCESS) {
        ++counts_.failures;
        return;
      }
      ++counts_.values;
      counts_.data_bytes += size;
    }
  }

  REGSAM access_;
  WalkCounts counts_;
  wchar_t name_[256];
  std::vector<wchar_t> value_name_ = std::vector<wchar_t>(16384);
  std::vector<BYTE> data_;
};

}  // namespace

WalkCounts RawWalk(HKEY start, REGSAM access) {
  RawWalker walker(access);
  walker.Level(start, 0, 0xFFFFFFFF);
  return walker.counts();
}

}  // namespace keyloom::bench
