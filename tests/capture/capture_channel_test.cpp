// The capture channel: which frames it processes, that it processes each one
// once and as it arrives, and what a pass hands on.
#include "capture/capture_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "capture/capture_backend.h"
#include "capture/frame_pacing.h"
#include "capture/scripted_frame_source.h"
#include "detection/region_manager.h"
#include "support/wait_until.h"

namespace tessary {
namespace {

using fakes::ScriptedFrameSource;
using std::chrono::microseconds;
using namespace std::chrono_literals;
using testing::waitUntil;

// Which of `count` frames delivered at `fps` (each late by up to `jitter`,
// in a fixed pattern) the pacing admits.
std::vector<int> admitted(double fps, int count, microseconds jitter = microseconds(0)) {
  FramePacing pacing(15);
  const FrameClock::time_point start{};
  std::vector<int> taken;
  for (int i = 0; i < count; ++i) {
    const auto late = jitter * ((i * 7) % 5) / 4;
    const auto at = start + microseconds(static_cast<long long>(i * 1e6 / fps)) + late;
    if (pacing.admit(at)) taken.push_back(i);
  }
  return taken;
}

std::vector<int> everyFrom(int first, int step, int count) {
  std::vector<int> frames;
  for (int i = first; i < count; i += step) frames.push_back(i);
  return frames;
}

TEST(FramePacingTest, EveryFrameUpToAFifthAboveTheRateAndEvenThinningAbove) {
  for (const double fps : {5.0, 7.5, 15.0, 16.0, 17.9}) {
    EXPECT_EQ(admitted(fps, 200), everyFrom(0, 1, 200)) << fps << " fps";
  }
  // A loaded machine delivers late by up to 25 ms: still every frame.
  EXPECT_EQ(admitted(16.0, 200, microseconds(25'000)), everyFrom(0, 1, 200));
  // Faster cameras: every n-th frame once the rate is measured (4 frames).
  const std::vector<int> thirty = admitted(30.0, 200, microseconds(10'000));
  ASSERT_GE(thirty.size(), 5u);
  EXPECT_EQ(std::vector<int>(thirty.begin() + 4, thirty.end()), everyFrom(thirty[4], 2, 200));
  const std::vector<int> sixty = admitted(60.0, 400);
  EXPECT_EQ(std::vector<int>(sixty.begin() + 4, sixty.end()), everyFrom(sixty[4], 4, 400));
}

// What the channel's passes handed on: the regions that fired, per pass.
struct PassLog {
  void onPass(const DetectionPass& pass) {
    std::lock_guard lock(mutex);
    passes.emplace_back(pass.firedRegions.begin(), pass.firedRegions.end());
    sequences.push_back(pass.stamp.sequence);
    if (stopInside != nullptr) stopInside->stop();
  }
  std::size_t count() {
    std::lock_guard lock(mutex);
    return passes.size();
  }
  std::mutex mutex;
  std::vector<std::vector<std::int32_t>> passes;
  std::vector<std::uint64_t> sequences;
  CaptureChannel* stopInside = nullptr;
};

class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(channel_.init(source_));
    channel_.setPassCallback(ChannelPassCallback::bind(&log_, &PassLog::onPass));
  }
  // Delivers frame `index` as a 15 fps camera would, and waits for its pass.
  bool deliverAndWait(std::size_t index) {
    const std::size_t before = log_.count();
    source_.deliver(index, nextArrival());
    return waitUntil([&] { return log_.count() == before + 1; });
  }
  FrameClock::time_point nextArrival() { return FrameClock::time_point{} + 66ms * ++delivered_; }

  int delivered_ = 0;

  ScriptedFrameSource source_{{fakes::flatFrame(10), fakes::checkeredFrame(10)}};
  PassLog log_;
  CaptureChannel channel_;
};

TEST_F(ChannelTest, EachFrameIsProcessedOnceAsItArrivesAndNothingWithoutFrames) {
  std::int32_t zone = -1;
  ASSERT_TRUE(channel_.regionManager().add(zone, {0, 0, 20, 20, 50, 20}));
  source_.deliver(0, nextArrival());  // not running: not even counted
  EXPECT_EQ(channel_.arrivedFrames(), 0u);
  ASSERT_TRUE(channel_.start());

  // flat, checkered (fires), checkered (no change: fires once more, the
  // count is held one frame), checkered (quiet), flat, checkered (fires),
  // checkered (once more).
  const std::vector<std::vector<std::int32_t>> expected{{}, {0}, {0}, {}, {}, {0}, {0}};
  for (const std::size_t frame : {0, 1, 1, 1, 0, 1, 1}) ASSERT_TRUE(deliverAndWait(frame));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(log_.passes, expected) << "no pass without a frame, none twice";
  EXPECT_EQ(log_.sequences, (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(channel_.processedFrames(), 7u);

  // A pass may stop its own channel; a later start runs again.
  log_.stopInside = &channel_;
  ASSERT_TRUE(deliverAndWait(1));
  EXPECT_TRUE(waitUntil([&] { return !channel_.isRunning(); }));
  log_.stopInside = nullptr;
  ASSERT_TRUE(channel_.start());
  ASSERT_TRUE(deliverAndWait(0));
  channel_.stop();
  source_.deliver(1, nextArrival());
  EXPECT_EQ(channel_.arrivedFrames(), 9u);
}

TEST_F(ChannelTest, ZoneOrientationPlacesRegionsAndOutlivesANewCamera) {
  ScriptedFrameSource camera({fakes::flatFrame(0)});
  CaptureChannel channel;
  const Orientation mirrored{.mirrored = true, .flipped = false};
  channel.setZoneOrientation(mirrored);  // before the camera: kept for it
  std::int32_t index = -1;
  ASSERT_TRUE(channel.regionManager().add(index, {0, 0, 10, 10, 50, 20}));
  const auto corner = [&] {
    DetectionRegion region;
    EXPECT_TRUE(channel.regionManager().regionAt(0, region));
    return std::pair(region.x, region.y);
  };
  ASSERT_TRUE(channel.init(camera));
  EXPECT_EQ(corner(), std::pair(150, 0));
  channel.setZoneOrientation(Orientation{.mirrored = true, .flipped = true});
  EXPECT_EQ(corner(), std::pair(150, 110));
  channel.setZoneOrientation(mirrored);
  // Taking the camera again keeps the orientation and the regions where they are.
  ASSERT_TRUE(channel.init(camera));
  EXPECT_EQ(channel.zoneOrientation(), mirrored);
  EXPECT_EQ(corner(), std::pair(150, 0));
  CaptureChannel unused;
  EXPECT_FALSE(unused.start()) << "no camera, no detector";
}

}  // namespace
}  // namespace tessary

// The detection step runs for every frame for the life of the program: a
// frame's way through the channel must not allocate. Counted by replacing the
// global allocator, which the sanitizers own in their builds, so there the
// check is left out.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {
std::atomic<bool> countingAllocations{false};
std::atomic<int> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (countingAllocations.load(std::memory_order_relaxed)) ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
// g++ sees free() after the standard new it inlined elsewhere; both ends are
// replaced here, so the pair matches.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace tessary {
namespace {

using testing::waitUntil;
using namespace std::chrono_literals;

struct HitCount {
  void onPass(const DetectionPass& pass) {
    hits += static_cast<int>(pass.firedRegions.size());
    ++passes;
  }
  std::atomic<int> hits{0};
  std::atomic<int> passes{0};
};

TEST(ChannelAllocationTest, AFrameAllocatesNothingWhileEveryZoneFires) {
  ScriptedFrameSource source({fakes::flatFrame(10), fakes::checkeredFrame(10)});
  CaptureChannel channel;
  ASSERT_TRUE(channel.init(source));
  HitCount count;
  channel.setPassCallback(ChannelPassCallback::bind(&count, &HitCount::onPass));
  RegionDescriptor zone{0, 0, 4, 4, 50, 20};
  for (zone.y = 0; zone.y < 120; zone.y += 4) {
    for (zone.x = 0; zone.x < 160; zone.x += 4) {
      std::int32_t index = -1;
      ASSERT_TRUE(channel.regionManager().add(index, zone));
    }
  }
  ASSERT_TRUE(channel.start());
  // The first passes size the channel's list of fired regions.
  const auto at = [](int i) { return FrameClock::time_point{} + 66ms * i; };
  for (int i = 0; i < 2; ++i) {
    source.deliver(static_cast<std::size_t>(i), at(i));
    ASSERT_TRUE(waitUntil([&] { return count.passes == i + 1; }));
  }

  countingAllocations = true;
  for (int i = 2; i < 22; ++i) {
    source.deliver(static_cast<std::size_t>(i), at(i));
    while (count.passes != i + 1) std::this_thread::yield();
  }
  countingAllocations = false;
  channel.stop();
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(count.hits, 1200);
}

}  // namespace
}  // namespace tessary

#endif
