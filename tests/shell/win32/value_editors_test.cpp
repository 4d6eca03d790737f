// The three value editors driven through their controls: what they show, Escape and "&Cancel"
// giving back the text put in, Enter accepting (and making a new line in the memo), the number
// editor's base switch and key filter.
#include "shell/win32/value_editors.h"

#include <gtest/gtest.h>

#include <cstring>

#include "change/value_text.h"
#include "edit/number_entry.h"
#include "shell/win32/gui_test_support.h"
#include "shell/win32/resource_ids.h"

namespace keyloom::shell::testing {
namespace {

// A key press as the keyboard makes it, through the dialog's keyboard handling.
void PressKey(HWND dialog, HWND target, UINT key) {
  PostKey(target, key);
  PumpUntil([] { return false; }, std::chrono::milliseconds(100),
            [dialog](MSG& message) { return IsDialogMessageW(dialog, &message) != FALSE; });
}

void Type(HWND field, const std::wstring& keys) {
  for (wchar_t key : keys) SendMessageW(field, WM_CHAR, key, 1);
}

void CaretToEnd(HWND field) { SendMessageW(field, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF); }

bool SetClipboardText(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (memory != nullptr) {
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
  }
  CloseClipboard();
  return memory != nullptr;
}

class ValueEditorsTest : public ::testing::Test {
 protected:
  WindowEditDialogs dialogs_{GetModuleHandleW(nullptr), nullptr};
};

TEST_F(ValueEditorsTest, TheStringEditorGivesBackItsTextOnEscapeAndCancelAndAcceptsOnEnter) {
  const std::vector<std::function<void(HWND, HWND)>> closes = {
      [](HWND dialog, HWND field) { PressKey(dialog, field, VK_ESCAPE); },
      [](HWND dialog, HWND) { Click(GetDlgItem(dialog, IDCANCEL)); },
      [](HWND dialog, HWND field) { PressKey(dialog, field, VK_RETURN); },
  };
  std::vector<std::string> titles, children;
  LONG_PTR style = 0;
  std::size_t step = 0;
  ModalWatcher watcher([&](HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_EDIT_VALUE);
    titles.push_back(WindowTextUtf8(dialog));
    if (step == 0) {
      children = ChildTexts(dialog);
      style = GetWindowLongPtrW(dialog, GWL_STYLE);
      EXPECT_EQ(GetFocus(), field);
    }
    SetWindowTextUtf8(field, "typed ζ");
    closes[step++](dialog, field);
    EXPECT_FALSE(IsWindowVisible(dialog));
  });
  const std::string in = "C:\\ζ\\old";
  EXPECT_EQ(dialogs_.ShowEditReg("Rename Registry Key", "HKEY_CURRENT_USER\\Software\\X", in), in);
  EXPECT_EQ(dialogs_.ShowEditReg("Edit Registry Key", "\\Software\\X\\v", in), in);
  EXPECT_EQ(dialogs_.ShowEditReg("Edit Registry Key", "\\Software\\X\\v", in), "typed ζ");
  EXPECT_EQ(titles, (std::vector<std::string>{"Rename Registry Key", "Edit Registry Key",
                                              "Edit Registry Key"}));
  EXPECT_EQ(children, (std::vector<std::string>{"Key :", "HKEY_CURRENT_USER\\Software\\X", in,
                                                "&Accept", "&Cancel"}));
  EXPECT_FALSE(style & WS_SYSMENU) << "no close box";
}

TEST_F(ValueEditorsTest, TheNumberEditorSwitchesBasesAndFiltersKeysByTheTextTheyLeave) {
  std::vector<std::function<void(HWND)>> steps;
  // 255 in hexadecimal is FF; a typed 1 makes FF1; G never passes; Enter gives back 4081.
  steps.push_back([](HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_DWORD_VALUE);
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_DWORD_DEC), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(WindowTextUtf8(dialog), "Edit DWORD Value");
    Click(GetDlgItem(dialog, IDC_DWORD_HEX));
    EXPECT_EQ(WindowTextUtf8(field), "FF");
    CaretToEnd(field);
    Type(field, L"1G ,-");
    EXPECT_EQ(WindowTextUtf8(field), "FF1");
    PressKey(dialog, field, VK_RETURN);
  });
  // A 32-bit value takes no digit after 2147483647, but typing over the selected text is judged
  // by what it leaves; an empty field cannot be converted; Escape brings the text back.
  steps.push_back([](HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_DWORD_VALUE);
    CaretToEnd(field);
    Type(field, L"1");
    EXPECT_EQ(WindowTextUtf8(field), "2147483647");
    SendMessageW(field, EM_SETSEL, 0, -1);
    Type(field, L"5");
    EXPECT_EQ(WindowTextUtf8(field), "5");
    SetWindowTextUtf8(field, "");
    Click(GetDlgItem(dialog, IDC_DWORD_HEX));
    EXPECT_EQ(StatusBarText(GetDlgItem(dialog, IDC_DWORD_STATUS)), edit::kConversionError);
    EXPECT_EQ(WindowTextUtf8(field), "");
    Type(field, L"A7");  // still the decimal rule
    EXPECT_EQ(WindowTextUtf8(field), "7");
    PressKey(dialog, field, VK_ESCAPE);
  });
  // A QWORD takes the 64-bit range; a pasted text is judged as a whole; Cancel.
  steps.push_back([](HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_DWORD_VALUE);
    CaretToEnd(field);
    for (const wchar_t* pasted : {L"2,3", L"23"}) {
      ASSERT_TRUE(SetClipboardText(dialog, pasted));
      SendMessageW(field, WM_PASTE, 0, 0);
    }
    Type(field, L"1");
    EXPECT_EQ(WindowTextUtf8(field), "2147483647231");
    Click(GetDlgItem(dialog, IDCANCEL));
  });
  // -1 goes to hexadecimal and comes back.
  steps.push_back([](HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_DWORD_VALUE);
    Click(GetDlgItem(dialog, IDC_DWORD_HEX));
    EXPECT_EQ(WindowTextUtf8(field), "FFFFFFFFFFFFFFFF");
    Click(GetDlgItem(dialog, IDOK));
  });
  std::size_t step = 0;
  ModalWatcher watcher([&](HWND dialog) { steps[step++](dialog); });
  EXPECT_EQ(dialogs_.ShowEditDword("\\Software\\X\\d", "255", false), "4081");
  EXPECT_EQ(dialogs_.ShowEditDword("\\Software\\X\\d", "2147483647", false), "2147483647");
  EXPECT_EQ(dialogs_.ShowEditDword("\\Software\\X\\q", "2147483647", true), "2147483647");
  EXPECT_EQ(dialogs_.ShowEditDword("\\Software\\X\\d", "-1", false), "-1");
  EXPECT_EQ(step, 4u);
}

TEST_F(ValueEditorsTest, TheMultiStringEditorNamesItsValueAndTakesEnterAsANewLine) {
  const std::string label = "HKEY_CURRENT_USER\\Software\\X\\list";
  std::size_t step = 0;
  ModalWatcher watcher([&](HWND dialog) {
    HWND memo = GetDlgItem(dialog, IDC_MULTI_TEXT);
    EXPECT_EQ(WindowTextUtf8(dialog), "Multi-String Editor - " + label);
    DWORD start = 1, end = 1;
    SendMessageW(memo, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(GetFocus(), memo);
    EXPECT_EQ(end, 0u) << "nothing selected: typing replaces no line";
    SendMessageW(memo, EM_SETSEL, 1, 1);  // after "a"
    PressKey(dialog, memo, VK_RETURN);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "Enter does not accept";
    EXPECT_EQ(WindowTextUtf8(memo), "a\r\n\r\nb");
    if (step++ == 0) {
      Type(memo, L"x");
      Click(GetDlgItem(dialog, IDOK));
    } else {
      PressKey(dialog, memo, VK_ESCAPE);
    }
  });
  EXPECT_EQ(dialogs_.ShowMultiEdit(label, "a\r\nb"), "a\r\nx\r\nb");
  EXPECT_EQ(dialogs_.ShowMultiEdit(label, "a\r\nb"), "a\r\nb");
  EXPECT_EQ(watcher.seen(), 2) << "no message when no line is empty";
}

// A multi-string cannot hold an empty string: Accept drops empty lines and says how many.
TEST_F(ValueEditorsTest, TheMultiStringEditorDropsEmptyLinesOnAcceptAndSaysHowMany) {
  std::vector<std::string> messages;
  ModalWatcher watcher([&](HWND dialog) {
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_MULTI_TEXT),
                      "\r\nalpha01\r\n\r\nqaserver\r\nbeta\r\n\r\n");
    ModalWatcher box(
        [&](HWND message) {
          messages.push_back(MessageBoxText(message));
          SendMessageW(message, WM_COMMAND, IDOK, 0);
        },
        dialog);
    Click(GetDlgItem(dialog, IDOK));
  });
  EXPECT_EQ(dialogs_.ShowMultiEdit("HKEY_CURRENT_USER\\Software\\X\\list", "alpha01"),
            "alpha01\r\nqaserver\r\nbeta");
  EXPECT_EQ(messages, (std::vector<std::string>{change::EmptyLinesRemovedText(3)}));
}

}  // namespace
}  // namespace keyloom::shell::testing
