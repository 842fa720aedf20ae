// The clock that the pause countdown reads: milliseconds on a 32-bit counter
// that only moves forward (and wraps).
#pragma once

#include <cstdint>

namespace tessary {

class MillisecondClock {
 public:
  virtual std::uint32_t nowMilliseconds() = 0;

 protected:
  ~MillisecondClock() = default;
};

// Milliseconds of the steady clock, unaffected by changes of the wall time.
class SteadyMillisecondClock final : public MillisecondClock {
 public:
  std::uint32_t nowMilliseconds() override;

  // The process-wide instance used when no other clock is given.
  static SteadyMillisecondClock& instance();
};

}  // namespace tessary
