// The controller's camera side over scripted cameras: start-up, capture on and
// off, camera choice, the frame copy, the picture flags and shut-down.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/camera_registry.h"
#include "capture/fake_capture_backend.h"
#include "detection/region_manager.h"
#include "zones/controller_test_support.h"
#include "zones/video_controller.h"

namespace tessary::testing {
namespace {

using fakes::FakeCaptureBackend;
using fakes::FakeDevice;

FakeDevice camera160(std::string name) {
  return FakeDevice{std::move(name), {fakes::capability(PixelFormat::kRgb32, kFrameWidth, kFrameHeight)}};
}

class ControllerCapture : public ::testing::Test {
 protected:
  bool start(std::vector<FakeDevice> devices) {
    auto backend = std::make_unique<FakeCaptureBackend>();
    backend->devices = std::move(devices);
    fake = backend.get();
    return controller.initialize(std::make_unique<CameraRegistry>(std::move(backend)));
  }
  // The streaming session of camera `index` (sessions of probes are gone).
  fakes::FakeCaptureSession& session(std::size_t index) { return *fake->live.at(index); }
  // The rectangle of zone `id` in the camera buffer's orientation.
  std::vector<int> regionOf(std::int32_t id) const {
    DetectionRegion r;
    EXPECT_TRUE(controller.currentRegionManager()->regionAt(id, r));
    return {r.x, r.y, r.width, r.height};
  }

  FakeCaptureBackend* fake = nullptr;
  VideoController controller;
};

TEST_F(ControllerCapture, StartUpTurnsThePictureUprightMirroredAndTakesFourCamerasAtMost) {
  std::vector<FakeDevice> devices;
  for (int i = 0; i < 6; ++i) devices.push_back(camera160("Cam " + std::to_string(i)));
  ASSERT_TRUE(start(std::move(devices)));
  EXPECT_EQ(controller.cameras().cameraCount(), CameraBank::kMaxCameras);
  EXPECT_EQ(fake->live.size(), 4u);
  EXPECT_STREQ(controller.cameras().cameraName(3), "Cam 3");
  EXPECT_EQ(controller.cameras().cameraName(4), nullptr);
  EXPECT_EQ(controller.picture().orientation(), (Orientation{.mirrored = true, .flipped = false}));
  EXPECT_FALSE(controller.cameras().capturing());
  EXPECT_EQ(session(0).appliedFps, CameraBank::kProcessingRate);

  // Zones are mirrored on the upright frame, as the picture is drawn.
  ASSERT_EQ(controller.addZone("door", 10, 20, 30, 40), 0);
  const std::vector<int> placed{160 - 10 - 30, 20, 30, 40};
  EXPECT_EQ(regionOf(0), placed);
}

TEST_F(ControllerCapture, WithoutCameraNothingRunsAndZonesAreRefused) {
  EXPECT_FALSE(start({}));
  EXPECT_EQ(controller.addZone("door", 0, 0, 10, 10), -1);
  controller.createGrid("g", 0, 0, 20, 20, 2, 2);
  controller.tickPauseTimers();
  controller.cameras().startCapture();
  controller.selectCamera(0);
  const std::uint8_t* frame = nullptr;
  EXPECT_FALSE(controller.picture().newest(frame) || controller.cameras().capturing());
  EXPECT_EQ(controller.zoneCount(), 0);
  controller.cameras().stopCapture();
  controller.shutdown();

  EXPECT_FALSE(VideoController().initialize(nullptr));
  EXPECT_FALSE(controller.initialize(  // a second start-up
      std::make_unique<CameraRegistry>(std::make_unique<FakeCaptureBackend>())));
}

TEST_F(ControllerCapture, CaptureStartsOnceStopsOnceAndRetriesACameraThatFailed) {
  ASSERT_TRUE(start({camera160("Desk Cam")}));
  session(0).startSucceeds = false;
  controller.cameras().startCapture();
  EXPECT_FALSE(controller.cameras().capturing());

  session(0).startSucceeds = true;
  controller.cameras().startCapture();
  controller.cameras().startCapture();
  EXPECT_TRUE(controller.cameras().capturing());
  EXPECT_EQ(session(0).starts, 2);

  const int stopsBefore = session(0).stops;
  controller.cameras().stopCapture();
  controller.cameras().stopCapture();
  EXPECT_FALSE(controller.cameras().capturing() || session(0).streaming);
  EXPECT_EQ(session(0).stops, stopsBefore + 1);
  controller.cameras().startCapture();
  EXPECT_EQ(session(0).starts, 3);
}

TEST_F(ControllerCapture, SelectingACameraClearsZonesAndGridsAndRestartsCapture) {
  ASSERT_TRUE(start({camera160("Desk Cam"), camera160("Door Cam")}));
  controller.cameras().startCapture();
  RegionManager* first = controller.currentRegionManager();
  ASSERT_EQ(controller.addZone("door", 0, 0, 20, 20), 0);
  controller.createGrid("g", 0, 0, 40, 40, 2, 2);
  ASSERT_EQ(first->liveCount(), 5);

  // The camera in use again: zones go, capture restarts on the same camera.
  controller.selectCamera(0);
  EXPECT_EQ(first->liveCount() + controller.gridCount(), 0);
  EXPECT_EQ(session(0).starts, 2);
  EXPECT_TRUE(controller.cameras().capturing());

  ASSERT_EQ(controller.addZone("door", 0, 0, 20, 20), 0);
  controller.selectCamera(1);
  EXPECT_EQ(controller.cameras().currentCameraIndex(), 1);
  EXPECT_EQ(controller.findZone("door"), -1);
  EXPECT_FALSE(session(0).streaming);
  EXPECT_TRUE(session(1).streaming && controller.cameras().capturing());
  ASSERT_NE(controller.currentRegionManager(), first);
  EXPECT_EQ(controller.addZone("hall", 0, 0, 20, 20), 0);
  EXPECT_EQ(first->liveCount(), 0);

  for (int outside : {2, 4, -1}) controller.selectCamera(outside);  // nothing changes
  EXPECT_EQ(controller.cameras().currentCameraIndex(), 1);
  EXPECT_EQ(controller.findZone("hall"), 0);
}

TEST_F(ControllerCapture, FailureHalfwayKeepsTheCamerasSetUpSoFar) {
  FakeDevice refusing = camera160("Old Cam");
  refusing.connectResult = ConnectResult::kFailed;
  EXPECT_FALSE(start({camera160("Desk Cam"), refusing}));
  EXPECT_STREQ(controller.cameras().cameraName(0), "Desk Cam");
  EXPECT_EQ(controller.addZone("door", 0, 0, 20, 20), 0);
  controller.cameras().startCapture();
  EXPECT_TRUE(controller.cameras().capturing());
}

TEST_F(ControllerCapture, FrameBufferHoldsTheReadersFrameAndShutDownStopsForGood) {
  ASSERT_TRUE(start({camera160("Desk Cam")}));
  controller.cameras().startCapture();
  const std::uint8_t* frame = nullptr;
  const std::vector<std::uint8_t> picture = texturedPicture(40, 40, 10);
  session(0).deliver(picture.data(), picture.size());
  ASSERT_TRUE(waitForFrames(controller, 1));
  ASSERT_TRUE(controller.picture().newest(frame));
  EXPECT_EQ(std::memcmp(frame, picture.data(), kFrameBytes), 0);

  const std::vector<std::uint8_t> next = texturedPicture(80, 80, 10);
  session(0).deliver(next.data(), next.size());
  ASSERT_TRUE(waitForFrames(controller, 2));
  EXPECT_EQ(std::memcmp(frame, picture.data(), kFrameBytes), 0);
  ASSERT_TRUE(controller.picture().newest(frame));
  EXPECT_EQ(std::memcmp(frame, next.data(), kFrameBytes), 0);

  ASSERT_EQ(controller.addZone("door", 0, 0, 20, 20), 0);
  controller.shutdown();
  EXPECT_FALSE(session(0).streaming || controller.cameras().capturing());
  // What follows must touch no destroyed channel (the sanitizer build checks).
  controller.cameras().stopCapture();
  controller.cameras().startCapture();
  controller.selectCamera(0);
  controller.shutdown();
  EXPECT_EQ(session(0).starts, 1);
  EXPECT_EQ(controller.addZone("hall", 0, 0, 20, 20), -1);
}

}  // namespace
}  // namespace tessary::testing
