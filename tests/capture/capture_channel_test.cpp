#include "capture/capture_channel.h"

#include <gtest/gtest.h>

#include "capture/capture_backend.h"
#include "capture/sample_grabber_callback.h"
#include "capture/scripted_frame_source.h"
#include "detection/detector_factory.h"
#include "detection/region_manager.h"

namespace tessary {
namespace {

using fakes::checkeredFrame;
using fakes::flatFrame;
using fakes::ScriptedFrameSource;

// Records what the channel and its regions call back.
class Recorder {
 public:
  void onZoneHit(std::int32_t index) {
    lastHit = index;
    ++hits;
  }
  void onTick() { tickOrder = ++calls; }
  void onFrame(const std::uint8_t* frame) {
    frameOrder = ++calls;
    firstByte = frame != nullptr ? frame[0] : -1;
    ++frames;
  }
  int hits = 0, lastHit = -1, frames = 0, calls = 0, tickOrder = 0, frameOrder = 0, firstByte = -1;
};

RegionDescriptor zoneAt(Recorder& recorder, int x, int y, int width, int height) {
  return {x, y, width, height, 50, 20, {},
          RegionIndexedHitCallback::bind(&recorder, &Recorder::onZoneHit)};
}

DetectionRegion regionOf(RegionManager& manager, int index) {
  DetectionRegion region;
  EXPECT_TRUE(manager.regionAt(index, region));
  return region;
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

  fakes::FrozenTimerDevice frozen_;
  ScriptedFrameSource source_;
  CaptureChannel channel_;
  Recorder recorder_;
};

TEST_F(ChannelTest, FpsIsLimitedAndARunningChannelRestartsAtTheNewRate) {
  ASSERT_TRUE(initChannel());
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

class BottomUpChannelTest : public ChannelTest {
 protected:
  BottomUpChannelTest() : ChannelTest(kOrientationBottomUp) {}
};

TEST_F(BottomUpChannelTest, TogglesRemapRegionsAndRebuiltDetectorsKeepThem) {
  ASSERT_TRUE(initChannel());
  RegionManager* manager = channel_.createRegionManager();
  std::int32_t index = -1;
  ASSERT_TRUE(manager->add(index, zoneAt(recorder_, 0, 0, 10, 10)));
  EXPECT_EQ(regionOf(*manager, index).y, 110) << "bottom-up buffer: the top row is last";
  channel_.toggleMirror();
  EXPECT_EQ(channel_.getOrientation(), 1);
  channel_.toggleFlip();
  EXPECT_EQ(channel_.getOrientation(), 3);
  channel_.toggleFlip();
  EXPECT_EQ(regionOf(*manager, index).x, 150);
  EXPECT_EQ(regionOf(*manager, index).y, 110);

  // A new detector takes over orientation and sensitivity without moving the regions again.
  channel_.setSensitivity(50);
  EXPECT_EQ(channel_.getSensitivity(), 21);
  ASSERT_TRUE(channel_.setDetectionMethod(kDetectionMethodPlain));
  EXPECT_EQ(channel_.getOrientation(), 1);
  EXPECT_EQ(channel_.getSensitivity(), 21);
  EXPECT_EQ(regionOf(*manager, index).x, 150);
  EXPECT_EQ(regionOf(*manager, index).y, 110);

  // A refused rebuild changes nothing and leaves nothing "busy".
  ASSERT_TRUE(channel_.start());
  source_.setSize(320, 240);
  EXPECT_FALSE(channel_.setDetectionMethod(kDetectionMethodNeighbour));
  EXPECT_TRUE(channel_.isRunning());
  EXPECT_EQ(channel_.detectionMethod(), kDetectionMethodPlain);
  channel_.toggleMirror();
  EXPECT_EQ(regionOf(*manager, index).x, 0);
  source_.setSize(160, 120);

  channel_.setOrientation(7);  // only the two low bits mean anything
  EXPECT_EQ(channel_.getOrientation(), 3);
  EXPECT_TRUE(channel_.setDetectionMethod(7));  // no detector: the toggles do nothing
  EXPECT_EQ(channel_.getOrientation(), kChannelNoDetectorOrientation);
  channel_.toggleMirror();
  channel_.toggleFlip();
  EXPECT_EQ(channel_.getOrientation(), kChannelNoDetectorOrientation);
}

TEST_F(ChannelTest, StartNeedsACameraOfTheSameShapeAndATimerThatRuns) {
  EXPECT_FALSE(channel_.start());
  EXPECT_EQ(channel_.createRegionManager(), nullptr);
  EXPECT_FALSE(channel_.setSource(&source_)) << "setSource needs a first camera from init";
  EXPECT_FALSE(channel_.init(ChannelInitRecord{}));
  ASSERT_TRUE(initChannel());
  frozen_.failure = 1234;
  EXPECT_FALSE(channel_.start());
  frozen_.failure = kTimerNoError;
  ASSERT_TRUE(channel_.start());

  ScriptedFrameSource larger;
  larger.setSize(320, 240);
  ScriptedFrameSource upsideDown({}, kOrientationBottomUp);
  for (ScriptedFrameSource* refused : {&larger, &upsideDown}) {
    EXPECT_FALSE(channel_.setSource(refused));
    EXPECT_EQ(channel_.source(), &source_);
    EXPECT_TRUE(channel_.isRunning());
  }

  ScriptedFrameSource twin;
  EXPECT_TRUE(channel_.setSource(&twin));
  EXPECT_EQ(channel_.source(), &twin);
  EXPECT_EQ(twin.starts_, 1) << "a running channel starts its new camera";
  EXPECT_GE(source_.stops_, 1);

  EXPECT_FALSE(channel_.setSource(nullptr));
  EXPECT_FALSE(channel_.start());
}

TEST_F(ChannelTest, ARegionFiresOnTheFrameWithMotionAndOnceMoreAfter) {
  ASSERT_TRUE(initChannel());
  channel_.setTickCallback(ChannelTickCallback::bind(&recorder_, &Recorder::onTick));
  channel_.setFrameCallback(ChannelFrameCallback::bind(&recorder_, &Recorder::onFrame));
  RegionManager* manager = channel_.createRegionManager();
  std::int32_t inside = -1, outside = -1;
  ASSERT_TRUE(manager->add(outside, zoneAt(recorder_, 100, 80, 10, 10)));
  ASSERT_TRUE(manager->add(inside, zoneAt(recorder_, 20, 20, 10, 10)));

  channel_.tick();
  EXPECT_EQ(recorder_.frames, 0) << "a stopped channel does not tick";
  ASSERT_TRUE(channel_.start());
  channel_.tick();  // no frame yet: only the callbacks run, with a null frame
  EXPECT_EQ(recorder_.frames, 1);
  EXPECT_EQ(recorder_.firstByte, -1);
  EXPECT_LT(recorder_.tickOrder, recorder_.frameOrder);

  // Expected hit counts after each frame shown: motion in frame 1 fires, and
  // its count fires once more on the next frame, then nothing.
  const int shown[] = {0, 0, 1, 2, 2, 2};
  const int hitsAfter[] = {0, 0, 1, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    source_.show(shown[i]);
    channel_.tick();
    EXPECT_EQ(recorder_.hits, hitsAfter[i]) << "tick " << i;
  }
  EXPECT_EQ(recorder_.lastHit, inside);
  EXPECT_EQ(recorder_.firstByte, 10) << "the frame callback gets the picture";
}

// --- The grabber callback object -------------------------------------------

struct SampleSink {
  void onSample(const MediaSample* sample) { last = sample; }
  void onBuffer(const std::uint8_t* buffer, std::int32_t) { lastBuffer = buffer; }
  const MediaSample* last = nullptr;
  const std::uint8_t* lastBuffer = nullptr;
};

TEST(SampleGrabberCallbackTest, CountsReferencesAnswersItsInterfacesAndRoutesSamples) {
  SampleGrabberCallbackRef held = SampleGrabberCallback::create();
  SampleGrabberCallback* object = held.get();
  EXPECT_EQ(object->AddRef(), 2);  // the platform takes one
  {
    SampleGrabberCallbackRef copy = held;
    EXPECT_EQ(object->referenceCount(), 3);
  }
  void* out = nullptr;
  EXPECT_EQ(held->QueryInterface(InterfaceId::kSampleGrabberCallback, &out), kComOk);
  EXPECT_EQ(out, object);
  EXPECT_EQ(object->referenceCount(), 2) << "QueryInterface adds no reference";
  EXPECT_EQ(held->QueryInterface(static_cast<InterfaceId>(42), &out), kComNoInterface);
  EXPECT_EQ(held->QueryInterface(InterfaceId::kUnknown, nullptr), kComPointer);

  SampleSink sink;
  MediaSample sample;
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(held->SampleCB(0.0, &sample), kComOk) << "an unbound route is simply not called";
  held->setSampleRoute(SampleRoute::bind(&sink, &SampleSink::onSample));
  held->setBufferRoute(BufferRoute::bind(&sink, &SampleSink::onBuffer));
  EXPECT_EQ(held->SampleCB(1.5, &sample), kComOk);
  EXPECT_EQ(held->BufferCB(0.0, bytes, 4), kComOk);
  EXPECT_EQ(sink.last, &sample);
  EXPECT_EQ(sink.lastBuffer, bytes);

  held.reset();  // the platform's reference outlives ours; the last Release ends it
  EXPECT_EQ(object->Release(), 0);
}

}  // namespace
}  // namespace tessary
