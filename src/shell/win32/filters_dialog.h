// The Filters dialog (TfrmFilters): the key's time, the value's size and the excluded keys that
// the main window's next runs take. The texts are read by ReadFilterTexts (shell/filter_texts.h):
// a text that cannot be read keeps the dialog open with a message that says why, its field
// selected.
#pragma once

#include <windows.h>

#include <utility>

#include "engine/match_rules.h"
#include "shell/filter_texts.h"
#include "shell/win32/window_base.h"

namespace keyloom::shell {

class TfrmFilters final : public Dialog {
 public:
  explicit TfrmFilters(engine::MatchRules rules) : rules_(std::move(rules)) {}

  // Shown modally, centred on `owner`. True when OK took the texts: rules() holds them then.
  bool Show(HINSTANCE instance, HWND owner);
  const engine::MatchRules& rules() const { return rules_; }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override { btnOKClick(); }
  void btnOKClick();
  void btnLoadClick();
  void btnClearClick();
  FilterTexts Texts() const;
  void ShowTexts(const FilterTexts& texts);

  engine::MatchRules rules_;
  HWND owner_ = nullptr;
};

}  // namespace keyloom::shell
