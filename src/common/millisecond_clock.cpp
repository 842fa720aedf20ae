#include "common/millisecond_clock.h"

#include <chrono>

namespace tessary {

std::uint32_t SteadyMillisecondClock::nowMilliseconds() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  // Wrapping is intended: the countdown works on unsigned differences.
  return static_cast<std::uint32_t>(milliseconds);
}

SteadyMillisecondClock& SteadyMillisecondClock::instance() {
  static SteadyMillisecondClock clock;
  return clock;
}

}  // namespace tessary
