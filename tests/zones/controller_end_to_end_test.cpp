// The zone server end to end on its own threads: camera streaming thread,
// channel timer thread, detection, the zone-hit listener. Motion inside a zone
// must make that zone fire by the second processing tick after the frame
// reached the camera; frames without motion there must never make it fire.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/demo_capture_backend.h"
#include "capture/fake_capture_backend.h"
#include "capture/raw_capture_backend.h"
#include "detection/region_manager.h"
#include "zones/controller_test_support.h"
#include "zones/video_controller.h"

namespace tessary::testing {
namespace {

using fakes::capability;
using fakes::FakeCaptureBackend;
using fakes::FakeCaptureSession;
using fakes::FakeDevice;

// Notes how many frames the controller had processed when each sample had
// reached the camera.
class ArrivalLog final : public ArrivalObserver {
 public:
  explicit ArrivalLog(const VideoController& controller) : controller_(controller) {}
  void onArrival(const MediaSample&) override {
    std::lock_guard lock(mutex_);
    processedAtArrival_.push_back(controller_.processedFrameCount());
  }
  std::vector<std::uint64_t> arrivals() const {
    std::lock_guard lock(mutex_);
    return processedAtArrival_;
  }

 private:
  const VideoController& controller_;
  mutable std::mutex mutex_;
  std::vector<std::uint64_t> processedAtArrival_;
};

// The first processing tick that starts after a sample reached the camera
// fetches that sample or a newer one, and the tick before it an older one.
// So when every two distinct frames differ inside the zone, each sample that
// arrived after the zone's first full tick (p > zoneAddedAt) is followed by
// a hit recorded at p or p + 1.
void expectHitWithinTwoTicksOfEveryArrival(const std::vector<std::uint64_t>& arrivals,
                                           const std::vector<TickHitRecorder::Hit>& hits,
                                           std::int32_t zoneId, std::uint64_t zoneAddedAt,
                                           std::uint64_t processedAtEnd) {
  int checked = 0;
  for (std::uint64_t p : arrivals) {
    if (p <= zoneAddedAt || p + 2 > processedAtEnd) continue;
    bool found = false;
    for (const TickHitRecorder::Hit& hit : hits) {
      found = found || (hit.zoneId == zoneId && (hit.processed == p || hit.processed == p + 1));
    }
    EXPECT_TRUE(found) << "no hit of zone " << zoneId << " within two ticks after a sample "
                       << "that arrived when " << p << " frames were processed";
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

class EndToEnd : public ::testing::Test {
 protected:
  ~EndToEnd() override { controller.shutdown(); }

  void startWith(std::unique_ptr<CaptureBackend> backend) {
    controller.setZoneHitListener(&hits);
    auto stamped = std::make_unique<RelayCaptureBackend>(std::move(backend), &arrivals);
    ASSERT_TRUE(controller.initialize(std::make_unique<CameraRegistry>(std::move(stamped))));
  }

  // The detector compares its first frame with a black one, which fires
  // every zone of a textured scene; zones are added once that is past.
  std::uint64_t startAndSettle() {
    controller.startCapture();
    EXPECT_TRUE(waitForFrames(controller, 3));
    return controller.processedFrameCount();
  }

  std::int32_t addSensitiveZone(std::string_view name, int x, int y, int width, int height) {
    std::int32_t id = controller.addZone(name, x, y, width, height);
    // One percent of the area: any two distinct frames of these cameras
    // differ by more than that inside the zones with motion.
    controller.setZoneThreshold(name, 1);
    return id;
  }

  VideoController controller;
  TickHitRecorder hits{controller};
  ArrivalLog arrivals{controller};
};

TEST_F(EndToEnd, FakeCameraMotionFiresItsZoneByTheSecondTickAndStillFramesNever) {
  auto backend = std::make_unique<FakeCaptureBackend>();
  backend->devices.push_back(
      FakeDevice{"Desk Cam", {capability(PixelFormat::kRgb32, kFrameWidth, kFrameHeight)}});
  FakeCaptureBackend* fake = backend.get();
  startWith(std::move(backend));
  FakeCaptureSession& session = *fake->live.at(0);
  controller.startCapture();

  // The test's own thread stands in for the streaming thread.
  const std::vector<std::uint8_t> still = texturedPicture();
  session.deliver(still.data(), still.size());
  ASSERT_TRUE(waitForFrames(controller, 3));
  const std::int32_t door = controller.addZone("door", 20, 20, 20, 20);
  const std::int32_t hall = controller.addZone("hall", 100, 70, 20, 20);
  DetectionRegion region;
  ASSERT_TRUE(controller.currentRegionManager()->regionAt(door, region));
  for (int i = 0; i < 3; ++i) {
    session.deliver(still.data(), still.size());
    ASSERT_TRUE(waitForFrames(controller, controller.processedFrameCount() + 2));
  }
  EXPECT_TRUE(hits.hits().empty());

  // The block lands inside the door's region of the camera buffer.
  const std::vector<std::uint8_t> moved = texturedPicture(region.x + 2, region.y + 2, 16);
  const std::uint64_t before = controller.processedFrameCount();
  session.deliver(moved.data(), moved.size());
  ASSERT_TRUE(waitFor([&] { return hits.countFor(door) > 0; }));
  const TickHitRecorder::Hit first = hits.hits().front();
  EXPECT_EQ(first.zoneId, door);
  EXPECT_LE(first.processed, before + 1);

  // Back to the still picture: the block leaving fires the door once more,
  // and the hall never sees anything.
  session.deliver(still.data(), still.size());
  ASSERT_TRUE(waitForFrames(controller, controller.processedFrameCount() + 4));
  const int doorHits = hits.countFor(door);
  ASSERT_TRUE(waitForFrames(controller, controller.processedFrameCount() + 4));
  EXPECT_EQ(hits.countFor(door), doorHits);
  EXPECT_EQ(hits.countFor(hall), 0);
}

TEST_F(EndToEnd, DemoCameraFiresZonesInItsMotionBandOnly) {
  startWith(makeDemoCaptureBackend());
  const std::uint64_t settled = startAndSettle();
  const std::int32_t band =
      addSensitiveZone("band", 0, kDemoMotionTop, kFrameWidth, kDemoObjectSize);
  const std::int32_t above = addSensitiveZone("above", 0, 0, kFrameWidth, kDemoMotionTop - 4);
  const std::int32_t below = addSensitiveZone("below", 0, kDemoMotionBottom + 4, kFrameWidth,
                                              kFrameHeight - kDemoMotionBottom - 4);
  ASSERT_TRUE(waitForFrames(controller, settled + 30));
  controller.stopCapture();

  expectHitWithinTwoTicksOfEveryArrival(arrivals.arrivals(), hits.hits(), band, settled,
                                        controller.processedFrameCount());
  EXPECT_EQ(hits.countFor(above), 0);
  EXPECT_EQ(hits.countFor(below), 0);
}

class RawEndToEnd : public EndToEnd {
 protected:
  ~RawEndToEnd() override {
    controller.shutdown();
    std::filesystem::remove(path_);
  }

  // Writes top-down pictures to a raw file and starts the controller on it.
  void startWithFile(const std::vector<std::vector<std::uint8_t>>& pictures) {
    path_ = std::filesystem::temp_directory_path() /
            ("tessary_controller_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".raw");
    std::ofstream file(path_, std::ios::binary);
    for (const auto& picture : pictures) {
      file.write(reinterpret_cast<const char*>(picture.data()),
                 static_cast<std::streamsize>(picture.size()));
    }
    file.close();
    startWith(makeRawCaptureBackend(path_.string()));
  }

  // Rows 48 to 63 of the picture, whichever way it is flipped, and rows 0
  // to 29 at the top.
  void addZones() {
    band_ = addSensitiveZone("band", 0, 48, kFrameWidth, 16);
    top_ = addSensitiveZone("top", 0, 90, kFrameWidth, 30);
  }

  std::filesystem::path path_;
  std::int32_t band_ = -1;
  std::int32_t top_ = -1;
};

TEST_F(RawEndToEnd, MovingBlockFiresTheBandByTheSecondTick) {
  std::vector<std::vector<std::uint8_t>> pictures;
  for (int i = 0; i < 12; ++i) pictures.push_back(texturedPicture(4 + 12 * i, 50, 12));
  startWithFile(pictures);
  const std::uint64_t settled = startAndSettle();
  addZones();
  ASSERT_TRUE(waitForFrames(controller, settled + 30));
  controller.stopCapture();

  expectHitWithinTwoTicksOfEveryArrival(arrivals.arrivals(), hits.hits(), band_, settled,
                                        controller.processedFrameCount());
  EXPECT_EQ(hits.countFor(top_), 0);
}

TEST_F(RawEndToEnd, StillFileNeverFires) {
  startWithFile({texturedPicture(), texturedPicture(), texturedPicture()});
  const std::uint64_t settled = startAndSettle();
  addZones();
  ASSERT_TRUE(waitForFrames(controller, settled + 30));
  controller.stopCapture();
  EXPECT_TRUE(hits.hits().empty());
  EXPECT_GE(arrivals.arrivals().size(), 20u);
}

}  // namespace
}  // namespace tessary::testing
