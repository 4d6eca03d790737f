// Checks of a window's controls at the screen's DPI: every control inside its parent's client area
// with its text within its width (measured with the control's own font), and access keys that are
// unique within the window and present on every labelled control.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace keyloom::shell::testing {

// What does not fit among the shown children of `parent` ("id 1003 "&Find :": ..."): a control
// outside the client area, over another or with its text cut; empty when everything fits.
// `dpi` is the one the window is laid out for, by default the one it is shown at.
std::vector<std::string> FitProblems(HWND parent, int dpi = 0);

// The access keys of the shown children of `parent` and of `extra` captions (an Options page's
// titles, say) that clash, and the labelled controls without one; empty when all is well.
std::vector<std::string> AccessKeyProblems(HWND parent,
                                           const std::vector<std::string>& extra = {});

// The same for each pop-up of a menu: entries of one pop-up clash, or an entry has no access key.
std::vector<std::string> MenuAccessKeyProblems(HMENU menu);

// The DPI this test process runs at, and the one it was asked to run at by the test that starts
// it again at another DPI (KEYLOOM_TEST_DPI; 0 when not asked).
int ScreenDpi();
int ExpectedDpi();

}  // namespace keyloom::shell::testing
