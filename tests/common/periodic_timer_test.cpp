#include "common/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "capture/scripted_frame_source.h"
#include "support/wait_until.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;

class Client : public TimerCallback {
 public:
  bool fire() override {
    ++fires;
    return onFire ? onFire() : true;
  }
  void onStart() override { ++starts; }
  void onStop() override { ++stops; }

  std::function<bool()> onFire;
  std::atomic<int> fires{0}, starts{0}, stops{0};
};

TEST(PeriodicTimerTest, FixedDeadlinesUntilStoppedAndNothingAfter) {
  Client client;
  client.onFire = [] {
    std::this_thread::sleep_for(12ms);
    return true;
  };
  PeriodicTimer timer(client);
  std::uint32_t error = 1;
  ASSERT_TRUE(timer.start(20, error, 1));
  EXPECT_EQ(error, kTimerNoError);
  std::this_thread::sleep_for(1000ms);
  timer.stop();
  // Fixed deadlines give about 50 events; a full period after each event about 31.
  const int fired = client.fires;
  EXPECT_GE(fired, 40);
  EXPECT_LE(fired, 55);
  EXPECT_FALSE(timer.isRunning());
  EXPECT_EQ(timer.period(), 0u);

  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(client.fires, fired) << "fired after stop returned";
  timer.stop();
  EXPECT_TRUE(client.starts == 1 && client.stops == 1) << "a second stop must not call onStop again";
}

TEST(PeriodicTimerTest, DeviceLimitsAndFailures) {
  Client client;
  fakes::FrozenTimerDevice device;
  device.limits = {5, 100};
  std::uint32_t error = 0;
  {
    PeriodicTimer timer(client, device);
    ASSERT_TRUE(timer.start(1, error, 0));
    EXPECT_EQ(device.lastBegun, 5u);
    ASSERT_TRUE(timer.start(5000, error, 1000));  // a restart gives the old resolution back first
    EXPECT_EQ(timer.period() + timer.resolution(), 200u);
    EXPECT_EQ(device.held, 1);
  }  // destroyed while running: stopped, resolution given back
  EXPECT_EQ(client.stops, 2);
  EXPECT_EQ(device.held, 0);

  PeriodicTimer timer(client, device);
  device.failure = 1234;
  EXPECT_FALSE(timer.start(10, error, 1));
  EXPECT_EQ(error, 1234u);
  device.failure = kTimerNoError;
  device.beginError = 77;
  EXPECT_FALSE(timer.start(10, error, 1));
  EXPECT_EQ(error, 77u);
  EXPECT_FALSE(timer.isRunning());
  EXPECT_EQ(device.held, 0);
}

TEST(PeriodicTimerTest, StopsFromInsideAndOutsideNeitherDeadlockNorRepeat) {
  // The client stops it by answering false, or by calling stop from inside.
  for (const bool callStop : {false, true}) {
    Client client;
    PeriodicTimer timer(client);
    client.onFire = [&] {
      if (callStop) timer.stop();  // must not wait for itself
      return callStop;
    };
    std::uint32_t error = 0;
    ASSERT_TRUE(timer.start(5, error, 1));
    ASSERT_TRUE(testing::waitUntil([&] { return client.stops == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(client.fires == 1 && client.stops == 1);
  }
  // Stop from outside waits for the event in progress, even while that event
  // stops the timer itself.
  for (int round = 0; round < 20; ++round) {
    Client client;
    PeriodicTimer timer(client);
    std::atomic<bool> entered{false}, finished{false};
    client.onFire = [&] {
      entered = true;
      std::this_thread::sleep_for(round == 0 ? 100ms : 2ms);
      finished = true;
      if (round > 0) timer.stop();
      return true;
    };
    std::uint32_t error = 0;
    ASSERT_TRUE(timer.start(1, error, 1));
    ASSERT_TRUE(testing::waitUntil([&] { return entered.load(); }));
    timer.stop();
    EXPECT_TRUE(finished) << "stop returned while fire was still running";
    EXPECT_EQ(client.stops, 1);
  }
}

}  // namespace
}  // namespace tessary
