#include "capture/capture_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "capture/scripted_frame_source.h"
#include "detection/detector_factory.h"
#include "detection/region_manager.h"

namespace tessary {
namespace {

using namespace std::chrono_literals;
using fakes::checkeredFrame;
using fakes::flatFrame;
using fakes::FrozenTimerDevice;
using fakes::ScriptedFrameSource;

// Records what the channel and its regions call back, from any thread.
class Recorder {
 public:
  void onZoneHit(std::int32_t index) {
    lastHit = index;
    ++hits;
  }
  void onTick() { tickOrder = ++calls; }
  void onFrame(const std::uint8_t* frame) {
    frameOrder = ++calls;
    lastFrame = frame;
    if (frame != nullptr) firstByte = frame[0];
    ++frames;
  }

  std::atomic<int> hits{0};
  std::atomic<int> lastHit{-1};
  std::atomic<int> frames{0};
  std::atomic<int> calls{0};
  std::atomic<int> tickOrder{0};
  std::atomic<int> frameOrder{0};
  std::atomic<const std::uint8_t*> lastFrame{nullptr};
  std::atomic<int> firstByte{-1};
};

RegionDescriptor zoneAt(Recorder& recorder, int x, int y, int width, int height) {
  RegionDescriptor descriptor;
  descriptor.x = x;
  descriptor.y = y;
  descriptor.width = width;
  descriptor.height = height;
  descriptor.onHitIndexed = RegionIndexedHitCallback::bind(&recorder, &Recorder::onZoneHit);
  return descriptor;
}

DetectionRegion regionOf(RegionManager& manager, int index) {
  DetectionRegion region;
  EXPECT_TRUE(manager.regionAt(index, region));
  return region;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A channel over a scripted camera whose timer never fires by itself.
class ChannelTest : public ::testing::Test {
 protected:
  explicit ChannelTest(std::int32_t orientation = 0)
      : source_({flatFrame(10), checkeredFrame(10, 20, 20, 10, 10), flatFrame(10)},
                orientation),
        channel_(frozen_) {}

  bool initChannel() {
    ChannelInitRecord record;
    record.camera = &source_;
    return channel_.init(record);
  }

  FrozenTimerDevice frozen_;
  ScriptedFrameSource source_;
  CaptureChannel channel_;
  Recorder recorder_;
};

TEST_F(ChannelTest, NothingRunsBeforeInit) {
  EXPECT_FALSE(channel_.start());
  EXPECT_FALSE(channel_.isRunning());
  EXPECT_EQ(channel_.createRegionManager(), nullptr);
  EXPECT_EQ(channel_.getOrientation(), kChannelNoDetectorOrientation);
  EXPECT_EQ(channel_.getSensitivity(), -1);
  EXPECT_FALSE(channel_.setSource(&source_)) << "setSource needs a first camera from init";
  EXPECT_FALSE(channel_.init(ChannelInitRecord{}));
  EXPECT_TRUE(initChannel());
  EXPECT_TRUE(channel_.isReady());
  EXPECT_EQ(channel_.getOrientation(), 0);
}

TEST_F(ChannelTest, FpsIsLimitedAndARunningChannelRestartsAtTheNewRate) {
  ASSERT_TRUE(initChannel());
  EXPECT_EQ(channel_.getFps(), kChannelDefaultFps);
  EXPECT_TRUE(channel_.setFps(0));
  EXPECT_EQ(channel_.getFps(), 1);
  EXPECT_TRUE(channel_.setFps(1000));
  EXPECT_EQ(channel_.getFps(), 256);
  EXPECT_FALSE(channel_.isRunning()) << "setFps on a stopped channel leaves it stopped";

  CaptureChannel real;  // the steady device: periods as asked
  ChannelInitRecord record;
  record.camera = &source_;
  ASSERT_TRUE(real.init(record));
  ASSERT_TRUE(real.setFps(1000));
  ASSERT_TRUE(real.start());
  EXPECT_EQ(real.timerPeriod(), 3u);
  EXPECT_TRUE(real.setFps(15));
  EXPECT_TRUE(real.isRunning());
  EXPECT_EQ(real.timerPeriod(), 66u);
  EXPECT_TRUE(real.stop());
  EXPECT_FALSE(real.isRunning());
}

TEST_F(ChannelTest, StartFailsWhenTheTimerCannotRun) {
  ASSERT_TRUE(initChannel());
  frozen_.failure = 1234;
  EXPECT_FALSE(channel_.start());
  EXPECT_FALSE(channel_.isRunning());
  frozen_.failure = kTimerNoError;
  EXPECT_TRUE(channel_.start());
  EXPECT_TRUE(channel_.isRunning());
}

TEST_F(ChannelTest, The513thRegionManagerIsRefused) {
  ASSERT_TRUE(initChannel());
  RegionManager* first = channel_.createRegionManager();
  ASSERT_NE(first, nullptr);
  RegionManager* last = nullptr;
  for (int i = 1; i < kChannelRegionManagerSlots; ++i) last = channel_.createRegionManager();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(channel_.currentRegionManager(), last);

  EXPECT_EQ(channel_.createRegionManager(), nullptr);
  EXPECT_EQ(channel_.currentRegionManager(), nullptr);

  EXPECT_TRUE(channel_.selectRegionManager(first));
  EXPECT_EQ(channel_.currentRegionManager(), first);
  RegionManager stranger;
  EXPECT_FALSE(channel_.selectRegionManager(&stranger));
  EXPECT_EQ(channel_.currentRegionManager(), nullptr);
}

TEST_F(ChannelTest, TogglesInvertOneBitEach) {
  ASSERT_TRUE(initChannel());
  channel_.toggleMirror();
  EXPECT_EQ(channel_.getOrientation(), 1);
  channel_.toggleFlip();
  EXPECT_EQ(channel_.getOrientation(), 3);
  channel_.toggleMirror();
  EXPECT_EQ(channel_.getOrientation(), 2);
  channel_.setOrientation(7);  // only the two low bits mean anything
  EXPECT_EQ(channel_.getOrientation(), 3);

  // Without a detector the toggles do nothing and the mode reads 4.
  EXPECT_TRUE(channel_.setDetectionMethod(7));
  EXPECT_EQ(channel_.getOrientation(), kChannelNoDetectorOrientation);
  channel_.toggleMirror();
  channel_.toggleFlip();
  EXPECT_EQ(channel_.getOrientation(), kChannelNoDetectorOrientation);
}

class BottomUpChannelTest : public ChannelTest {
 protected:
  BottomUpChannelTest() : ChannelTest(kOrientationBottomUp) {}
};

TEST_F(BottomUpChannelTest, TogglesRemapRegionsAndARebuiltDetectorKeepsThem) {
  ASSERT_TRUE(initChannel());
  RegionManager* manager = channel_.createRegionManager();
  ASSERT_NE(manager, nullptr);
  std::int32_t index = -1;
  ASSERT_TRUE(manager->add(index, zoneAt(recorder_, 0, 0, 10, 10)));
  EXPECT_EQ(regionOf(*manager, index).y, 110) << "bottom-up buffer: the top row is last";

  channel_.toggleMirror();
  DetectionRegion mirrored = regionOf(*manager, index);
  EXPECT_EQ(mirrored.x, 150);
  EXPECT_EQ(mirrored.y, 110);

  // A new detector takes over the mirror without moving the regions again.
  ASSERT_TRUE(channel_.setDetectionMethod(kDetectionMethodNeighbour));
  EXPECT_EQ(channel_.getOrientation(), 1);
  DetectionRegion rebuilt = regionOf(*manager, index);
  EXPECT_EQ(rebuilt.x, 150);
  EXPECT_EQ(rebuilt.y, 110);

  // And the toggles still re-map afterwards.
  channel_.toggleMirror();
  EXPECT_EQ(regionOf(*manager, index).x, 0);
}

TEST_F(ChannelTest, ARebuiltDetectorKeepsTheSensitivityLevel) {
  ASSERT_TRUE(initChannel());
  EXPECT_EQ(channel_.getSensitivity(), 39) << "a new channel's detector starts at 10 percent";
  channel_.setSensitivity(50);
  EXPECT_EQ(channel_.getSensitivity(), 21);
  channel_.setFillColour(1, 1, 2, 3);
  ASSERT_TRUE(channel_.setDetectionMethod(kDetectionMethodPlain));
  EXPECT_EQ(channel_.getSensitivity(), 21);
  EXPECT_EQ(channel_.detectionMethod(), kDetectionMethodPlain);
}

TEST_F(ChannelTest, ARefusedRebuildChangesNothing) {
  ASSERT_TRUE(initChannel());
  RegionManager* manager = channel_.createRegionManager();
  std::int32_t index = -1;
  ASSERT_TRUE(manager->add(index, zoneAt(recorder_, 0, 0, 10, 10)));
  ASSERT_TRUE(channel_.start());

  source_.setSize(320, 240);
  EXPECT_FALSE(channel_.setDetectionMethod(kDetectionMethodPlain));
  EXPECT_TRUE(channel_.isRunning()) << "a refused rebuild must not halt the channel";
  EXPECT_EQ(channel_.detectionMethod(), kDetectionMethodNeighbour);
  // Not left "busy": a toggle still moves the regions.
  channel_.toggleMirror();
  EXPECT_EQ(regionOf(*manager, index).x, 150);
}

TEST_F(ChannelTest, SetSourceTakesOnlyACameraOfTheSameShape) {
  ASSERT_TRUE(initChannel());
  ASSERT_TRUE(channel_.start());

  ScriptedFrameSource larger;
  larger.setSize(320, 240);
  EXPECT_FALSE(channel_.setSource(&larger));
  EXPECT_EQ(channel_.source(), &source_);
  EXPECT_TRUE(channel_.isRunning());

  ScriptedFrameSource upsideDown({}, kOrientationBottomUp);
  EXPECT_FALSE(channel_.setSource(&upsideDown));
  EXPECT_EQ(channel_.source(), &source_);

  ScriptedFrameSource twin;
  EXPECT_TRUE(channel_.setSource(&twin));
  EXPECT_EQ(channel_.source(), &twin);
  EXPECT_TRUE(channel_.isRunning());
  EXPECT_EQ(twin.starts_, 1) << "a running channel starts its new camera";
  EXPECT_GE(source_.stops_, 1);

  EXPECT_FALSE(channel_.setSource(nullptr));
  EXPECT_EQ(channel_.source(), nullptr);
  EXPECT_FALSE(channel_.start());
}

TEST_F(ChannelTest, ARegionFiresOnTheFrameWithMotionAndOnceMoreAfter) {
  ASSERT_TRUE(initChannel());
  channel_.setTickCallback(ChannelTickCallback::bind(&recorder_, &Recorder::onTick));
  channel_.setFrameCallback(ChannelFrameCallback::bind(&recorder_, &Recorder::onFrame));
  RegionManager* manager = channel_.createRegionManager();
  std::int32_t inside = -1;
  std::int32_t outside = -1;
  ASSERT_TRUE(manager->add(outside, zoneAt(recorder_, 100, 80, 10, 10)));
  ASSERT_TRUE(manager->add(inside, zoneAt(recorder_, 20, 20, 10, 10)));

  channel_.tick();
  EXPECT_EQ(source_.polls_, 0) << "a stopped channel does not tick";
  ASSERT_TRUE(channel_.start());

  // No frame yet: only the callbacks run, with a null frame.
  channel_.tick();
  EXPECT_EQ(recorder_.frames, 1);
  EXPECT_EQ(recorder_.lastFrame, nullptr);
  EXPECT_LT(recorder_.tickOrder, recorder_.frameOrder);

  source_.show(0);
  channel_.tick();  // compared with the detector's black start frame: flat, no count
  channel_.tick();  // the same frame again: no change
  EXPECT_EQ(recorder_.hits, 0);
  EXPECT_NE(recorder_.lastFrame, nullptr);
  EXPECT_EQ(recorder_.firstByte, 10) << "the frame callback gets the picture";

  source_.show(1);
  channel_.tick();
  EXPECT_EQ(recorder_.hits, 1);
  EXPECT_EQ(recorder_.lastHit, inside);
  source_.show(2);
  channel_.tick();  // nothing counted now: the previous count fires once more
  EXPECT_EQ(recorder_.hits, 2);
  channel_.tick();
  channel_.tick();
  EXPECT_EQ(recorder_.hits, 2);
  EXPECT_EQ(recorder_.lastHit, inside);
}

TEST(ChannelTimerTest, TheTimerDrivesDetectionUntilStopped) {
  ScriptedFrameSource source({flatFrame(10), checkeredFrame(10, 20, 20, 10, 10)});
  Recorder recorder;
  CaptureChannelList list;
  CaptureChannel* channel = list.createChannel();
  ASSERT_NE(channel, nullptr);
  ChannelInitRecord record;
  record.camera = &source;
  ASSERT_TRUE(channel->init(record));
  ASSERT_TRUE(channel->setFps(100));
  channel->setFrameCallback(ChannelFrameCallback::bind(&recorder, &Recorder::onFrame));
  RegionManager* manager = channel->createRegionManager();
  std::int32_t index = -1;
  ASSERT_TRUE(manager->add(index, zoneAt(recorder, 20, 20, 10, 10)));
  source.show(0);
  ASSERT_TRUE(channel->start());

  std::atomic<bool> flipping{true};
  std::thread camera([&] {
    while (flipping) {
      source.advance();
      std::this_thread::sleep_for(7ms);
    }
  });
  EXPECT_TRUE(waitFor([&] { return recorder.hits >= 3; }));
  channel->stop();
  const int frames = recorder.frames;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(recorder.frames, frames) << "ticked after stop returned";
  flipping = false;
  camera.join();
  EXPECT_EQ(recorder.lastHit, index);
  EXPECT_EQ(list.count(), 1);
  list.clear();
  EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace tessary
