// The remote-machine choice against the memory registry's machines: the candidate name, the
// animation, success, failure, Cancel, and a connection the system never answers.
#include "shell/net_machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "base/text.h"
#include "registry/forwarding_reg_api.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"

namespace keyloom::shell {
namespace {

using ::testing::ElementsAre;
using Clock = std::chrono::steady_clock;

TEST(MachineCandidateTest, BlanksAndLeadingBackslashesGiveTheBareNameAfterTwoBackslashes) {
  const struct {
    const char* typed;
    std::optional<std::string> candidate;
  } cases[] = {
      {"SERVER", "\\\\SERVER"},
      {"  SERVER \t", "\\\\SERVER"},
      {"\\\\SERVER", "\\\\SERVER"},
      {" \\\\\\SERVER ", "\\\\SERVER"},
      {"\\\\server.example.com", "\\\\server.example.com"},
      {"192.168.10.7", "\\\\192.168.10.7"},
      {"", std::nullopt},
      {" \t ", std::nullopt},
      {"\\\\", std::nullopt},  // no name after the backslashes
      {" \\\\ ", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(MachineCandidate(c.typed), c.candidate) << c.typed;
}

TEST(NextWaitTextTest, DotsGrowToThirtyOneCharactersThenStartAgain) {
  std::string text = kPleaseWait;
  for (int step = 1; step <= 20; ++step) {
    text = NextWaitText(text);
    ASSERT_EQ(text, std::string(kPleaseWait) + std::string(static_cast<std::size_t>(step), '.'));
  }
  EXPECT_EQ(text.size(), 31u);
  EXPECT_EQ(NextWaitText(text), kPleaseWait);
}

// Remote connections wait until released while holding is on; the local one never waits.
class HeldConnections : public reg::ForwardingRegApi {
 public:
  using ForwardingRegApi::ForwardingRegApi;

  reg::ErrorCode ConnectRegistry(std::string_view machine, reg::KeyHandle root,
                                 reg::KeyHandle* result) override {
    if (!machine.empty()) {
      std::unique_lock lock(mutex_);
      ++entered_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return !holding_; });
    }
    return ForwardingRegApi::ConnectRegistry(machine, root, result);
  }
  void Hold() {
    std::lock_guard lock(mutex_);
    holding_ = true;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    holding_ = false;
    changed_.notify_all();
  }
  bool WaitEntered(int attempts) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entered_ >= attempts; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false;
  int entered_ = 0;
};

class NetMachineFlowTest : public ::testing::Test, public NetMachineWindow {
 protected:
  NetMachineFlowTest() {
    registry_->AddMachine("SERVER", true);
    registry_->AddMachine("192.168.10.7", true);
  }
  ~NetMachineFlowTest() override {
    held_.Release();
    flow_.reset();
    for (const auto& count : in_flight_) EXPECT_TRUE(AttemptsEnded(*count));
  }

  NetMachineFlow& Flow(std::chrono::milliseconds pace = std::chrono::milliseconds(5)) {
    NetMachineFlow::Options options;
    options.api = &held_;
    options.wake = [this] {
      std::lock_guard lock(wake_mutex_);
      ++wakes_;
      woken_.notify_all();
    };
    options.pace = pace;
    flow_ = std::make_unique<NetMachineFlow>(*this, std::move(options));
    in_flight_.push_back(flow_->AttemptsInFlight());
    return *flow_;
  }

  // The GUI thread's part: Refresh after each wake until `done` holds.
  bool RefreshUntil(const std::function<bool()>& done) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    int seen = -1;
    while (Clock::now() < deadline) {
      {
        std::unique_lock lock(wake_mutex_);
        woken_.wait_for(lock, std::chrono::milliseconds(20), [&] { return wakes_ != seen; });
        seen = wakes_;
      }
      flow_->Refresh();
      if (done()) return true;
    }
    return false;
  }
  int Wakes() {
    std::lock_guard lock(wake_mutex_);
    return wakes_;
  }
  bool Closed() const { return !events_.empty() && events_.back() == "close"; }

  // Waits until every attempt counted by `count` has returned; false after ten seconds.
  static bool AttemptsEnded(const std::atomic<int>& count) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (count > 0) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  // NetMachineWindow: what the dialog and the main window are told.
  void ShowStatus(const std::string& text) override { events_.push_back("status " + text); }
  void EnableConnect(bool enabled) override {
    events_.push_back(enabled ? "connect on" : "connect off");
  }
  void SetSearchMachine(const std::string& machine) override {
    events_.push_back("machine " + machine);
  }
  void EmptyKeyList() override { events_.push_back("empty list"); }
  void CloseDialog() override { events_.push_back("close"); }

  std::unique_ptr<reg::MemoryRegistry> registry_ = reg::NewMemoryRegistry();
  HeldConnections held_{*registry_};
  std::unique_ptr<NetMachineFlow> flow_;
  std::vector<std::shared_ptr<const std::atomic<int>>> in_flight_;
  std::mutex wake_mutex_;
  std::condition_variable woken_;
  int wakes_ = 0;
  std::vector<std::string> events_;
};

// The events after the last "Please wait..." step.
std::vector<std::string> AfterAnimation(const std::vector<std::string>& events) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].rfind(std::string("status ") + kPleaseWait, 0) == 0) start = i + 1;
  }
  return {events.begin() + static_cast<std::ptrdiff_t>(start), events.end()};
}

TEST_F(NetMachineFlowTest, AWrongNameShowsTheErrorAndAnAnsweringMachineBecomesTheSearchMachine) {
  for (const auto& [typed, machine] :
       {std::pair{"  \\\\SERVER ", "\\\\SERVER"}, std::pair{"192.168.10.7", "\\\\192.168.10.7"}}) {
    SCOPED_TRACE(typed);
    NetMachineFlow& flow = Flow();
    // A name no machine answers to shows the error and leaves the dialog open.
    events_.clear();
    flow.btnConnectClick("NOSUCHHOST");
    ASSERT_TRUE(RefreshUntil([&] { return !flow.Testing(); }));
    EXPECT_THAT(AfterAnimation(events_),
                ElementsAre("status Error: [" +
                                text::TrimMessage(registry_->ErrorMessage(reg::kBadNetPath)) + "]",
                            "connect on"));

    events_.clear();
    flow.btnConnectClick(typed);
    EXPECT_TRUE(flow.Testing());
    ASSERT_THAT(events_, ElementsAre("connect off", std::string("status ") + kPleaseWait));
    ASSERT_TRUE(RefreshUntil([&] { return Closed(); }));
    EXPECT_THAT(AfterAnimation(events_),
                ElementsAre("status " + MachineSetText(machine), "connect on",
                            std::string("machine ") + machine, "empty list", "close"));
    EXPECT_EQ(MachineSetText(machine), std::string("Search Machine set to : \"") + machine + "\"");
    EXPECT_FALSE(flow.Testing());
    ASSERT_TRUE(AttemptsEnded(*flow.AttemptsInFlight()));
    EXPECT_EQ(registry_->OpenHandleCount(), 0u);  // the test connection is closed again
  }
}

TEST_F(NetMachineFlowTest, ABlankNameTriesNoConnectionAndCancelShowsAFailingLocalTest) {
  NetMachineFlow& flow = Flow();
  registry_->ResetCallCounts();
  flow.btnConnectClick("  ");
  flow.btnConnectClick("\\\\");
  EXPECT_THAT(events_, ElementsAre(std::string("status ") + kInvalidMachineName));
  EXPECT_FALSE(flow.Testing());
  EXPECT_EQ(registry_->CallCount(reg::MemoryRegistry::Op::kConnectRegistry), 0u);

  // Cancel returns to the local machine, whose failing test is shown.
  events_.clear();
  registry_->InjectFault({reg::MemoryRegistry::Op::kConnectRegistry, "", 0, reg::kAccessDenied});
  flow.btnCancelClick();
  EXPECT_THAT(events_,
              ElementsAre("machine ",
                          "status Error: [" +
                              text::TrimMessage(registry_->ErrorMessage(reg::kAccessDenied)) + "]",
                          "close"));
}

// Twenty dialogs end while their attempt waits, then one is cancelled while it waits: Cancel
// returns at once, and the late answers change nothing and leave no connection open.
TEST_F(NetMachineFlowTest, CancelledAndAbandonedAttemptsLeaveNothingBehindOnceTheyReturn) {
  held_.Hold();
  for (int i = 0; i < 20; ++i) {
    Flow().btnConnectClick("SERVER");
    flow_.reset();  // the dialog's end abandons the test
    EXPECT_EQ(*in_flight_.back(), 1);
  }
  EXPECT_EQ(events_.size(), 40u);  // "connect off" and "Please wait" each time
  NetMachineFlow& flow = Flow(std::chrono::milliseconds(2));
  flow.btnConnectClick("SERVER");
  ASSERT_TRUE(held_.WaitEntered(21));
  EXPECT_EQ(*flow.AttemptsInFlight(), 1);

  // The dots grow to 31 characters and start again while nothing answers.
  std::vector<std::string> statuses;
  ASSERT_TRUE(RefreshUntil([&] {
    statuses.clear();
    for (const std::string& e : events_) {
      if (e.rfind("status ", 0) == 0) statuses.push_back(e.substr(7));
    }
    for (std::size_t i = 1; i < statuses.size(); ++i) {
      if (statuses[i].size() < statuses[i - 1].size()) return true;
    }
    return false;
  }));
  const std::string wait = kPleaseWait;
  for (const std::string& status : statuses) {
    EXPECT_LE(status.size(), kWaitTextLength);
    EXPECT_EQ(status,
              wait + std::string(status.size() - std::min(status.size(), wait.size()), '.'));
  }

  events_.clear();
  const auto start = Clock::now();
  flow.btnCancelClick();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_THAT(events_, ElementsAre("machine ", "close"));
  EXPECT_FALSE(flow.Testing());

  // The attempts answer (successfully) after Cancel and the dialogs' end.
  events_.clear();
  const int wakes_before = Wakes();
  held_.Release();
  for (const auto& count : in_flight_) ASSERT_TRUE(AttemptsEnded(*count));
  EXPECT_EQ(Wakes(), wakes_before);
  flow.Refresh();
  EXPECT_TRUE(events_.empty()) << ::testing::PrintToString(events_);
  EXPECT_EQ(registry_->OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace keyloom::shell
