#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/frame.h"
#include "detection/neighbour_detector.h"
#include "detection/region_manager.h"
#include "test_frames.h"

namespace tessary {
namespace {

using testing::HitRecorder;
using testing::TestFrame;
using Rect = std::vector<int>;

TEST(ConversionTest, LevelsAndRequiredCounts) {
  const int levels[][2] = {{0, 43}, {10, 39}, {50, 21}, {80, 8}, {100, 0}, {-5, 43}, {250, 0}};
  for (const auto& [sensitivity, level] : levels) EXPECT_EQ(levelForSensitivity(sensitivity), level);
  EXPECT_EQ(requiredCountFor(160 * 120, 20), 3840u);
  EXPECT_EQ(requiredCountFor(10 * 10, 20), 20u);
  EXPECT_EQ(requiredCountFor(-100, 50), 0u);
  EXPECT_EQ(thresholdPercentFor(150) + thresholdPercentFor(-1), 200u);
}

class RegionManagerTest : public ::testing::Test {
 protected:
  // Cases start from a black scene unless `primed` is false.
  explicit RegionManagerTest(bool primed = true) : detector_(kFrameWidth, kFrameHeight) {
    manager_.setDetector(&detector_);
    const std::uint8_t* pointer = black_.data();
    if (primed) detector_.processFrame(pointer);
  }

  std::int32_t add(int x, int y, int width, int height, int threshold = 20) {
    std::int32_t index = -1;
    EXPECT_TRUE(manager_.add(index, {x, y, width, height, 50, threshold}));
    return index;
  }
  // One processing tick: the detector takes the frame, the manager evaluates.
  bool tick(const TestFrame& frame) {
    const std::uint8_t* pointer = frame.data();
    return detector_.processFrame(pointer) && recorder_.evaluate(manager_);
  }
  DetectionRegion region(std::int32_t index) {
    DetectionRegion copy;
    EXPECT_TRUE(manager_.regionAt(index, copy));
    return copy;
  }
  Rect stored(std::int32_t index) {
    const DetectionRegion r = region(index);
    return {r.x, r.y, r.width, r.height};
  }
  Rect reported(std::int32_t index) {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    EXPECT_TRUE(manager_.rect(index, x, y, width, height));
    return {x, y, width, height};
  }

  NeighbourDetector detector_;
  RegionManager manager_;
  HitRecorder recorder_;
  TestFrame black_;
};

TEST_F(RegionManagerTest, RequiredCountIsComputedOnlyBySetThreshold) {
  const std::int32_t index = add(0, 0, 160, 120);
  EXPECT_EQ(region(index).requiredCount, 3840u);
  manager_.setRect(index, 20, 20, 10, 10);
  EXPECT_EQ(region(index).requiredCount, 3840u);
  manager_.setThreshold(index, 20);
  EXPECT_EQ(region(index).requiredCount, 20u);
  manager_.setSensitivity(index, 80);
  EXPECT_EQ(region(index).level, 8);
}

TEST_F(RegionManagerTest, HitFiresOnItsTickAndOnceMoreIfTheNextFrameIsStill) {
  const std::int32_t index = add(20, 20, 10, 10);  // needs 20
  TestFrame nineteen, twenty;
  nineteen.isolatedPixels(20, 20, 10, 10, 19);
  twenty.isolatedPixels(20, 20, 10, 10, 20);
  ASSERT_TRUE(tick(nineteen));  // below the count: cleared at once
  ASSERT_TRUE(tick(nineteen));
  EXPECT_EQ(recorder_.hits(), 0);
  EXPECT_EQ(manager_.motionAmount(index), 0u);
  // Fires on the change, once more on the still frame after it, then not;
  // paused, it reports nothing.
  const TestFrame* frames[] = {&black_, &twenty, &twenty, &twenty, &black_, &twenty, &black_, &twenty};
  const int hitsAfter[] = {0, 1, 2, 2, 2, 3, 3, 3};
  for (int i = 0; i < 8; ++i) {
    if (i == 6) {
      EXPECT_EQ(manager_.motionAmount(index), 20u);
      manager_.setActive(index, 0);
      EXPECT_EQ(manager_.isActive(index) + manager_.motionAmount(index), 0u);
    }
    ASSERT_TRUE(tick(*frames[i]));
    EXPECT_EQ(recorder_.hits(), hitsAfter[i]) << i;
  }

  add(60, 60, 10, 10, 0);  // threshold 0: any counted pixel fires, none never does
  recorder_.fired.clear();
  TestFrame one;
  one.isolatedPixels(60, 60, 10, 10, 1);
  ASSERT_TRUE(tick(black_));
  ASSERT_TRUE(tick(black_));
  ASSERT_TRUE(tick(one));
  EXPECT_EQ(recorder_.fired, std::vector<std::int32_t>{1});
}

class FirstFrameTest : public RegionManagerTest {
 protected:
  FirstFrameTest() : RegionManagerTest(false) {}
};

TEST_F(FirstFrameTest, FirstFrameIsItsOwnPredecessorSoAStillSceneNeverFires) {
  const std::int32_t index = add(0, 0, 160, 120, 1);
  TestFrame scene, moved;
  scene.isolatedPixels(0, 0, 160, 120, 2000);
  moved.isolatedPixels(1, 1, 159, 119, 2000);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick(scene));
  EXPECT_EQ(recorder_.hits(), 0);
  EXPECT_EQ(manager_.motionAmount(index), 0u);
  ASSERT_TRUE(tick(moved));  // a real change still counts
  EXPECT_GT(recorder_.hits(), 0);
}

TEST_F(RegionManagerTest, EdgeAndEmptyRegionsUseTheirWholeAreaAndNeverReadOutside) {
  const std::int32_t edge = add(150, 110, 20, 20, 10);  // 10 x 10 visible of 400: needs 40
  const std::int32_t negative = add(30, 30, -20, -20);
  add(-500, -500, 100, 100);
  EXPECT_EQ(region(negative).requiredCount, 0u);
  TestFrame board;
  board.fill(200, true);
  ASSERT_TRUE(tick(board));
  EXPECT_EQ(recorder_.fired, std::vector<std::int32_t>{0});
  EXPECT_EQ(manager_.motionAmount(edge), 12u);  // 50 of 400
  EXPECT_EQ(manager_.motionAmount(negative), 0u);

  manager_.setRect(edge, 150, 110, 2, 2);  // the old count now exceeds the area
  EXPECT_EQ(manager_.motionAmount(edge), 100u);
}

TEST_F(RegionManagerTest, SlotsAreReusedLowestFirstAndFreeSlotsIgnoreEverything) {
  EXPECT_FALSE(recorder_.evaluate(manager_));  // no slots yet
  for (int expected : {0, 1, 2}) EXPECT_EQ(add(0, 0, 10, 10), expected);
  manager_.remove(1);
  manager_.remove(0);
  manager_.remove(0);
  for (std::int32_t index : {-1, 0, 1, 1000}) {
    manager_.move(index, 1, 1);
    manager_.setRect(index, 1, 1, 1, 1);
    manager_.setThreshold(index, 1);
    manager_.setActive(index, 1);
    std::int32_t x = 9, y = 9, width = 9, height = 9;
    EXPECT_FALSE(manager_.assignMask(index, -1) || manager_.rect(index, x, y, width, height));
    EXPECT_EQ(manager_.isActive(index) + manager_.motionAmount(index) + x + y + width + height, 0u);
  }
  EXPECT_EQ(manager_.count(), 3);
  EXPECT_EQ(manager_.liveCount(), 1);
  for (int expected : {0, 1, 3}) EXPECT_EQ(add(0, 0, 10, 10), expected);
  EXPECT_TRUE(manager_.clear());
  EXPECT_EQ(manager_.count() + manager_.liveCount(), 0);
  manager_.setDetector(nullptr);
  add(0, 0, 10, 10);
  EXPECT_FALSE(recorder_.evaluate(manager_));
}

TEST_F(RegionManagerTest, MasksSetTheAreaAndAStaleMaskNeverFires) {
  const std::int32_t index = add(20, 20, 10, 10);
  std::vector<std::uint8_t> bottomHalf(100, 0);
  std::fill(bottomHalf.begin() + 50, bottomHalf.end(), 1);
  std::int32_t maskId = -1;
  EXPECT_FALSE(manager_.createMask(maskId, bottomHalf, 20, 10));
  ASSERT_TRUE(manager_.createMask(maskId, bottomHalf, 10, 10));
  EXPECT_FALSE(manager_.assignMask(index, maskId + 1));
  ASSERT_TRUE(manager_.assignMask(index, maskId));
  manager_.setThreshold(index, 20);
  EXPECT_EQ(region(index).requiredCount, 10u);  // a fifth of the mask's 50 pixels

  TestFrame frame;  // the mask's bottom half: rows 25 to 29
  frame.isolatedPixels(20, 26, 10, 4, 10);
  ASSERT_TRUE(tick(frame));
  EXPECT_EQ(manager_.motionAmount(index), 20u);
  // Resized, the mask no longer fits: the region rests rather than firing
  // on its old counts every frame.
  manager_.setRect(index, 20, 20, 12, 12);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick(i % 2 == 0 ? black_ : frame));
  EXPECT_EQ(recorder_.hits(), 1);

  ASSERT_TRUE(manager_.deleteMask(maskId));
  EXPECT_FALSE(manager_.deleteMask(maskId));
  ASSERT_TRUE(manager_.createMask(maskId, bottomHalf, 10, 10));
  EXPECT_EQ(region(index).maskId, -1);  // the reused id did not attach itself
}

TEST_F(RegionManagerTest, ZonesAreTurnedOntoTheFrameAndKeepTheirPlaceAsTheTurnChanges) {
  manager_.setFrameLayout(kFrameWidth, kFrameHeight, {.mirrored = true});
  const std::int32_t index = add(0, 0, 10, 10);
  EXPECT_EQ(stored(index), (Rect{150, 0, 10, 10}));
  EXPECT_EQ(reported(index), (Rect{0, 0, 10, 10}));
  manager_.move(index, 20, 5);
  EXPECT_EQ(stored(index), (Rect{130, 5, 10, 10}));
  manager_.setRect(index, 20, 5, 30, 40);
  EXPECT_EQ(stored(index), (Rect{110, 5, 30, 40}));
  const Orientation turns[] = {{}, {.mirrored = true, .flipped = true}, {.flipped = true}};
  const Rect places[] = {{20, 5, 30, 40}, {110, 75, 30, 40}, {20, 75, 30, 40}};
  for (int i = 0; i < 3; ++i) {
    manager_.setFrameLayout(kFrameWidth, kFrameHeight, turns[i]);
    EXPECT_EQ(stored(index), places[i]) << i;
    EXPECT_EQ(reported(index), (Rect{20, 5, 30, 40})) << i;
  }
  // Far outside the frame, the turned place saturates rather than wraps.
  manager_.setRect(index, -2147483647, 0, 2147483647, 1);
  manager_.setFrameLayout(kFrameWidth, kFrameHeight, {.mirrored = true});
  EXPECT_EQ(stored(index)[0], 160);

  // A mask turns with its zone: flipped, its bottom half lies on the upper rows.
  manager_.setRect(index, 20, 20, 10, 10);
  manager_.setFrameLayout(kFrameWidth, kFrameHeight, {.flipped = true});
  std::vector<std::uint8_t> bottomHalf(100, 0);
  std::fill(bottomHalf.begin() + 50, bottomHalf.end(), 1);
  std::int32_t maskId = -1;
  ASSERT_TRUE(manager_.createMask(maskId, bottomHalf, 10, 10));
  ASSERT_TRUE(manager_.assignMask(index, maskId));
  manager_.setThreshold(index, 20);  // a fifth of the mask's 50 pixels
  TestFrame lower;  // the frame's rows 95 to 99: the zone's upper half
  lower.isolatedPixels(20, 96, 10, 4, 10);
  ASSERT_TRUE(tick(lower));
  EXPECT_EQ(recorder_.hits(), 0);
  TestFrame upper;  // rows 90 to 94: the zone's lower half
  upper.isolatedPixels(20, 90, 10, 4, 10);
  ASSERT_TRUE(tick(upper));
  EXPECT_EQ(recorder_.hits(), 1);
}

}  // namespace
}  // namespace tessary
