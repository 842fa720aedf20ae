// One thread evaluates frames through the region manager, as the detection
// thread does, while the main thread reshapes the zones. Run under
// ThreadSanitizer and AddressSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "zone_test_support.h"

namespace tessary::testing {
namespace {

// Appending, unlike "literal" + string, avoids a false -Wrestrict of g++ 12.
std::string numbered(std::string name, int number) { return name.append(std::to_string(number)); }

TEST(ZoneConcurrencyTest, EditingZonesWhileFramesAreEvaluated) {
  auto detector = createDetector(kDetectionMethodNeighbour, kFrameWidth, kFrameHeight, 2);
  detector->setMode(1);
  RegionManager manager;
  manager.setDetector(&detector->detectionInterface());
  RecordingListener listener;  // takes its own lock, as the reply sender does
  VideoController controller;
  controller.setCurrentRegionManager(&manager);
  controller.setZoneHitListener(&listener);
  controller.setScale(160, 120);

  const auto lit = makeFrame(0, 0, kFrameWidth, kFrameHeight);
  const auto black = makeFrame();
  std::atomic<bool> stop{false};
  std::thread detection([&] {
    for (std::uint64_t tick = 0; !stop.load(); ++tick) {
      const std::uint8_t* frame = (tick % 2 == 0 ? lit : black).data();
      if (detector->processFrame(frame)) manager.evaluateFrame();
    }
  });

  for (int round = 0; round < 300; ++round) {
    const std::string name = numbered("z", round % 7);
    if (!controller.zoneExists(name)) controller.addZone(name, round % 150, round % 100, 20, 15);
    controller.moveZone(name, (round * 13) % 170 - 5, (round * 7) % 130 - 5);
    controller.setZoneSensitivity(name, round % 101);
    controller.pauseZone(name, round % 3 == 0 ? 10 : 0);
    controller.tickPauseTimers();
    if (round % 5 == 0) {
      // A sender that calls into the controller while holding its own lock.
      std::lock_guard lock(listener.mutex);
      controller.deleteZone(name);
      controller.markZoneDeleted(name);
    }
    if (round % 37 == 0) controller.createGrid(numbered("g", round), 0, 0, 160, 120, 4, 3);
    if (round % 37 == 20) controller.deleteGrid(numbered("g", round - 20));
    if (round % 101 == 100) controller.clearAllZones();
    std::this_thread::yield();
  }

  // Whatever the interleaving, a steady zone must be heard from.
  controller.addZone("steady", 0, 0, 160, 120);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto heard = [&] {
    std::lock_guard lock(listener.mutex);
    for (const auto& hit : listener.hits) {
      EXPECT_FALSE(hit.second.empty());
      if (hit.second == "steady") return true;
    }
    return false;
  };
  while (!heard() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop = true;
  detection.join();
  EXPECT_TRUE(heard());
}

}  // namespace
}  // namespace tessary::testing
