// Keeps a second copy of the program from running for the same user.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

inline constexpr std::string_view kInstanceName = "Quon_Tessary_Instance";

class InstanceGuard {
 public:
  enum class Outcome {
    kFirst,           // this copy holds the guard until it ends
    kAnotherRunning,  // another copy holds it: end at once
    kUnavailable,     // the guard cannot be taken; run unguarded
  };

  virtual Outcome acquire() = 0;
  // What the guard is, for messages: a lock file's path, a mutex's name.
  virtual std::string describe() const = 0;
  virtual ~InstanceGuard() = default;
};

}  // namespace tessary
