// Which cameras are lost right now: set by a backend's streaming side when a
// camera fails, ends or stalls and again when it returns, read by the tray
// from any thread.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace tessary {

class CameraPresence {
 public:
  void setAbsent(const std::string& name, bool absent) {
    std::lock_guard lock(mutex_);
    if (absent) {
      absent_.insert(name);
    } else {
      absent_.erase(name);
    }
  }
  bool absent(std::string_view name) const {
    std::lock_guard lock(mutex_);
    return absent_.find(name) != absent_.end();
  }

 private:
  mutable std::mutex mutex_;
  std::set<std::string, std::less<>> absent_;  // guarded by mutex_
};

}  // namespace tessary
