// The single-instance guard on Windows: the named mutex
// "Quon_Tessary_Instance" in the session's namespace, released by the system
// however the process ends.
#pragma once

#include <string>

#include "common/instance_guard.h"

namespace tessary {

class InstanceMutex final : public InstanceGuard {
 public:
  // `name` empty: kInstanceName.
  explicit InstanceMutex(std::string name = {});
  ~InstanceMutex() override;
  InstanceMutex(const InstanceMutex&) = delete;
  InstanceMutex& operator=(const InstanceMutex&) = delete;

  Outcome acquire() override;
  std::string describe() const override { return name_; }

 private:
  std::string name_;
  void* handle_ = nullptr;  // the mutex while we hold it
};

}  // namespace tessary
