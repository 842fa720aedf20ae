#include "capture/camera.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "capture/camera_registry.h"
#include "capture/fake_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

using fakes::capability;
using fakes::FakeCaptureBackend;
using fakes::FakeCaptureSession;
using fakes::FakeDevice;

CaptureCapability rgb32(std::int32_t width = 160, std::int32_t height = 120) {
  return capability(PixelFormat::kRgb32, width, height);
}
CaptureCapability rgb24(std::int32_t width = 160, std::int32_t height = 120) {
  return capability(PixelFormat::kRgb24, width, height);
}

class CameraTest : public ::testing::Test {
 protected:
  void addDevice(std::string name, std::vector<CaptureCapability> capabilities) {
    fake_.devices.push_back(FakeDevice{std::move(name), std::move(capabilities)});
  }
  // Set up, listed, and device 0 bound.
  bool bindFirst() {
    camera_.setupGraph();
    camera_.enumerateDevices();
    return camera_.selectDevice(0);
  }
  // Device 0 bound with its first format and size selected and initialised.
  bool openCamera() {
    if (!bindFirst()) return false;
    camera_.enumerateFormats();
    camera_.selectFormat(0, 0);
    bool ok = false;
    camera_.init(ok);
    return ok;
  }
  bool open(std::string_view name) { return registry_.open({160, 120, 15, name}); }
  FakeCaptureSession& session() { return *fake_.lastSession(); }

  std::unique_ptr<FakeCaptureBackend> owned_ = std::make_unique<FakeCaptureBackend>();
  FakeCaptureBackend& fake_ = *owned_;
  CameraRegistry registry_{std::move(owned_)};
  Camera camera_{fake_};
};

TEST_F(CameraTest, ReportsSetUpAndDeviceListFailures) {
  fake_.sessionsFail = true;
  EXPECT_FALSE(camera_.setupGraph());
  EXPECT_EQ(camera_.report(),
            "Setting up ...\nNo[GraphBuilder]\nNo[video interfaces]\n"
            "The capture backend could not make a session.\n");
  EXPECT_FALSE(camera_.start());
  fake_.sessionsFail = false;

  camera_.setupGraph();
  camera_.enumerateDevices();
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[ClassEnumerator]\nNo Drivers!\n");
  fake_.listResult = DeviceListResult::kNoEnumerator;
  camera_.setupGraph();
  camera_.enumerateDevices();
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[SystemDeviceEnum]\nNo Drivers!\n");
  EXPECT_STREQ(camera_.getDeviceName(0), "No Sources!");
}

TEST_F(CameraTest, ReportsBindFailures) {
  addDevice("Broken", {});
  fake_.devices[0].bindResult = BindResult::kOpenFailed;
  addDevice("Bare", {rgb32()});
  fake_.devices[1].bindResult = BindResult::kBoundWithoutFormats;
  EXPECT_FALSE(bindFirst());
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[BindToObject]-Broken\nNo[CaptureFilter]");
  EXPECT_FALSE(camera_.selectDevice(2));
  EXPECT_FALSE(camera_.selectDevice(-1));

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
  addDevice("Cam", {rgb24(320, 240), capability(PixelFormat::kUnsupported, 160, 120), rgb32(),
                    rgb24(160, -120), rgb24(320, 240)});
  ASSERT_TRUE(bindFirst());
  camera_.enumerateFormats();
  ASSERT_EQ(camera_.formatCount(), 2);
  EXPECT_EQ(camera_.getFormat(0).subtype, PixelFormat::kRgb24);
  EXPECT_EQ(camera_.getFormat(0).sizes,
            (std::vector<FrameSize>{{320, 240}, {160, -120}, {320, 240}}));
  EXPECT_EQ(camera_.getFormat(1).subtype, PixelFormat::kRgb32);
  EXPECT_TRUE(camera_.getFormat(2).sizes.empty());

  bool ok = true;
  EXPECT_EQ(camera_.init(ok), "Setting up ...\nInit without RGB|SIZE selected.\n");
  EXPECT_FALSE(ok);
  camera_.selectFormat(1, 1);  // outside the table: counts as none rather than being read
  camera_.init(ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(camera_.report().ends_with("selected.\nInit without RGB|SIZE selected.\n"));

  fake_.devices[0].connectResult = ConnectResult::kFormatRefused;
  EXPECT_FALSE(openCamera());
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[SetMediaType-QormSampleGrabber]\nOUT[Init()]\n");
}

TEST_F(CameraTest, SetFrameRateClampsAppliesAndReports) {
  addDevice("Cam", {rgb32()});
  ASSERT_TRUE(openCamera());
  EXPECT_TRUE(camera_.setFrameRate(0));
  EXPECT_EQ(camera_.getFrameRate(), 1);
  EXPECT_EQ(session().appliedFps, 1);
  EXPECT_TRUE(camera_.setFrameRate(100));
  EXPECT_EQ(session().appliedFps, 25);
  EXPECT_TRUE(camera_.report().ends_with("Camera running at 1 fps.\nCamera running at 25 fps.\n"));

  // A running camera is stopped for the change and started again.
  ASSERT_TRUE(camera_.start());
  const int starts = session().starts;
  EXPECT_TRUE(camera_.setFrameRate(15));
  EXPECT_TRUE(session().streaming);
  EXPECT_EQ(session().starts, starts + 1);

  // No capability matches any more: nothing applied, still a success.
  const int applied = session().setFormatCalls;
  fake_.devices[0].capabilities = {rgb32(320, 240)};
  EXPECT_TRUE(camera_.setFrameRate(12));
  EXPECT_EQ(session().setFormatCalls, applied);
  EXPECT_TRUE(camera_.report().ends_with("Camera running at 12 fps.\n"));

  // The device refuses: false, no line, and the camera stays stopped.
  fake_.devices[0].capabilities = {rgb32()};
  fake_.devices[0].setFormatFails = true;
  const std::string before = camera_.report();
  EXPECT_FALSE(camera_.setFrameRate(20));
  EXPECT_EQ(camera_.report(), before);
  EXPECT_FALSE(session().streaming);
  EXPECT_FALSE(camera_.isRunning());
}

class CameraFrameTest : public CameraTest {
 protected:
  void SetUp() override {
    addDevice("Cam", {rgb32()});
    ASSERT_TRUE(openCamera());
  }
  void push(std::uint8_t value, std::size_t size = kFrameBytes) {
    sample_.fill(value);
    session().deliver(sample_.data(), size);
  }
  // The frame the reader gets now, or null.
  const std::uint8_t* read() {
    const std::uint8_t* frame = nullptr;
    return camera_.getFrame(frame) ? frame : nullptr;
  }
  std::array<std::uint8_t, kFrameBytes + 4> sample_{};
};

TEST_F(CameraFrameTest, TakesWholeSamplesOnlyBetweenStartAndStop) {
  push(1);
  EXPECT_EQ(read(), nullptr) << "not started";
  ASSERT_TRUE(camera_.start());
  push(8, sample_.size());  // samples of another size are dropped
  push(8, 16);
  session().deliver(nullptr, kFrameBytes);
  EXPECT_EQ(read(), nullptr);

  push(9);
  const std::uint8_t* frame = read();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame[0] + frame[kFrameBytes - 1], 18);
  camera_.stop();
  EXPECT_FALSE(session().streaming);
  push(3);  // stopped: dropped, the last frame stays
  ASSERT_NE(read(), nullptr);
  EXPECT_EQ(read()[0], 9);
}

TEST_F(CameraFrameTest, ReaderKeepsItsFrameWhileNewSamplesArrive) {
  ASSERT_TRUE(camera_.start());
  push(10);
  const std::uint8_t* held = read();
  ASSERT_NE(held, nullptr);
  push(11);
  push(12);
  EXPECT_EQ(held[0] + held[kFrameBytes - 1], 20) << "a sample touched the frame being read";
  const std::uint8_t* newest = read();
  ASSERT_NE(newest, nullptr);
  EXPECT_EQ(newest[0], 12);
  EXPECT_EQ(read(), newest) << "without a newer sample the reader gets the same frame";

  // Buffers are reused across stop and start, never reallocated.
  std::set<const std::uint8_t*> seen{held, newest};
  camera_.stop();
  camera_.start();
  for (std::uint8_t value = 20; value < 30; ++value) {
    push(value);
    const std::uint8_t* frame = read();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame[0], value);
    seen.insert(frame);
  }
  EXPECT_LE(seen.size(), 3u);
}

// --- The registry ----------------------------------------------------------

using CameraRegistryTest = CameraTest;

TEST_F(CameraRegistryTest, ScanListsEachNameOnceAndOpenTakesTheLastOfThatName) {
  bool ok = true;
  EXPECT_STREQ(registry_.cameraName(0, ok), "No Devices Present");
  EXPECT_FALSE(ok);
  addDevice("Twin", {rgb24()});
  addDevice("Upside", {rgb32(160, -120)});
  addDevice("Twin", {rgb32()});
  addDevice("Large", {rgb32(320, 240)});
  addDevice("Yuy2 only", {capability(PixelFormat::kUnsupported, 160, 120)});
  addDevice("Uyvy", {rgb32(640, 480), capability(PixelFormat::kUyvy, 160, 120)});

  EXPECT_EQ(registry_.scanCameras(160, 120), 2);
  EXPECT_STREQ(registry_.cameraName(0, ok), "Twin");
  EXPECT_TRUE(ok);
  EXPECT_STREQ(registry_.cameraName(1, ok), "Uyvy");
  for (int index : {2, -1}) {
    EXPECT_STREQ(registry_.cameraName(index, ok), "Invalid Index");
    EXPECT_FALSE(ok);
  }
  EXPECT_EQ(fake_.lastSession(), nullptr) << "the probe camera is gone again";
  ASSERT_TRUE(open("Twin"));  // of two same-named devices, the one listed last
  EXPECT_EQ(session().boundIndex, 2);
  EXPECT_EQ(session().appliedFormat.format, PixelFormat::kRgb32);

  // No device at all: the names found earlier stand.
  auto devices = std::move(fake_.devices);
  fake_.devices.clear();
  EXPECT_EQ(registry_.scanCameras(160, 120), 2);
  // Devices listed but no session can be made: every select fails.
  fake_.devices = std::move(devices);
  fake_.sessionsFail = true;
  EXPECT_EQ(registry_.scanCameras(160, 120), 0);
  EXPECT_STREQ(registry_.cameraName(0, ok), "No Devices Present");
}

TEST_F(CameraRegistryTest, OpenReportsAndTakesTheFormatFromTheLastRowBack) {
  // Rows: RGB24 (first capability), RGB32; both offer the size.
  addDevice("Cam", {rgb24(), rgb32(320, 240), rgb32(), rgb24(320, 240)});
  addDevice("Other", {rgb32(), capability(PixelFormat::kUyvy, 160, 120)});
  ASSERT_TRUE(open("Cam"));
  EXPECT_EQ(registry_.openReport(),
            "* Camera Report: \nSetting up ...\nAll Ok.\nOUT[Init()]\n* End Report.\n");
  Camera* camera = registry_.find("Cam");
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(session().appliedFormat.format, PixelFormat::kRgb32);
  EXPECT_EQ(session().appliedFps, 15);
  EXPECT_EQ(camera->report(), "Setting up ...\nAll Ok.\nOUT[Init()]\nCamera running at 15 fps.\n");
  EXPECT_EQ(camera->getOrientation(), 2);

  const int sessions = fake_.sessionsMade;
  EXPECT_TRUE(open("Cam"));
  EXPECT_EQ(fake_.sessionsMade, sessions) << "opening twice makes one camera";
  EXPECT_EQ(registry_.find("Cam"), camera);

  ASSERT_TRUE(open("Other"));
  EXPECT_EQ(session().appliedFormat.format, PixelFormat::kUyvy);
}

TEST_F(CameraRegistryTest, FailedOpensLeaveTheRegistryAsItWas) {
  EXPECT_FALSE(open("Cam"));
  EXPECT_EQ(registry_.openReport(), "No Supportable Cameras Found!\n");
  addDevice("Cam", {rgb32(320, 240)});
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
  EXPECT_EQ(fake_.lastSession(), nullptr);  // no camera was kept
}

}  // namespace
}  // namespace tessary
