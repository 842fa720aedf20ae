#include "zones/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace tessary {
namespace {

using namespace std::chrono_literals;

// Counts the calls and runs an optional hook inside fire.
class CountingClient : public TimerCallback {
 public:
  bool fire() override {
    const int depth = ++inFire_;
    if (depth > 1) overlapped_ = true;
    ++fires_;
    const bool keep = onFire ? onFire() : true;
    --inFire_;
    return keep;
  }
  void onStart() override {
    if (fires_ != 0 && starts_ == stops_) firedBeforeStart_ = true;
    ++starts_;
  }
  void onStop() override { ++stops_; }

  std::function<bool()> onFire;
  std::atomic<int> fires_{0};
  std::atomic<int> starts_{0};
  std::atomic<int> stops_{0};
  std::atomic<int> inFire_{0};
  std::atomic<bool> overlapped_{false};
  std::atomic<bool> firedBeforeStart_{false};
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
  std::uint32_t capabilitiesError = kTimerNoError;
  std::uint32_t beginError = kTimerNoError;
  int held = 0;
  std::uint32_t lastBegun = 0;
  std::uint32_t lastEnded = 0;
};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(PeriodicTimerTest, TicksAtThePeriodUntilStopped) {
  CountingClient client;
  PeriodicTimer timer(client);
  std::uint32_t error = 1;
  ASSERT_TRUE(timer.start(10, error, 1));
  EXPECT_EQ(error, kTimerNoError);
  EXPECT_TRUE(timer.isRunning());
  EXPECT_EQ(timer.period(), 10u);
  EXPECT_EQ(client.starts_, 1);

  std::this_thread::sleep_for(400ms);
  timer.stop();
  const int fired = client.fires_;
  // About 40; generous for a loaded machine, but far from "never" or "spinning".
  EXPECT_GE(fired, 10);
  EXPECT_LE(fired, 60);
  EXPECT_EQ(client.stops_, 1);
  EXPECT_FALSE(timer.isRunning());
  EXPECT_EQ(timer.period(), 0u);
  EXPECT_EQ(timer.resolution(), 0u);
  EXPECT_FALSE(client.firedBeforeStart_);

  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(client.fires_, fired) << "fired after stop returned";
  timer.stop();
  EXPECT_EQ(client.stops_, 1) << "a second stop must not call onStop again";
}

TEST(PeriodicTimerTest, TimeSpentInFireDoesNotStretchThePeriod) {
  CountingClient client;
  client.onFire = [] {
    std::this_thread::sleep_for(12ms);
    return true;
  };
  PeriodicTimer timer(client);
  std::uint32_t error = 0;
  ASSERT_TRUE(timer.start(20, error, 1));
  std::this_thread::sleep_for(1000ms);
  timer.stop();
  // Fixed deadlines give about 50 events; waiting a full period after each
  // event would give about 31.
  EXPECT_GE(client.fires_, 40);
  EXPECT_LE(client.fires_, 55);
}

TEST(PeriodicTimerTest, PeriodAndResolutionAreLimitedToTheDevice) {
  CountingClient client;
  FakeDevice device;
  device.limits = {5, 100};
  PeriodicTimer timer(client, device);
  std::uint32_t error = 0;

  ASSERT_TRUE(timer.start(1, error, 0));
  EXPECT_EQ(timer.period(), 5u);
  EXPECT_EQ(timer.resolution(), 5u);
  EXPECT_EQ(device.lastBegun, 5u);

  ASSERT_TRUE(timer.start(5000, error, 1000));  // restart: the old resolution goes first
  EXPECT_EQ(device.lastEnded, 5u);
  EXPECT_EQ(timer.period(), 100u);
  EXPECT_EQ(timer.resolution(), 100u);
  EXPECT_EQ(client.starts_, 2);
  EXPECT_EQ(client.stops_, 1);

  timer.stop();
  EXPECT_EQ(device.held, 0);
  EXPECT_EQ(device.lastEnded, 100u);
}

TEST(PeriodicTimerTest, DeviceFailuresAreReportedWithTheirCodes) {
  CountingClient client;
  FakeDevice device;
  PeriodicTimer timer(client, device);
  std::uint32_t error = 0;

  device.capabilitiesError = 1234;
  EXPECT_FALSE(timer.start(10, error, 1));
  EXPECT_EQ(error, 1234u);
  EXPECT_EQ(device.lastBegun, 0u) << "no resolution asked for after a failed query";

  device.capabilitiesError = kTimerNoError;
  device.beginError = 77;
  EXPECT_FALSE(timer.start(10, error, 1));
  EXPECT_EQ(error, 77u);
  EXPECT_EQ(timer.resolution(), 0u);
  EXPECT_FALSE(timer.isRunning());
  EXPECT_EQ(client.starts_, 0);
  EXPECT_EQ(device.held, 0);

  // A successful start clears the error left from before.
  device.beginError = kTimerNoError;
  error = 99;
  EXPECT_TRUE(timer.start(10, error, 1));
  EXPECT_EQ(error, kTimerNoError);
}

TEST(PeriodicTimerTest, AClientStopsItByAnsweringFalseOrCallingStop) {
  for (const bool callStop : {false, true}) {
    CountingClient client;
    PeriodicTimer timer(client);
    client.onFire = [&] {
      if (callStop) timer.stop();  // from inside: must not wait for itself
      return callStop;  // false asks for the stop
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

TEST(PeriodicTimerTest, StopFromAnotherThreadWaitsForTheEventInProgress) {
  CountingClient client;
  std::atomic<bool> entered{false};
  std::atomic<bool> finished{false};
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
  EXPECT_EQ(client.stops_, 1);
  const int fired = client.fires_;
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(client.fires_, fired);
}

TEST(PeriodicTimerTest, StopsFromBothSidesAtOnceNeitherDeadlockNorRepeatOnStop) {
  for (int round = 0; round < 20; ++round) {
    CountingClient client;
    PeriodicTimer timer(client);
    std::atomic<bool> entered{false};
    client.onFire = [&] {
      entered = true;
      std::this_thread::sleep_for(2ms);  // let the other thread reach stop
      timer.stop();
      return true;
    };
    std::uint32_t error = 0;
    ASSERT_TRUE(timer.start(1, error, 1));
    ASSERT_TRUE(waitFor([&] { return entered.load(); }));
    timer.stop();
    EXPECT_EQ(client.stops_, 1);
    EXPECT_FALSE(timer.isRunning());
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

TEST(PeriodicTimerTest, DestroyingARunningTimerStopsIt) {
  CountingClient client;
  FakeDevice device;
  {
    PeriodicTimer timer(client, device);
    std::uint32_t error = 0;
    ASSERT_TRUE(timer.start(5, error, 1));
    ASSERT_TRUE(waitFor([&] { return client.fires_ > 0; }));
  }
  EXPECT_EQ(client.stops_, 1);
  EXPECT_EQ(device.held, 0);
}

}  // namespace
}  // namespace tessary
