// The application failure handler: every failure that nothing else caught on the GUI thread ends
// here. Outside the silent mode it shows an error box "Exception: " + the failure's text; in the
// silent mode it ends the program quietly with kExitFailure. A failure while handling is ignored.
//
// Window and dialog procedures run their handlers through Guarded, so no C++ exception ever
// crosses into user32.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace keyloom::shell {

// `silent_mode` (may be null: never silent) must outlive the handler's use.
void InstallFailureHandler(const std::atomic<bool>* silent_mode);
// Forgets `silent_mode` if it is the installed one (its owner is going away).
void UninstallFailureHandler(const std::atomic<bool>* silent_mode);

// Where the error box goes; tests replace it to see the text. Empty: the message box.
using FailureSink = std::function<void(const std::string& message)>;
void SetFailureSink(FailureSink sink);

void HandleFailure(std::string_view text) noexcept;

// Runs fn(); a failure it raises goes to HandleFailure and `fallback` is returned.
template <typename R, typename Fn>
R Guarded(R fallback, Fn&& fn) noexcept {
  try {
    return fn();
  } catch (const std::exception& e) {
    HandleFailure(e.what());
  } catch (...) {
    HandleFailure("Unknown failure");
  }
  return fallback;
}

}  // namespace keyloom::shell
