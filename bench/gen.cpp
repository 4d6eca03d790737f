#include "bench/gen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/text.h"
#include "bench/gen_words.h"
#include "registry/registry.h"

namespace keyloom::bench {

std::uint64_t GenRandom::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint64_t GenRandom::Below(std::uint64_t n) {
  // Rejection keeps the result uniform for every n.
  const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % n);
  std::uint64_t x;
  do {
    x = Next();
  } while (x >= limit);
  return x % n;
}

namespace {

constexpr std::uint64_t kBillion = GenRandom::kBillion;
constexpr unsigned kFlatDepth = 12;  // from here on every key's budget is spent on leaves
// The share of text values among all values (REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ).
constexpr std::uint64_t kTextPerMille = 660;

std::uint64_t PerBillion(double share) {
  if (!(share > 0)) return 0;
  if (share >= 1) return kBillion;
  return static_cast<std::uint64_t>(std::llround(share * static_cast<double>(kBillion)));
}

template <class Array>
std::string_view Pick(GenRandom& random, const Array& array) {
  return array[random.Index(array.size())];
}

std::string Capitalised(std::string word) {
  if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 32);
  return word;
}

std::string Upper(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return upper;
}

// Sibling names, unique with letter case ignored as the registry compares them.
class NameSet {
 public:
  std::string Unique(std::string name) {
    if (names_.insert(Upper(name)).second) return name;
    for (int n = 2;; ++n) {
      std::string candidate = name + " (" + std::to_string(n) + ")";
      if (names_.insert(Upper(candidate)).second) return candidate;
    }
  }

 private:
  std::unordered_set<std::string> names_;
};

enum class KeyStyle { kVendor, kProduct, kGeneric, kNumbered, kGuid, kClassSubkey, kExtension };

class Generator {
 public:
  Generator(reg::RegApi& api, const GenOptions& options, GenStats* stats)
      : api_(api),
        options_(options),
        stats_(*stats),
        random_(options.seed),
        non_ascii_ppb_(PerBillion(options.non_ascii_share)),
        non_ascii_name_ppb_(PerBillion(options.non_ascii_name_share)),
        value_continue_ppb_(
            PerBillion(options.mean_values_per_key / (options.mean_values_per_key + 1.0))) {
    const std::uint64_t share = PerBillion(options.needle_share);
    needle_ppb_ = std::min<std::uint64_t>(kBillion, share * 1000 / kTextPerMille);
  }

  reg::ErrorCode Run(reg::KeyHandle root, std::string_view base_path) {
    reg::KeyHandle base = reg::kNullKey;
    bool created = false;
    reg::ErrorCode rc = api_.CreateKey(root, base_path, reg::kOptionNonVolatile,
                                       reg::access::kAllAccess | options_.view, &base, &created);
    if (rc != reg::kSuccess) return rc;
    reg::UniqueKey guard(api_, base);
    const std::uint64_t total = options_.keys;
    if (total < 200) return Grow(base, 0, total, KeyStyle::kVendor);

    // Classes: three hubs and many flat registrations, about a sixth of the tree.
    const std::uint64_t classes_budget = total * 16 / 100;
    reg::KeyHandle classes = reg::kNullKey;
    NameSet top;
    if ((rc = AddKey(base, top.Unique("Classes"), 1, &classes)) != reg::kSuccess) return rc;
    reg::UniqueKey classes_guard(api_, classes);
    if ((rc = Classes(classes, classes_budget)) != reg::kSuccess) return rc;

    // Vendor trees with the rest.
    const std::uint64_t rest = total - 1 - classes_budget;
    const std::uint64_t vendors = std::clamp<std::uint64_t>(rest / 1500, 4, 1000);
    return Children(base, 0, rest, vendors, KeyStyle::kVendor, &top);
  }

 private:
  // ---- Keys ----

  reg::ErrorCode AddKey(reg::KeyHandle parent, const std::string& name, unsigned depth,
                        reg::KeyHandle* key) {
    bool created = false;
    const reg::ErrorCode rc =
        api_.CreateKey(parent, name, reg::kOptionNonVolatile,
                       reg::access::kAllAccess | options_.view, key, &created);
    if (rc != reg::kSuccess) return rc;
    ++stats_.keys;
    stats_.name_bytes += name.size();
    ++stats_.keys_by_depth[std::min<std::size_t>(depth, kMaxGenDepth)];
    stats_.max_depth = std::max<std::uint32_t>(stats_.max_depth, depth);
    if (options_.progress && options_.progress_every > 0 &&
        stats_.keys % options_.progress_every == 0) {
      options_.progress(stats_.keys);
    }
    const reg::ErrorCode values = Values(*key);
    if (values != reg::kSuccess) {
      api_.CloseKey(*key);
      *key = reg::kNullKey;
    }
    return values;
  }

  // `count` children of `key` (at `depth`) sharing `budget` keys, the children included.
  reg::ErrorCode Children(reg::KeyHandle key, unsigned depth, std::uint64_t budget,
                          std::uint64_t count, KeyStyle style, NameSet* names) {
    count = std::min(count, budget);
    if (count == 0) return reg::kSuccess;
    const auto n = static_cast<std::size_t>(count);
    NoteFanOut(count);
    // Each child's subtree gets a share of the rest by a random weight; a tenth of them weigh
    // eight times more, so subtrees differ in size as real ones do.
    const std::uint64_t extra = budget - count;
    std::vector<std::uint64_t> shares(n);
    std::uint64_t weight_sum = 0;
    for (auto& w : shares) {
      w = random_.Between(1, 100) * (random_.Chance(kBillion / 10) ? 8 : 1);
      weight_sum += w;
    }
    std::uint64_t given = 0;
    for (auto& w : shares) {
      w = extra * w / weight_sum;
      given += w;
    }
    std::size_t at = random_.Index(n);
    for (std::uint64_t left = extra - given; left > 0; --left) {
      ++shares[at];
      at = (at + 1) % n;
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::string name = names->Unique(MaybeNonAsciiName(KeyName(style, i)));
      reg::KeyHandle child = reg::kNullKey;
      reg::ErrorCode rc = AddKey(key, name, depth + 1, &child);
      if (rc != reg::kSuccess) return rc;
      reg::UniqueKey guard(api_, child);
      const KeyStyle below = style == KeyStyle::kVendor ? KeyStyle::kProduct : KeyStyle::kGeneric;
      if ((rc = Grow(child, depth + 1, shares[i], below)) != reg::kSuccess) return rc;
    }
    return reg::kSuccess;
  }

  // `budget` keys below `key`, which lies at `depth`.
  reg::ErrorCode Grow(reg::KeyHandle key, unsigned depth, std::uint64_t budget, KeyStyle style) {
    if (budget == 0) return reg::kSuccess;
    NameSet names;
    std::uint64_t count;
    KeyStyle child_style = style;
    if (depth >= kFlatDepth) {
      count = budget;
    } else if (budget <= 3) {
      count = random_.Between(1, budget);
    } else if (depth >= 2 && depth <= 5 && budget >= 200 && random_.Chance(kBillion / 50)) {
      // A list key (Uninstall, driver classes, MRU lists): hundreds of small subkeys.
      count = budget * 2 / 3;
      child_style = random_.Chance(kBillion / 2) ? KeyStyle::kNumbered : KeyStyle::kGuid;
    } else {
      const std::uint64_t high = depth <= 2 ? 12 : 10;
      count = random_.Between(depth <= 2 ? 3 : 1, high);
    }
    return Children(key, depth, budget, count, child_style, &names);
  }

  // A hub: `budget` keys below `key`, about 55% of them its own subkeys, each with a few
  // subkeys of its own (Poisson-like, mean 0.8).
  reg::ErrorCode Hub(reg::KeyHandle key, unsigned depth, std::uint64_t budget, KeyStyle style) {
    if (budget == 0) return reg::kSuccess;
    const auto count = static_cast<std::size_t>(std::max<std::uint64_t>(1, budget * 10 / 18));
    NoteFanOut(count);
    std::vector<std::uint32_t> below(count);
    for (std::uint64_t left = budget - count; left > 0; --left) ++below[random_.Index(count)];
    NameSet names;
    for (std::size_t i = 0; i < count; ++i) {
      reg::KeyHandle child = reg::kNullKey;
      reg::ErrorCode rc = AddKey(key, names.Unique(KeyName(style, i)), depth + 1, &child);
      if (rc != reg::kSuccess) return rc;
      reg::UniqueKey guard(api_, child);
      NameSet sub_names;
      if (below[i] > 0) NoteFanOut(below[i]);
      for (std::uint32_t k = 0; k < below[i]; ++k) {
        reg::KeyHandle leaf = reg::kNullKey;
        const std::string name = sub_names.Unique(KeyName(KeyStyle::kClassSubkey, k));
        if ((rc = AddKey(child, name, depth + 2, &leaf)) != reg::kSuccess) return rc;
        api_.CloseKey(leaf);
      }
    }
    return reg::kSuccess;
  }

  reg::ErrorCode Classes(reg::KeyHandle classes, std::uint64_t budget) {
    // CLSID 45%, Interface 25%, TypeLib 10% (each hub key included), flat registrations 20%.
    const std::uint64_t hubs[3] = {budget * 45 / 100, budget * 25 / 100, budget * 10 / 100};
    const char* hub_names[3] = {"CLSID", "Interface", "TypeLib"};
    NameSet names;
    std::uint64_t used = 0;
    for (int h = 0; h < 3; ++h) {
      if (hubs[h] == 0) continue;
      reg::KeyHandle hub = reg::kNullKey;
      reg::ErrorCode rc = AddKey(classes, names.Unique(hub_names[h]), 2, &hub);
      if (rc != reg::kSuccess) return rc;
      reg::UniqueKey guard(api_, hub);
      if ((rc = Hub(hub, 2, hubs[h] - 1, KeyStyle::kGuid)) != reg::kSuccess) return rc;
      used += hubs[h];
    }
    return Hub(classes, 1, budget - used, KeyStyle::kExtension);
  }

  void NoteFanOut(std::uint64_t count) {
    stats_.max_subkeys =
        std::max<std::uint32_t>(stats_.max_subkeys, static_cast<std::uint32_t>(count));
    if (count >= 1000) ++stats_.keys_with_1000_subkeys;
  }

  // ---- Names ----

  std::string Syllables(std::uint64_t low, std::uint64_t high) {
    std::string word;
    for (std::uint64_t n = random_.Between(low, high); n > 0; --n) {
      word += Pick(random_, words::kSyllables);
    }
    return Capitalised(word);
  }

  std::string Guid() {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string guid = "{";
    for (int i = 0; i < 32; ++i) {
      if (i == 8 || i == 12 || i == 16 || i == 20) guid += '-';
      guid += kHex[random_.Below(16)];
    }
    return guid + "}";
  }

  std::string Version(int parts) {
    std::string version = std::to_string(random_.Between(1, 16));
    for (int i = 1; i < parts; ++i)
      version += "." + std::to_string(random_.Below(i == 2 ? 20000 : 10));
    return version;
  }

  std::string KeyName(KeyStyle style, std::uint64_t index) {
    switch (style) {
      case KeyStyle::kVendor:
        return Syllables(2, 4) + (random_.Chance(kBillion * 3 / 10)
                                      ? std::string(Pick(random_, words::kCompanySuffixes))
                                      : std::string());
      case KeyStyle::kProduct:
        return Syllables(2, 3) + (random_.Chance(kBillion / 4) ? " " + Version(1) : std::string());
      case KeyStyle::kNumbered: {
        char number[16];
        std::snprintf(number, sizeof number, "%04u", static_cast<unsigned>(index % 10000));
        return number;
      }
      case KeyStyle::kGuid:
        return Guid();
      case KeyStyle::kClassSubkey:
        return std::string(Pick(random_, words::kClassSubkeys));
      case KeyStyle::kExtension:
        return random_.Chance(kBillion / 2)
                   ? "." + std::string(Pick(random_, words::kFileExtensions))
                   : Syllables(2, 3) + "." + Syllables(1, 3) + "." +
                         std::to_string(random_.Between(1, 9));
      case KeyStyle::kGeneric:
        break;
    }
    const std::uint64_t roll = random_.Below(100);
    if (roll < 60) return std::string(Pick(random_, words::kKeyWords));
    if (roll < 70) return Version(2);
    if (roll < 78) return Guid();
    if (roll < 83) return std::to_string(random_.Below(2000));
    if (roll < 98) {
      return std::string(Pick(random_, words::kKeyWords)) +
             Capitalised(std::string(Pick(random_, words::kTextWords)));
    }
    return Syllables(2, 3);
  }

  std::string MaybeNonAsciiName(std::string name) {
    if (!random_.Chance(non_ascii_name_ppb_)) return name;
    return name + " " + std::string(Pick(random_, words::kNonAsciiWords));
  }

  // ---- Values ----

  reg::ErrorCode Values(reg::KeyHandle key) {
    std::uint64_t count = 0;
    while (count < 64 && random_.Chance(value_continue_ppb_)) ++count;
    NameSet names;
    for (std::uint64_t i = 0; i < count; ++i) {
      std::string name;
      if (!(i == 0 && random_.Chance(kBillion / 4))) {
        const std::uint64_t roll = random_.Below(100);
        if (roll < 70) {
          name = std::string(Pick(random_, words::kValueNames));
        } else if (roll < 95) {
          name = Capitalised(std::string(Pick(random_, words::kTextWords))) +
                 Capitalised(std::string(Pick(random_, words::kTextWords)));
        } else {
          name = "MRU" + std::to_string(i);
        }
        name = names.Unique(MaybeNonAsciiName(name));
      } else {
        names.Unique("");
      }
      std::uint32_t type = 0;
      const reg::Bytes data = ValueData(&type);
      const reg::ErrorCode rc = api_.SetValue(key, name, type, data);
      if (rc != reg::kSuccess) return rc;
      ++stats_.values;
      ++stats_.values_by_type[type];
      stats_.data_bytes += data.size();
      if (data.size() < 40) ++stats_.values_under_40_bytes;
      stats_.name_bytes += name.size();
    }
    return reg::kSuccess;
  }

  reg::Bytes ValueData(std::uint32_t* type) {
    const std::uint64_t roll = random_.Below(1000);
    if (roll < 600) return TextValue(reg::kRegSz, type);
    if (roll < 850) {
      *type = reg::kRegDword;
      const std::uint64_t kind = random_.Below(10);
      const std::uint64_t v = kind < 4   ? random_.Below(2)
                              : kind < 7 ? random_.Below(256)
                              : kind < 9 ? random_.Below(65536)
                                         : random_.Below(std::uint64_t{1} << 32);
      return Little(v, 4);
    }
    if (roll < 930) {
      *type = reg::kRegBinary;
      const std::uint64_t kind = random_.Below(10);
      const std::uint64_t size = kind < 6 || options_.small_values ? random_.Between(4, 16)
                                 : kind < 9 ? random_.Between(17, 64)
                                            : random_.Between(65, 512);
      reg::Bytes data(static_cast<std::size_t>(size));
      for (auto& b : data) b = static_cast<std::uint8_t>(random_.Below(256));
      return data;
    }
    if (roll < 960) return TextValue(reg::kRegMultiSz, type);
    if (roll < 990) return TextValue(reg::kRegExpandSz, type);
    *type = reg::kRegQword;
    return Little(random_.Chance(kBillion * 3 / 10)
                      ? random_.Below(100000)
                      : 132000000000000000ull + random_.Below(20000000000000000ull),
                  8);
  }

  static reg::Bytes Little(std::uint64_t value, int size) {
    reg::Bytes data(static_cast<std::size_t>(size));
    for (auto& b : data) {
      b = static_cast<std::uint8_t>(value & 0xFF);
      value >>= 8;
    }
    return data;
  }

  reg::Bytes TextValue(std::uint32_t kind, std::uint32_t* type) {
    *type = kind;
    const bool needle = random_.Chance(needle_ppb_);
    const bool non_ascii = random_.Chance(non_ascii_ppb_);
    if (kind == reg::kRegMultiSz) {
      std::vector<std::string> elements(
          static_cast<std::size_t>(random_.Between(1, options_.small_values ? 2 : 5)));
      for (auto& e : elements) {
        e = random_.Chance(kBillion / 2) || options_.small_values ? Phrase(1, 2) : FilePath();
      }
      if (non_ascii) elements[0] = Insert(elements[0], Pick(random_, words::kNonAsciiWords));
      if (needle) {
        auto& e = elements[random_.Index(elements.size())];
        e = Insert(e, options_.needle);
      }
      reg::Bytes data;
      for (const auto& e : elements) {
        const reg::Bytes part = reg::StringData(e);
        data.insert(data.end(), part.begin(), part.end());
      }
      data.push_back(0);
      data.push_back(0);
      Count(needle, non_ascii);
      return data;
    }
    std::string text = kind == reg::kRegExpandSz ? ExpandText() : Text();
    if (non_ascii) text = Insert(text, Pick(random_, words::kNonAsciiWords));
    if (needle) text = Insert(text, options_.needle);
    Count(needle, non_ascii);
    return reg::StringData(text);
  }

  void Count(bool needle, bool non_ascii) {
    if (needle) ++stats_.needle_values;
    if (non_ascii) ++stats_.non_ascii_values;
  }

  // `word` put into `text` at a random word boundary (or as the whole text when it is empty).
  std::string Insert(const std::string& text, std::string_view word) {
    std::vector<std::size_t> cuts = {0, text.size()};
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == ' ' || text[i] == '\\') cuts.push_back(i + 1);
    }
    const std::size_t at = cuts[random_.Index(cuts.size())];
    const bool space_before = at > 0 && text[at - 1] != ' ' && text[at - 1] != '\\';
    const bool space_after = at < text.size() && text[at] != ' ';
    return text.substr(0, at) + (space_before ? " " : "") + std::string(word) +
           (space_after ? " " : "") + text.substr(at);
  }

  std::string Phrase(std::uint64_t low, std::uint64_t high) {
    std::string phrase;
    for (std::uint64_t n = random_.Between(low, high); n > 0; --n) {
      if (!phrase.empty()) phrase += ' ';
      phrase += Pick(random_, words::kTextWords);
    }
    return Capitalised(phrase);
  }

  std::string FilePath() {
    std::string path(Pick(random_, words::kPathRoots));
    path += Syllables(2, 3) + "\\";
    if (random_.Chance(kBillion / 2)) path += Syllables(2, 3) + "\\";
    if (random_.Chance(kBillion / 3)) path += std::string(Pick(random_, words::kTextWords)) + "\\";
    return path + std::string(Pick(random_, words::kTextWords)) +
           std::string(Pick(random_, words::kFileSuffixes));
  }

  std::string ExpandText() {
    if (options_.small_values) return "%TEMP%\\" + std::string(Pick(random_, words::kTextWords));
    std::string text(Pick(random_, words::kExpandRoots));
    if (random_.Chance(kBillion / 2)) text += Syllables(2, 3) + "\\";
    return text + std::string(Pick(random_, words::kTextWords)) +
           std::string(Pick(random_, words::kFileSuffixes));
  }

  std::string Text() {
    const std::uint64_t roll = random_.Below(100);
    if (roll < 5) return {};
    if (options_.small_values) {
      if (roll < 35) return Phrase(1, 2);
      if (roll < 55) return Version(3);
      if (roll < 80) return std::to_string(random_.Below(100000));
      return Syllables(2, 3);
    }
    if (roll < 30) return FilePath();
    if (roll < 40) return Version(4);
    if (roll < 70) return Phrase(1, 6);
    if (roll < 78) return Guid();
    if (roll < 83) {
      return "https://www." + Syllables(2, 3) + ".example/" +
             std::string(Pick(random_, words::kTextWords));
    }
    if (roll < 88) return std::to_string(random_.Below(100000));
    if (roll < 93)
      return Syllables(2, 3) + "." + Syllables(2, 3) + "." + std::to_string(random_.Between(1, 9));
    // A long text: a description or a command line.
    if (random_.Chance(kBillion / 2)) return Phrase(8, 60);
    return "\"" + FilePath() + "\" /" + Phrase(2, 10) + " --" +
           std::string(Pick(random_, words::kTextWords)) + "=" + FilePath();
  }

  reg::RegApi& api_;
  const GenOptions& options_;
  GenStats& stats_;
  GenRandom random_;
  std::uint64_t needle_ppb_ = 0;
  std::uint64_t non_ascii_ppb_;
  std::uint64_t non_ascii_name_ppb_;
  std::uint64_t value_continue_ppb_;
};

std::string Percent(std::uint64_t part, std::uint64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%",
                whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

}  // namespace

reg::ErrorCode GenerateTree(reg::RegApi& api, reg::KeyHandle root, std::string_view base_path,
                            const GenOptions& options, GenStats* stats) {
  *stats = GenStats{};
  Generator generator(api, options, stats);
  return generator.Run(root, base_path);
}

std::string DescribeTree(const GenStats& s) {
  std::string text = std::to_string(s.keys) + " keys, " + std::to_string(s.values) + " values (";
  char mean[32];
  std::snprintf(mean, sizeof mean, "%.2f",
                s.keys == 0 ? 0.0 : static_cast<double>(s.values) / static_cast<double>(s.keys));
  text += std::string(mean) + " per key)\n";
  const std::pair<std::uint32_t, const char*> types[] = {{reg::kRegSz, "REG_SZ"},
                                                         {reg::kRegDword, "REG_DWORD"},
                                                         {reg::kRegBinary, "REG_BINARY"},
                                                         {reg::kRegMultiSz, "REG_MULTI_SZ"},
                                                         {reg::kRegExpandSz, "REG_EXPAND_SZ"},
                                                         {reg::kRegQword, "REG_QWORD"}};
  text += "types:";
  for (const auto& [type, name] : types) {
    text += std::string(" ") + name + " " + Percent(s.values_by_type[type], s.values);
  }
  std::uint64_t mid = 0;
  for (std::size_t d = 3; d <= 7; ++d) mid += s.keys_by_depth[d];
  text += "\nkeys by depth:";
  for (std::size_t d = 1; d <= s.max_depth && d <= kMaxGenDepth; ++d) {
    text += " " + std::to_string(s.keys_by_depth[d]);
  }
  text += "\ndepth: " + Percent(mid, s.keys) + " of the keys at depth 3-7, deepest " +
          std::to_string(s.max_depth) + "; largest fan-out " + std::to_string(s.max_subkeys) +
          " subkeys, " + std::to_string(s.keys_with_1000_subkeys) + " keys with 1,000 or more\n";
  text += "needle in " + std::to_string(s.needle_values) + " values (" +
          Percent(s.needle_values, s.values) + "), non-ASCII text in " +
          std::to_string(s.non_ascii_values) + " values; " + std::to_string(s.data_bytes) +
          " bytes of data (" + Percent(s.values_under_40_bytes, s.values) +
          " of the values under 40 bytes), " + std::to_string(s.name_bytes) + " bytes of names\n";
  return text;
}

}  // namespace keyloom::bench
