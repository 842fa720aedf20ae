// A VideoController over a real region manager and detector, with a clock and
// a hit listener that the tests drive.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/frame.h"
#include "detection/detector_factory.h"
#include "detection/region_manager.h"
#include "zones/video_controller.h"

namespace tessary::testing {

class FakeClock final : public MillisecondClock {
 public:
  std::uint32_t nowMilliseconds() override { return now; }
  std::uint32_t now = 5000;
};

class RecordingListener final : public ZoneHitListener {
 public:
  void onZoneHit(std::int32_t zoneId, std::string_view zoneName) override {
    std::lock_guard lock(mutex_);
    hits_.emplace_back(zoneId, std::string(zoneName));
  }
  std::vector<std::pair<std::int32_t, std::string>> hits() const {
    std::lock_guard lock(mutex_);
    return hits_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::int32_t, std::string>> hits_;
};

// A black frame, or one with a 0/255 checkerboard over a rectangle: every
// lit pixel differs from its neighbours, so the detector counts it.
inline std::vector<std::uint8_t> makeFrame(int x = 0, int y = 0, int width = 0, int height = 0) {
  std::vector<std::uint8_t> frame(kFrameBytes, 0);
  for (int row = y; row < y + height; ++row) {
    for (int column = x; column < x + width; ++column) {
      if ((row + column) % 2 != 0) continue;
      std::uint8_t* pixel = &frame[static_cast<std::size_t>(row * kFrameStride + column * 4)];
      pixel[0] = pixel[1] = pixel[2] = 255;
    }
  }
  return frame;
}

// Declaration order is destruction order in reverse: the controller goes
// first, then the manager that holds its callbacks, then the detector.
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

  // The region of zone `id` as stored: frame pixels in buffer orientation.
  DetectionRegion region(std::int32_t id) const {
    DetectionRegion out;
    EXPECT_TRUE(manager.regionAt(id, out)) << "no region at " << id;
    return out;
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
