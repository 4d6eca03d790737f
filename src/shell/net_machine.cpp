#include "shell/net_machine.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "registry/registry.h"

namespace keyloom::shell {
namespace {

// Blanks and control characters around a name.
std::string_view Trimmed(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::string> MachineCandidate(std::string_view typed) {
  std::string_view name = Trimmed(typed);
  while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
  // "\\" alone would name the local machine under a remote name: no name is left.
  name = Trimmed(name);
  if (name.empty()) return std::nullopt;
  return "\\\\" + std::string(name);
}

std::string NextWaitText(std::string_view text) {
  if (text.size() < kWaitTextLength) return std::string(text) + ".";
  return kPleaseWait;
}

std::string MachineSetText(std::string_view machine) {
  return "Search Machine set to : \"" + std::string(machine) + "\"";
}

std::string ConnectErrorText(std::string_view error) {
  return "Error: [" + std::string(error) + "]";
}

// One test, shared by the GUI thread, the driver and the attempt. `candidate` and `wake` are set
// before the workers start and never change; every field below `mutex` is guarded by it.
struct NetMachineFlow::Test {
  std::string candidate;
  std::function<void()> wake;

  std::mutex mutex;
  std::condition_variable changed;
  std::string status = kPleaseWait;
  bool result_arrived = false;  // the attempt produced its text: the animation stops
  bool connected = false;
  bool done = false;       // the attempt returned, or the test was abandoned
  bool abandoned = false;  // Cancel or the dialog's end: the test changes nothing any more
  bool driver_ended = false;
};

NetMachineFlow::NetMachineFlow(NetMachineWindow& window, Options options)
    : window_(window), options_(std::move(options)) {}

NetMachineFlow::~NetMachineFlow() { Abandon(); }

void NetMachineFlow::Show(const std::string& text) {
  if (shown_ == text) return;
  shown_ = text;
  window_.ShowStatus(text);
}

void NetMachineFlow::btnConnectClick(std::string_view typed) {
  if (Testing()) return;
  const std::optional<std::string> candidate = MachineCandidate(typed);
  if (!candidate) {
    Show(kInvalidMachineName);
    return;
  }
  auto test = std::make_shared<Test>();
  test->candidate = *candidate;
  test->wake = options_.wake;
  window_.EnableConnect(false);
  Show(kPleaseWait);
  ++*in_flight_;
  try {
    std::thread(Attempt, test, options_.api, in_flight_).detach();
  } catch (...) {
    --*in_flight_;
    window_.EnableConnect(true);
    throw;
  }
  test_ = test;
  try {
    driver_ = std::thread(Drive, test, options_.pace);
  } catch (...) {
    Abandon();
    window_.EnableConnect(true);
    throw;
  }
}

// The attempt owns its connection object, which lives exactly until the connection call returned
// and is closed before anyone hears of the result: from then on the attempt no longer needs the
// registry port.
void NetMachineFlow::Attempt(std::shared_ptr<Test> test, reg::RegApi* api,
                             std::shared_ptr<std::atomic<int>> in_flight) {
  bool connected = false;
  std::string error;
  {
    reg::TRegistry connection(*api);
    connection.SetRootKey(reg::kLocalMachine);
    connected = connection.RegistryConnect(test->candidate);
    if (!connected) error = connection.LastErrorText();
  }
  --*in_flight;
  std::lock_guard lock(test->mutex);
  if (test->abandoned) return;
  test->result_arrived = true;
  test->connected = connected;
  test->status = connected ? MachineSetText(test->candidate) : ConnectErrorText(error);
  test->done = true;
  test->changed.notify_all();
  if (test->wake) test->wake();
}

// Advances the animation once per pace until the attempt is done or the test abandoned.
void NetMachineFlow::Drive(std::shared_ptr<Test> test, std::chrono::milliseconds pace) {
  std::unique_lock lock(test->mutex);
  while (!test->done) {
    if (!test->result_arrived) {
      test->status = NextWaitText(test->status);
      if (test->wake) test->wake();
    }
    test->changed.wait_for(lock, pace, [&] { return test->done; });
  }
  test->driver_ended = true;
  if (!test->abandoned && test->wake) test->wake();
}

void NetMachineFlow::Refresh() {
  if (!test_) return;
  std::string status;
  bool ended = false;
  bool connected = false;
  {
    std::lock_guard lock(test_->mutex);
    status = test_->status;
    ended = test_->driver_ended;
    connected = test_->connected;
  }
  Show(status);
  if (!ended) return;
  if (driver_.joinable()) driver_.join();
  const std::string machine = test_->candidate;
  test_.reset();
  window_.EnableConnect(true);
  if (!connected) return;
  window_.SetSearchMachine(machine);
  window_.EmptyKeyList();
  window_.CloseDialog();
}

void NetMachineFlow::btnCancelClick() {
  Abandon();
  window_.SetSearchMachine("");
  reg::TRegistry local(*options_.api);
  local.SetRootKey(reg::kLocalMachine);
  if (!local.RegistryConnect("")) Show(ConnectErrorText(local.LastErrorText()));
  window_.CloseDialog();
}

// The driver only ever waits for its pace or the done flag, so the join returns at once.
void NetMachineFlow::Abandon() {
  if (test_) {
    std::lock_guard lock(test_->mutex);
    test_->abandoned = true;
    test_->done = true;
    test_->changed.notify_all();
  }
  if (driver_.joinable()) driver_.join();
  test_.reset();
}

}  // namespace keyloom::shell
