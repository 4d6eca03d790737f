// The main window's small dialogs: the about box, the key-name warning and the please-wait window.
// Their layouts are templates in res/keyloom.rc.
#pragma once

#include <windows.h>

#include <string>

#include "shell/settings.h"
#include "shell/win32/ui_font.h"
#include "shell/win32/window_base.h"

namespace keyloom::shell {

// The line the about box shows for the running system, from RtlGetVersion (GetVersionExW when
// ntdll lacks it).
std::string CurrentOsLine();

// About box: "About Keyloom", the heading, the version and the OS line, and "&OK".
class TfrmAbout final : public Dialog {
 public:
  // Shown modally, centred on `center_on`.
  void Show(HINSTANCE instance, HWND center_on);

 private:
  bool OnInit() override;
  void btnOKClick() { End(IDOK); }
  void OnOK() override { btnOKClick(); }

  HWND center_on_ = nullptr;
  UniqueFont heading_font_;
};

// The warning shown when the user includes key names in the search. Its check box
// "&Don't show me this again" changes SuppressKeyNameWarning at once, on every click.
class TfrmTreeWarn final : public Dialog {
 public:
  explicit TfrmTreeWarn(SettingsStore& settings) : settings_(settings) {}
  void Show(HINSTANCE instance, HWND owner);

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void chkTreeWarnClick();

  SettingsStore& settings_;
  HWND owner_ = nullptr;
  UniqueFont bold_font_;
};

// "Please wait..." while a hive is saved. One instance, created hidden on first use and kept until
// the program ends; the hive maintenance shows it, keeps it painted and hides it.
class TfrmPleaseWait final : public Dialog {
 public:
  static TfrmPleaseWait& Instance(HINSTANCE instance);
  // Shows it centred on the screen and paints it at once.
  void ShowCentered();
  void Repaint();
  void Hide();

 private:
  bool OnInit() override;
  void OnOK() override {}
  void OnCancel() override {}

  UniqueFont title_font_;
};

}  // namespace keyloom::shell
