#include "platform/windows/windows_termination.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "common/instance_guard.h"

namespace tessary {
namespace {

std::atomic<WindowsTermination*> gInstance{nullptr};

BOOL WINAPI onConsoleControl(DWORD event) {
  WindowsTermination* instance = gInstance.load();
  return instance != nullptr && instance->onConsoleEvent(event) ? TRUE : FALSE;
}

}  // namespace

WindowsTermination::WindowsTermination(std::string eventName) {
  if (eventName.empty()) eventName = kExitEventName;
  exitEvent_ = ::CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
  stopEvent_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  gInstance.store(this);
  ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
  if (exitEvent_ != nullptr && stopEvent_ != nullptr) watcher_ = std::thread(&WindowsTermination::watch, this);
}

WindowsTermination::~WindowsTermination() {
  ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
  gInstance.store(nullptr);
  if (watcher_.joinable()) {
    ::SetEvent(stopEvent_);
    watcher_.join();
  }
  if (exitEvent_ != nullptr) ::CloseHandle(exitEvent_);
  if (stopEvent_ != nullptr) ::CloseHandle(stopEvent_);
}

void WindowsTermination::startDelivery(std::function<void()> onRequest) {
  std::lock_guard guard(lock_);
  onRequest_ = std::move(onRequest);
  if (pending_ && onRequest_) {
    pending_ = false;
    onRequest_();
  }
}

void WindowsTermination::stopDelivery() {
  std::lock_guard guard(lock_);
  onRequest_ = nullptr;
}

void WindowsTermination::request() {
  std::lock_guard guard(lock_);
  if (onRequest_) {
    onRequest_();
  } else {
    pending_ = true;
  }
}

bool WindowsTermination::onConsoleEvent(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      request();
      // Handled: Windows must not end the process before our shut-down ran.
      return true;
    default:
      return false;
  }
}

void WindowsTermination::watch() {
  HANDLE events[2] = {stopEvent_, exitEvent_};
  for (;;) {
    const DWORD which = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0 + 1) return;  // stopped, or the wait failed
    request();
  }
}

int quitRunningCopy(unsigned long timeoutMs) {
  HANDLE exitEvent = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, kExitEventName);
  const std::string mutexName(kInstanceName);
  HANDLE instance = ::OpenMutexA(SYNCHRONIZE, FALSE, mutexName.c_str());
  if (exitEvent == nullptr || instance == nullptr) {
    if (exitEvent != nullptr) ::CloseHandle(exitEvent);
    if (instance != nullptr) ::CloseHandle(instance);
    std::fputs("tessary: no running copy to end\n", stderr);
    return 1;
  }
  ::SetEvent(exitEvent);
  ::CloseHandle(exitEvent);
  // The running copy holds the mutex until its process ends; we get it
  // (or find it abandoned) once it has.
  const DWORD waited = ::WaitForSingleObject(instance, timeoutMs);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ::ReleaseMutex(instance);
  ::CloseHandle(instance);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return 0;
  std::fputs("tessary: the running copy did not end in time\n", stderr);
  return 2;
}

}  // namespace tessary
