// The tree generator, the bare walk and the headless run against the memory registry: the same
// options give the same tree, the tree has the shape it claims, and a search finds exactly the
// planted needles.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/bare_walk.h"
#include "bench/gen.h"
#include "bench/headless_run.h"
#include "engine/pause_gate.h"
#include "registry/memory/memory_registry.h"

namespace keyloom::bench {
namespace {

constexpr const char* kBase = "Software\\KeyloomBench";

struct Generated {
  std::unique_ptr<reg::MemoryRegistry> registry = reg::NewMemoryRegistry();
  GenStats stats;
  reg::ErrorCode rc = reg::kSuccess;
};

Generated Generate(const GenOptions& options) {
  Generated g;
  g.rc = GenerateTree(*g.registry, reg::kCurrentUser, kBase, options, &g.stats);
  return g;
}

// A digest of every key name, value name, type and data byte, in enumeration order.
class Digest {
 public:
  std::uint64_t Of(reg::RegApi& api, reg::KeyHandle key) {
    std::string name;
    std::uint32_t type = 0;
    reg::Bytes data;
    for (std::uint32_t i = 0; api.EnumValue(key, i, &name, &type, &data) == reg::kSuccess; ++i) {
      Add(name);
      Add(std::to_string(type));
      Add(std::string(data.begin(), data.end()));
    }
    for (std::uint32_t i = 0; api.EnumKey(key, i, &name) == reg::kSuccess; ++i) {
      Add("key:" + name);
      reg::KeyHandle child = reg::kNullKey;
      EXPECT_EQ(api.OpenKey(key, name, reg::access::kRead, &child), reg::kSuccess);
      reg::UniqueKey guard(api, child);
      Of(api, child);
    }
    return hash_;
  }

 private:
  void Add(const std::string& text) {
    for (char c : text) hash_ = (hash_ ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
    hash_ = (hash_ ^ 0xFF) * 0x100000001B3ull;
  }
  std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

// A folder of the test's own for what a run keeps (its log, the run journal), taken away after.
class ScratchFolder {
 public:
  ScratchFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() / ("keyloom-bench-" + std::string(test->name()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Utf8() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

double Share(std::uint64_t part, std::uint64_t whole) {
  return static_cast<double>(part) / static_cast<double>(whole);
}

TEST(GenerateTreeTest, TheSameOptionsGiveTheSameTreeAndAnotherSeedAnother) {
  GenOptions options;
  options.keys = 5000;
  options.needle_share = 0.01;
  Generated a = Generate(options), b = Generate(options);
  options.seed = 2;
  Generated c = Generate(options);
  ASSERT_EQ(a.rc, reg::kSuccess);
  const std::uint64_t digest_a = Digest().Of(*a.registry, reg::kCurrentUser);
  EXPECT_EQ(digest_a, Digest().Of(*b.registry, reg::kCurrentUser));
  EXPECT_NE(digest_a, Digest().Of(*c.registry, reg::kCurrentUser));
  EXPECT_EQ(a.registry->OpenHandleCount(), 0u);
}

TEST(GenerateTreeTest, AHundredThousandKeysHaveTheShapeOfARealSoftwareKey) {
  GenOptions options;
  Generated g = Generate(options);
  ASSERT_EQ(g.rc, reg::kSuccess);
  const GenStats& s = g.stats;
  SCOPED_TRACE(DescribeTree(s));
  EXPECT_EQ(s.keys, 100000u);
  EXPECT_NEAR(Share(s.values, s.keys), 5.0, 0.3);
  EXPECT_NEAR(Share(s.values_by_type[reg::kRegSz], s.values), 0.60, 0.02);
  EXPECT_NEAR(Share(s.values_by_type[reg::kRegDword], s.values), 0.25, 0.02);
  EXPECT_NEAR(Share(s.values_by_type[reg::kRegBinary], s.values), 0.08, 0.01);
  EXPECT_NEAR(Share(s.values_by_type[reg::kRegMultiSz], s.values), 0.03, 0.005);
  EXPECT_NEAR(Share(s.values_by_type[reg::kRegExpandSz], s.values), 0.03, 0.005);
  EXPECT_NEAR(Share(s.values_by_type[reg::kRegQword], s.values), 0.01, 0.003);
  const std::uint64_t text_values = s.values_by_type[reg::kRegSz] +
                                    s.values_by_type[reg::kRegMultiSz] +
                                    s.values_by_type[reg::kRegExpandSz];
  EXPECT_NEAR(Share(s.non_ascii_values, text_values), 0.03, 0.005);
  EXPECT_EQ(s.needle_values, 0u);
  std::uint64_t middle = 0;
  for (std::size_t d = 3; d <= 7; ++d) middle += s.keys_by_depth[d];
  EXPECT_GT(Share(middle, s.keys), 0.6) << "most keys at depth 3-7";
  EXPECT_GE(s.keys_with_1000_subkeys, 2u);
  EXPECT_LE(s.keys_with_1000_subkeys, 6u);
  EXPECT_LE(s.max_depth, 16u);

  // What the generator says it wrote is what the registry holds.
  reg::KeyHandle base = reg::kNullKey;
  ASSERT_EQ(g.registry->OpenKey(reg::kCurrentUser, kBase, reg::access::kRead, &base),
            reg::kSuccess);
  const WalkCounts counts = BareWalk(*g.registry, base, reg::access::kRead);
  g.registry->CloseKey(base);
  EXPECT_EQ(counts.keys, s.keys);
  EXPECT_EQ(counts.values, s.values);
  EXPECT_EQ(counts.data_bytes, s.data_bytes);
  EXPECT_EQ(counts.failures, 0u);
  EXPECT_EQ(counts.max_depth, s.max_depth);
  const WalkCounts reopening =
      BareWalkReopening(*g.registry, reg::kCurrentUser, reg::access::kRead);
  EXPECT_EQ(reopening.keys, s.keys + 2);  // Software and KeyloomBench themselves
  EXPECT_EQ(reopening.values, s.values);
  EXPECT_EQ(reopening.failures, 0u);
  EXPECT_EQ(reopening.max_depth, s.max_depth + 2);
  EXPECT_EQ(g.registry->OpenHandleCount(), 0u);
}

TEST(GenerateTreeTest, SmallValuesKeepTheTypeMixWithMostDataUnder40Bytes) {
  GenOptions options;
  options.keys = 20000;
  options.small_values = true;
  options.needle_share = 0.01;
  Generated g = Generate(options);
  ASSERT_EQ(g.rc, reg::kSuccess);
  const GenStats& s = g.stats;
  SCOPED_TRACE(DescribeTree(s));
  EXPECT_NEAR(Share(s.values_by_type[reg::kRegSz], s.values), 0.60, 0.02);
  EXPECT_GT(Share(s.values_under_40_bytes, s.values), 0.9);
  EXPECT_NEAR(Share(s.needle_values, s.values), 0.01, 0.002);
  options.small_values = false;
  const GenStats usual = Generate(options).stats;
  EXPECT_LT(Share(usual.values_under_40_bytes, usual.values), 0.8);
}

TEST(GenerateTreeTest, ASearchFindsExactlyThePlantedNeedlesAtEveryShare) {
  engine::PortablePauseGate gate;
  const ScratchFolder folder;
  for (double share : {0.0, 0.001, 0.01, 0.1}) {
    SCOPED_TRACE("share " + std::to_string(share));
    GenOptions options;
    options.keys = 20000;
    options.needle_share = share;
    Generated g = Generate(options);
    ASSERT_EQ(g.rc, reg::kSuccess);
    EXPECT_NEAR(Share(g.stats.needle_values, g.stats.values), share, 0.1 * share + 0.0005);

    HeadlessOptions search;
    search.undo_folder = folder.Utf8();
    search.find = options.needle;
    const HeadlessResult hits = RunHeadless(*g.registry, gate, search);
    EXPECT_TRUE(hits.job.started);
    EXPECT_EQ(static_cast<std::uint64_t>(hits.job.matched), g.stats.needle_values);
    EXPECT_EQ(hits.rows, g.stats.needle_values);

    search.find = std::string(kAbsentText);
    EXPECT_EQ(RunHeadless(*g.registry, gate, search).job.matched, 0);
  }
}

TEST(GenerateTreeTest, ASimulatedReplaceCountsEveryNeedleAndChangesNothing) {
  GenOptions options;
  options.keys = 3000;
  options.needle_share = 0.05;
  Generated g = Generate(options);
  ASSERT_EQ(g.rc, reg::kSuccess);
  const std::uint64_t before = Digest().Of(*g.registry, reg::kCurrentUser);
  engine::PortablePauseGate gate;
  const ScratchFolder folder;
  HeadlessOptions replace;
  replace.undo_folder = folder.Utf8();
  replace.find = options.needle;
  replace.replace = "Replaced";
  const HeadlessResult result = RunHeadless(*g.registry, gate, replace);
  EXPECT_EQ(static_cast<std::uint64_t>(result.job.changed), g.stats.needle_values);
  EXPECT_GT(result.job.changed, 0);
  EXPECT_EQ(Digest().Of(*g.registry, reg::kCurrentUser), before);
}

TEST(GenerateTreeTest, AFailingRegistryCallStopsTheGeneratorWithItsCode) {
  Generated g;
  g.registry->InjectFault({reg::MemoryRegistry::Op::kSetValue, "", 500, reg::kAccessDenied});
  GenOptions options;
  options.keys = 2000;
  EXPECT_EQ(GenerateTree(*g.registry, reg::kCurrentUser, kBase, options, &g.stats),
            reg::kAccessDenied);
  EXPECT_EQ(g.stats.values, 499u);
  EXPECT_EQ(g.registry->OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace keyloom::bench
