#include "common/periodic_timer.h"

#include <algorithm>
#include <system_error>

namespace tessary {
namespace {

class SteadyTimerDevice final : public TimerDevice {
 public:
  std::uint32_t getCapabilities(TimerCapabilities& capabilities) override {
    capabilities = kSteadyTimerCapabilities;
    return kTimerNoError;
  }
  std::uint32_t beginPeriod(std::uint32_t) override { return kTimerNoError; }
  void endPeriod(std::uint32_t) override {}
};

// Limits `value` to the device's range; a device that reports its limits the
// wrong way round still yields a value inside [min, max(min, max)], and a
// period of 0 would spin, so 1 ms is the floor.
std::uint32_t limitTo(const TimerCapabilities& capabilities, std::uint32_t value) {
  const std::uint32_t low = std::max<std::uint32_t>(capabilities.periodMin, 1);
  const std::uint32_t high = std::max(low, capabilities.periodMax);
  return std::clamp(value, low, high);
}

}  // namespace

TimerDevice& steadyTimerDevice() {
  static SteadyTimerDevice device;
  return device;
}

PeriodicTimer::PeriodicTimer(TimerCallback& client, TimerDevice& device)
    : client_(client), device_(device) {}

PeriodicTimer::~PeriodicTimer() {
  stop();
  bool selfDestroy = false;
  {
    std::lock_guard guard(lock_);
    quit_ = true;
    selfDestroy = onTimerThread();
  }
  wake_.notify_all();
  if (!worker_.joinable()) return;
  // Destruction from the client's own fire is a caller bug; detaching at
  // least avoids joining ourselves.
  if (selfDestroy) {
    worker_.detach();
  } else {
    worker_.join();
  }
}

bool PeriodicTimer::start(std::uint32_t period, std::uint32_t& error, std::uint32_t resolution) {
  error = kTimerNoError;
  stop();
  {
    std::lock_guard guard(lock_);
    TimerCapabilities capabilities;
    if (const std::uint32_t code = device_.getCapabilities(capabilities); code != kTimerNoError) {
      error = code;
      return false;
    }
    const std::uint32_t wantedResolution = limitTo(capabilities, resolution);
    if (const std::uint32_t code = device_.beginPeriod(wantedResolution); code != kTimerNoError) {
      resolution_ = 0;
      error = code;
      return false;
    }
    resolution_ = wantedResolution;
    period_ = limitTo(capabilities, period);
    if (!worker_.joinable()) {
      try {
        worker_ = std::thread(&PeriodicTimer::workerLoop, this);
      } catch (const std::system_error&) {
        releaseResolutionLocked();
        error = kTimerErrorCannotCreate;
        return false;
      }
    }
  }
  client_.onStart();
  {
    std::lock_guard guard(lock_);
    // A stop from another thread during onStart wins.
    if (period_ == 0) return false;
    if (++lastTimerId_ == 0) ++lastTimerId_;
    timerId_ = lastTimerId_;
    ++run_;
    deadline_ = Clock::now() + std::chrono::milliseconds(period_);
  }
  wake_.notify_all();
  return true;
}

void PeriodicTimer::stop() {
  bool stopped = false;
  {
    std::unique_lock guard(lock_);
    if (timerId_ != 0) {
      timerId_ = 0;
      ++run_;
      stopped = true;
      wake_.notify_all();
    }
    // Even when the timer was already stopped (say by its own client), an
    // event may still be running: wait for it, so the caller may tear the
    // client down once we return. Never wait for ourselves.
    if (inEvent_ && !onTimerThread()) {
      const std::uint64_t seen = eventsFinished_;
      wake_.wait(guard, [&] { return eventsFinished_ != seen; });
    }
    releaseResolutionLocked();
  }
  if (stopped) client_.onStop();
}

bool PeriodicTimer::isRunning() const {
  std::lock_guard guard(lock_);
  return timerId_ != 0;
}

std::uint32_t PeriodicTimer::period() const {
  std::lock_guard guard(lock_);
  return period_;
}

std::uint32_t PeriodicTimer::resolution() const {
  std::lock_guard guard(lock_);
  return resolution_;
}

bool PeriodicTimer::onTimerThread() const {
  return worker_.get_id() == std::this_thread::get_id();
}

void PeriodicTimer::releaseResolutionLocked() {
  if (resolution_ != 0) device_.endPeriod(resolution_);
  resolution_ = 0;
  period_ = 0;
}

void PeriodicTimer::workerLoop() {
  std::unique_lock guard(lock_);
  while (!quit_) {
    if (timerId_ == 0) {
      wake_.wait(guard);
      continue;
    }
    const std::uint64_t run = run_;
    if (wake_.wait_until(guard, deadline_, [&] { return quit_ || run_ != run; })) continue;

    inEvent_ = true;
    guard.unlock();
    if (!client_.fire()) stop();
    guard.lock();
    inEvent_ = false;
    ++eventsFinished_;
    wake_.notify_all();

    if (run_ != run) continue;  // stopped or restarted meanwhile: new deadline
    const auto period = std::chrono::milliseconds(period_);
    deadline_ += period;
    const auto now = Clock::now();
    if (deadline_ <= now) deadline_ += ((now - deadline_) / period + 1) * period;
  }
}

}  // namespace tessary
