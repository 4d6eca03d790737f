#include "engine/win32/event_pause_gate.h"

#include <string>

namespace keyloom::engine {

EventPauseGate::EventPauseGate(HWND window) {
  const std::wstring name = L"Pause:" + std::to_wstring(reinterpret_cast<std::uintptr_t>(window));
  event_ = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  Open();
}

EventPauseGate::~EventPauseGate() {
  if (event_ != nullptr) CloseHandle(event_);
}

void EventPauseGate::Open() {
  if (event_ == nullptr) return;
  open_ = true;
  SetEvent(event_);
}

void EventPauseGate::Close() {
  if (event_ == nullptr) return;
  open_ = false;
  ResetEvent(event_);
}

bool EventPauseGate::Wait() {
  if (event_ == nullptr) return false;
  return open_ || WaitForSingleObject(event_, INFINITE) == WAIT_OBJECT_0;
}

bool EventPauseGate::IsOpen(int milliseconds) {
  if (event_ == nullptr) return false;
  return open_ || WaitForSingleObject(event_, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

}  // namespace keyloom::engine
