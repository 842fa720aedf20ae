#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/frame.h"
#include "detection/detection_region.h"
#include "detection/neighbour_detector.h"
#include "detection/region_manager.h"
#include "test_frames.h"

namespace tessary {
namespace {

using testing::HitRecorder;
using testing::TestFrame;

TEST(ConversionTest, SensitivityToLevel) {
  EXPECT_EQ(levelForSensitivity(0), 43);
  EXPECT_EQ(levelForSensitivity(10), 39);
  EXPECT_EQ(levelForSensitivity(50), 21);
  EXPECT_EQ(levelForSensitivity(80), 8);
  EXPECT_EQ(levelForSensitivity(100), 0);
  EXPECT_EQ(levelForSensitivity(-5), 43);
  EXPECT_EQ(levelForSensitivity(250), 0);
}

TEST(ConversionTest, ThresholdToRequiredCount) {
  EXPECT_EQ(requiredCountFor(160 * 120, 20), 3840u);
  EXPECT_EQ(requiredCountFor(10 * 10, 20), 20u);
  EXPECT_EQ(requiredCountFor(10 * 10, 0), 0u);
  EXPECT_EQ(requiredCountFor(0, 50), 0u);
  EXPECT_EQ(requiredCountFor(-100, 50), 0u);
  EXPECT_EQ(thresholdPercentFor(20), 20u);
  EXPECT_EQ(thresholdPercentFor(100), 100u);
  EXPECT_EQ(thresholdPercentFor(150), 100u);
  EXPECT_EQ(thresholdPercentFor(-1), 100u);
}

class RegionManagerTest : public ::testing::Test {
 protected:
  RegionManagerTest() { manager_.setDetector(&detector_); }

  std::int32_t addRegion(int x, int y, int width, int height, int threshold = 20) {
    std::int32_t index = -1;
    EXPECT_TRUE(manager_.add(index, recorder_.descriptor(x, y, width, height, 50, threshold)));
    return index;
  }
  // One processing tick: the detector takes the frame, the manager evaluates.
  bool tick(const TestFrame& frame) {
    const std::uint8_t* pointer = frame.data();
    if (!detector_.processFrame(pointer)) return false;
    return manager_.evaluateFrame();
  }
  DetectionRegion regionAt(std::int32_t index) {
    DetectionRegion region;
    EXPECT_TRUE(manager_.regionAt(index, region));
    return region;
  }

  // Mode 0 on a top-down buffer: rectangles are stored as given.
  NeighbourDetector detector_{kFrameWidth, kFrameHeight, 0};
  RegionManager manager_;
  HitRecorder recorder_;
  TestFrame black_;
};

TEST_F(RegionManagerTest, AddStoresTheConvertedSettings) {
  const std::int32_t full = addRegion(0, 0, 160, 120);
  const DetectionRegion region = regionAt(full);
  EXPECT_EQ(region.level, 21);
  EXPECT_EQ(region.thresholdPercent, 20u);
  EXPECT_EQ(region.requiredCount, 3840u);
  EXPECT_EQ(region.active, 1);
  EXPECT_EQ(region.maskId, -1);
  EXPECT_EQ(region.current, DetectionResult{});

  manager_.setSensitivity(full, 80);
  EXPECT_EQ(regionAt(full).level, 8);
  manager_.setThreshold(full, -3);
  EXPECT_EQ(regionAt(full).requiredCount, 19200u);
}

TEST_F(RegionManagerTest, HitFiresOnItsTickAndOnceMoreWhenTheNextFrameIsStill) {
  const std::int32_t index = addRegion(20, 20, 10, 10);  // needs 20
  TestFrame twenty;
  twenty.isolatedPixels(20, 20, 10, 10, 20);
  ASSERT_TRUE(tick(twenty));
  EXPECT_EQ(recorder_.hits(), 1);
  EXPECT_EQ(manager_.motionAmount(index), 20u);
  ASSERT_TRUE(tick(twenty));  // no change: the previous count decides
  EXPECT_EQ(recorder_.hits(), 2);
  EXPECT_EQ(manager_.motionAmount(index), 20u);
  ASSERT_TRUE(tick(twenty));
  EXPECT_EQ(recorder_.hits(), 2);
  EXPECT_EQ(manager_.motionAmount(index), 0u);
}

TEST_F(RegionManagerTest, BelowThresholdCountIsClearedAtOnce) {
  const std::int32_t index = addRegion(20, 20, 10, 10);
  TestFrame nineteen;
  nineteen.isolatedPixels(20, 20, 10, 10, 19);
  ASSERT_TRUE(tick(nineteen));
  EXPECT_EQ(regionAt(index).current.count, 0u);
  EXPECT_EQ(manager_.motionAmount(index), 0u);
  ASSERT_TRUE(tick(nineteen));
  EXPECT_EQ(recorder_.hits(), 0);
}

TEST_F(RegionManagerTest, ThresholdZeroFiresOnAnyCountedPixel) {
  addRegion(20, 20, 10, 10, 0);
  ASSERT_TRUE(tick(black_));
  EXPECT_EQ(recorder_.hits(), 0);
  TestFrame one;
  one.isolatedPixels(20, 20, 10, 10, 1);
  ASSERT_TRUE(tick(one));
  EXPECT_EQ(recorder_.hits(), 1);
}

TEST_F(RegionManagerTest, RequiredCountIsOnlyRecomputedBySetThreshold) {
  const std::int32_t index = addRegion(20, 20, 10, 10);
  manager_.setRect(index, 20, 20, 20, 20);
  EXPECT_EQ(regionAt(index).width, 20);
  EXPECT_EQ(regionAt(index).requiredCount, 20u);
  manager_.setThreshold(index, 20);
  EXPECT_EQ(regionAt(index).requiredCount, 80u);
}

TEST_F(RegionManagerTest, RegionPastTheEdgeCountsItsVisiblePartAgainstItsWholeArea) {
  const std::int32_t index = addRegion(150, 110, 20, 20);  // 10 x 10 visible, area 400
  EXPECT_EQ(regionAt(index).requiredCount, 80u);
  TestFrame board;
  board.checkerboard();
  ASSERT_TRUE(tick(board));
  EXPECT_EQ(recorder_.hits(), 0);  // 50 of 80
  manager_.setThreshold(index, 10);
  ASSERT_TRUE(tick(black_));  // board -> black: nothing confirmed
  ASSERT_TRUE(tick(board));
  EXPECT_EQ(recorder_.hits(), 1);
  EXPECT_EQ(manager_.motionAmount(index), 12u);  // 50 / 400
}

TEST_F(RegionManagerTest, MotionAmountStaysWithinAHundredAfterAShrink) {
  const std::int32_t index = addRegion(0, 0, 20, 20, 0);
  TestFrame frame;
  frame.isolatedPixels(0, 0, 20, 20, 100);
  ASSERT_TRUE(tick(frame));
  EXPECT_EQ(manager_.motionAmount(index), 25u);
  manager_.setRect(index, 0, 0, 2, 2);  // 100 counted pixels, area now 4
  EXPECT_EQ(manager_.motionAmount(index), 100u);
}

TEST_F(RegionManagerTest, EmptyAndNegativeRegionsNeverFireNorReadOutside) {
  const std::int32_t negative = addRegion(30, 30, -20, -20);
  const std::int32_t outside = addRegion(-500, -500, 100, 100);
  EXPECT_EQ(regionAt(negative).requiredCount, 0u);
  TestFrame board;
  board.checkerboard();
  ASSERT_TRUE(tick(board));
  ASSERT_TRUE(tick(black_));
  EXPECT_EQ(recorder_.hits(), 0);
  EXPECT_EQ(manager_.motionAmount(negative), 0u);
  EXPECT_EQ(manager_.motionAmount(outside), 0u);
}

TEST_F(RegionManagerTest, PausedRegionNeverFires) {
  const std::int32_t index = addRegion(0, 0, 160, 120, 0);
  TestFrame board;
  board.checkerboard();
  ASSERT_TRUE(tick(board));
  manager_.setActive(index, 0);
  EXPECT_EQ(manager_.isActive(index), 0);
  EXPECT_EQ(manager_.motionAmount(index), 0u);
  ASSERT_TRUE(tick(black_));
  ASSERT_TRUE(tick(board));
  EXPECT_EQ(recorder_.hits(), 1);
  manager_.setActive(index, 1);
  ASSERT_TRUE(tick(black_));
  ASSERT_TRUE(tick(board));
  EXPECT_EQ(recorder_.hits(), 2);
}

TEST_F(RegionManagerTest, CallbacksFireHitFirstThenIndexed) {
  addRegion(0, 0, 10, 10, 0);
  addRegion(50, 50, 10, 10, 0);
  TestFrame frame;
  frame.isolatedPixels(0, 0, 10, 10, 3);
  frame.isolatedPixels(50, 50, 10, 10, 3);
  ASSERT_TRUE(tick(frame));
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"hit", "indexed 0", "hit", "indexed 1"}));

  // An empty callback is simply not called.
  std::int32_t index = -1;
  RegionDescriptor quiet = recorder_.descriptor(100, 100, 10, 10, 50, 0);
  quiet.onHit = RegionHitCallback();
  ASSERT_TRUE(manager_.add(index, quiet));
  recorder_.events.clear();
  TestFrame other;
  other.isolatedPixels(100, 100, 10, 10, 3);
  ASSERT_TRUE(tick(other));
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"hit", "indexed 0", "hit", "indexed 1",
                                                        "indexed 2"}));
}

TEST_F(RegionManagerTest, ManyHitsInOneFrameAreAllReported) {
  for (int i = 0; i < 300; ++i) addRegion(0, 0, 160, 120, 0);
  TestFrame board;
  board.checkerboard();
  ASSERT_TRUE(tick(board));
  ASSERT_EQ(recorder_.events.size(), 600u);
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(recorder_.events[static_cast<std::size_t>(2 * i + 1)], "indexed " + std::to_string(i));
  }
}

TEST_F(RegionManagerTest, SlotsAreReusedLowestFirstAndNeverShrink) {
  EXPECT_FALSE(manager_.evaluateFrame());  // no slots
  EXPECT_EQ(addRegion(0, 0, 10, 10), 0);
  EXPECT_EQ(addRegion(0, 0, 10, 10), 1);
  EXPECT_EQ(addRegion(0, 0, 10, 10), 2);
  manager_.remove(1);
  manager_.remove(0);
  manager_.remove(0);  // already free
  EXPECT_EQ(manager_.count(), 3);
  EXPECT_EQ(manager_.liveCount(), 1);
  EXPECT_EQ(manager_.isActive(0), 0);
  EXPECT_EQ(addRegion(0, 0, 10, 10), 0);
  EXPECT_EQ(addRegion(0, 0, 10, 10), 1);
  EXPECT_EQ(addRegion(0, 0, 10, 10), 3);
  EXPECT_EQ(manager_.liveCount(), 4);
  EXPECT_TRUE(manager_.clear());
  EXPECT_EQ(manager_.count(), 0);
  EXPECT_EQ(manager_.liveCount(), 0);
}

TEST_F(RegionManagerTest, OperationsOnFreeOrAbsentSlotsDoNothing) {
  addRegion(0, 0, 10, 10);
  manager_.remove(0);
  for (std::int32_t index : {-1, 0, 1, 1000}) {
    manager_.remove(index);
    manager_.move(index, 1, 1);
    manager_.setRect(index, 1, 1, 1, 1);
    manager_.setSensitivity(index, 1);
    manager_.setThreshold(index, 1);
    manager_.setActive(index, 1);
    EXPECT_FALSE(manager_.assignMask(index, -1));
    EXPECT_EQ(manager_.isActive(index), 0);
    EXPECT_EQ(manager_.motionAmount(index), 0u);
    std::int32_t x = 9, y = 9, width = 9, height = 9;
    EXPECT_FALSE(manager_.rect(index, x, y, width, height));
    EXPECT_FALSE(manager_.hitBox(index, x, y, width, height));
    EXPECT_FALSE(manager_.previousBox(index, x, y, width, height));
    EXPECT_EQ(x + y + width + height, 0);
  }
  EXPECT_EQ(manager_.count(), 1);
  EXPECT_EQ(manager_.liveCount(), 0);
}

TEST_F(RegionManagerTest, HitBoxesFollowTheLatestTwoEvaluations) {
  const std::int32_t index = addRegion(0, 0, 160, 120, 0);
  TestFrame frame;
  frame.setGrey(10, 20, 200);
  frame.setGrey(30, 25, 200);
  ASSERT_TRUE(tick(frame));
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  ASSERT_TRUE(manager_.hitBox(index, x, y, width, height));
  EXPECT_EQ((std::vector<int>{x, y, width, height}), (std::vector<int>{10, 20, 20, 5}));
  EXPECT_FALSE(manager_.previousBox(index, x, y, width, height));
  ASSERT_TRUE(tick(frame));
  EXPECT_FALSE(manager_.hitBox(index, x, y, width, height));
  ASSERT_TRUE(manager_.previousBox(index, x, y, width, height));
  EXPECT_EQ((std::vector<int>{x, y, width, height}), (std::vector<int>{10, 20, 20, 5}));
}

TEST_F(RegionManagerTest, MasksDecideAreaAndPixelsAndAreReleasedSafely) {
  const std::int32_t index = addRegion(20, 20, 10, 10);
  std::vector<std::uint8_t> bytes(100, 0);
  for (int i = 50; i < 100; ++i) bytes[static_cast<std::size_t>(i)] = 1;  // bottom half
  std::int32_t maskId = -1;
  ASSERT_TRUE(manager_.createMask(maskId, bytes, 10, 10));
  EXPECT_EQ(maskId, 0);
  EXPECT_FALSE(manager_.createMask(maskId, bytes, 20, 10));
  EXPECT_FALSE(manager_.assignMask(index, 5));
  ASSERT_TRUE(manager_.assignMask(index, 0));
  manager_.setThreshold(index, 20);
  EXPECT_EQ(regionAt(index).requiredCount, 10u);  // a fifth of the mask's 50 pixels

  TestFrame frame;  // mode 0 reads the flipped variant: the top rows count
  frame.isolatedPixels(20, 20, 10, 4, 10);
  ASSERT_TRUE(tick(frame));
  EXPECT_EQ(recorder_.hits(), 1);
  EXPECT_EQ(manager_.motionAmount(index), 20u);

  // Resized, the mask no longer fits: the region rests rather than firing
  // again and again on its old counts.
  manager_.setRect(index, 20, 20, 12, 12);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick(i % 2 == 0 ? black_ : frame));
  EXPECT_EQ(recorder_.hits(), 1);

  ASSERT_TRUE(manager_.deleteMask(0));
  EXPECT_FALSE(manager_.deleteMask(0));
  EXPECT_EQ(regionAt(index).maskId, -1);
  ASSERT_TRUE(manager_.createMask(maskId, bytes, 10, 10));
  EXPECT_EQ(maskId, 0);
  EXPECT_EQ(regionAt(index).maskId, -1);  // the reused id did not attach itself
  EXPECT_TRUE(manager_.assignMask(index, -1));
}

TEST_F(RegionManagerTest, EvaluationNeedsADetector) {
  addRegion(0, 0, 10, 10);
  manager_.setDetector(nullptr);
  EXPECT_FALSE(manager_.evaluateFrame());
}

// A hit handler may call back into the manager, even remove its own region or
// try to evaluate again, without deadlocking.
class ReenteringHandler {
 public:
  explicit ReenteringHandler(RegionManager& manager) : manager_(manager) {}
  void onHitIndexed(std::int32_t index) {
    nestedEvaluation = manager_.evaluateFrame();
    amount = manager_.motionAmount(index);
    manager_.remove(index);
    ++calls;
  }
  RegionManager& manager_;
  bool nestedEvaluation = true;
  std::uint32_t amount = 0;
  int calls = 0;
};

TEST_F(RegionManagerTest, HandlersMayCallBackIntoTheManager) {
  ReenteringHandler handler(manager_);
  RegionDescriptor descriptor;
  descriptor.width = 160;
  descriptor.height = 120;
  descriptor.threshold = 0;
  descriptor.onHitIndexed = RegionIndexedHitCallback::bind(&handler, &ReenteringHandler::onHitIndexed);
  std::int32_t index = -1;
  ASSERT_TRUE(manager_.add(index, descriptor));
  TestFrame board;
  board.checkerboard();
  ASSERT_TRUE(tick(board));
  EXPECT_EQ(handler.calls, 1);
  EXPECT_FALSE(handler.nestedEvaluation);
  EXPECT_EQ(handler.amount, 50u);
  EXPECT_EQ(manager_.liveCount(), 0);
}

class OrientationTest : public ::testing::Test {
 protected:
  OrientationTest() { manager_.setDetector(&detector_); }

  std::vector<int> stored(std::int32_t index) {
    DetectionRegion region;
    EXPECT_TRUE(manager_.regionAt(index, region));
    return {region.x, region.y, region.width, region.height};
  }
  std::vector<int> reported(std::int32_t index) {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    EXPECT_TRUE(manager_.rect(index, x, y, width, height));
    return {x, y, width, height};
  }

  NeighbourDetector detector_{kFrameWidth, kFrameHeight, 2};  // bottom-up buffer
  RegionManager manager_;
};

TEST_F(OrientationTest, RectanglesAreStoredInBufferOrientation) {
  detector_.setMode(1);
  std::int32_t index = -1;
  RegionDescriptor descriptor;
  descriptor.width = 10;
  descriptor.height = 10;
  ASSERT_TRUE(manager_.add(index, descriptor));
  EXPECT_EQ(stored(index), (std::vector<int>{150, 110, 10, 10}));
  EXPECT_EQ(reported(index), (std::vector<int>{0, 0, 10, 10}));

  manager_.move(index, 20, 5);
  EXPECT_EQ(stored(index), (std::vector<int>{130, 105, 10, 10}));
  manager_.setRect(index, 20, 5, 30, 40);
  EXPECT_EQ(stored(index), (std::vector<int>{110, 75, 30, 40}));
  EXPECT_EQ(reported(index), (std::vector<int>{20, 5, 30, 40}));
}

TEST_F(OrientationTest, RemappingFollowsAModeChange) {
  std::int32_t index = -1;
  RegionDescriptor descriptor;
  descriptor.x = 0;
  descriptor.y = 0;
  descriptor.width = 10;
  descriptor.height = 10;
  ASSERT_TRUE(manager_.add(index, descriptor));
  EXPECT_EQ(stored(index), (std::vector<int>{0, 110, 10, 10}));  // mode 0: flipped
  for (int mode : {1, 3, 2, 0}) {
    const int old = detector_.mode();
    detector_.setMode(mode);
    manager_.remapRegions(old, mode);
    EXPECT_EQ(reported(index), (std::vector<int>{0, 0, 10, 10})) << mode;
  }
  detector_.setMode(1);
  manager_.remapRegions(0, 1);
  EXPECT_EQ(stored(index), (std::vector<int>{150, 110, 10, 10}));
}

TEST_F(OrientationTest, WithoutADetectorRectanglesAreKeptAsGiven) {
  RegionManager bare;
  std::int32_t index = -1;
  RegionDescriptor descriptor;
  descriptor.x = 3;
  descriptor.y = 4;
  descriptor.width = 10;
  descriptor.height = 10;
  ASSERT_TRUE(bare.add(index, descriptor));
  DetectionRegion region;
  ASSERT_TRUE(bare.regionAt(index, region));
  EXPECT_EQ(region.x, 3);
  EXPECT_EQ(region.y, 4);
  bare.remapRegions(0, 1);
  ASSERT_TRUE(bare.regionAt(index, region));
  EXPECT_EQ(region.x, 3);
}

TEST_F(OrientationTest, ScaleConvertsBothWaysAndRefusesNonsense) {
  RegionManager scaled;
  EXPECT_FALSE(scaled.setScale(0.0f, 1.0f));
  EXPECT_FALSE(scaled.setScale(1.0f, -2.0f));
  EXPECT_FALSE(scaled.setScale(1.0f / 0.0f, 1.0f));
  ASSERT_TRUE(scaled.setScale(0.5f, 0.25f));
  std::int32_t index = -1;
  RegionDescriptor descriptor;
  descriptor.x = 10;
  descriptor.y = 8;
  descriptor.width = 20;
  descriptor.height = 4;
  ASSERT_TRUE(scaled.add(index, descriptor));
  DetectionRegion region;
  ASSERT_TRUE(scaled.regionAt(index, region));
  EXPECT_EQ((std::vector<int>{region.x, region.y, region.width, region.height}),
            (std::vector<int>{20, 32, 40, 16}));
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  ASSERT_TRUE(scaled.rect(index, x, y, width, height));
  EXPECT_EQ((std::vector<int>{x, y, width, height}), (std::vector<int>{10, 8, 20, 4}));
  // Huge values saturate instead of overflowing.
  scaled.setRect(index, 2000000000, 0, 2000000000, 1);
  ASSERT_TRUE(scaled.regionAt(index, region));
  EXPECT_EQ(region.x, 2147483647);
}

}  // namespace
}  // namespace tessary
