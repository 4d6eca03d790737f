// A whole run over the memory registry: the real walk, the real registry actions and undo files,
// fake window controls and a recording output.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "edit/run_undo.h"
#include "engine/key_walk.h"
#include "engine/run_fakes.h"
#include "engine/search_session.h"
#include "files/run_journal.h"
#include "files/undo_file.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"
#include "support/temp_folder.h"

namespace keyloom::engine::testing {

// The matchers the run tests check lines and rows with.
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;
using ::testing::UnorderedElementsAreArray;

// A take-back's dialogue: answers every question with `answer`, keeps what it asked and showed.
struct ScriptedUi : edit::RunUndoUi {
  bool Confirm(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  void Show(const std::string& line) override { shown.push_back(line); }
  bool answer = true;
  std::vector<std::string> questions;
  std::vector<std::string> shown;
};

class WalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gate_.Open();
    controls_.root_choice = 2;
    controls_.replace = "New";
    Reset();
  }

  // A new empty memory registry, a new undo writer and an empty undo folder, keeping the controls
  // and settings.
  void Reset() {
    registry_ = reg::NewMemoryRegistry(config_);
    undo_ = std::make_unique<files::UndoFile>(
        *registry_, [this](const std::string& line) { output_.AddStatusLine(line); },
        [] { return std::string("20261207"); });
    undo_->SetWrittenObserver([this](const std::string& file) { journal_.FileWritten(file); });
    journal_.SetStateReader({registry_.get(), {}, {}});  // each run leaves its state
    std::filesystem::remove_all(undo_folder_.path());
    std::filesystem::create_directories(undo_folder_.path());
    Build();
  }

  void Build() {
    controller_.reset();
    walker_.reset();
    RunContext& context = context_;
    context.api = registry_.get();
    context.settings = &store_;
    context.controls = &controls_;
    context.output = walk_output_ != nullptr ? walk_output_ : &output_;
    context.undo = undo_.get();
    context.journal = &journal_;
    context.account = &account_;
    context.log = [this](const std::string& text, bool debug_only) {
      if (debug_only) {
        if (store_.LoggingLevel() == 2) debug_file_.push_back(text);
      } else {
        output_.AddStatusLine(text);
      }
    };
    context.debug_file = [this](const std::string& text) { debug_file_.push_back(text); };
    walker_ = std::make_unique<RegistryWalker>(context);
    controller_ =
        std::make_unique<RunController>(EngineDeps{&context, &gate_, walker_.get()}, window_);
  }

  // The settings the next run starts with: settings_, its undo files in the test's folder.
  void StoreSettings() {
    settings_.undodir = undo_folder_.Utf8();
    store_.Replace(settings_);
  }

  // Runs a search (or a replace) to its end; returns the status lines.
  std::vector<std::string> Run(bool replace = false) {
    StoreSettings();
    output_.Clear();
    debug_file_.clear();
    if (replace) {
      controller_->btnReplaceClick();
    } else {
      controller_->btnSearchClick();
    }
    EXPECT_TRUE(window_.applied.pause_enabled) << "the run did not start";
    EXPECT_TRUE(output_.WaitFor("finished"));
    controller_->OnRunFinished();
    return output_.Lines();
  }

  // The last `n` lines (all of them when there are fewer).
  static std::vector<std::string> Last(const std::vector<std::string>& lines, std::size_t n) {
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end()};
  }

  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (const auto& e : output_.Events()) {
      if (e.rfind("row: ", 0) == 0) rows.push_back(e.substr(5));
    }
    return rows;
  }

  void Put(const std::string& path, const std::string& name, reg::RawValue value,
           reg::KeyHandle root = reg::kCurrentUser) {
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(registry_->CreateKey(root, path, 0, reg::access::kAllAccess, &key, nullptr),
              reg::kSuccess);
    ASSERT_EQ(registry_->SetValue(key, name, value.type, value.data), reg::kSuccess);
    registry_->CloseKey(key);
  }
  // `text` as a value of string `type`, its terminating NUL included.
  static reg::RawValue StringValue(const std::string& text, std::uint32_t type = reg::kRegSz) {
    reg::Bytes data = text::Utf16ToBytes(text::Utf8ToUtf16(text));
    data.insert(data.end(), {0, 0});
    return {type, std::move(data)};
  }
  void PutString(const std::string& path, const std::string& name, const std::string& text,
                 std::uint32_t type = reg::kRegSz) {
    Put(path, name, StringValue(text, type));
  }
  void PutDword(const std::string& path, const std::string& name, std::uint32_t v) {
    Put(path, name,
        {reg::kRegDword,
         {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}});
  }
  void MakeKey(const std::string& path, reg::KeyHandle root = reg::kCurrentUser) {
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(registry_->CreateKey(root, path, 0, reg::access::kAllAccess, &key, nullptr),
              reg::kSuccess);
    registry_->CloseKey(key);
  }
  bool Exists(const std::string& path) {
    reg::TRegistry reg(*registry_);
    return reg.KeyExists("\\" + path);
  }
  reg::RawValue Read(const std::string& path, const std::string& name) {
    reg::TRegistry reg(*registry_);
    EXPECT_TRUE(reg.OpenKey("\\" + path)) << path;
    return reg.ReadRaw(name);
  }
  std::vector<std::filesystem::path> UndoFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(undo_folder_.path())) {
      if (entry.path().extension() == ".REG") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  reg::MemoryRegistry::Config config_;
  std::unique_ptr<reg::MemoryRegistry> registry_;
  keyloom::testing::TempFolder undo_folder_;
  std::unique_ptr<files::UndoFile> undo_;
  // Runs are numbered by the minute of their date, so the journal's dates differ.
  int journal_clock_ = 0;
  files::RunJournal journal_{[this] {
    char text[32];
    std::snprintf(text, sizeof text, "2026-12-07 10:%02d:00", journal_clock_++ % 60);
    return std::string(text);
  }};
  reg::ProgramAccount account_{"root"};
  // The context's facts, the computer searched and (through store_) the settings.
  RunContext context_;
  FakeControls controls_;
  RecordingOutput output_;
  RunOutput* walk_output_ = nullptr;  // where the walk's output goes instead, when set
  PortablePauseGate gate_;
  // The settings of the next run: one undo file for all its changes unless a test says otherwise.
  config::Settings settings_ = [] {
    config::Settings settings;
    settings.saundo = false;
    return settings;
  }();
  config::SettingsStore store_;
  FakeRunWindow window_;
  std::vector<std::string> debug_file_;
  std::unique_ptr<RegistryWalker> walker_;
  std::unique_ptr<RunController> controller_;
};

}  // namespace keyloom::engine::testing
