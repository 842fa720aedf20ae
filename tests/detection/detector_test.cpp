#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "common/frame.h"
#include "detection/detector_factory.h"
#include "detection/neighbour_detector.h"
#include "detection/plain_detector.h"
#include "detection/region_mask.h"
#include "test_frames.h"

namespace tessary {
namespace {

using testing::TestFrame;

DetectionRegion regionOf(int x, int y, int width, int height, int level = 21) {
  DetectionRegion region;
  region.x = x;
  region.y = y;
  region.width = width;
  region.height = height;
  region.level = level;
  region.active = 1;
  return region;
}

class NeighbourDetectorTest : public ::testing::Test {
 protected:
  // Feeds `before` then `after` and counts inside `region`.
  DetectionResult countChange(const TestFrame& before, const TestFrame& after,
                              const DetectionRegion& region, const RegionMask* mask = nullptr) {
    feed(before);
    feed(after);
    DetectionResult current;
    DetectionResult previous;
    detector_.detect(current, previous, region, mask);
    return current;
  }
  void feed(const TestFrame& frame) {
    const std::uint8_t* pointer = frame.data();
    ASSERT_TRUE(detector_.processFrame(pointer));
  }

  NeighbourDetector detector_{kFrameWidth, kFrameHeight, 2};
  TestFrame black_;
};

TEST_F(NeighbourDetectorTest, CountsOnlyChangesThatStandOutFromANeighbour) {
  TestFrame flat;
  flat.fillGrey(50);
  TestFrame brighter;
  brighter.fillGrey(80);  // every channel changed by 30, all neighbours equal
  EXPECT_EQ(countChange(flat, brighter, regionOf(0, 0, 160, 120)).count, 0u);

  TestFrame spot;
  spot.setGrey(40, 30, 200);  // changed by 200, black neighbours confirm it
  const DetectionResult result = countChange(black_, spot, regionOf(0, 0, 160, 120));
  EXPECT_EQ(result.count, 1u);
  EXPECT_EQ(result, (DetectionResult{1, 40, 30, 40, 30}));
}

TEST_F(NeighbourDetectorTest, EveryChannelMustExceedTheLevel) {
  TestFrame partial;
  partial.set(10, 10, 200, 200, 21);  // blue changed by exactly the level
  EXPECT_EQ(countChange(black_, partial, regionOf(0, 0, 160, 120, 21)).count, 0u);
  TestFrame full;
  full.set(10, 10, 200, 200, 22);
  EXPECT_EQ(countChange(black_, full, regionOf(0, 0, 160, 120, 21)).count, 1u);
}

TEST_F(NeighbourDetectorTest, LevelZeroCountsAChangeOfOne) {
  TestFrame one;
  one.setGrey(10, 10, 1);
  EXPECT_EQ(countChange(black_, one, regionOf(0, 0, 160, 120, 0)).count, 1u);
}

TEST_F(NeighbourDetectorTest, RowOneAndColumnOneNeverLookAtRowZeroOrColumnZero) {
  // Everything brightened except row 0: only row 1 could be confirmed, and
  // only by row 0, which it does not look at.
  TestFrame rowZeroDark;
  rowZeroDark.fillGrey(100);
  for (int x = 0; x < kFrameWidth; ++x) rowZeroDark.setGrey(x, 0, 0);
  EXPECT_EQ(countChange(black_, rowZeroDark, regionOf(0, 0, 160, 120)).count, 0u);

  // With rows 0 and 1 dark, row 2 looks up at row 1 and every pixel counts.
  TestFrame rowsDark = rowZeroDark;
  for (int x = 0; x < kFrameWidth; ++x) rowsDark.setGrey(x, 1, 0);
  EXPECT_EQ(countChange(black_, rowsDark, regionOf(0, 0, 160, 120)).count, 160u);

  TestFrame columnZeroDark;
  columnZeroDark.fillGrey(100);
  for (int y = 0; y < kFrameHeight; ++y) columnZeroDark.setGrey(0, y, 0);
  EXPECT_EQ(countChange(black_, columnZeroDark, regionOf(0, 0, 160, 120)).count, 0u);

  TestFrame columnsDark = columnZeroDark;
  for (int y = 0; y < kFrameHeight; ++y) columnsDark.setGrey(1, y, 0);
  EXPECT_EQ(countChange(black_, columnsDark, regionOf(0, 0, 160, 120)).count, 120u);
}

TEST_F(NeighbourDetectorTest, ResultsMoveToPreviousAndTheCounterAccumulates) {
  TestFrame board;
  board.checkerboard();
  feed(black_);
  feed(board);
  DetectionResult current;
  DetectionResult previous;
  detector_.resetCounter();
  detector_.detect(current, previous, regionOf(0, 0, 160, 120), nullptr);
  EXPECT_EQ(current, (DetectionResult{9600, 0, 0, 159, 119}));
  detector_.detect(current, previous, regionOf(0, 0, 10, 10), nullptr);
  EXPECT_EQ(previous.count, 9600u);
  EXPECT_EQ(current.count, 50u);
  EXPECT_EQ(detector_.counter(), 9650u);
  detector_.resetCounter();
  EXPECT_EQ(detector_.counter(), 0u);
}

// Regions may start left of or above the frame, reach past it or have a
// negative size: counting covers only their part on the frame and never
// reads outside the buffers (AddressSanitizer checks the reads).
TEST_F(NeighbourDetectorTest, RegionsAreCutAtTheFrameEdges) {
  TestFrame board;
  board.checkerboard();
  EXPECT_EQ(countChange(black_, board, regionOf(-5, -5, 20, 20)).count, 113u);  // 15 x 15 on frame
  EXPECT_EQ(countChange(black_, board, regionOf(150, 110, 100, 100)).count, 50u);
  EXPECT_EQ(countChange(black_, board, regionOf(-1000, -1000, 5000, 5000)).count, 9600u);
  EXPECT_EQ(countChange(black_, board, regionOf(10, 10, -5, 20)).count, 0u);
  EXPECT_EQ(countChange(black_, board, regionOf(10, 10, 20, -5)).count, 0u);
  EXPECT_EQ(countChange(black_, board, regionOf(-50, -50, 10, 10)).count, 0u);
  EXPECT_EQ(countChange(black_, board, regionOf(2147483000, 5, 2147483000, 5)).count, 0u);
  EXPECT_EQ(countChange(black_, board, regionOf(160, 0, 10, 10)).count, 0u);
}

TEST_F(NeighbourDetectorTest, MaskSelectsPixelsByModeAndMustFitTheRegion) {
  // Mask drawn with its top half taken into account.
  std::vector<std::uint8_t> bytes(100, 0);
  for (int i = 0; i < 50; ++i) bytes[static_cast<std::size_t>(i)] = 1;
  RegionMask mask;
  ASSERT_TRUE(RegionMask::create(bytes, 10, 10, mask));
  EXPECT_EQ(mask.pixelCount(), 50u);

  TestFrame topHalf;
  topHalf.isolatedPixels(20, 20, 10, 5, 100);  // 15 pixels in rows 20..24
  TestFrame bottomHalf;
  bottomHalf.isolatedPixels(20, 26, 10, 4, 100);  // 10 pixels in rows 26..29

  // Mode 0 reads the flipped variant: the buffer is bottom-up.
  detector_.setMode(0);
  EXPECT_EQ(countChange(black_, topHalf, regionOf(20, 20, 10, 10), &mask).count, 0u);
  EXPECT_EQ(countChange(black_, bottomHalf, regionOf(20, 20, 10, 10), &mask).count, 10u);
  detector_.setMode(2);
  EXPECT_EQ(countChange(black_, topHalf, regionOf(20, 20, 10, 10), &mask).count, 15u);

  DetectionResult current{7, 1, 2, 3, 4};
  DetectionResult previous{9, 1, 2, 3, 4};
  detector_.detect(current, previous, regionOf(20, 20, 12, 10), &mask);
  EXPECT_EQ(current.count, 7u);  // wrong size: results left alone
  EXPECT_EQ(previous.count, 9u);
}

// The rule written out pixel by pixel, as plainly as possible, to check the
// detector's faster loops against.
DetectionResult referenceCount(const TestFrame& before, const TestFrame& after,
                               const DetectionRegion& region) {
  auto differs = [&](const std::uint8_t* a, const std::uint8_t* b) {
    for (int k = 0; k < 3; ++k) {
      if (std::abs(a[k] - b[k]) <= region.level) return false;
    }
    return true;
  };
  DetectionResult result = DetectionResult::reset();
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x) {
      const bool inside = x >= region.x && x < region.x + region.width && y >= region.y &&
                          y < region.y + region.height;
      if (!inside || !differs(after.pixel(x, y), before.pixel(x, y))) continue;
      const int W = kFrameWidth;
      const int H = kFrameHeight;
      const bool confirmed =
          (y > 1 && differs(after.pixel(x, y), after.pixel(x, y - 1))) ||
          (y > 1 && x < W - 1 && differs(after.pixel(x, y), after.pixel(x + 1, y - 1))) ||
          (x < W - 1 && differs(after.pixel(x, y), after.pixel(x + 1, y))) ||
          (y < H - 1 && x < W - 1 && differs(after.pixel(x, y), after.pixel(x + 1, y + 1))) ||
          (y < H - 1 && differs(after.pixel(x, y), after.pixel(x, y + 1))) ||
          (y < H - 1 && x > 1 && differs(after.pixel(x, y), after.pixel(x - 1, y + 1))) ||
          (x > 1 && differs(after.pixel(x, y), after.pixel(x - 1, y))) ||
          (y > 1 && x > 1 && differs(after.pixel(x, y), after.pixel(x - 1, y - 1)));
      if (!confirmed) continue;
      result.minX = std::min(result.minX, x);
      result.maxX = std::max(result.maxX, x);
      result.minY = std::min(result.minY, y);
      result.maxY = std::max(result.maxY, y);
      ++result.count;
    }
  }
  return result;
}

TEST_F(NeighbourDetectorTest, MatchesThePlainRuleOnRandomScenes) {
  std::mt19937 random(2152);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> coordinate(-20, 170);
  std::uniform_int_distribution<int> size(-5, 180);
  std::uniform_int_distribution<int> level(0, 43);
  TestFrame before;
  for (int scene = 0; scene < 40; ++scene) {
    // Flat patches with noise, so that both confirmed and unconfirmed
    // changes occur, including along the frame edges.
    TestFrame after;
    const int patch = 1 + scene % 7;
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) {
        const int base = ((x / patch + y / patch + scene) % 3) * 60;
        after.set(x, y, static_cast<std::uint8_t>(base + byte(random) % 30),
                  static_cast<std::uint8_t>(base + byte(random) % 30),
                  static_cast<std::uint8_t>(base + byte(random) % 30));
      }
    }
    for (int trial = 0; trial < 5; ++trial) {
      const DetectionRegion region = trial == 0
                                         ? regionOf(0, 0, 160, 120, level(random))
                                         : regionOf(coordinate(random), coordinate(random),
                                                    size(random), size(random), level(random));
      const DetectionResult expected = referenceCount(before, after, region);
      EXPECT_EQ(countChange(before, after, region), expected)
          << "scene " << scene << " region " << region.x << "," << region.y << " "
          << region.width << "x" << region.height << " level " << region.level;
    }
    before = after;
  }
}

TEST(RegionMaskTest, KeepsFourVariantsAndRefusesBadInput) {
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5, 0};  // 3 x 2
  RegionMask mask;
  ASSERT_TRUE(RegionMask::create(bytes, 3, 2, mask));
  EXPECT_EQ(mask.pixelCount(), 5u);
  auto asVector = [&](int variant) {
    auto span = mask.variant(variant);
    return std::vector<std::uint8_t>(span.begin(), span.end());
  };
  EXPECT_EQ(asVector(RegionMask::kUnchanged), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(asVector(RegionMask::kMirrored), (std::vector<std::uint8_t>{3, 2, 1, 0, 5, 4}));
  EXPECT_EQ(asVector(RegionMask::kFlipped), (std::vector<std::uint8_t>{4, 5, 0, 1, 2, 3}));
  EXPECT_EQ(asVector(RegionMask::kMirroredFlipped), (std::vector<std::uint8_t>{0, 5, 4, 3, 2, 1}));

  RegionMask refused;
  EXPECT_FALSE(RegionMask::create(bytes, 3, 3, refused));  // too few bytes
  EXPECT_FALSE(RegionMask::create(bytes, 0, 2, refused));
  EXPECT_FALSE(RegionMask::create(bytes, -3, -2, refused));
}

TEST_F(NeighbourDetectorTest, ProcessFrameKeepsHistoryAndHandsOnTheOutput) {
  const std::uint8_t* none = nullptr;
  EXPECT_FALSE(detector_.processFrame(none));
  EXPECT_EQ(none, nullptr);

  TestFrame frame;
  frame.set(3, 4, 10, 20, 30);
  frame.data()[3] = 7;  // the unused byte travels with the picture
  const std::uint8_t* pointer = frame.data();
  ASSERT_TRUE(detector_.processFrame(pointer));
  EXPECT_EQ(pointer, detector_.output());
  EXPECT_EQ(pointer[(4 * kFrameWidth + 3) * 4 + 2], 10);
  EXPECT_EQ(pointer[3], 7);

  detector_.setFill(1, 1, 2, 3);
  pointer = frame.data();
  ASSERT_TRUE(detector_.processFrame(pointer));
  EXPECT_EQ(pointer[0], 3);
  EXPECT_EQ(pointer[1], 2);
  EXPECT_EQ(pointer[2], 1);
  EXPECT_EQ(pointer[3], 7);  // fill leaves the unused byte alone

  detector_.setFill(1, 0, 0, 0);
  pointer = frame.data();
  ASSERT_TRUE(detector_.processFrame(pointer));
  for (std::size_t i = 0; i < kFrameBytes; ++i) ASSERT_EQ(pointer[i], 0) << i;
}

TEST_F(NeighbourDetectorTest, HighlightPaintsCountedPixelsIntoTheOutput) {
  detector_.setHighlight(1, 255, 128, 1);
  TestFrame spot;
  spot.setGrey(40, 30, 200);
  countChange(black_, spot, regionOf(0, 0, 160, 120));
  const std::uint8_t* out = detector_.output() + (30 * kFrameWidth + 40) * 4;
  EXPECT_EQ(out[2], 255);
  EXPECT_EQ(out[1], 128);
  EXPECT_EQ(out[0], 1);
  const std::uint8_t* neighbour = detector_.output() + (30 * kFrameWidth + 41) * 4;
  EXPECT_EQ(neighbour[0], 0);
}

TEST(DetectorSettingsTest, FactoryAndStoredValues) {
  auto plain = createDetector(kDetectionMethodPlain, kFrameWidth, kFrameHeight, 2, 1, 1);
  EXPECT_NE(dynamic_cast<PlainDetector*>(plain.get()), nullptr);
  EXPECT_EQ(plain->fillFlag(), 1);
  EXPECT_EQ(plain->highlightFlag(), 1);
  EXPECT_EQ(plain->fillColour(), (PixelColour{0, 0, 0}));
  EXPECT_EQ(plain->highlightColour(), (PixelColour{255, 255, 255}));

  auto detector = createDetector(kDetectionMethodNeighbour, kFrameWidth, kFrameHeight, 2);
  EXPECT_NE(dynamic_cast<NeighbourDetector*>(detector.get()), nullptr);
  EXPECT_EQ(detector->fillFlag(), 0);
  EXPECT_EQ(detector->defaultLevel(), 10);
  detector->setDefaultSensitivity(50);
  EXPECT_EQ(detector->defaultLevel(), 21);
  detector->setMode(7);
  EXPECT_EQ(detector->detectionInterface().mode(), 3);
  EXPECT_EQ(detector->detectionInterface().nativeOrientation(), 2);
  std::int32_t width = 0;
  std::int32_t height = 0;
  detector->frameSize(width, height);
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 120);

  NeighbourDetector empty(-4, 10, 0);
  const std::uint8_t frame[4] = {};
  const std::uint8_t* pointer = frame;
  EXPECT_FALSE(empty.processFrame(pointer));
}

TEST(PlainDetectorTest, CountsEveryChangedPixelAndNeverCarriesOver) {
  PlainDetector detector(kFrameWidth, kFrameHeight, 2);
  TestFrame flat;
  flat.fillGrey(50);
  TestFrame brighter;
  brighter.fillGrey(80);
  const std::uint8_t* pointer = flat.data();
  ASSERT_TRUE(detector.processFrame(pointer));
  pointer = brighter.data();
  ASSERT_TRUE(detector.processFrame(pointer));
  DetectionResult current{5, 1, 1, 1, 1};
  DetectionResult previous{5, 1, 1, 1, 1};
  detector.detect(current, previous, regionOf(-10, 0, 30, 10), nullptr);
  EXPECT_EQ(current, (DetectionResult{200, 0, 0, 0, 0}));
  EXPECT_EQ(previous, DetectionResult{});
}

TEST(TransformTest, MapsByTheBitsOfOrientationXorMode) {
  NeighbourDetector detector(kFrameWidth, kFrameHeight, 2);
  struct Case {
    int a, b, x, y;
  };
  // A 10 x 20 rectangle at (5, 7).
  const Case cases[] = {
      {0, 0, 5, 7},    {0, 1, 145, 7},   {0, 2, 5, 93},  {0, 3, 145, 93},
      {2, 0, 5, 93},   {2, 1, 145, 93},  {2, 2, 5, 7},   {2, 3, 145, 7},
      {1, 3, 5, 7},    {3, 1, 5, 7},
  };
  for (const Case& c : cases) {
    std::int32_t x = 5;
    std::int32_t y = 7;
    detector.transformRectBetween(c.a, c.b, x, y, 10, 20, 0, 0);
    EXPECT_EQ(x, c.x) << c.a << "," << c.b;
    EXPECT_EQ(y, c.y) << c.a << "," << c.b;
  }
  std::int32_t x = 5;
  std::int32_t y = 7;
  detector.transformRectBetween(0, 3, x, y, 10, 20, 100, 50);  // frame size override
  EXPECT_EQ(x, 85);
  EXPECT_EQ(y, 23);
  x = 5;
  y = 7;
  detector.transformRect(x, y, 10, 20);  // native 2: flip only
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 93);
  x = -2147483647;
  y = 0;
  detector.transformRectBetween(0, 1, x, y, 2147483647, 0, 0, 0);  // saturates, no overflow
  EXPECT_EQ(x, 160);
}

}  // namespace
}  // namespace tessary
