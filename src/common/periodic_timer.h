// A periodic timer that calls a client object on a thread of its own.
//
// Events follow a steady clock: each deadline is the previous deadline plus
// the period, so the rate does not drift with the time the client spends in
// `fire`. When the client overruns, the missed events are dropped rather
// than delivered in a burst, and the phase is kept.
//
// Threads. `start` and `stop` may be called from any thread, including from
// inside the client's `fire` on the timer thread:
//  - `stop` from another thread returns only once an event in progress has
//    finished; afterwards the client is never called again (apart from its
//    `onStop`, which `stop` itself calls last). The caller must therefore not
//    hold a lock that the client's `fire` may take.
//  - `stop` (or `start`) from inside `fire` does not wait for itself: it
//    takes effect for every later event and returns at once.
// The timer must not be destroyed from inside its own client's `fire`.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tessary {

// What a `PeriodicTimer` calls.
class TimerCallback {
 public:
  virtual ~TimerCallback() = default;

  // Called once per period on the timer thread. Returning false asks the
  // timer to stop: no further `fire` follows.
  virtual bool fire() = 0;
  // Called once after the timer was started, before the first `fire`.
  virtual void onStart() {}
  // Called once after the timer was stopped (by `stop`, by a `fire` that
  // returned false, or by destruction), after the last `fire`.
  virtual void onStop() {}
};

// Error codes of `PeriodicTimer::start`. The device's own codes are passed
// through unchanged; a timer thread that cannot be created gives
// kTimerErrorCannotCreate.
inline constexpr std::uint32_t kTimerNoError = 0;
inline constexpr std::uint32_t kTimerErrorCannotCreate = 97;

// The smallest and largest period (and resolution) the timer device supports.
struct TimerCapabilities {
  std::uint32_t periodMin = 0;
  std::uint32_t periodMax = 0;
};

// The system side of the timer: its limits and resolution requests. Every
// operation returns kTimerNoError or an error code. Implementations must not
// call back into the timer.
class TimerDevice {
 public:
  virtual std::uint32_t getCapabilities(TimerCapabilities& capabilities) = 0;
  virtual std::uint32_t beginPeriod(std::uint32_t resolution) = 0;
  virtual void endPeriod(std::uint32_t resolution) = 0;

 protected:
  ~TimerDevice() = default;
};

// The device behind every timer unless a test supplies another: the standard
// steady clock, with periods from 1 ms to 1,000,000 ms. Resolution requests
// always succeed and change nothing, since the clock is fine-grained anyway.
TimerDevice& steadyTimerDevice();
inline constexpr TimerCapabilities kSteadyTimerCapabilities{1, 1'000'000};

class PeriodicTimer {
 public:
  explicit PeriodicTimer(TimerCallback& client, TimerDevice& device = steadyTimerDevice());
  ~PeriodicTimer();

  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

  // Starts (or restarts) the timer with `period` ms between events. The
  // period and the resolution are limited to the device's capabilities.
  // `error` receives kTimerNoError or the reason of a failure. Returns
  // whether the timer runs.
  bool start(std::uint32_t period, std::uint32_t& error, std::uint32_t resolution);
  // Stops the timer and releases the resolution held; see the threads note.
  void stop();

  bool isRunning() const;
  // The period and resolution in force; 0 while stopped.
  std::uint32_t period() const;
  std::uint32_t resolution() const;

 private:
  using Clock = std::chrono::steady_clock;

  bool onTimerThread() const;
  void releaseResolutionLocked();
  void workerLoop();

  TimerCallback& client_;
  TimerDevice& device_;

  // The stop lock: guards every field below. Never held while the client is
  // called; held while the device is asked (the device is a leaf).
  mutable std::mutex lock_;
  std::condition_variable wake_;  // deadline changes, stops, finished events
  std::thread worker_;            // created by the first successful start
  std::uint32_t period_ = 0;
  std::uint32_t resolution_ = 0;
  std::uint32_t timerId_ = 0;     // not 0 while running
  std::uint32_t lastTimerId_ = 0;
  std::uint64_t run_ = 0;         // bumped by every start and stop
  Clock::time_point deadline_{};
  bool inEvent_ = false;          // the worker is inside `fire`
  std::uint64_t eventsFinished_ = 0;
  bool quit_ = false;
};

}  // namespace tessary
