// A memory registry, a fresh undo folder, an undo writer with a fixed date and the status log
// lines it wrote: the ground the undo and action tests stand on.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "files/change_settings.h"
#include "files/reg_file_testing.h"
#include "files/undo_file.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"
#include "support/temp_folder.h"
#include "support/value_data.h"

namespace keyloom::files::testing {

using keyloom::testing::Utf16Z;

class UndoFixture : public ::testing::Test {
 protected:
  static constexpr const char* kDate = "20240131";

  UndoFixture()
      : api_(reg::NewMemoryRegistry()),
        undo_(
            *api_, [this](const std::string& line) { log_.push_back(line); },
            [this] { return date_; }) {
    settings_.undo_folder = folder_.Utf8();
  }

  // Writes a value (creating its key) through the port.
  void Put(const std::string& path, const std::string& name, reg::RawValue value,
           reg::KeyHandle root = reg::kCurrentUser, std::uint32_t view = 0) {
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(api_->CreateKey(root, path, 0, reg::access::kAllAccess | view, &key, nullptr),
              reg::kSuccess);
    reg::UniqueKey guard(*api_, key);
    ASSERT_EQ(api_->SetValue(key, name, value.type, value.data), reg::kSuccess);
  }
  void PutString(const std::string& path, const std::string& name, std::u16string_view text) {
    Put(path, name, {reg::kRegSz, Utf16Z(text)});
  }
  // Adds a reachable remote machine holding a string value under its HKEY_LOCAL_MACHINE.
  void PutRemoteString(const std::string& machine, const std::string& path, const std::string& name,
                       std::u16string_view text) {
    api_->AddMachine(machine, true);
    reg::KeyHandle remote = reg::kNullKey;
    ASSERT_EQ(api_->ConnectRegistry(machine, reg::kLocalMachine, &remote), reg::kSuccess);
    reg::UniqueKey remote_guard(*api_, remote);
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(api_->CreateKey(remote, path, 0, reg::access::kAllAccess, &key, nullptr),
              reg::kSuccess);
    reg::UniqueKey guard(*api_, key);
    ASSERT_EQ(api_->SetValue(key, name, reg::kRegSz, Utf16Z(text)), reg::kSuccess);
  }
  void MakeKey(const std::string& path, reg::KeyHandle root = reg::kCurrentUser) {
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(api_->CreateKey(root, path, 0, reg::access::kAllAccess, &key, nullptr),
              reg::kSuccess);
    api_->CloseKey(key);
  }

  std::filesystem::path UndoPath(int number) const {
    char name[40];
    std::snprintf(name, sizeof name, "UNDO-%s-%.3d.REG", date_.c_str(), number);
    return folder_.path() / name;
  }
  std::vector<std::string> UndoLines(int number) const {
    return ReadRegFileLines(UndoPath(number));
  }
  // The lines after the four header lines.
  std::vector<std::string> Body(int number) const {
    auto lines = UndoLines(number);
    if (lines.size() < 4) return {};
    return std::vector<std::string>(lines.begin() + 4, lines.end());
  }

  std::string Record(RecordKind kind, RecordPhase phase, const std::string& path,
                     const std::string& name = "", bool unnamed = false,
                     reg::KeyHandle root = reg::kCurrentUser) {
    UndoRequest request;
    request.root = root;
    request.key_path = path;
    request.value_name = name;
    request.unnamed_value = unnamed;
    request.kind = kind;
    request.phase = phase;
    request.machine_name = machine_;
    return undo_.Record(request, settings_);
  }

  keyloom::testing::TempFolder folder_;
  std::unique_ptr<reg::MemoryRegistry> api_;
  std::vector<std::string> log_;
  std::string date_ = kDate;
  std::string machine_;
  ChangeSettings settings_;
  UndoFile undo_;
};

}  // namespace keyloom::files::testing
