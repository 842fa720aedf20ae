#include "capture/capture_channel.h"

#include <gtest/gtest.h>

#include "capture/capture_backend.h"
#include "capture/sample_grabber_callback.h"
#include "capture/scripted_frame_source.h"
#include "detection/detector_factory.h"
#include "detection/region_manager.h"

namespace tessary {
namespace {

using fakes::ScriptedFrameSource;

// A channel over a scripted camera whose timer never fires by itself.
class ChannelTest : public ::testing::Test {
 protected:
  bool init(std::int32_t orientation = 0) {
    source_ = std::make_unique<ScriptedFrameSource>(std::vector<fakes::Frame>{}, orientation);
    ChannelInitRecord record;
    record.camera = source_.get();
    return channel_.init(record);
  }
  // Zone 0's corner in buffer coordinates.
  std::pair<int, int> corner(RegionManager& manager) {
    DetectionRegion region;
    EXPECT_TRUE(manager.regionAt(0, region));
    return {region.x, region.y};
  }

  fakes::FrozenTimerDevice frozen_;
  std::unique_ptr<ScriptedFrameSource> source_;
  CaptureChannel channel_{frozen_};
};

TEST_F(ChannelTest, FpsIsLimitedAndARunningChannelRestartsAtTheNewRate) {
  ASSERT_TRUE(init());
  EXPECT_TRUE(channel_.setFps(0));
  EXPECT_EQ(channel_.getFps(), 1);
  EXPECT_TRUE(channel_.setFps(1000));
  EXPECT_EQ(channel_.getFps(), 256);
  EXPECT_FALSE(channel_.isRunning()) << "setFps on a stopped channel leaves it stopped";

  CaptureChannel real;  // the steady device: periods as asked
  ChannelInitRecord record;
  record.camera = source_.get();
  ASSERT_TRUE(real.init(record) && real.setFps(1000) && real.start());
  EXPECT_EQ(real.timerPeriod(), 3u);
  EXPECT_TRUE(real.setFps(15));
  EXPECT_TRUE(real.isRunning());
  EXPECT_EQ(real.timerPeriod(), 66u);
}

TEST_F(ChannelTest, The513thRegionManagerIsRefused) {
  ASSERT_TRUE(init());
  RegionManager* first = channel_.createRegionManager();
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

TEST_F(ChannelTest, TogglesRemapRegionsAndRebuiltDetectorsKeepThem) {
  ASSERT_TRUE(init(kOrientationBottomUp));
  RegionManager& manager = *channel_.createRegionManager();
  std::int32_t index = -1;
  ASSERT_TRUE(manager.add(index, {0, 0, 10, 10, 50, 20, {}, {}}));
  EXPECT_EQ(corner(manager), std::pair(0, 110)) << "bottom-up buffer: the top row is last";
  channel_.toggleMirror();
  EXPECT_EQ(channel_.getOrientation(), 1);
  channel_.toggleFlip();
  EXPECT_EQ(channel_.getOrientation(), 3);
  channel_.toggleFlip();
  EXPECT_EQ(corner(manager), std::pair(150, 110));

  // A new detector takes over orientation and sensitivity without moving the regions again.
  channel_.setSensitivity(50);
  ASSERT_TRUE(channel_.setDetectionMethod(kDetectionMethodPlain));
  EXPECT_EQ(channel_.getOrientation(), 1);
  EXPECT_EQ(channel_.getSensitivity(), 21);
  EXPECT_EQ(corner(manager), std::pair(150, 110));

  // A refused rebuild changes nothing and leaves nothing "busy".
  ASSERT_TRUE(channel_.start());
  source_->setSize(320, 240);
  EXPECT_FALSE(channel_.setDetectionMethod(kDetectionMethodNeighbour));
  EXPECT_TRUE(channel_.isRunning());
  EXPECT_EQ(channel_.detectionMethod(), kDetectionMethodPlain);
  channel_.toggleMirror();
  EXPECT_EQ(corner(manager), std::pair(0, 110));
  source_->setSize(160, 120);

  channel_.setOrientation(7);  // only the two low bits mean anything
  EXPECT_EQ(channel_.getOrientation(), 3);
  EXPECT_TRUE(channel_.setDetectionMethod(7));  // no detector: the toggles do nothing
  channel_.toggleMirror();
  channel_.toggleFlip();
  EXPECT_EQ(channel_.getOrientation(), kChannelNoDetectorOrientation);
}

TEST_F(ChannelTest, StartNeedsACameraOfTheSameShapeAndATimerThatRuns) {
  EXPECT_FALSE(channel_.start());
  EXPECT_EQ(channel_.createRegionManager(), nullptr);
  ScriptedFrameSource twin, larger, upsideDown({}, kOrientationBottomUp);
  EXPECT_FALSE(channel_.setSource(&twin)) << "setSource needs a first camera from init";
  EXPECT_FALSE(channel_.init(ChannelInitRecord{}));
  ASSERT_TRUE(init());
  frozen_.failure = 1234;
  EXPECT_FALSE(channel_.start());
  frozen_.failure = kTimerNoError;
  ASSERT_TRUE(channel_.start());

  larger.setSize(320, 240);
  for (ScriptedFrameSource* refused : {&larger, &upsideDown}) {
    EXPECT_FALSE(channel_.setSource(refused));
    EXPECT_EQ(channel_.source(), source_.get());
    EXPECT_TRUE(channel_.isRunning());
  }
  EXPECT_TRUE(channel_.setSource(&twin));
  EXPECT_EQ(channel_.source(), &twin);
  EXPECT_EQ(twin.starts_, 1) << "a running channel starts its new camera";
  EXPECT_GE(source_->stops_, 1);
  EXPECT_FALSE(channel_.setSource(nullptr));
  EXPECT_FALSE(channel_.start());
}

struct SampleSink {
  void onSample(const MediaSample* sample) { last = sample; }
  const MediaSample* last = nullptr;
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
  EXPECT_EQ(held->SampleCB(0.0, &sample), kComOk) << "an unbound route is simply not called";
  held->setSampleRoute(SampleRoute::bind(&sink, &SampleSink::onSample));
  EXPECT_EQ(held->SampleCB(1.5, &sample), kComOk);
  EXPECT_EQ(sink.last, &sample);

  held.reset();  // the platform's reference outlives ours; the last Release ends it
  EXPECT_EQ(object->Release(), 0);
}

}  // namespace
}  // namespace tessary
