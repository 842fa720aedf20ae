// The single-instance guard on Linux: an exclusive flock on a file in the
// user's runtime folder, released by the kernel however the process ends.
#pragma once

#include <string>

#include "common/instance_guard.h"

namespace tessary {

class InstanceLock final : public InstanceGuard {
 public:
  // `path` empty: the default path (see instanceLockPath).
  explicit InstanceLock(std::string path = {});
  ~InstanceLock() override;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  Outcome acquire() override;
  const std::string& path() const { return path_; }
  std::string describe() const override { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// $XDG_RUNTIME_DIR/Quon_Tessary_Instance. Without a runtime folder the lock
// goes to /tmp, which all users share, so the name there carries the user id.
std::string instanceLockPath();

}  // namespace tessary
