// A fixture that creates the real main window in the test process over a fresh program folder,
// with the Win32 registry port, and drives it through window messages.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry/registry.h"
#include "registry/win32/win32_reg_api.h"
#include "shell/ini_file.h"
#include "shell/win32/gui_test_support.h"
#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"
#include "support/temp_folder.h"
#include "support/win32/registry_editor.h"

namespace keyloom::shell::testing {

class MainWindowTest : public ::testing::Test {
 protected:
  // KEYLOOM.INI's "Keyloom" section with these lines (each "KEY=value").
  void WriteIni(const std::string& lines) {
    keyloom::testing::WriteBytes(folder_.path() / "KEYLOOM.INI", "[Keyloom]\r\n" + lines);
  }
  std::optional<std::string> SavedValue(const std::string& key) {
    return IniFile::Load(folder_.path() / "KEYLOOM.INI").Get("Keyloom", key);
  }

  // Creates the window (FormCreate runs) and shows it when start-up says so. Without a walker of
  // the test's own, runs visit nothing below each root.
  TfrmMain& Open(std::optional<bool> is_64bit = false, engine::KeyWalker* walker = nullptr) {
    MainWindowOptions options;
    options.api = api_.get();
    options.program_folder = folder_.Utf8();
    options.is_64bit_windows = is_64bit;
    options.walker = real_walk_ ? nullptr : walker != nullptr ? walker : &no_walk_;
    options.quit_on_destroy = false;
    window_ = std::make_unique<TfrmMain>(std::move(options));
    EXPECT_TRUE(window_->CreateMain(GetModuleHandleW(nullptr)));
    if (window_->ShouldShow()) ShowWindow(window_->hwnd(), SW_SHOW);
    return *window_;
  }
  // Creates the window with the program's own registry walk below each root and shows it.
  TfrmMain& OpenWithRegistryWalk() {
    MainWindowOptions options;
    options.api = api_.get();
    options.program_folder = folder_.Utf8();
    options.is_64bit_windows = false;
    options.quit_on_destroy = false;
    window_ = std::make_unique<TfrmMain>(std::move(options));
    EXPECT_TRUE(window_->CreateMain(GetModuleHandleW(nullptr)));
    ShowWindow(window_->hwnd(), SW_SHOW);
    return *window_;
  }
  // Ends the window as closing it does (FormDestroy saves the settings).
  void CloseWindow() {
    if (window_->hwnd() != nullptr) DestroyWindow(window_->hwnd());
  }

  HWND Control(int id) { return window_->Control(id); }
  std::string Text(int id) { return WindowTextUtf8(Control(id)); }
  void SetText(int id, const std::string& text) {
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ToWide(text).c_str()));
  }
  void ClickControl(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  // A menu command, as choosing it does.
  void Command(int id) { SendMessageW(window_->hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  void SelectItem(int id, int index) {
    SendMessageW(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(window_->hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Control(id)));
  }
  bool Enabled(int id) { return IsWindowEnabled(Control(id)) != FALSE; }
  std::vector<std::string> StatusLines() { return window_->status_list().Lines(); }
  // Pumps until the status list's last line is `line`.
  bool WaitForLastLine(const std::string& line,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return PumpUntil(
        [&] {
          const auto lines = StatusLines();
          return !lines.empty() && lines.back() == line;
        },
        timeout);
  }
  bool WaitForIdle(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    return PumpUntil([&] { return window_->controller().state() == engine::RunState::kIdle; },
                     timeout);
  }

  // Takes the runs back as a user does: every undo file the runs wrote (not the journal), merged
  // newest first by the 64-bit registry editor. The number of files merged.
  std::size_t MergeUndoFilesNewestFirst() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / L"UNDO")) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("UNDO-") && name.ends_with(".REG")) files.push_back(entry.path());
    }
    std::sort(files.rbegin(), files.rend());  // the names end in the time they were written
    for (const auto& file : files) {
      const DWORD merged =
          keyloom::testing::MergeRegFile(file, keyloom::testing::RegistryEditor::k64Bit);
      EXPECT_EQ(merged, 0u) << file.string();
      if (merged != 0) return 0;
    }
    return files.size();
  }

  keyloom::testing::TempFolder folder_;
  std::unique_ptr<reg::RegApi> api_ = reg::NewWin32RegApi();
  engine::NoWalk no_walk_;
  bool real_walk_ = false;  // Open gives the window its own registry walk
  std::unique_ptr<TfrmMain> window_;
};

// A MainWindowTest over a scratch key below HKEY_CURRENT_USER (`scratch` is its path from the
// root), taken away before the test and again after it, once the window is closed.
class ScratchKeyWindowTest : public MainWindowTest {
 protected:
  explicit ScratchKeyWindowTest(std::string scratch) : scratch_(std::move(scratch)) {}
  void SetUp() override { reg::TRegistry(*api_).DeleteKey(scratch_); }
  void TearDown() override {
    if (window_ != nullptr) CloseWindow();
    reg::TRegistry(*api_).DeleteKey(scratch_);
  }

  const std::string scratch_;
};

}  // namespace keyloom::shell::testing
