// The about box, the please-wait window and the application failure handler.
#include "shell/win32/dialogs.h"

#include <gtest/gtest.h>

#include "shell/win32/failure_handler.h"
#include "shell/win32/gui_test_support.h"
#include "shell/win32/resource_ids.h"

namespace keyloom::shell::testing {
namespace {

TEST(AboutBoxTest, ShowsTitleHeadingVersionAndTheOsLine) {
  std::vector<std::string> texts;
  std::string title;
  LONG_PTR style = 0;
  ModalWatcher watcher([&](HWND dialog) {
    title = WindowTextUtf8(dialog);
    texts = ChildTexts(dialog);
    style = GetWindowLongPtrW(dialog, GWL_STYLE);
    Click(GetDlgItem(dialog, IDOK));
  });
  TfrmAbout about;
  about.Show(GetModuleHandleW(nullptr), nullptr);
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_EQ(title, "About Keyloom");
  EXPECT_EQ(texts, (std::vector<std::string>{"Keyloom", "Version:", "1.3.1.0",
                                             "OS :", CurrentOsLine(), "&OK"}));
  EXPECT_FALSE(style & WS_SYSMENU);  // no system buttons
  // Wine, like Windows, reports the NT family.
  EXPECT_EQ(CurrentOsLine().rfind("Windows NT (", 0), 0u) << CurrentOsLine();
}

TEST(PleaseWaitTest, OneHiddenWindowWithItsTwoLinesShownAndHiddenOnRequest) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  TfrmPleaseWait& wait = TfrmPleaseWait::Instance(instance);
  EXPECT_EQ(&wait, &TfrmPleaseWait::Instance(instance));
  ASSERT_NE(wait.hwnd(), nullptr);
  EXPECT_FALSE(IsWindowVisible(wait.hwnd()));
  EXPECT_EQ(WindowTextUtf8(wait.hwnd()), "");
  EXPECT_EQ(
      ChildTexts(wait.hwnd()),
      (std::vector<std::string>{
          "Please wait...",
          "Your Machine may Hang for a Period while Windows Locks your Registry for Backup"}));
  EXPECT_EQ(GetWindow(wait.hwnd(), GW_OWNER), nullptr);
  wait.ShowCentered();
  EXPECT_TRUE(IsWindowVisible(wait.hwnd()));
  wait.Hide();
  EXPECT_FALSE(IsWindowVisible(wait.hwnd()));
}

// A window whose handler fails.
class FailingWindow : public Window {
 public:
  bool Open() {
    RegisterWindowClass(GetModuleHandleW(nullptr), L"KeyloomFailingWindow", nullptr);
    return Create(0, L"KeyloomFailingWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                  GetModuleHandleW(nullptr)) != nullptr;
  }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_APP) throw std::runtime_error("Failed to get data for 'Path'");
    return Window::HandleMessage(message, wparam, lparam);
  }
};

TEST(FailureHandlerTest, AFailureInAWindowProcedureReachesTheHandlerAsAnExceptionMessage) {
  std::atomic<bool> silent{false};
  InstallFailureHandler(&silent);
  std::vector<std::string> reported;
  SetFailureSink([&](const std::string& message) { reported.push_back(message); });
  FailingWindow window;
  ASSERT_TRUE(window.Open());
  EXPECT_EQ(SendMessageW(window.hwnd(), WM_APP, 0, 0), 0);
  EXPECT_TRUE(IsWindow(window.hwnd()));  // the window lives on
  SetFailureSink({});
  UninstallFailureHandler(&silent);
  EXPECT_EQ(reported, (std::vector<std::string>{"Exception: Failed to get data for 'Path'"}));
}

TEST(FailureHandlerTest, WithoutASinkTheMessageIsAnErrorBox) {
  std::string text;
  ModalWatcher watcher([&](HWND box) {
    text = MessageBoxText(box);
    SendMessageW(box, WM_COMMAND, IDOK, 0);
  });
  HandleFailure("Invalid handle");
  EXPECT_EQ(watcher.seen(), 1);
  EXPECT_EQ(text, "Exception: Invalid handle");
}

}  // namespace
}  // namespace keyloom::shell::testing
