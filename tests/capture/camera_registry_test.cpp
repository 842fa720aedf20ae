#include "capture/camera_registry.h"

#include <gtest/gtest.h>

#include "capture/fake_capture_backend.h"

namespace tessary {
namespace {

using fakes::capability;
using fakes::FakeCaptureBackend;
using fakes::FakeDevice;

class CameraRegistryTest : public ::testing::Test {
 protected:
  CameraRegistryTest() {
    auto backend = std::make_unique<FakeCaptureBackend>();
    fake_ = backend.get();
    registry_ = std::make_unique<CameraRegistry>(std::move(backend));
  }

  void addDevice(std::string name, std::vector<CaptureCapability> capabilities) {
    fake_->devices.push_back(FakeDevice{std::move(name), std::move(capabilities)});
  }

  bool open(std::string_view name) { return registry_->open({160, 120, 15, name}); }

  FakeCaptureBackend* fake_;
  std::unique_ptr<CameraRegistry> registry_;
};

TEST_F(CameraRegistryTest, ScanListsEachDeviceOfferingTheSizeOnce) {
  addDevice("Twin", {capability(PixelFormat::kRgb24, 160, 120)});
  addDevice("Upside", {capability(PixelFormat::kRgb32, 160, -120)});
  addDevice("Twin", {capability(PixelFormat::kRgb32, 160, 120)});
  addDevice("Large", {capability(PixelFormat::kRgb32, 320, 240)});
  addDevice("Yuy2 only", {capability(PixelFormat::kUnsupported, 160, 120)});
  addDevice("Uyvy", {capability(PixelFormat::kRgb32, 640, 480), capability(PixelFormat::kUyvy, 160, 120)});

  EXPECT_EQ(registry_->scanCameras(160, 120), 2);
  bool ok = false;
  EXPECT_STREQ(registry_->cameraName(0, ok), "Twin");
  EXPECT_TRUE(ok);
  EXPECT_STREQ(registry_->cameraName(1, ok), "Uyvy");
  EXPECT_TRUE(ok);
  EXPECT_STREQ(registry_->cameraName(2, ok), "Invalid Index");
  EXPECT_FALSE(ok);
  EXPECT_STREQ(registry_->cameraName(-1, ok), "Invalid Index");
  EXPECT_FALSE(ok);
  // The probe camera is gone again.
  EXPECT_EQ(fake_->lastSession(), nullptr);
}

TEST_F(CameraRegistryTest, ScanWithoutDevicesKeepsNamesAndWithoutSessionsEmptiesThem) {
  bool ok = true;
  EXPECT_STREQ(registry_->cameraName(0, ok), "No Devices Present");
  EXPECT_FALSE(ok);
  EXPECT_EQ(registry_->scanCameras(160, 120), 0);

  addDevice("Cam", {capability(PixelFormat::kRgb32, 160, 120)});
  EXPECT_EQ(registry_->scanCameras(160, 120), 1);
  // No device at all: the names found earlier stand.
  auto devices = std::move(fake_->devices);
  fake_->devices.clear();
  EXPECT_EQ(registry_->scanCameras(160, 120), 1);
  // Devices listed but no session can be made: every select fails.
  fake_->devices = std::move(devices);
  fake_->sessionsFail = true;
  EXPECT_EQ(registry_->scanCameras(160, 120), 0);
  EXPECT_STREQ(registry_->cameraName(0, ok), "No Devices Present");
}

TEST_F(CameraRegistryTest, OpenTakesTheFormatFromTheLastRowBack) {
  // Rows: RGB24 (first capability), RGB32; both offer the size.
  addDevice("Cam", {capability(PixelFormat::kRgb24, 160, 120), capability(PixelFormat::kRgb32, 320, 240),
                    capability(PixelFormat::kRgb32, 160, 120), capability(PixelFormat::kRgb24, 320, 240)});
  addDevice("Other", {capability(PixelFormat::kRgb32, 160, 120), capability(PixelFormat::kUyvy, 160, 120)});

  ASSERT_TRUE(open("Cam"));
  Camera* camera = registry_->find("Cam");
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(fake_->lastSession()->appliedFormat.format, PixelFormat::kRgb32);

  ASSERT_TRUE(open("Other"));
  EXPECT_EQ(fake_->lastSession()->appliedFormat.format, PixelFormat::kUyvy);
  std::int32_t width = 0, height = 0;
  camera->getSize(width, height);
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 120);
  EXPECT_EQ(camera->getOrientation(), 2);
}

TEST_F(CameraRegistryTest, OpenReportsAndSetsTheFrameRate) {
  addDevice("Cam", {capability(PixelFormat::kRgb32, 160, 120)});
  ASSERT_TRUE(open("Cam"));
  EXPECT_EQ(registry_->openReport(),
            "* Camera Report: \nSetting up ...\nAll Ok.\nOUT[Init()]\n* End Report.\n");
  Camera* camera = registry_->find("Cam");
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->getFrameRate(), 15);
  EXPECT_EQ(fake_->lastSession()->appliedFps, 15);
  EXPECT_EQ(camera->report(), "Setting up ...\nAll Ok.\nOUT[Init()]\nCamera running at 15 fps.\n");
  EXPECT_STREQ(camera->getName(), "Cam");
}

TEST_F(CameraRegistryTest, OpeningTwiceMakesOneCamera) {
  addDevice("Cam", {capability(PixelFormat::kRgb32, 160, 120)});
  ASSERT_TRUE(open("Cam"));
  Camera* first = registry_->find("Cam");
  int sessions = fake_->sessionsMade;
  EXPECT_TRUE(open("Cam"));
  EXPECT_EQ(fake_->sessionsMade, sessions);
  EXPECT_EQ(registry_->find("Cam"), first);
}

TEST_F(CameraRegistryTest, SameNamedDevicesOpenTheOneListedLast) {
  addDevice("Twin", {capability(PixelFormat::kRgb32, 160, 120)});
  addDevice("Twin", {capability(PixelFormat::kRgb24, 160, 120)});
  ASSERT_EQ(registry_->scanCameras(160, 120), 1);
  ASSERT_TRUE(open("Twin"));
  EXPECT_EQ(fake_->lastSession()->boundIndex, 1);
  EXPECT_EQ(fake_->lastSession()->appliedFormat.format, PixelFormat::kRgb24);
}

TEST_F(CameraRegistryTest, FailedOpensLeaveTheRegistryAsItWas) {
  EXPECT_EQ(registry_->find("Cam"), nullptr);
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_->openReport(), "No Supportable Cameras Found!\n");

  addDevice("Cam", {capability(PixelFormat::kRgb32, 320, 240)});
  EXPECT_FALSE(open("Ghost"));
  EXPECT_EQ(registry_->openReport(), "Ghost not found on system.");

  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_->openReport(),
            "Unable to connect to Cam correctly.\n"
            "Total And Utter Complete Failure in Camera Initialisation!\n");

  fake_->devices[0].capabilities.push_back(capability(PixelFormat::kRgb32, 160, 120));
  fake_->devices[0].connectResult = ConnectResult::kFailed;
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_->openReport(),
            "* Camera Report: \nSetting up ...\nFake failure\nOUT[Init()]\n* End Report.\n");

  fake_->sessionsFail = true;
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_->find("Cam"), nullptr);
  EXPECT_EQ(fake_->lastSession(), nullptr);  // no camera was kept
}

}  // namespace
}  // namespace tessary
