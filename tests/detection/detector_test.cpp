#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>
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
  region.x = x, region.y = y, region.width = width, region.height = height, region.level = level;
  return region;
}

class NeighbourDetectorTest : public ::testing::Test {
 protected:
  // Feeds `before` then `after` and counts inside `region`.
  DetectionResult count(const TestFrame& before, const TestFrame& after,
                        const DetectionRegion& region, MaskView mask = {}) {
    for (const TestFrame* frame : {&before, &after}) {
      const std::uint8_t* pointer = frame->data();
      EXPECT_TRUE(detector_.processFrame(pointer));
    }
    DetectionResult current, previous;
    detector_.detect(current, previous, region, mask);
    return current;
  }

  NeighbourDetector detector_{kFrameWidth, kFrameHeight};
  TestFrame black_;
};

// Row 1 and column 1 are confirmed only across the edge, never by row or
// column 0; regions are read only where they lie on the frame.
TEST_F(NeighbourDetectorTest, EdgeRowsAndRegionsCutAtTheFrame) {
  auto darkEdge = [&](int dark, bool rows) {
    TestFrame frame;
    frame.fill(100);
    for (int i = 0; i < dark; ++i) {
      for (int j = 0; j < (rows ? kFrameWidth : kFrameHeight); ++j) rows ? frame.setGrey(j, i, 0) : frame.setGrey(i, j, 0);
    }
    return count(black_, frame, regionOf(0, 0, 160, 120)).count;
  };
  EXPECT_EQ(darkEdge(1, true) + darkEdge(1, false), 0u);
  EXPECT_EQ(darkEdge(2, true), 160u);
  EXPECT_EQ(darkEdge(2, false), 120u);

  TestFrame board;
  board.fill(200, true);
  EXPECT_EQ(count(black_, board, regionOf(-1000, -1000, 5000, 5000)).count, 9600u);
  EXPECT_EQ(count(black_, board, regionOf(2147483000, 5, 2147483000, 5)).count, 0u);
}

TEST(RegionMaskTest, TurnsWithTheZonesAndTheSizeMustFit) {
  const std::vector<std::uint8_t> corner = {1, 2, 3, 4, 5, 0};  // 3 x 2
  RegionMask small;
  ASSERT_TRUE(RegionMask::create(corner, 3, 2, small));
  EXPECT_EQ(small.pixelCount(), 5u);
  const std::pair<Orientation, std::vector<std::uint8_t>> turns[] = {
      {{}, corner},
      {{.mirrored = true}, {3, 2, 1, 0, 5, 4}},
      {{.flipped = true}, {4, 5, 0, 1, 2, 3}},
      {{.mirrored = true, .flipped = true}, {0, 5, 4, 3, 2, 1}}};
  for (const auto& [turn, bytes] : turns) {
    const MaskView view = small.turned(turn);
    ASSERT_EQ(view.width * 10 + view.height, 32);
    EXPECT_TRUE(std::ranges::equal(std::span(view.pixels, 6), bytes)) << turn.mirrored << turn.flipped;
  }
  EXPECT_FALSE(RegionMask::create(corner, 3, 3, small));  // too few bytes
  EXPECT_FALSE(RegionMask::create(corner, -3, -2, small));
}

TEST_F(NeighbourDetectorTest, OutputPictureCarriesFillAndHighlight) {
  const std::uint8_t* pointer = nullptr;
  EXPECT_FALSE(detector_.processFrame(pointer));

  TestFrame frame;
  frame.pixel(0, 0)[3] = 7;  // the unused byte travels with the picture
  frame.setGrey(40, 30, 200);
  detector_.setHighlight(1, 255, 128, 1);
  count(black_, frame, regionOf(0, 0, 160, 120));
  const std::uint8_t* lit = detector_.output() + (30 * 160 + 40) * 4;
  EXPECT_EQ(std::vector<int>(lit, lit + 5), (std::vector<int>{1, 128, 255, 0, 0}));
  EXPECT_EQ(detector_.output()[3], 7);

  detector_.setFill(1, 1, 2, 3);
  pointer = frame.data();
  ASSERT_TRUE(detector_.processFrame(pointer));
  EXPECT_EQ(pointer, detector_.output());
  EXPECT_EQ(std::vector<int>(pointer, pointer + 4), (std::vector<int>{3, 2, 1, 7}));

  // Neither fill nor highlight: the frame itself is handed on, and a
  // highlight switched on while the frame is evaluated waits for the next one.
  detector_.setFill(0, 0, 0, 0);
  detector_.setHighlight(0, 255, 255, 255);
  TestFrame moved;
  moved.setGrey(41, 30, 200);
  pointer = moved.data();
  ASSERT_TRUE(detector_.processFrame(pointer));
  EXPECT_EQ(pointer, moved.data());
  detector_.setHighlight(1, 255, 255, 255);
  DetectionResult now, before;
  detector_.detect(now, before, regionOf(0, 0, 160, 120), {});
  EXPECT_GT(now.count, 0u);
  EXPECT_EQ(moved.pixel(40, 30)[0], 0);
  pointer = frame.data();
  ASSERT_TRUE(detector_.processFrame(pointer));
  detector_.detect(now, before, regionOf(0, 0, 160, 120), {});
  EXPECT_EQ(detector_.output()[(30 * 160 + 41) * 4], 255);
}

TEST(DetectorTest, FactoryAndThePlainMethod) {
  auto plain = createDetector(kDetectionMethodPlain, kFrameWidth, kFrameHeight, 1, 1);
  ASSERT_NE(dynamic_cast<PlainDetector*>(plain.get()), nullptr);
  EXPECT_EQ(plain->fillFlag() * 10 + plain->highlightFlag(), 11);

  // Method 0 counts every changed pixel, and never carries a result over.
  TestFrame flat, brighter;
  flat.fill(50);
  brighter.fill(80);
  for (const TestFrame* frame : {&flat, &brighter}) {
    const std::uint8_t* pointer = frame->data();
    ASSERT_TRUE(plain->processFrame(pointer));
  }
  DetectionResult current{5, 1, 1, 1, 1}, previous{5, 1, 1, 1, 1};
  plain->detectionInterface().detect(current, previous, regionOf(-10, 0, 30, 10), {});
  EXPECT_EQ(current, (DetectionResult{200, 0, 0, 0, 0}));
  EXPECT_EQ(previous, DetectionResult{});

  const std::uint8_t* pointer = flat.data();
  EXPECT_FALSE(createDetector(kDetectionMethodNeighbour, -4, 10)->processFrame(pointer));
}

}  // namespace
}  // namespace tessary
