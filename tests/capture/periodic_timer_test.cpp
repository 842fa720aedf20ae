#include "zones/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace tessary {
namespace {

using namespace std::chrono_literals;

// Counts the calls, notes overlapping events, and runs an optional hook inside fire.
class CountingClient : public TimerCallback {
 public:
  bool fire() override {
    if (++inFire_ > 1) overlapped_ = true;
    ++fires_;
    const bool keep = onFire ? onFire() : true;
    --inFire_;
    return keep;
  }
  void onStart() override { ++starts_; }
  void onStop() override { ++stops_; }

  std::function<bool()> onFire;
  std::atomic<int> fires_{0}, starts_{0}, stops_{0}, inFire_{0};
  std::atomic<bool> overlapped_{false};
};

// A device with chosen limits and failures, recording resolution requests.
class FakeDevice final : public TimerDevice {
 public:
  std::uint32_t getCapabilities(TimerCapabilities& capabilities) override {
    capabilities = limits;
    return capabilitiesError;
  }
  std::uint32_t beginPeriod(std::uint32_t resolution) override {
    if (beginError == kTimerNoError) ++held;
    lastBegun = resolution;
    return beginError;
  }
  void endPeriod(std::uint32_t resolution) override {
    --held;
    lastEnded = resolution;
  }

  TimerCapabilities limits{1, 1'000'000};
  std::uint32_t capabilitiesError = kTimerNoError, beginError = kTimerNoError;
  int held = 0;
  std::uint32_t lastBegun = 0, lastEnded = 0;
};

bool waitFor(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(PeriodicTimerTest, FixedDeadlinesUntilStoppedAndNothingAfter) {
  CountingClient client;
  client.onFire = [] {
    std::this_thread::sleep_for(12ms);
    return true;
  };
  PeriodicTimer timer(client);
  std::uint32_t error = 1;
  ASSERT_TRUE(timer.start(20, error, 1));
  EXPECT_EQ(error, kTimerNoError);
  EXPECT_EQ(client.starts_, 1);
  std::this_thread::sleep_for(1000ms);
  timer.stop();
  // Fixed deadlines give about 50 events; a full period after each event about 31.
  const int fired = client.fires_;
  EXPECT_GE(fired, 40);
  EXPECT_LE(fired, 55);
  EXPECT_FALSE(timer.isRunning());
  EXPECT_EQ(timer.period(), 0u);

  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(client.fires_, fired) << "fired after stop returned";
  timer.stop();
  EXPECT_EQ(client.stops_, 1) << "a second stop must not call onStop again";
}

TEST(PeriodicTimerTest, DeviceLimitsAndFailures) {
  CountingClient client;
  FakeDevice device;
  device.limits = {5, 100};
  {
    PeriodicTimer timer(client, device);
    std::uint32_t error = 0;
    ASSERT_TRUE(timer.start(1, error, 0));
    EXPECT_EQ(timer.period(), 5u);
    EXPECT_EQ(device.lastBegun, 5u);
    ASSERT_TRUE(timer.start(5000, error, 1000));  // restart: the old resolution goes first
    EXPECT_EQ(device.lastEnded, 5u);
    EXPECT_EQ(timer.period(), 100u);
    EXPECT_EQ(timer.resolution(), 100u);
    EXPECT_EQ(client.stops_, 1);
  }  // destroyed while running: stopped, resolution given back
  EXPECT_EQ(client.stops_, 2);
  EXPECT_EQ(device.held, 0);

  PeriodicTimer timer(client, device);
  std::uint32_t error = 0;
  device.lastBegun = 0;
  device.capabilitiesError = 1234;
  EXPECT_FALSE(timer.start(10, error, 1));
  EXPECT_EQ(error, 1234u);
  EXPECT_EQ(device.lastBegun, 0u) << "no resolution asked for after a failed query";
  device.capabilitiesError = kTimerNoError;
  device.beginError = 77;
  EXPECT_FALSE(timer.start(10, error, 1));
  EXPECT_EQ(error, 77u);
  EXPECT_FALSE(timer.isRunning());
  EXPECT_EQ(client.starts_, 2);
  EXPECT_EQ(device.held, 0);
}

TEST(PeriodicTimerTest, AClientStopsItByAnsweringFalseOrCallingStop) {
  for (const bool callStop : {false, true}) {
    CountingClient client;
    PeriodicTimer timer(client);
    client.onFire = [&] {
      if (callStop) timer.stop();  // from inside: must not wait for itself
      return callStop;
    };
    std::uint32_t error = 0;
    ASSERT_TRUE(timer.start(5, error, 1));
    ASSERT_TRUE(waitFor([&] { return client.stops_ == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(client.fires_, 1);
    EXPECT_EQ(client.stops_, 1);
    EXPECT_FALSE(timer.isRunning());
  }
}

TEST(PeriodicTimerTest, StopWaitsForTheEventInProgressAndRacesWithAStopInside) {
  CountingClient client;
  std::atomic<bool> entered{false}, finished{false};
  client.onFire = [&] {
    entered = true;
    std::this_thread::sleep_for(100ms);
    finished = true;
    return true;
  };
  PeriodicTimer timer(client);
  std::uint32_t error = 0;
  ASSERT_TRUE(timer.start(5, error, 1));
  ASSERT_TRUE(waitFor([&] { return entered.load(); }));
  timer.stop();
  EXPECT_TRUE(finished) << "stop returned while fire was still running";

  for (int round = 0; round < 20; ++round) {
    CountingClient racing;
    PeriodicTimer raced(racing);
    std::atomic<bool> inside{false};
    racing.onFire = [&] {
      inside = true;
      std::this_thread::sleep_for(2ms);  // let the other thread reach stop
      raced.stop();
      return true;
    };
    ASSERT_TRUE(raced.start(1, error, 1));
    ASSERT_TRUE(waitFor([&] { return inside.load(); }));
    raced.stop();
    EXPECT_EQ(racing.stops_, 1);
  }
}

TEST(PeriodicTimerTest, RestartFromInsideFireKeepsOneEventAtATime) {
  CountingClient client;
  PeriodicTimer timer(client);
  client.onFire = [&] {
    if (client.fires_ < 5) {
      std::uint32_t error = 0;
      EXPECT_TRUE(timer.start(2, error, 1));
      std::this_thread::sleep_for(5ms);  // outlasts the new period
    }
    return true;
  };
  std::uint32_t error = 0;
  ASSERT_TRUE(timer.start(2, error, 1));
  ASSERT_TRUE(waitFor([&] { return client.fires_ >= 10; }));
  timer.stop();
  EXPECT_FALSE(client.overlapped_);
  EXPECT_EQ(client.starts_, client.stops_);
}

}  // namespace
}  // namespace tessary
