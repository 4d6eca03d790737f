// A registry port whose every key call takes a while longer, as a call to another computer's
// registry crosses the network: each call on keys and values (and each connection) waits
// `delay` before it is forwarded. The waits overlap across threads, as round trips to different
// machines do. For the benchmarks and the tests of runs on many machines over the memory
// registry, whose calls otherwise cost well under a microsecond.
#pragma once

#include <chrono>
#include <thread>

#include "registry/forwarding_reg_api.h"

namespace keyloom::reg {

class DelayedRegApi final : public ForwardingRegApi {
 public:
  DelayedRegApi(RegApi& target, std::chrono::microseconds delay)
      : ForwardingRegApi(target), delay_(delay) {}

  ErrorCode ConnectRegistry(std::string_view machine, KeyHandle root, KeyHandle* result) override {
    Wait();
    return ForwardingRegApi::ConnectRegistry(machine, root, result);
  }
  ErrorCode OpenKey(KeyHandle parent, std::string_view path, std::uint32_t access,
                    KeyHandle* result) override {
    Wait();
    return ForwardingRegApi::OpenKey(parent, path, access, result);
  }
  ErrorCode CreateKey(KeyHandle parent, std::string_view path, std::uint32_t options,
                      std::uint32_t access, KeyHandle* result, bool* created) override {
    Wait();
    return ForwardingRegApi::CreateKey(parent, path, options, access, result, created);
  }
  ErrorCode CloseKey(KeyHandle key) override {
    Wait();
    return ForwardingRegApi::CloseKey(key);
  }
  ErrorCode QueryInfoKey(KeyHandle key, KeyInfo* info) override {
    Wait();
    return ForwardingRegApi::QueryInfoKey(key, info);
  }
  ErrorCode EnumKey(KeyHandle key, std::uint32_t index, std::string* name) override {
    Wait();
    return ForwardingRegApi::EnumKey(key, index, name);
  }
  ErrorCode EnumValue(KeyHandle key, std::uint32_t index, std::string* name, std::uint32_t* type,
                      Bytes* data) override {
    Wait();
    return ForwardingRegApi::EnumValue(key, index, name, type, data);
  }
  ErrorCode QueryValue(KeyHandle key, std::string_view name, std::uint32_t* type,
                       Bytes* data) override {
    Wait();
    return ForwardingRegApi::QueryValue(key, name, type, data);
  }
  ErrorCode SetValue(KeyHandle key, std::string_view name, std::uint32_t type,
                     const Bytes& data) override {
    Wait();
    return ForwardingRegApi::SetValue(key, name, type, data);
  }
  ErrorCode DeleteValue(KeyHandle key, std::string_view name) override {
    Wait();
    return ForwardingRegApi::DeleteValue(key, name);
  }
  ErrorCode DeleteKey(KeyHandle parent, std::string_view path, std::uint32_t view) override {
    Wait();
    return ForwardingRegApi::DeleteKey(parent, path, view);
  }

 private:
  void Wait() const {
    if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
  }
  std::chrono::microseconds delay_;
};

}  // namespace keyloom::reg
