// The controller under every thread it meets at once: two demo cameras and
// their channels, the main thread changing everything and reading frames, and
// a second thread starting and stopping capture as the link's accept thread does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/demo_capture_backend.h"
#include "zones/controller_test_support.h"
#include "zones/video_controller.h"

namespace tessary::testing {
namespace {

TEST(ControllerConcurrency, CaptureControlZonesAndFramesFromSeveralThreads) {
  VideoController controller;
  TickLog log(controller);
  controller.eventSinks().add(log);
  auto cameras = std::make_unique<RelayCaptureBackend>(
      makeDemoCaptureBackend(), nullptr, std::vector<std::string>{"A", "B"}, kDemoCameraName);
  ASSERT_TRUE(controller.initialize(std::make_unique<CameraRegistry>(std::move(cameras))));
  ASSERT_EQ(controller.cameras().cameraCount(), 2);
  controller.cameras().startCapture();

  std::atomic<bool> done{false};
  std::thread acceptSide([&] {
    for (int round = 0; !done.load(); ++round) {
      controller.cameras().startCapture();
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
      controller.cameras().stopCapture();
      controller.cameras().startCapture();
      // Now and then long enough for ticks to come through.
      if (round % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });

  const auto start = std::chrono::steady_clock::now();
  std::int64_t lastPhase = 0;
  std::uint64_t checksum = 0;
  for (int round = 0; std::chrono::steady_clock::now() < start + std::chrono::milliseconds(2500); ++round) {
    const std::string name = std::string("zone").append(std::to_string(round % 8));
    controller.addZone(name, (round * 7) % 140, 48, 20, 24);
    controller.moveZone(name, (round * 13) % 170 - 5, 50);
    controller.setZoneSensitivity(name, round % 101);
    controller.pauseZone(name, round % 3 == 0 ? 10 : 0);
    controller.tickPauseTimers();
    if (round % 5 == 0) {
      auto senderLock = log.hold();  // the hit path must not need it
      controller.deleteZone(name);
      controller.markZoneDeleted(name);
    }
    if (round % 10 == 0) controller.createGrid("grid", 0, 40, 160, 40, 8, 4);
    if (round % 10 == 5) controller.deleteGrid("grid");
    if (round % 101 == 100) controller.clearAllZones();
    // Camera changes restart the channel's timer, so they come seldom
    // enough for ticks to get through in between.
    const auto phase = (std::chrono::steady_clock::now() - start) / std::chrono::milliseconds(400);
    if (phase != lastPhase) {
      lastPhase = phase;
      controller.selectCamera(static_cast<std::int32_t>(phase % 2));
    }
    controller.cameras().startCapture();
    const std::uint8_t* frame = nullptr;
    if (controller.picture().newest(frame)) checksum += frame[(round * 4) % kFrameBytes];
    if (round % 97 == 0) controller.cameras().stopCapture();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  done.store(true);
  acceptSide.join();

  // Whatever the interleaving, a zone over the motion band is still heard.
  controller.clearAllZones();
  controller.cameras().startCapture();
  ASSERT_TRUE(waitForFrames(controller, controller.picture().processedFrames() + 3));
  const std::size_t earlier = log.hits().size();
  const std::int32_t steady = controller.addZone("steady", 0, kDemoMotionTop, kFrameWidth, kDemoObjectSize);
  controller.setZoneThreshold("steady", 1);
  EXPECT_TRUE(waitUntil([&] {
    const std::vector<TickLog::Hit> hits = log.hits();
    for (std::size_t i = earlier; i < hits.size(); ++i) {
      if (hits[i].zoneId == steady) return true;
    }
    return false;
  }));

  // One stop leaves nothing running: no camera of an earlier selection was
  // left streaming behind the controller's back.
  controller.cameras().stopCapture();
  EXPECT_FALSE(controller.cameras().capturing());
  const std::uint64_t settled = controller.picture().processedFrames();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(controller.picture().processedFrames(), settled);
  // Shut down while the channels tick and the cameras deliver.
  controller.cameras().startCapture();
  ASSERT_TRUE(waitForFrames(controller, settled + 2));
  controller.shutdown();
  (void)checksum;
}

}  // namespace
}  // namespace tessary::testing
