// The choice of the machine whose registry the program searches ("Network Machine" dialog). The
// typed name becomes a candidate; a test connection to that machine's HKEY_LOCAL_MACHINE runs on a
// worker (the attempt) while a second worker (the driver) animates "Please wait"; only a test that
// succeeds sets the search machine, and Cancel returns to the local machine.
//
// How it works. The dialog's GUI thread owns a NetMachineFlow and calls it for Connect, Cancel and
// the dialog's end. The workers never touch a window or the search machine: they write the test's
// state (status text, result) into the test's shared record under its lock and call `wake`, which
// only posts a message to the GUI thread. The GUI thread answers with Refresh(), which shows that
// state through NetMachineWindow and carries out a success there: the search machine set, the Key
// List emptied, the dialog closed.
//
// A test the system never answers. Cancel (and the dialog's end) marks the test abandoned under its
// lock and ends the driver at once: the driver waits on nothing but its pacing. The attempt thread
// is detached; it keeps the shared record and its own connection object alive until its call
// returns, closes the connection, sees the mark and changes nothing. Nothing is woken and nothing
// is shown after Cancel, and nothing is left behind once the call returns. The registry port must
// therefore outlive every abandoned attempt (the program keeps its port to the process's end).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "registry/reg_api.h"

namespace keyloom::shell {

inline constexpr char kInvalidMachineName[] = "Invalid Machine Name.";
inline constexpr char kPleaseWait[] = "Please wait";
// The animation's dots grow until the text is this long, then it starts again.
inline constexpr std::size_t kWaitTextLength = 31;

// "\\" followed by the typed name without the blanks around it and without its leading
// backslashes; nothing when no name is left.
std::optional<std::string> MachineCandidate(std::string_view typed);
// The animation's next text: one more "." while shorter than kWaitTextLength, else "Please wait".
std::string NextWaitText(std::string_view text);
// Search Machine set to : "\\NAME"
std::string MachineSetText(std::string_view machine);
// Error: [the system's message]
std::string ConnectErrorText(std::string_view error);

// The dialog and the main window as the flow sees them; called on the GUI thread only.
class NetMachineWindow {
 public:
  virtual ~NetMachineWindow() = default;
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void EnableConnect(bool enabled) = 0;
  // SearchMachine: "\\NAME", or empty for the local machine.
  virtual void SetSearchMachine(const std::string& machine) = 0;
  virtual void EmptyKeyList() = 0;
  virtual void CloseDialog() = 0;
};

class NetMachineFlow {
 public:
  struct Options {
    reg::RegApi* api = nullptr;  // required; outlives every attempt, abandoned ones included
    // Called by the workers, under the test's lock: must only hand a note to the GUI thread
    // (post a message), never block and never call back into the flow.
    std::function<void()> wake;
    std::chrono::milliseconds pace{1000};  // one animation step
  };

  NetMachineFlow(NetMachineWindow& window, Options options);
  NetMachineFlow(const NetMachineFlow&) = delete;
  NetMachineFlow& operator=(const NetMachineFlow&) = delete;
  // The dialog's end (FormDestroy): a test in progress is abandoned; SearchMachine stays.
  ~NetMachineFlow();

  // Starts the test of `typed` and returns at once; ignored while a test runs.
  void btnConnectClick(std::string_view typed);
  // Abandons a test in progress, returns to the local machine and closes the dialog. Returns at
  // once even when the system never answers the test.
  void btnCancelClick();
  // After a wake: shows what the workers produced and carries out a finished test.
  void Refresh();

  bool Testing() const { return test_ != nullptr; }
  // How many attempts of this flow still use the registry port (their connection call has not
  // returned or their connection is not closed yet), abandoned ones included. The count outlives
  // the flow. An attempt whose result was shown no longer uses the port.
  std::shared_ptr<const std::atomic<int>> AttemptsInFlight() const { return in_flight_; }

 private:
  struct Test;
  static void Attempt(std::shared_ptr<Test> test, reg::RegApi* api,
                      std::shared_ptr<std::atomic<int>> in_flight);
  static void Drive(std::shared_ptr<Test> test, std::chrono::milliseconds pace);
  void Show(const std::string& text);
  void Abandon();

  NetMachineWindow& window_;
  Options options_;
  std::shared_ptr<Test> test_;  // the test in progress (until Refresh sees its driver end)
  std::thread driver_;
  std::shared_ptr<std::atomic<int>> in_flight_ = std::make_shared<std::atomic<int>>(0);
  std::optional<std::string> shown_;
};

}  // namespace keyloom::shell
