// A registry port that counts and times the calls a walk makes, for finding where a run's time
// goes: how many calls of each kind per key, and how long each kind takes on average.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "registry/forwarding_reg_api.h"

namespace keyloom::bench {

class ProfilingRegApi final : public reg::ForwardingRegApi {
 public:
  enum Op { kOpenKey, kCloseKey, kQueryInfoKey, kEnumKey, kEnumValue, kQueryValue, kOpCount };

  using ForwardingRegApi::ForwardingRegApi;

  reg::ErrorCode OpenKey(reg::KeyHandle parent, std::string_view path, std::uint32_t access,
                         reg::KeyHandle* result) override {
    return Timed(kOpenKey, [&] { return target().OpenKey(parent, path, access, result); });
  }
  reg::ErrorCode CloseKey(reg::KeyHandle key) override {
    return Timed(kCloseKey, [&] { return target().CloseKey(key); });
  }
  reg::ErrorCode QueryInfoKey(reg::KeyHandle key, reg::KeyInfo* info) override {
    return Timed(kQueryInfoKey, [&] { return target().QueryInfoKey(key, info); });
  }
  reg::ErrorCode EnumKey(reg::KeyHandle key, std::uint32_t index, std::string* name) override {
    return Timed(kEnumKey, [&] { return target().EnumKey(key, index, name); });
  }
  reg::ErrorCode EnumValue(reg::KeyHandle key, std::uint32_t index, std::string* name,
                           std::uint32_t* type, reg::Bytes* data) override {
    return Timed(kEnumValue, [&] { return target().EnumValue(key, index, name, type, data); });
  }
  // Counted with EnumValue: it is the same call, made into reused room.
  reg::ErrorCode EnumValueInto(reg::KeyHandle key, std::uint32_t index,
                               reg::ValueBuffer* value) override {
    return Timed(kEnumValue, [&] { return target().EnumValueInto(key, index, value); });
  }
  reg::ErrorCode QueryValue(reg::KeyHandle key, std::string_view name, std::uint32_t* type,
                            reg::Bytes* data) override {
    return Timed(kQueryValue, [&] { return target().QueryValue(key, name, type, data); });
  }

  // One "op=calls/seconds" pair per kind that was called, separated by blanks.
  std::string Report() const {
    static constexpr const char* kNames[kOpCount] = {"OpenKey", "CloseKey",  "QueryInfoKey",
                                                     "EnumKey", "EnumValue", "QueryValue"};
    std::string report;
    for (std::size_t op = 0; op < kOpCount; ++op) {
      if (calls_[op] == 0) continue;
      char item[96];
      std::snprintf(item, sizeof item, "%s%s=%llu/%.3fs", report.empty() ? "" : " ", kNames[op],
                    static_cast<unsigned long long>(calls_[op]),
                    std::chrono::duration<double>(time_[op]).count());
      report += item;
    }
    return report;
  }

 private:
  template <class F>
  reg::ErrorCode Timed(Op op, F&& call) {
    const auto start = std::chrono::steady_clock::now();
    const reg::ErrorCode rc = call();
    time_[op] += std::chrono::steady_clock::now() - start;
    ++calls_[op];
    return rc;
  }

  std::array<std::uint64_t, kOpCount> calls_{};
  std::array<std::chrono::steady_clock::duration, kOpCount> time_{};
};

}  // namespace keyloom::bench
