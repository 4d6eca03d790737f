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
  // Makes the engine; the registry port api_ is there from construction on.
  void BuildEngine() {
    ASSERT_EQ(api_->CurrentUserName(&user_), reg::kSuccess);
    account_ = std::make_unique<reg::ProgramAccount>(user_);
    undo_ = std::make_unique<files::UndoFile>(*api_, [](const std::string&) {});
    WalkDeps walk;
    walk.api = api_.get();
    walk.globals = &globals_;
    walk.controls = &controls_;
    walk.output = walk_output_ != nullptr ? walk_output_ : &output_;
    walk.undo = undo_.get();
    walk.account = account_.get();
    walk.log = [this](const std::string& text, bool debug_only) {
      if (!debug_only) output_.AddStatusLine(text);
    };
    walk.debug_file = [](const std::string&) {};
    walk.settings = [this] { return settings_; };
    walk.change_settings = [this] {
      files::ChangeSettings change;
      change.undo_folder = undo_folder_.Utf8();
      change.simulate = settings_.simulate;
      change.is_64bit_windows = globals_.is_64bit_windows;
      change.scan_method = settings_.scanmethod;
      return change;
    };
    walker_ = std::make_unique<RegistryWalker>(walk);
    engine_ = std::make_unique<SearchEngine>(EngineDepsFor(walk, gate_, *walker_));
    gate_.Open();
  }

  std::unique_ptr<reg::RegApi> api_ = reg::NewWin32RegApi();
  std::string user_;
  std::unique_ptr<reg::ProgramAccount> account_;
  keyloom::testing::TempFolder undo_folder_;
  std::unique_ptr<files::UndoFile> undo_;
  Globals globals_;
  FakeControls controls_;
  RecordingOutput output_;
  RunOutput* walk_output_ = nullptr;  // where the walk's output goes instead, when set
  PortablePauseGate gate_;
  RunSettings settings_;
  std::unique_ptr<RegistryWalker> walker_;
  std::unique_ptr<SearchEngine> engine_;
};

}  // namespace keyloom::engine::testing
