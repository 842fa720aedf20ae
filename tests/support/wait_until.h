// Test support on every platform: waiting for a condition without a fixed sleep.
#pragma once

#include <chrono>
#include <thread>

namespace tessary::testing {

using namespace std::chrono_literals;

// Tests `condition` every `step` until it holds or `timeout` passes. The
// timeout only keeps a broken build from hanging; it is no performance bound.
template <typename Condition>
bool waitUntil(Condition&& condition, std::chrono::milliseconds timeout = 20s,
               std::chrono::milliseconds step = 2ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace tessary::testing
