// The controller under every thread it meets at once: two demo cameras
// streaming, their channels detecting, the main thread changing zones, grids,
// cameras and picture flags and reading frames, and a second thread starting
// and stopping capture as the link's accept thread does. Run under the
// thread and address sanitizers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
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
  TickHitRecorder hits(controller);
  controller.setZoneHitListener(&hits);
  // Two demo cameras, each with its own streaming thread.
  auto cameras = std::make_unique<RelayCaptureBackend>(makeDemoCaptureBackend(), nullptr,
                                                       std::vector<std::string>{"A", "B"});
  ASSERT_TRUE(controller.initialize(std::make_unique<CameraRegistry>(std::move(cameras))));
  ASSERT_EQ(controller.cameraCount(), 2);
  controller.startCapture();

  std::atomic<bool> done{false};
  // The accept thread's part: capture on and off while everything else runs.
  std::thread acceptSide([&] {
    for (int round = 0; !done.load(); ++round) {
      controller.startCapture();
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
      controller.stopCapture();
      controller.startCapture();
      // Now and then long enough for ticks to come through.
      if (round % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });

  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::milliseconds(2500);
  std::int64_t lastPhase = 0;
  std::uint64_t checksum = 0;
  for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
    const std::string name = "zone" + std::to_string(round % 8);
    controller.addZone(name, (round * 7) % 140, 48, 20, 24);
    controller.moveZone(name, (round * 11) % 140, 50);
    if (round % 3 == 0) controller.deleteZone(name);
    if (round % 10 == 0) controller.createGrid("grid", 0, 40, 160, 40, 8, 4);
    if (round % 10 == 5) controller.deleteGrid("grid");
    // Camera changes restart the channel's timer, so they come seldom
    // enough for ticks to get through in between.
    const auto phase = (std::chrono::steady_clock::now() - start) / std::chrono::milliseconds(400);
    if (phase != lastPhase) {
      lastPhase = phase;
      controller.selectCamera(static_cast<std::int32_t>(phase % 2));
    }
    if (round % 7 == 0) controller.toggleMirror();
    controller.startCapture();
    const std::uint8_t* frame = nullptr;
    if (controller.frameBuffer(frame)) checksum += frame[(round * 4) % kFrameBytes];
    if (round % 97 == 0) controller.stopCapture();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  done.store(true);
  acceptSide.join();

  // Whatever the interleaving, one stop leaves nothing running: no camera
  // of an earlier selection was left streaming behind the controller's back.
  controller.stopCapture();
  EXPECT_FALSE(controller.capturing());
  const std::uint64_t settled = controller.processedFrameCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(controller.processedFrameCount(), settled);
  EXPECT_GT(settled, 0u);

  controller.shutdown();
  (void)checksum;
}

}  // namespace
}  // namespace tessary::testing
