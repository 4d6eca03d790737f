#include "engine/win32/event_pause_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace keyloom::engine {
namespace {

TEST(EventPauseGate, IsANamedEventThatHoldsAWaiterUntilOpened) {
  HWND window = GetDesktopWindow();
  EventPauseGate gate(window);
  const std::wstring name = L"Pause:" + std::to_wstring(reinterpret_cast<std::uintptr_t>(window));
  HANDLE named = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
  ASSERT_NE(named, nullptr) << "the gate is the event of that name";
  EXPECT_EQ(WaitForSingleObject(named, 0), WAIT_OBJECT_0) << "created closed, then opened at once";
  EXPECT_TRUE(gate.IsOpen(2));

  gate.Close();
  EXPECT_FALSE(gate.IsOpen(2));
  EXPECT_EQ(WaitForSingleObject(named, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  std::atomic<bool> passed{false};
  std::thread worker([&] { passed = gate.Wait(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(passed) << "a closed gate holds the worker";
  gate.Open();
  worker.join();
  EXPECT_TRUE(passed);
  EXPECT_EQ(WaitForSingleObject(named, 0), WAIT_OBJECT_0);
  CloseHandle(named);
}

}  // namespace
}  // namespace keyloom::engine
