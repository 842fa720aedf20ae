// The detectors against the pixel-by-pixel reference, with the kernels of
// every instruction set this processor has: counts, boxes, the counter and
// the output picture on random scenes of odd sizes, and hit for hit on the
// benchmark's frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/frame.h"
#include "detection/change_kernels.h"
#include "detection/neighbour_detector.h"
#include "detection/padded_rows.h"
#include "detection/plain_detector.h"
#include "detection/region_manager.h"
#include "moving_pattern.h"
#include "reference_detector.h"
#include "support/fenced_buffer.h"
#include "test_frames.h"

namespace tessary {
namespace {

using detail::InstructionSet;
using testing::ReferenceDetector;

class ReferenceMatchTest : public ::testing::TestWithParam<InstructionSet> {
 protected:
  void SetUp() override {
    if (!detail::isSupported(GetParam())) GTEST_SKIP() << "this processor lacks the instruction set";
  }
};

// A detector and the reference, always fed and set alike.
struct DetectorPair {
  DetectorPair(int width, int height, bool neighbourRule, InstructionSet set)
      : reference(width, height, neighbourRule) {
    if (neighbourRule) {
      detector = std::make_unique<NeighbourDetector>(width, height, set);
    } else {
      detector = std::make_unique<PlainDetector>(width, height, set);
    }
    counting = dynamic_cast<CountingDetector*>(detector.get());
  }
  void feed(const std::vector<std::uint8_t>& frame) {
    const std::uint8_t* mine = frame.data();
    const std::uint8_t* theirs = frame.data();
    ASSERT_EQ(detector->processFrame(mine), reference.processFrame(theirs));
    expectSamePicture();
  }
  void expectSamePicture() const {
    const std::vector<std::uint8_t> picture(detector->output(),
                                            detector->output() + reference.output().size());
    EXPECT_TRUE(picture == reference.output());
  }

  std::unique_ptr<MotionDetector> detector;
  CountingDetector* counting = nullptr;
  ReferenceDetector reference;
};

// Flat patches with noise: confirmed and unconfirmed changes, edges included;
// now and then the same scene again or a uniformly brighter one.
std::vector<std::uint8_t> scene(int width, int height, int number,
                                const std::vector<std::uint8_t>& last, std::mt19937& random) {
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 4);
  if (number % 9 == 4 && !last.empty()) return last;
  if (number % 9 == 7 && !last.empty()) {
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(last[i] + 30);
    return frame;
  }
  std::uniform_int_distribution<int> noise(0, 29), byte(0, 255);
  const int patch = 1 + number % 7;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* pixel = frame.data() + (static_cast<std::size_t>(y) * width + x) * 4;
      const int base = ((x / patch + y / patch + number) % 3) * 60;
      for (int k = 0; k < 3; ++k) pixel[k] = static_cast<std::uint8_t>(base + noise(random));
      pixel[3] = static_cast<std::uint8_t>(byte(random));
    }
  }
  return frame;
}

TEST_P(ReferenceMatchTest, CountsBoxesAndPicturesOnRandomScenes) {
  const int sizes[][2] = {{160, 120}, {37, 23}, {161, 9}, {64, 3}, {3, 5}, {2, 2}, {1, 1}};
  std::mt19937 random(2152);
  std::uniform_int_distribution<int> percent(0, 100), any(0, 1 << 30);
  for (const auto& [width, height] : sizes) {
    for (bool neighbourRule : {true, false}) {
      DetectorPair pair(width, height, neighbourRule, GetParam());
      std::vector<std::uint8_t> frame;
      for (int number = 0; number < 14; ++number) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " scene " +
                     std::to_string(number) + (neighbourRule ? "" : " plain"));
        const auto colour = [&] { return static_cast<std::uint8_t>(any(random) % 256); };
        const std::uint8_t highlight = number % 3 == 1;
        const std::uint8_t red = colour(), green = colour(), blue = colour();
        pair.detector->setHighlight(highlight, red, green, blue);
        pair.reference.setHighlight(highlight, red, green, blue);
        const std::uint8_t fill = number % 5 == 2;
        const std::uint8_t fillRed = number % 2 == 0 ? 0 : colour();
        pair.detector->setFill(fill, fillRed, 0, 0);
        pair.reference.setFill(fill, fillRed, 0, 0);
        frame = scene(width, height, number, frame, random);
        pair.feed(frame);
        const Orientation turn{.mirrored = number % 2 == 1, .flipped = number % 4 >= 2};

        for (int trial = 0; trial < 24; ++trial) {
          DetectionRegion region;
          if (trial > 0) {
            std::uniform_int_distribution<int> xs(-12, width + 4), ys(-12, height + 4),
                widths(-3, width + 14), heights(-3, height + 14);
            region.x = xs(random), region.y = ys(random);
            region.width = widths(random), region.height = heights(random);
          } else {
            region.width = width, region.height = height;
          }
          // Every sensitivity's level, and a few no sensitivity gives.
          const int odd[] = {-1, -40, 254, 255, 1000};
          region.level = trial % 6 == 5 ? odd[any(random) % 5] : levelForSensitivity(percent(random));
          RegionMask mask;
          const bool masked = trial % 4 == 3 && region.width > 0 && region.height > 0;
          if (masked) {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(region.width) * region.height);
            for (auto& b : bytes) b = static_cast<std::uint8_t>(any(random) % 3 == 0 ? 0 : any(random) % 256);
            ASSERT_TRUE(RegionMask::create(bytes, region.width, region.height, mask));
          }
          const DetectionResult start{static_cast<std::uint32_t>(trial), 1, 2, 3, 4};
          DetectionResult mineNow = start, minePrevious = start;
          DetectionResult theirNow = start, theirPrevious = start;
          pair.counting->resetCounter();
          pair.reference.resetCounter();
          const MaskView view = masked ? mask.turned(turn) : MaskView{};
          pair.counting->detect(mineNow, minePrevious, region, view);
          pair.reference.detect(theirNow, theirPrevious, region, view);
          ASSERT_EQ(mineNow, theirNow) << region.x << "," << region.y << " " << region.width
                                       << "x" << region.height << " level " << region.level
                                       << (masked ? " masked" : "");
          ASSERT_EQ(minePrevious, theirPrevious);
          ASSERT_EQ(pair.counting->counter(), pair.reference.counter());
        }
        pair.expectSamePicture();  // highlighting
      }
    }
  }
}

// Grids with a sensitivity step per cell (more levels in one frame than are
// kept at once) and with one for all, whose rows of cells are counted a run
// at a time, some running off the frame; thresholds and orientations; and
// regions at the edges.
TEST_P(ReferenceMatchTest, HitForHitOnTheBenchmarkFrames) {
  const auto frames = testing::movingPattern(24);
  struct Grid {
    int columns, rows, x, y, width, height;
    bool sensitivityPerCell;
  };
  const Grid grids[] = {{1, 1, 0, 0, 160, 120, false}, {8, 8, 0, 0, 20, 15, true},
                        {40, 30, 0, 0, 4, 4, true},    {7, 5, 0, 0, 22, 24, true},
                        {40, 30, 0, 0, 4, 4, false},   {27, 17, 2, 2, 6, 7, false},
                        {20, 15, 90, 0, 8, 8, false},  {32, 120, 0, 0, 5, 1, false}};
  for (const Grid& grid : grids) {
    SCOPED_TRACE(std::to_string(grid.columns) + " x " + std::to_string(grid.rows) + " cells of " +
                 std::to_string(grid.width) + " x " + std::to_string(grid.height));
    DetectorPair pair(kFrameWidth, kFrameHeight, true, GetParam());
    RegionManager mine, theirs;
    mine.setDetector(&pair.counting->detectionInterface());
    theirs.setDetector(&pair.reference);
    testing::HitRecorder mineHits, theirHits;
    auto addBoth = [&](int x, int y, int width, int height, int sensitivity, int threshold) {
      std::int32_t a = -1, b = -1;
      const RegionDescriptor descriptor{x, y, width, height, sensitivity, threshold};
      ASSERT_TRUE(mine.add(a, descriptor));
      ASSERT_TRUE(theirs.add(b, descriptor));
      ASSERT_EQ(a, b);
    };
    for (int i = 0; i < grid.columns * grid.rows; ++i) {
      addBoth(grid.x + i % grid.columns * grid.width, grid.y + i / grid.columns * grid.height,
              grid.width, grid.height, grid.sensitivityPerCell ? (i * 7) % 101 : 50,
              (i * 13) % 40);
    }
    addBoth(-3, 100, 10, 30, 70, 5);
    addBoth(155, -2, 9, 9, 100, 0);
    addBoth(60, 40, 1, 1, 90, 0);

    for (std::size_t tick = 0; tick < frames.size(); ++tick) {
      if (tick == 8 || tick == 16) {
        const Orientation turn{.mirrored = tick == 8, .flipped = tick == 16};
        mine.setFrameLayout(kFrameWidth, kFrameHeight, turn);
        theirs.setFrameLayout(kFrameWidth, kFrameHeight, turn);
      }
      if (tick == 16) {  // counted a region at a time, to paint it
        pair.detector->setHighlight(1, 255, 0, 255);
        pair.reference.setHighlight(1, 255, 0, 255);
      }
      pair.feed(frames[tick]);
      ASSERT_EQ(mineHits.evaluate(mine), theirHits.evaluate(theirs));
      ASSERT_EQ(mineHits.fired, theirHits.fired) << "tick " << tick;
      for (std::int32_t index = 0; index < mine.count(); ++index) {
        DetectionRegion a, b;
        ASSERT_TRUE(mine.regionAt(index, a) && theirs.regionAt(index, b));
        ASSERT_EQ(a.current, b.current) << "tick " << tick << " region " << index;
        ASSERT_EQ(a.previous, b.previous);
        ASSERT_EQ(mine.motionAmount(index), theirs.motionAmount(index));
      }
      pair.expectSamePicture();
    }
    EXPECT_GT(mineHits.hits(), 0);
  }
}

// Regions as a region manager hands them over a batch at a time: runs that
// share a level broken by other levels, masks and paused regions, regions of
// every shape (cut at the edges, empty, taller than 64 rows, wider than one
// read), in every orientation.
TEST_P(ReferenceMatchTest, BatchesOfMixedRegionsOnRandomScenes) {
  std::mt19937 random(77);
  std::uniform_int_distribution<int> any(0, 1 << 30);
  DetectorPair pair(kFrameWidth, kFrameHeight, true, GetParam());
  RegionManager mine, theirs;
  mine.setDetector(&pair.counting->detectionInterface());
  theirs.setDetector(&pair.reference);
  testing::HitRecorder mineHits, theirHits;
  std::int32_t mineMask = -1, theirMask = -1;
  // Cells of every height up to 8 take a short way when they lie wholly on
  // the frame; at the edges, the long way.
  const int shapes[][2] = {{1, 1}, {3, 70}, {56, 4}, {57, 9}, {160, 120}, {5, 5}, {64, 64},
                           {0, 4}, {8, 8},  {9, 8},  {4, 4}, {7, 3},    {2, 6}, {6, 2},
                           {3, 7}};
  const int shapeCount = static_cast<int>(std::size(shapes));
  for (int i = 0; i < 300; ++i) {
    const auto& [width, height] = shapes[i % shapeCount];
    const int x = any(random) % (kFrameWidth + 20) - 10;
    const int y = any(random) % (kFrameHeight + 20) - 10;
    const int sensitivities[] = {50, 50, 50, 80, 100, 0};
    const int sensitivity = sensitivities[any(random) % 6];
    std::int32_t a = -1, b = -1;
    const RegionDescriptor descriptor{x, y, width, height, sensitivity, i % 30};
    ASSERT_TRUE(mine.add(a, descriptor));
    ASSERT_TRUE(theirs.add(b, descriptor));
    if (i % shapeCount == 5 && i % 3 == 0) {  // the 5 x 5 shape
      std::vector<std::uint8_t> bytes(25);
      for (auto& byte : bytes) byte = static_cast<std::uint8_t>(any(random) % 2);
      ASSERT_TRUE(mine.createMask(mineMask, bytes, 5, 5));
      ASSERT_TRUE(theirs.createMask(theirMask, bytes, 5, 5));
      ASSERT_TRUE(mine.assignMask(a, mineMask));
      ASSERT_TRUE(theirs.assignMask(b, theirMask));
    }
    if (i % 11 == 4) {
      mine.setActive(a, 0);
      theirs.setActive(b, 0);
    }
  }
  std::vector<std::uint8_t> frame;
  for (int number = 0; number < 12; ++number) {
    SCOPED_TRACE("scene " + std::to_string(number));
    if (number % 4 == 2) {
      const Orientation turn{.mirrored = number % 8 == 2, .flipped = number % 12 == 2};
      mine.setFrameLayout(kFrameWidth, kFrameHeight, turn);
      theirs.setFrameLayout(kFrameWidth, kFrameHeight, turn);
    }
    frame = scene(kFrameWidth, kFrameHeight, number, frame, random);
    pair.feed(frame);
    ASSERT_EQ(mineHits.evaluate(mine), theirHits.evaluate(theirs));
    ASSERT_EQ(mineHits.fired, theirHits.fired);
    for (std::int32_t index = 0; index < mine.count(); ++index) {
      DetectionRegion a, b;
      ASSERT_TRUE(mine.regionAt(index, a) && theirs.regionAt(index, b));
      ASSERT_EQ(a.current, b.current) << "region " << index;
      ASSERT_EQ(a.previous, b.previous) << "region " << index;
    }
  }
  EXPECT_GT(mineHits.hits(), 0);
}

// The split reads the frame and writes its copy up to their last bytes and
// no further (each ends where an untouchable page begins), and leaves the
// planes 0 beyond the width, where the scoring reads whole vectors.
TEST_P(ReferenceMatchTest, SplitStaysInsideTheFrameAndItsCopy) {
  const detail::ChangeKernels& kernels = detail::changeKernels(GetParam());
  const int sizes[][2] = {{160, 120}, {161, 3}, {37, 2}, {64, 1}, {1, 1}};
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const auto bytes = static_cast<std::size_t>(width) * height * 4;
    testing::FencedBuffer frame(bytes), copy(bytes);
    for (std::size_t i = 0; i < bytes; ++i) frame.data()[i] = static_cast<std::uint8_t>(i * 29 + 7);
    detail::PaddedRows planes(width, 3 * height);
    std::uint8_t* const rows[3] = {planes.row(0), planes.row(height), planes.row(2 * height)};
    kernels.splitChannels(frame.data(), width, height, planes.stride(), rows, copy.data());

    EXPECT_TRUE(std::equal(frame.data(), frame.data() + bytes, copy.data()));
    const std::ptrdiff_t rowBytes = planes.stride() - 2 * detail::kPlanePad;
    for (int channel = 0; channel < 3; ++channel) {
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rows[channel] + y * planes.stride();
        for (int x = 0; x < rowBytes; ++x) {
          const std::uint8_t expected =
              x < width ? frame.data()[(static_cast<std::size_t>(y) * width + x) * 4 + channel] : 0;
          ASSERT_EQ(row[x], expected) << "channel " << channel << " at " << x << "," << y;
        }
      }
    }
  }
}

std::string instructionSetName(const ::testing::TestParamInfo<InstructionSet>& set) {
  switch (set.param) {
    case InstructionSet::kSse2:
      return "Sse2";
    case InstructionSet::kAvx2:
      return "Avx2";
    case InstructionSet::kAvx512:
      return "Avx512";
  }
  return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(InstructionSets, ReferenceMatchTest,
                         ::testing::Values(InstructionSet::kSse2, InstructionSet::kAvx2,
                                           InstructionSet::kAvx512),
                         instructionSetName);

}  // namespace
}  // namespace tessary
