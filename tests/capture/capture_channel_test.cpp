#include "capture/capture_channel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

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
  bool init(std::int32_t orientation = 0, std::vector<fakes::Frame> frames = {}) {
    source_ = std::make_unique<ScriptedFrameSource>(std::move(frames), orientation);
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
  ScriptedFrameSource twin, larger, upsideDown({}, kOrientationBottomUp);
  EXPECT_FALSE(channel_.start() || channel_.setSource(&twin) || channel_.init({}));
  EXPECT_EQ(channel_.createRegionManager(), nullptr);
  ASSERT_TRUE(init());
  frozen_.failure = 1234;
  EXPECT_FALSE(channel_.start());
  frozen_.failure = kTimerNoError;
  ASSERT_TRUE(channel_.start());

  larger.setSize(320, 240);
  EXPECT_FALSE(channel_.setSource(&larger) || channel_.setSource(&upsideDown));
  EXPECT_EQ(channel_.source(), source_.get());
  EXPECT_TRUE(channel_.setSource(&twin));
  EXPECT_TRUE(channel_.isRunning());
  EXPECT_TRUE(twin.starts_ == 1 && source_->stops_ >= 1) << "a running channel swaps cameras";
  EXPECT_FALSE(channel_.setSource(nullptr) || channel_.start());
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

// The detection step runs 15 times a second for the life of the program: a
// tick must not allocate. Counted by replacing the global allocator, which the
// sanitizers own in their builds, so there the check is left out.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {
thread_local bool countingAllocations = false;
thread_local int allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (countingAllocations) ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace tessary {
namespace {

struct HitSink {
  void onHit(std::int32_t) { ++hits; }
  int hits = 0;
};

TEST_F(ChannelTest, ATickAllocatesNothingWhileEveryZoneFires) {
  ASSERT_TRUE(init(0, {fakes::flatFrame(10), fakes::checkeredFrame(10)}));
  HitSink sink;
  RegionManager& manager = *channel_.createRegionManager();
  RegionDescriptor zone{0, 0, 4, 4, 50, 20, {}, RegionIndexedHitCallback::bind(&sink, &HitSink::onHit)};
  for (zone.y = 0; zone.y < 120; zone.y += 4) {
    for (zone.x = 0; zone.x < 160; zone.x += 4) {
      std::int32_t index = -1;
      ASSERT_TRUE(manager.add(index, zone));
    }
  }
  ASSERT_TRUE(channel_.start());
  source_->show(0);
  channel_.tick();

  countingAllocations = true;
  for (int i = 0; i < 20; ++i) {
    source_->advance();
    channel_.tick();
  }
  countingAllocations = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(sink.hits, 1200);
}

}  // namespace
}  // namespace tessary

#endif
