#include "shell/win32/failure_handler.h"

#include <windows.h>

#include <mutex>

#include "shell/about_text.h"
#include "shell/exit_codes.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

std::atomic<const std::atomic<bool>*> g_silent_mode{nullptr};
std::mutex g_sink_mutex;
FailureSink g_sink;

}  // namespace

void InstallFailureHandler(const std::atomic<bool>* silent_mode) { g_silent_mode = silent_mode; }

void UninstallFailureHandler(const std::atomic<bool>* silent_mode) {
  g_silent_mode.compare_exchange_strong(silent_mode, nullptr);
}

void SetFailureSink(FailureSink sink) {
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  g_sink = std::move(sink);
}

void HandleFailure(std::string_view text) noexcept {
  try {
    const std::atomic<bool>* silent = g_silent_mode.load();
    if (silent != nullptr && silent->load()) ExitProcess(static_cast<UINT>(kExitFailure));
    const std::string message = std::string("Exception: ").append(text);
    FailureSink sink;
    {
      std::lock_guard<std::mutex> lock(g_sink_mutex);
      sink = g_sink;
    }
    if (sink) {
      sink(message);
      return;
    }
    MessageBoxW(GetActiveWindow(), ToWide(message).c_str(), kAppTitle,
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
  } catch (...) {
    // A failure while reporting a failure is dropped.
  }
}

}  // namespace keyloom::shell
