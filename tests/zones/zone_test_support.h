// A VideoController over a real region manager and detector, with a clock and
// a hit listener that the tests drive.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/frame.h"
#include "detection/detector_factory.h"
#include "detection/region_manager.h"
#include "zones/video_controller.h"

namespace tessary::testing {

struct FakeClock final : MillisecondClock {
  std::uint32_t nowMilliseconds() override { return now; }
  std::uint32_t now = 5000;
};

struct RecordingListener final : ZoneHitListener {
  void onZoneHit(std::int32_t zoneId, std::string_view zoneName) override {
    std::lock_guard lock(mutex);
    hits.emplace_back(zoneId, std::string(zoneName));
  }
  std::mutex mutex;
  std::vector<std::pair<std::int32_t, std::string>> hits;
};

// Black, or with a 0/255 checkerboard over a rectangle: every lit pixel
// differs from its neighbours, so the detector counts it.
inline std::vector<std::uint8_t> makeFrame(int x = 0, int y = 0, int width = 0, int height = 0) {
  std::vector<std::uint8_t> frame(kFrameBytes, 0);
  for (int row = y; row < y + height; ++row) {
    for (int column = x + (row + x) % 2; column < x + width; column += 2) {
      std::fill_n(&frame[static_cast<std::size_t>(row * kFrameStride + column * 4)], 3, 255);
    }
  }
  return frame;
}

// Members are destroyed controller first, then the manager holding its
// callbacks, then the detector the manager uses.
class ControllerFixture : public ::testing::Test {
 protected:
  explicit ControllerFixture(std::int32_t nativeOrientation = 0, std::int32_t mode = 0)
      : detector(createDetector(kDetectionMethodNeighbour, kFrameWidth, kFrameHeight,
                                nativeOrientation)),
        controller(clock) {
    detector->setMode(mode);
    manager.setDetector(&detector->detectionInterface());
    controller.setCurrentRegionManager(&manager);
    controller.setZoneHitListener(&listener);
  }

  // The region of zone `id`: frame pixels in the camera buffer's orientation.
  void expectRegion(std::int32_t id, int x, int y, int width, int height) const {
    DetectionRegion r;
    ASSERT_TRUE(manager.regionAt(id, r)) << "no region at " << id;
    EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}),
              std::vector<int>({x, y, width, height}));
  }

  ZoneRecord zone(std::string_view name) const {
    ZoneRecord record;
    EXPECT_TRUE(controller.copyZoneRecord(name, record)) << name;
    return record;
  }

  void feed(const std::vector<std::uint8_t>& frame) {
    const std::uint8_t* pointer = frame.data();
    ASSERT_TRUE(detector->processFrame(pointer));
    manager.evaluateFrame();
  }

  FakeClock clock;
  RecordingListener listener;
  std::unique_ptr<MotionDetector> detector;
  RegionManager manager;
  VideoController controller;
};

}  // namespace tessary::testing
