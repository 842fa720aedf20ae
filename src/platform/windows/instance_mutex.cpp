#include "platform/windows/instance_mutex.h"

#include <windows.h>

namespace tessary {

InstanceMutex::InstanceMutex(std::string name)
    : name_(name.empty() ? std::string(kInstanceName) : std::move(name)) {}

InstanceMutex::~InstanceMutex() {
  if (handle_ != nullptr) ::CloseHandle(handle_);
}

InstanceGuard::Outcome InstanceMutex::acquire() {
  if (handle_ != nullptr) return Outcome::kFirst;
  HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name_.c_str());
  if (mutex == nullptr) {
    // Another program's object of another kind under our name, or no rights.
    return ::GetLastError() == ERROR_ACCESS_DENIED ? Outcome::kAnotherRunning : Outcome::kUnavailable;
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return Outcome::kAnotherRunning;
  }
  handle_ = mutex;
  return Outcome::kFirst;
}

}  // namespace tessary
