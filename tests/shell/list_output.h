// The walk's hits gathered as the window's Key List holds them.
#pragma once

#include <string>
#include <utility>

#include "engine/run_io.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell::testing {

class ListOutput final : public engine::RunOutput {
 public:
  explicit ListOutput(engine::RunOutput& out) : out_(out) {}
  void AddStatusLine(std::string line) override { out_.AddStatusLine(std::move(line)); }
  void SetStatusBarText(const std::string& text) override { out_.SetStatusBarText(text); }
  void AddKeyListEntry(std::string row) override { rows.Append(row); }
  void AddKeyListHit(std::string row, const engine::HitDetails& details) override {
    rows.Append(row, details);
  }
  void CountChange(bool made) override { out_.CountChange(made); }
  void ClearLists() override { rows = KeyListRows(); }
  void RunFinished() override { out_.RunFinished(); }
  void RequestQuit() override { out_.RequestQuit(); }

  KeyListRows rows;

 private:
  engine::RunOutput& out_;
};

}  // namespace keyloom::shell::testing
