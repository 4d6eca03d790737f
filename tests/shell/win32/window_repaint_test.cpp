// A resized or maximized main window paints as one opened at its size (compared on the screen,
// apart from the status texts), and the window tests pass again at 144 DPI.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "shell/win32/main_window_fixture.h"
#include "shell/win32/window_check.h"

namespace keyloom::shell::testing {
namespace {

// The client area of `window` as the X display shows it: 32-bit pixels (0x00RRGGBB), rows top
// down. Taken by the display's own screenshot tool: what Wine's device contexts read back is the
// window's drawing, not what the screen shows. Empty when the tool gave nothing in time.
struct Shot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

Shot ReadPpm(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, top = 0;
  file >> magic >> width >> height >> top;
  file.get();  // the one blank after the header
  Shot shot;
  if (magic != "P6" || top != 255 || width <= 0 || height <= 0) return shot;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(width) *
                                   static_cast<std::size_t>(height) * 3);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) return shot;
  shot.width = width;
  shot.height = height;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    shot.pixels.push_back(
        static_cast<std::uint32_t>(bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2]));
  }
  return shot;
}

Shot TakeShot(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  static int taken = 0;
  const std::string name =
      "/tmp/keyloom-shot-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(taken++);
  const std::string crop = std::to_string(client.right) + "x" + std::to_string(client.bottom) +
                           "+" + std::to_string(origin.x) + "+" + std::to_string(origin.y);
  // Written under another name first, so that the file is complete once it has its own.
  std::wstring command =
      ToWide("/bin/sh -c \"import -window root -crop " + crop + " +repage -depth 8 ppm:" + name +
             ".part && mv " + name + ".part " + name + ".ppm\"");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  // Wine starts a Unix program as a process of the host; its handle cannot be waited for.
  if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "no screenshot tool: " << GetLastError();
    return {};
  }
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  std::string path = "Z:" + name + ".ppm";
  for (char& c : path) c = c == '/' ? '\\' : c;
  if (!PumpUntil([&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
                 std::chrono::seconds(20))) {
    ADD_FAILURE() << "no screenshot in 20 s: " << path;
    return {};
  }
  Shot shot = ReadPpm(path);
  if (shot.pixels.empty()) {
    ADD_FAILURE() << "not a screenshot: " << path;
  } else {
    DeleteFileA(path.c_str());
  }
  return shot;
}

// Writes the shot as a BMP file into KEYLOOM_SHOT_DIR, when that names a folder, to look at.
void Keep(const Shot& shot, const std::string& name) {
  const char* folder = std::getenv("KEYLOOM_SHOT_DIR");
  if (folder == nullptr) return;
  std::ofstream file(std::string(folder) + "\\" + name + "-" + std::to_string(ScreenDpi()) + ".bmp",
                     std::ios::binary);
  const auto bytes = static_cast<std::uint32_t>(shot.pixels.size() * 4);
  BITMAPFILEHEADER header{0x4D42, 54 + bytes, 0, 0, 54};
  BITMAPINFOHEADER info{
      sizeof(BITMAPINFOHEADER), shot.width, -shot.height, 1, 32, BI_RGB, bytes, 0, 0, 0, 0};
  file.write(reinterpret_cast<const char*>(&header), sizeof(header));
  file.write(reinterpret_cast<const char*>(&info), sizeof(info));
  file.write(reinterpret_cast<const char*>(shot.pixels.data()),
             static_cast<std::streamsize>(bytes));
}

// The pixels that differ outside `skip` (client rectangles of the status texts).
int Differences(const Shot& a, const Shot& b, const std::vector<RECT>& skip) {
  if (a.width != b.width || a.height != b.height) return -1;
  int count = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const POINT point{x, y};
      bool skipped = false;
      for (const RECT& rect : skip) {
        if (PtInRect(&rect, point)) skipped = true;
      }
      const auto i = static_cast<std::size_t>(y * a.width + x);
      if (!skipped && a.pixels[i] != b.pixels[i]) ++count;
    }
  }
  return count;
}

class WindowRepaintTest : public MainWindowTest {
 protected:
  void SetUp() override {
    if (ExpectedDpi() != 0) {
      ASSERT_EQ(ScreenDpi(), ExpectedDpi());
    }
  }
  // Opens the window at the kept place and shows it as the program does.
  TfrmMain& OpenAt(int width, int height, bool maximized) {
    // The mouse pointer rests on the screen's corner, over nothing it could light up.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    WriteIni("UPDATEINI=0\r\nWIN_LEFT=20\r\nWIN_TOP=10\r\nWIN_WIDTH=" + std::to_string(width) +
             "\r\nWIN_HEIGHT=" + std::to_string(height) +
             "\r\nWIN_MAXIMIZED=" + (maximized ? "1" : "0") + "\r\n");
    TfrmMain& window = Open();
    ShowWindow(window.hwnd(), window.ShowCommandFor(SW_SHOWNORMAL));
    Settle(window);
    return window;
  }
  // Everything painted, with the focus on the Close button (no blinking caret) and no hint
  // showing wherever the mouse pointer rests.
  void Settle(TfrmMain& window) {
    SendMessageW(window.tooltip(), TTM_ACTIVATE, FALSE, 0);
    SetFocus(Control(IDC_BTN_CLOSE));
    PumpFor(std::chrono::milliseconds(150));
    RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpFor(std::chrono::milliseconds(50));
  }
  std::vector<RECT> StatusTexts(TfrmMain& window) {
    std::vector<RECT> rects;
    for (HWND part : {window.status_list().hwnd(), window.status_bar()}) {
      RECT rect{};
      GetWindowRect(part, &rect);
      MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
      rects.push_back(rect);
    }
    return rects;
  }
};

TEST_F(WindowRepaintTest, AResizedWindowPaintsAsOneOpenedAtItsSize) {
  TfrmMain& resized = OpenAt(700, 480, false);
  // A drag's steps, smaller and larger, each painted before the next.
  for (const SIZE step : {SIZE{900, 600}, SIZE{680, 470}, SIZE{1100, 720}, SIZE{1000, 700}}) {
    SetWindowPos(resized.hwnd(), nullptr, 0, 0, step.cx, step.cy, SWP_NOMOVE | SWP_NOZORDER);
    PumpFor(std::chrono::milliseconds(30));
  }
  Settle(resized);
  const Shot after_resize = TakeShot(resized.hwnd());
  const std::vector<RECT> skip = StatusTexts(resized);
  CloseWindow();
  TfrmMain& opened = OpenAt(1000, 700, false);
  const Shot as_opened = TakeShot(opened.hwnd());
  ASSERT_FALSE(after_resize.pixels.empty());
  ASSERT_FALSE(as_opened.pixels.empty());
  Keep(after_resize, "resized");
  Keep(as_opened, "opened");
  EXPECT_EQ(Differences(after_resize, as_opened, skip), 0);
}

TEST_F(WindowRepaintTest, AMaximizedWindowPaintsAsOneOpenedMaximized) {
  TfrmMain& maximized = OpenAt(700, 480, false);
  ShowWindow(maximized.hwnd(), SW_MAXIMIZE);
  Settle(maximized);
  const Shot after_maximize = TakeShot(maximized.hwnd());
  const std::vector<RECT> skip = StatusTexts(maximized);
  CloseWindow();
  TfrmMain& opened = OpenAt(700, 480, true);
  ASSERT_TRUE(IsZoomed(opened.hwnd()));
  const Shot as_opened = TakeShot(opened.hwnd());
  ASSERT_FALSE(after_maximize.pixels.empty());
  ASSERT_FALSE(as_opened.pixels.empty());
  Keep(after_maximize, "maximized");
  Keep(as_opened, "opened-maximized");
  EXPECT_EQ(Differences(after_maximize, as_opened, skip), 0);
}

// ---- The same tests at 144 DPI ----

// Sets the DPI that processes started from now on see, and puts back what the prefix had when it
// goes, also when the test fails.
class LogPixelsGuard {
 public:
  LogPixelsGuard() {
    DWORD size = sizeof(former_);
    had_value_ = RegGetValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr,
                              &former_, &size) == ERROR_SUCCESS;
  }
  ~LogPixelsGuard() {
    if (had_value_) {
      Set(former_);
    } else {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"LogPixels");
        RegCloseKey(key);
      }
    }
  }
  LogPixelsGuard(const LogPixelsGuard&) = delete;
  LogPixelsGuard& operator=(const LogPixelsGuard&) = delete;

  bool Set(DWORD dpi) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const bool set = RegSetValueExW(key, L"LogPixels", 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi)) == 0;
    RegCloseKey(key);
    return set;
  }

 private:
  static constexpr const wchar_t* kKey = L"Control Panel\\Desktop";
  DWORD former_ = 0;
  bool had_value_ = false;
};

// Runs this test program with `filter` in a process of its own; its exit code (-1 when it did not
// end within `bound`) and its output.
std::pair<DWORD, std::string> RunTests(const std::wstring& filter, const std::string& output,
                                       DWORD bound_ms) {
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring command =
      L"\"" + std::wstring(program) + L"\" --gtest_brief=1 --gtest_filter=" + filter;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE log = CreateFileW(ToWide(output).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = log;
  startup.hStdError = log;
  PROCESS_INFORMATION process{};
  DWORD code = static_cast<DWORD>(-1);
  if (CreateProcessW(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    if (WaitForSingleObject(process.hProcess, bound_ms) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &code);
    } else {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(log);
  std::ifstream file(output, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return {code, text.str()};
}

TEST_F(MainWindowTest, TheWindowTestsPassAgainAt144Dpi) {
  if (ExpectedDpi() != 0) GTEST_SKIP() << "this is the run at another DPI";
  std::pair<DWORD, std::string> result;
  {
    LogPixelsGuard guard;
    ASSERT_TRUE(guard.Set(144));
    SetEnvironmentVariableW(L"KEYLOOM_TEST_DPI", L"144");
    result =
        RunTests(L"WindowFitTest.*:WindowRepaintTest.*", folder_.Utf8() + "dpi144.txt", 240000);
    SetEnvironmentVariableW(L"KEYLOOM_TEST_DPI", nullptr);
  }
  EXPECT_EQ(result.first, 0u) << result.second;
  EXPECT_NE(result.second.find("PASSED"), std::string::npos) << result.second;
}

}  // namespace
}  // namespace keyloom::shell::testing
