#include "capture/camera.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "capture/fake_capture_backend.h"
#include "common/frame.h"

namespace tessary {
namespace {

using fakes::capability;
using fakes::FakeCaptureBackend;
using fakes::FakeCaptureSession;
using fakes::FakeDevice;

class CameraTest : public ::testing::Test {
 protected:
  void addDevice(std::string name, std::vector<CaptureCapability> capabilities) {
    backend_.devices.push_back(FakeDevice{std::move(name), std::move(capabilities)});
  }

  // A camera bound to device 0 with (row, size) selected and initialised.
  bool openCamera(std::int32_t row = 0, std::int32_t size = 0) {
    camera_.setupGraph();
    camera_.enumerateDevices();
    if (!camera_.selectDevice(0)) return false;
    camera_.enumerateFormats();
    camera_.selectFormat(row, size);
    bool ok = false;
    camera_.init(ok);
    return ok;
  }

  FakeCaptureSession& session() { return *backend_.lastSession(); }

  FakeCaptureBackend backend_;
  Camera camera_{backend_};
};

TEST_F(CameraTest, ReportsSetUpFailures) {
  std::int32_t width = 0, height = 0;
  camera_.getSize(width, height);
  EXPECT_EQ(width * 1000 + height, 320240);  // until a format is applied
  EXPECT_FALSE(camera_.start());
  backend_.sessionsFail = true;
  EXPECT_FALSE(camera_.setupGraph());
  EXPECT_EQ(camera_.report(),
            "Setting up ...\nNo[GraphBuilder]\nNo[video interfaces]\n"
            "The capture backend could not make a session.\n");
  addDevice("Cam", {capability(PixelFormat::kRgb32, 160, 120)});
  camera_.enumerateDevices();
  EXPECT_FALSE(camera_.selectDevice(0));

  backend_.sessionsFail = false;
  EXPECT_TRUE(camera_.setupGraph());
  EXPECT_EQ(camera_.report(), "Setting up ...\n");  // replaced, not appended
}

TEST_F(CameraTest, ReportsDeviceListFailures) {
  backend_.listResult = DeviceListResult::kNoEnumerator;
  camera_.setupGraph();
  camera_.enumerateDevices();
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[SystemDeviceEnum]\nNo Drivers!\n");
  EXPECT_EQ(camera_.deviceCount(), 0);
  EXPECT_STREQ(camera_.getDeviceName(0), "No Sources!");

  Camera empty(backend_);
  backend_.listResult = DeviceListResult::kListed;
  empty.setupGraph();
  empty.enumerateDevices();
  EXPECT_EQ(empty.report(), "Setting up ...\nNo[ClassEnumerator]\nNo Drivers!\n");
}

TEST_F(CameraTest, ReportsBindFailures) {
  addDevice("Broken", {});
  backend_.devices[0].bindResult = BindResult::kOpenFailed;
  addDevice("Bare", {capability(PixelFormat::kRgb32, 160, 120)});
  backend_.devices[1].bindResult = BindResult::kBoundWithoutFormats;
  camera_.setupGraph();
  camera_.enumerateDevices();
  ASSERT_EQ(camera_.deviceCount(), 2);
  EXPECT_FALSE(camera_.selectDevice(2));
  EXPECT_FALSE(camera_.selectDevice(-1));
  EXPECT_STREQ(camera_.getName(), "");

  EXPECT_FALSE(camera_.selectDevice(0));
  EXPECT_EQ(camera_.report(), "Setting up ...\nNo[BindToObject]-Broken\nNo[CaptureFilter]");
  EXPECT_STREQ(camera_.getName(), "Broken");

  EXPECT_TRUE(camera_.selectDevice(1));
  EXPECT_TRUE(camera_.report().ends_with("No[CaptureFilter]No[IID_IAMStreamConfig]\n"));
  camera_.enumerateFormats();
  EXPECT_EQ(camera_.formatCount(), 0);

  // The device list vanished since it was read: the chain is torn down.
  backend_.devices.clear();
  EXPECT_FALSE(camera_.selectDevice(1));
  EXPECT_TRUE(camera_.report().ends_with("NULL[ClassEnumerator]\nNo[CaptureFilter]"));
  EXPECT_EQ(backend_.lastSession(), nullptr);
  EXPECT_FALSE(camera_.selectDevice(1));
}

TEST_F(CameraTest, FormatTableGroupsSizesByFirstAppearance) {
  addDevice("Cam", {capability(PixelFormat::kRgb24, 320, 240), capability(PixelFormat::kUnsupported, 160, 120),
                    capability(PixelFormat::kRgb32, 160, 120), capability(PixelFormat::kRgb24, 160, -120),
                    capability(PixelFormat::kRgb24, 320, 240)});
  camera_.setupGraph();
  camera_.enumerateDevices();
  ASSERT_TRUE(camera_.selectDevice(0));
  camera_.enumerateFormats();
  ASSERT_EQ(camera_.formatCount(), 2);
  FormatEntry first = camera_.getFormat(0);
  EXPECT_EQ(first.subtype, PixelFormat::kRgb24);
  EXPECT_EQ(first.sizes, (std::vector<FrameSize>{{320, 240}, {160, -120}, {320, 240}}));
  EXPECT_EQ(camera_.getFormat(1).subtype, PixelFormat::kRgb32);
  EXPECT_TRUE(camera_.getFormat(2).sizes.empty());
}

TEST_F(CameraTest, InitReportsEachOutcome) {
  addDevice("Cam", {capability(PixelFormat::kRgb32, 160, 120)});
  camera_.setupGraph();
  camera_.enumerateDevices();
  camera_.selectDevice(0);
  camera_.enumerateFormats();
  bool ok = true;
  EXPECT_EQ(camera_.init(ok), "Setting up ...\nInit without RGB|SIZE selected.\n");
  EXPECT_FALSE(ok);
  // A selection outside the table counts as none rather than being read.
  camera_.selectFormat(0, 1);
  camera_.init(ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(camera_.report().ends_with("selected.\nInit without RGB|SIZE selected.\n"));

  backend_.devices[0].connectResult = ConnectResult::kFormatRefused;
  camera_.setupGraph();
  camera_.selectDevice(0);
  camera_.enumerateFormats();
  camera_.selectFormat(0, 0);
  EXPECT_EQ(camera_.init(ok), "Setting up ...\nNo[SetMediaType-QormSampleGrabber]\nOUT[Init()]\n");
  EXPECT_FALSE(ok);
}

TEST_F(CameraTest, TopDownFormatGivesOrientationZeroAndAPositiveSize) {
  addDevice("Cam", {capability(PixelFormat::kRgb32, 160, -120)});
  ASSERT_TRUE(openCamera());
  std::int32_t width = 0, height = 0;
  camera_.getSize(width, height);
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 120);
  EXPECT_EQ(camera_.getOrientation(), 0);
}

TEST_F(CameraTest, SetFrameRateClampsAppliesAndReports) {
  addDevice("Cam", {capability(PixelFormat::kRgb32, 160, 120)});
  ASSERT_TRUE(openCamera());
  EXPECT_TRUE(camera_.setFrameRate(0));
  EXPECT_EQ(camera_.getFrameRate(), 1);
  EXPECT_EQ(session().appliedFps, 1);
  EXPECT_TRUE(camera_.setFrameRate(100));
  EXPECT_EQ(session().appliedFps, 25);
  EXPECT_TRUE(camera_.report().ends_with("Camera running at 1 fps.\nCamera running at 25 fps.\n"));

  // A running camera is stopped for the change and started again.
  ASSERT_TRUE(camera_.start());
  int starts = session().starts;
  EXPECT_TRUE(camera_.setFrameRate(15));
  EXPECT_TRUE(session().streaming);
  EXPECT_EQ(session().starts, starts + 1);
  EXPECT_TRUE(camera_.isRunning());

  // No capability matches any more: nothing applied, still a success.
  int applied = session().setFormatCalls;
  backend_.devices[0].capabilities = {capability(PixelFormat::kRgb32, 320, 240)};
  EXPECT_TRUE(camera_.setFrameRate(12));
  EXPECT_EQ(session().setFormatCalls, applied);
  EXPECT_TRUE(camera_.report().ends_with("Camera running at 12 fps.\n"));

  // The device refuses: false, no line, and the camera stays stopped.
  backend_.devices[0].capabilities = {capability(PixelFormat::kRgb32, 160, 120)};
  backend_.devices[0].setFormatFails = true;
  std::string before = camera_.report();
  EXPECT_FALSE(camera_.setFrameRate(20));
  EXPECT_EQ(camera_.report(), before);
  EXPECT_FALSE(session().streaming);
  EXPECT_FALSE(camera_.isRunning());
}

class CameraFrameTest : public CameraTest {
 protected:
  void SetUp() override {
    addDevice("Cam", {capability(PixelFormat::kRgb32, 160, 120)});
    ASSERT_TRUE(openCamera());
  }
  void deliver(std::uint8_t value) {
    sample_.fill(value);
    session().deliver(sample_.data(), sample_.size());
  }
  std::array<std::uint8_t, kFrameBytes> sample_{};
};

TEST_F(CameraFrameTest, TakesSamplesOnlyBetweenStartAndStop) {
  const std::uint8_t* frame = sample_.data();
  deliver(1);  // not started: dropped
  EXPECT_FALSE(camera_.getFrame(frame));
  EXPECT_EQ(frame, nullptr);

  ASSERT_TRUE(camera_.start());
  deliver(2);
  ASSERT_TRUE(camera_.getFrame(frame));
  EXPECT_EQ(frame[0], 2);
  EXPECT_EQ(frame[kFrameBytes - 1], 2);

  EXPECT_FALSE(camera_.stop());
  EXPECT_FALSE(session().streaming);
  deliver(3);  // stopped: dropped, the last frame stays
  ASSERT_TRUE(camera_.getFrame(frame));
  EXPECT_EQ(frame[0], 2);
}

TEST_F(CameraFrameTest, DropsSamplesOfAnotherSize) {
  ASSERT_TRUE(camera_.start());
  std::array<std::uint8_t, kFrameBytes + 4> large{};
  large.fill(9);
  session().deliver(large.data(), large.size());
  session().deliver(large.data(), 16);
  session().deliver(nullptr, kFrameBytes);
  const std::uint8_t* frame = nullptr;
  EXPECT_FALSE(camera_.getFrame(frame));
}

TEST_F(CameraFrameTest, ReaderKeepsItsFrameWhileNewSamplesArrive) {
  ASSERT_TRUE(camera_.start());
  deliver(10);
  const std::uint8_t* held = nullptr;
  ASSERT_TRUE(camera_.getFrame(held));
  deliver(11);
  deliver(12);
  // Samples arriving meanwhile never touch the frame the reader holds.
  EXPECT_EQ(held[0], 10);
  EXPECT_EQ(held[kFrameBytes - 1], 10);
  const std::uint8_t* newest = nullptr;
  ASSERT_TRUE(camera_.getFrame(newest));
  EXPECT_EQ(newest[0], 12);
  // Without a newer sample the reader gets the same frame again.
  const std::uint8_t* again = nullptr;
  ASSERT_TRUE(camera_.getFrame(again));
  EXPECT_EQ(again, newest);

  // Buffers are reused across stop and start, never reallocated.
  std::set<const std::uint8_t*> seen{held, newest};
  camera_.stop();
  camera_.start();
  for (std::uint8_t value = 20; value < 30; ++value) {
    deliver(value);
    const std::uint8_t* frame = nullptr;
    ASSERT_TRUE(camera_.getFrame(frame));
    EXPECT_EQ(frame[0], value);
    seen.insert(frame);
  }
  EXPECT_LE(seen.size(), 3u);
}

}  // namespace
}  // namespace tessary
