// A run on the real registry: the real walk, registry actions and undo files, fake window controls
// and a recording output. Tests call the engine directly, on their own thread.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/key_walk.h"
#include "engine/run_fakes.h"
#include "registry/win32/win32_reg_api.h"
#include "support/temp_folder.h"

namespace keyloom::engine::testing {

class RealRegistryRun : public ::testing::Test {
 protected:
  // The settings the next run reads: settings_, its undo files in the test's folder.
  void StoreSettings() {
    settings_.undodir = undo_folder_.Utf8();
    store_.Replace(settings_);
  }

  // Makes the engine; the registry port api_ is there from construction on.
  void BuildEngine() {
    StoreSettings();
    ASSERT_EQ(api_->CurrentUserName(&user_), reg::kSuccess);
    account_ = std::make_unique<reg::ProgramAccount>(user_);
    undo_ = std::make_unique<files::UndoFile>(*api_, [](const std::string&) {});
    context_.api = api_.get();
    context_.settings = &store_;
    context_.controls = &controls_;
    context_.output = walk_output_ != nullptr ? walk_output_ : &output_;
    context_.undo = undo_.get();
    context_.account = account_.get();
    context_.log = [this](const std::string& text, bool debug_only) {
      if (!debug_only) output_.AddStatusLine(text);
    };
    context_.debug_file = [](const std::string&) {};
    walker_ = std::make_unique<RegistryWalker>(context_);
    engine_ = std::make_unique<SearchEngine>(EngineDeps{&context_, &gate_, walker_.get()});
    gate_.Open();
  }

  std::unique_ptr<reg::RegApi> api_ = reg::NewWin32RegApi();
  std::string user_;
  std::unique_ptr<reg::ProgramAccount> account_;
  keyloom::testing::TempFolder undo_folder_;
  std::unique_ptr<files::UndoFile> undo_;
  RunContext context_;
  FakeControls controls_;
  RecordingOutput output_;
  RunOutput* walk_output_ = nullptr;  // where the walk's output goes instead, when set
  PortablePauseGate gate_;
  // The settings the engine reads: settings_ as the last StoreSettings left it.
  config::Settings settings_;
  config::SettingsStore store_;
  std::unique_ptr<RegistryWalker> walker_;
  std::unique_ptr<SearchEngine> engine_;
};

}  // namespace keyloom::engine::testing
