// A generated clip played through a FIFO into the raw camera at a camera's
// pace, through the controller's real threads: every zone's hits must equal
// what processing each frame exactly once gives, at 5, 15 and 16 fps; and a
// 30 fps clip must give what processing every second frame gives.
//
// The reference processes the same frames with the same detector and region
// manager, one after the other with nothing in between, so any frame the
// program processed twice, merged with the next, or lost shows as a zone
// whose count differs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/capture_backend_synthetic.h"
#include "capture/raw_capture_backend.h"
#include "detection/detector_factory.h"
#include "detection/region_manager.h"
#include "support/temp_folder.h"
#include "zones/controller_test_support.h"
#include "zones/video_controller.h"

namespace tessary::testing {
namespace {

constexpr int kStill = 8;    // frames of background first: the pacing settles
constexpr int kMoving = 28;  // then a textured block moves, pausing now and then
constexpr int kColumns = 8, kRows = 6;
constexpr int kZones = kColumns * kRows;
constexpr int kThreshold = 5;  // percent of a cell: the block's edges fire cells too

using Clip = std::vector<std::vector<std::uint8_t>>;  // top-down pictures

Clip makeClip() {
  Clip clip;
  for (int i = 0; i < kStill; ++i) clip.push_back(texturedPicture());
  int step = 0;
  for (int i = 0; i < kMoving; ++i) {
    if (i % 4 != 3) ++step;  // every fourth frame repeats the one before
    clip.push_back(texturedPicture((6 + 23 * step) % 130, (4 + 13 * step) % 90, 30));
  }
  return clip;
}

// Hits per zone id, as a ZoneEventSink sees them.
class HitCounts final : public ZoneEventSink {
 public:
  void onZoneEvents(const ZoneEventBatch& batch) override {
    std::lock_guard lock(mutex_);
    for (const ZoneHit& hit : batch.hits) ++counts_.at(static_cast<std::size_t>(hit.zoneId));
  }
  std::vector<int> counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> counts_ = std::vector<int>(kZones, 0);
};

// Hits per zone when exactly the frames `processed` (indices into the clip,
// ascending) are processed, each once, by the detector and regions the
// program's channel uses.
std::vector<int> referenceHits(const Clip& clip, const std::vector<int>& processed,
                               const RegionManager& program) {
  // The controller's zones are mirrored against the camera.
  auto detector = createDetector(kDetectionMethodNeighbour, kFrameWidth, kFrameHeight);
  RegionManager manager;
  manager.setDetector(&detector->detectionInterface());
  manager.setFrameLayout(kFrameWidth, kFrameHeight, {.mirrored = true});
  // The grid's cells as the controller adds them (client units are frame
  // pixels here), which must land where the program's regions lie.
  for (int id = 0; id < kZones; ++id) {
    const int cell = kFrameWidth / kColumns;
    std::int32_t index = -1;
    EXPECT_TRUE(manager.add(index, {id % kColumns * cell, id / kColumns * cell, cell, cell, 50, 20}));
    manager.setSensitivity(index, VideoController::kInitialSensitivityDefault);
    manager.setThreshold(index, kThreshold);
    DetectionRegion mine, theirs;
    EXPECT_TRUE(manager.regionAt(index, mine) && program.regionAt(index, theirs));
    EXPECT_EQ(std::vector<int>({mine.x, mine.y, mine.width, mine.height, mine.level}),
              std::vector<int>({theirs.x, theirs.y, theirs.width, theirs.height, theirs.level}));
  }
  std::vector<int> counts(kZones, 0);
  std::vector<std::int32_t> fired;
  for (const int index : processed) {
    const std::uint8_t* frame = clip[static_cast<std::size_t>(index)].data();
    detector->processFrame(frame);
    fired.clear();
    manager.evaluateFrame(fired);
    for (const std::int32_t id : fired) ++counts[static_cast<std::size_t>(id)];
  }
  return counts;
}

class FrameClip : public ::testing::Test {
 protected:
  void SetUp() override {
    fifo_ = folder_.path() + "/camera.raw";
    ASSERT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
    controller_.eventSinks().add(hits_);
    ASSERT_TRUE(controller_.initialize(std::make_unique<CameraRegistry>(makeRawCaptureBackend(fifo_))));
    controller_.setScale(kFrameWidth, kFrameHeight);
    controller_.setThresholdDefault(kThreshold);
    controller_.createGrid("cell", 0, 0, kFrameWidth, kFrameHeight, kColumns, kRows);
    controller_.cameras().startCapture();
    ASSERT_TRUE(controller_.cameras().capturing());
  }
  void TearDown() override { controller_.shutdown(); }

  // Writes the clip into the FIFO at `fps`, each frame at its own time, then
  // waits until the program has processed what came.
  void play(const Clip& clip, double fps) {
    std::FILE* pipe = std::fopen(fifo_.c_str(), "wb");
    ASSERT_NE(pipe, nullptr) << fifo_;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < clip.size(); ++i) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<long long>(i * 1e6 / fps)));
      ASSERT_EQ(std::fwrite(clip[i].data(), 1, kFrameBytes, pipe), kFrameBytes);
      std::fflush(pipe);
    }
    std::fclose(pipe);
    // Done when no frame was processed for half a second.
    std::uint64_t seen = ~std::uint64_t{0};
    while (controller_.picture().processedFrames() != seen) {
      seen = controller_.picture().processedFrames();
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  }

  TempFolder folder_;
  std::string fifo_;
  HitCounts hits_;
  VideoController controller_;
};

std::vector<int> framesFrom(int first, int step, int end) {
  std::vector<int> frames;
  for (int i = first; i < end; i += step) frames.push_back(i);
  return frames;
}

class EveryFrame : public FrameClip, public ::testing::WithParamInterface<double> {};

TEST_P(EveryFrame, HitsEqualProcessingEachFrameOnce) {
  const Clip clip = makeClip();
  play(clip, GetParam());
  const std::vector<int> expected =
      referenceHits(clip, framesFrom(0, 1, kStill + kMoving), *controller_.currentRegionManager());
  EXPECT_EQ(controller_.picture().processedFrames(), static_cast<std::uint64_t>(clip.size()));
  EXPECT_EQ(hits_.counts(), expected);
  int fired = 0;
  for (int count : expected) fired += count > 0;
  EXPECT_GE(fired, kZones / 3) << "the clip moves through many zones";
}

INSTANTIATE_TEST_SUITE_P(CameraRates, EveryFrame, ::testing::Values(5.0, 15.0, 16.0),
                         [](const auto& rate) { return std::to_string(static_cast<int>(rate.param)) + "fps"; });

TEST_F(FrameClip, ThirtyFramesASecondGiveEverySecondFrame) {
  const Clip clip = makeClip();
  play(clip, 30.0);
  // Which of the two halves depends on where the pacing settled during the
  // still frames; the moving part is either the even or the odd frames.
  const RegionManager& program = *controller_.currentRegionManager();
  std::vector<int> even{kStill - 1}, odd{kStill - 1};
  for (int i = kStill; i < kStill + kMoving; ++i) ((i - kStill) % 2 == 0 ? even : odd).push_back(i);
  const std::vector<int> counts = hits_.counts();
  EXPECT_TRUE(counts == referenceHits(clip, even, program) || counts == referenceHits(clip, odd, program))
      << "processed " << controller_.picture().processedFrames() << " of " << clip.size() << " frames";
  EXPECT_LE(controller_.picture().processedFrames(), static_cast<std::uint64_t>(kStill + kMoving / 2));
}

}  // namespace
}  // namespace tessary::testing
