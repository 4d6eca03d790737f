// A deterministic generator of a realistic registry tree, written through the registry port so that
// the same tree lands in the memory registry and below a sandbox key of a real registry.
//
// The shape follows a real HKLM\SOFTWARE: a "Classes" branch with three hub keys (CLSID-like,
// Interface-like, TypeLib-like) holding thousands of GUID-named subkeys each, and vendor trees
// whose keys lie mostly 3 to 7 levels below the base key. Keys hold about five values each (a
// geometric count: many keys have none or one, a few dozens), of a real type mix: REG_SZ ~60%,
// REG_DWORD ~25%, REG_BINARY ~8%, REG_MULTI_SZ and REG_EXPAND_SZ ~3% each, REG_QWORD ~1%. Names and
// data are paths, versions, GUIDs, words, URLs and numbers of real lengths; about 3% of the text
// values (and 1% of the names) hold characters outside ASCII, some outside the Basic Multilingual
// Plane.
//
// A chosen share of all values carries the needle inside its text data (only text values carry it,
// so the type mix stays as it is). The generated text never holds the needle otherwise, so a search
// for it finds exactly GenStats::needle_values values.
//
// The same options give the same tree, bit for bit, on every platform and compiler: the generator
// draws from its own random source and its own integer-only distributions (the shares are turned
// into integer parts per billion once, at the start).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "registry/reg_api.h"

namespace keyloom::bench {

// The default needle, and a text the generator never produces (a search with no hits).
inline constexpr std::string_view kDefaultNeedle = "KLQNeedleZX";
inline constexpr std::string_view kAbsentText = "KLQAbsentZX";

struct GenOptions {
  std::uint64_t keys = 100000;  // keys below the base key (the base key itself not counted)
  std::uint64_t seed = 1;
  double needle_share = 0.0;  // of all values: 0, 0.001, 0.01, 0.1 ...
  std::string needle = std::string(kDefaultNeedle);
  double mean_values_per_key = 5.0;
  double non_ascii_share = 0.03;  // of the text values
  double non_ascii_name_share = 0.01;
  // Short data only (words, numbers, versions, small binaries; most values under 40 bytes): a tree
  // where the cost of each value call weighs most.
  bool small_values = false;
  std::uint32_t view = 0;  // view flag added to every key creation
  // Called every `progress_every` keys with the number written so far.
  std::function<void(std::uint64_t)> progress;
  std::uint64_t progress_every = 10000;
};

inline constexpr std::size_t kMaxGenDepth = 24;

struct GenStats {
  std::uint64_t keys = 0;
  std::uint64_t values = 0;
  std::array<std::uint64_t, 12> values_by_type{};  // by registry type number
  std::uint64_t needle_values = 0;
  std::uint64_t non_ascii_values = 0;  // text values with a character outside ASCII
  std::uint64_t data_bytes = 0;        // value data as stored
  std::uint64_t values_under_40_bytes = 0;
  std::uint64_t name_bytes = 0;        // key and value names, UTF-8
  std::array<std::uint64_t, kMaxGenDepth + 1> keys_by_depth{};  // depth 1 = children of the base
  std::uint32_t max_depth = 0;
  std::uint32_t max_subkeys = 0;             // the largest number of subkeys of one key
  std::uint32_t keys_with_1000_subkeys = 0;  // keys with at least 1,000 subkeys
};

// Writes the tree below `base_path` of `root` (created when missing). The base key should hold no
// earlier tree: keys are created, values written, nothing is deleted. Returns the first failing
// call's code, kSuccess when the whole tree was written; `stats` describes what was written.
reg::ErrorCode GenerateTree(reg::RegApi& api, reg::KeyHandle root, std::string_view base_path,
                            const GenOptions& options, GenStats* stats);

// A few lines describing the tree: keys, values, the type mix, depths, fan-out, needle share.
std::string DescribeTree(const GenStats& stats);

// A deterministic random source (splitmix64), the same on every platform.
class GenRandom {
 public:
  explicit GenRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Uniform in [0, n); n > 0.
  std::uint64_t Below(std::uint64_t n);
  // Uniform in [0, n) as an index; n > 0.
  std::size_t Index(std::size_t n) { return static_cast<std::size_t>(Below(n)); }
  // Uniform in [lo, hi].
  std::uint64_t Between(std::uint64_t lo, std::uint64_t hi) { return lo + Below(hi - lo + 1); }
  // True with probability `per_billion` / 1e9.
  bool Chance(std::uint64_t per_billion) { return Below(kBillion) < per_billion; }

  static constexpr std::uint64_t kBillion = 1000000000;

 private:
  std::uint64_t state_;
};

}  // namespace keyloom::bench
