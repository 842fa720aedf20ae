#include "capture/camera.h"

#include <gtest/gtest.h>

#include "capture/camera_registry.h"
#include "capture/fake_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

using fakes::capability;

CaptureCapability rgb32(std::int32_t width = 160, std::int32_t height = 120) {
  return capability(PixelFormat::kRgb32, width, height);
}
CaptureCapability rgb24(std::int32_t width = 160, std::int32_t height = 120) {
  return capability(PixelFormat::kRgb24, width, height);
}

class CameraTest : public ::testing::Test {
 protected:
  void add(std::string name, std::vector<CaptureCapability> capabilities) {
    fake_.devices.push_back({std::move(name), std::move(capabilities)});
  }
  bool bind() {
    camera_.setupGraph();
    camera_.enumerateDevices();
    return camera_.selectDevice(0);
  }
  bool bindAndInit() {
    if (!bind()) return false;
    camera_.enumerateFormats();
    camera_.selectFormat(0, 0);
    bool ok = false;
    camera_.init(ok);
    return ok;
  }
  bool open(std::string_view name) { return registry_.open({160, 120, 15, name}); }
  fakes::FakeCaptureSession& session() { return *fake_.lastSession(); }

  std::unique_ptr<fakes::FakeCaptureBackend> owned_ = std::make_unique<fakes::FakeCaptureBackend>();
  fakes::FakeCaptureBackend& fake_ = *owned_;
  CameraRegistry registry_{std::move(owned_)};
  Camera camera_{fake_};
};

TEST_F(CameraTest, ReportsSetUpListAndBindFailures) {
  fake_.sessionsFail = true;
  EXPECT_FALSE(camera_.setupGraph());
  EXPECT_EQ(camera_.report(),
            "Setting up ...\nNo[GraphBuilder]\nNo[video interfaces]\n"
            "The capture backend could not make a session.\n");
  EXPECT_FALSE(camera_.start());
  fake_.sessionsFail = false;

  EXPECT_FALSE(bind());
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[ClassEnumerator]\nNo Drivers!\n");
  fake_.listResult = DeviceListResult::kNoEnumerator;
  EXPECT_FALSE(bind());
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[SystemDeviceEnum]\nNo Drivers!\n");
  EXPECT_STREQ(camera_.getDeviceName(0), "No Sources!");
  fake_.listResult = DeviceListResult::kListed;

  add("Broken", {});
  fake_.devices[0].bindResult = BindResult::kOpenFailed;
  add("Bare", {rgb32()});
  fake_.devices[1].bindResult = BindResult::kBoundWithoutFormats;
  EXPECT_FALSE(bind());
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[BindToObject]-Broken\nNo[CaptureFilter]");
  for (int outside : {2, -1}) EXPECT_FALSE(camera_.selectDevice(outside));
  EXPECT_TRUE(camera_.selectDevice(1));
  EXPECT_TRUE(camera_.report().ends_with("No[CaptureFilter]No[IID_IAMStreamConfig]\n"));
  camera_.enumerateFormats();
  EXPECT_EQ(camera_.formatCount(), 0);

  // The device list vanished since it was read: the chain is torn down.
  fake_.devices.clear();
  EXPECT_FALSE(camera_.selectDevice(1));
  EXPECT_TRUE(camera_.report().ends_with("NULL[ClassEnumerator]\nNo[CaptureFilter]"));
  EXPECT_EQ(fake_.lastSession(), nullptr);
  EXPECT_FALSE(camera_.selectDevice(1));
}

TEST_F(CameraTest, FormatTableGroupsSizesByFirstAppearanceAndInitReportsEachOutcome) {
  add("Cam", {rgb24(320, 240), capability(PixelFormat::kUnsupported, 160, 120), rgb32(),
              rgb24(160, -120), rgb24(320, 240)});
  ASSERT_TRUE(bind());
  camera_.enumerateFormats();
  ASSERT_EQ(camera_.formatCount(), 2);
  EXPECT_EQ(camera_.getFormat(0).subtype, PixelFormat::kRgb24);
  EXPECT_EQ(camera_.getFormat(0).sizes,
            (std::vector<FrameSize>{{320, 240}, {160, -120}, {320, 240}}));
  EXPECT_EQ(camera_.getFormat(1).subtype, PixelFormat::kRgb32);

  bool ok = true;
  EXPECT_EQ(camera_.init(ok), "Setting up ...\nInit without RGB|SIZE selected.\n");
  EXPECT_FALSE(ok);
  camera_.selectFormat(1, 1);  // outside the table: counts as none rather than being read
  camera_.init(ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(camera_.report().ends_with("selected.\nInit without RGB|SIZE selected.\n"));

  fake_.devices[0].connectResult = ConnectResult::kFormatRefused;
  EXPECT_FALSE(bindAndInit());
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[SetMediaType-QormSampleGrabber]\nOUT[Init()]\n");
}

TEST_F(CameraTest, SetFrameRateClampsAppliesAndReports) {
  add("Cam", {rgb32()});
  ASSERT_TRUE(bindAndInit());
  EXPECT_TRUE(camera_.setFrameRate(0));
  EXPECT_EQ(camera_.getFrameRate(), 1);
  EXPECT_EQ(session().appliedFps, 1);
  EXPECT_TRUE(camera_.setFrameRate(100));
  EXPECT_EQ(session().appliedFps, 25);
  EXPECT_TRUE(camera_.report().ends_with("Camera running at 1 fps.\nCamera running at 25 fps.\n"));

  // A running camera is stopped for the change and started again.
  ASSERT_TRUE(camera_.start());
  EXPECT_TRUE(camera_.setFrameRate(15));
  EXPECT_TRUE(session().streaming);
  EXPECT_EQ(session().starts, 2);

  // The device refuses: false, no line, and the camera stays stopped.
  fake_.devices[0].setFormatFails = true;
  const std::string before = camera_.report();
  EXPECT_FALSE(camera_.setFrameRate(20));
  EXPECT_EQ(camera_.report(), before);
  EXPECT_FALSE(session().streaming || camera_.isRunning());
}

TEST_F(CameraTest, RegistryListsEachNameOnceAndOpensTheLastOfThatName) {
  bool ok = true;
  EXPECT_STREQ(registry_.cameraName(0, ok), "No Devices Present");
  EXPECT_FALSE(ok);
  add("Twin", {rgb24()});
  add("Upside", {rgb32(160, -120)});
  add("Twin", {rgb32()});
  add("Large", {rgb32(320, 240)});
  add("Yuy2 only", {capability(PixelFormat::kUnsupported, 160, 120)});
  add("Uyvy", {rgb32(640, 480), capability(PixelFormat::kUyvy, 160, 120)});

  EXPECT_EQ(registry_.scanCameras(160, 120), 2);
  EXPECT_STREQ(registry_.cameraName(0, ok), "Twin");
  EXPECT_TRUE(ok);
  EXPECT_STREQ(registry_.cameraName(1, ok), "Uyvy");
  for (int index : {2, -1}) {
    EXPECT_STREQ(registry_.cameraName(index, ok), "Invalid Index");
    EXPECT_FALSE(ok);
  }
  EXPECT_EQ(fake_.lastSession(), nullptr) << "the probe camera is gone again";
  ASSERT_TRUE(open("Twin"));
  EXPECT_EQ(session().boundIndex, 2);
  EXPECT_EQ(session().appliedFormat.format, PixelFormat::kRgb32);

  // No device at all: the names found earlier stand.
  fake_.devices.clear();
  EXPECT_EQ(registry_.scanCameras(160, 120), 2);
}

TEST_F(CameraTest, RegistryOpenTakesTheFormatFromTheLastRowBackAndOpensOnce) {
  // Rows: RGB24 (first capability), RGB32; both offer the size.
  add("Cam", {rgb24(), rgb32(320, 240), rgb32(), rgb24(320, 240)});
  add("Other", {rgb32(), capability(PixelFormat::kUyvy, 160, 120)});
  ASSERT_TRUE(open("Cam"));
  EXPECT_EQ(registry_.openReport(),
            "* Camera Report: \nSetting up ...\nAll Ok.\nOUT[Init()]\n* End Report.\n");
  Camera* camera = registry_.find("Cam");
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(session().appliedFormat.format, PixelFormat::kRgb32);
  EXPECT_EQ(session().appliedFps, 15);
  EXPECT_EQ(camera->report(), "Setting up ...\nAll Ok.\nOUT[Init()]\nCamera running at 15 fps.\n");

  EXPECT_TRUE(open("Cam"));
  EXPECT_EQ(fake_.live.size(), 1u) << "opening twice makes one camera";
  EXPECT_EQ(registry_.find("Cam"), camera);
  ASSERT_TRUE(open("Other"));
  EXPECT_EQ(session().appliedFormat.format, PixelFormat::kUyvy);
}

TEST_F(CameraTest, RegistryFailedOpensReportAndKeepNoCamera) {
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_.openReport(), "No Supportable Cameras Found!\n");
  add("Cam", {rgb32(320, 240)});
  EXPECT_FALSE(open("Ghost"));
  EXPECT_EQ(registry_.openReport(), "Ghost not found on system.");
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_.openReport(),
            "Unable to connect to Cam correctly.\n"
            "Total And Utter Complete Failure in Camera Initialisation!\n");

  fake_.devices[0].capabilities.push_back(rgb32());
  fake_.devices[0].connectResult = ConnectResult::kFailed;
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_.openReport(),
            "* Camera Report: \nSetting up ...\nFake failure\nOUT[Init()]\n* End Report.\n");
  fake_.sessionsFail = true;
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_.find("Cam"), nullptr);
  EXPECT_EQ(fake_.lastSession(), nullptr);
}

}  // namespace
}  // namespace tessary
