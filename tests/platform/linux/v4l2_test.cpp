#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <vector>

#include "capture/camera_registry.h"
#include "platform/linux/v4l2_capture_backend.h"
#include "platform/linux/v4l2_format.h"

namespace tessary {
namespace {

namespace fs = std::filesystem;

TEST(V4l2FormatTest, MapsOnlyTheFormatsTheCameraTakes) {
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_BGR24), PixelFormat::kRgb24);
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_XBGR32), PixelFormat::kRgb32);
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_BGR32), PixelFormat::kRgb32);
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_UYVY), PixelFormat::kUyvy);
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_RGB565), PixelFormat::kRgb565);
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_RGB555), PixelFormat::kRgb555);
  // Byte order red first is not RGB24; YUYV and MJPEG arrive as BGR24.
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_RGB24), PixelFormat::kUnsupported);
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_YUYV), PixelFormat::kUnsupported);
  EXPECT_EQ(pixelFormatFromV4l2(V4L2_PIX_FMT_MJPEG), PixelFormat::kUnsupported);
  for (std::uint32_t fourcc : {V4L2_PIX_FMT_BGR24, V4L2_PIX_FMT_XBGR32, V4L2_PIX_FMT_UYVY,
                               V4L2_PIX_FMT_RGB565, V4L2_PIX_FMT_RGB555}) {
    EXPECT_TRUE(canConvertV4l2(fourcc));
  }
  EXPECT_FALSE(canConvertV4l2(V4L2_PIX_FMT_YUYV));
}

TEST(V4l2FormatTest, Bgr24BecomesRgb32WithRowsReversed) {
  // 2 x 2, rows padded to 8 bytes: top row blue then green, bottom row red then white.
  const std::array<std::uint8_t, 16> picture = {255, 0, 0, 0, 255, 0, 0xEE, 0xEE,
                                                0, 0, 255, 255, 255, 255, 0xEE, 0xEE};
  std::array<std::uint8_t, 16> frame{};
  ASSERT_TRUE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 2, 2, 8, frame));
  const std::array<std::uint8_t, 16> expected = {0, 0, 255, 0, 255, 255, 255, 0,
                                                 255, 0, 0, 0, 0, 255, 0, 0};
  EXPECT_EQ(frame, expected);
}

TEST(V4l2FormatTest, PackedFormatsConvert) {
  std::array<std::uint8_t, 8> frame{};
  // UYVY: studio white and black in one pixel pair.
  const std::array<std::uint8_t, 4> uyvy = {128, 235, 128, 16};
  ASSERT_TRUE(convertToRgb32BottomUp(V4L2_PIX_FMT_UYVY, uyvy, 2, 1, 0, frame));
  EXPECT_EQ(frame, (std::array<std::uint8_t, 8>{255, 255, 255, 0, 0, 0, 0, 0}));
  // RGB565: pure red, then white.
  const std::array<std::uint8_t, 4> rgb565 = {0x00, 0xF8, 0xFF, 0xFF};
  ASSERT_TRUE(convertToRgb32BottomUp(V4L2_PIX_FMT_RGB565, rgb565, 2, 1, 0, frame));
  EXPECT_EQ(frame, (std::array<std::uint8_t, 8>{0, 0, 255, 0, 255, 255, 255, 0}));
  // XBGR32: the unused byte is cleared.
  const std::array<std::uint8_t, 8> xbgr = {1, 2, 3, 99, 4, 5, 6, 99};
  ASSERT_TRUE(convertToRgb32BottomUp(V4L2_PIX_FMT_XBGR32, xbgr, 2, 1, 0, frame));
  EXPECT_EQ(frame, (std::array<std::uint8_t, 8>{1, 2, 3, 0, 4, 5, 6, 0}));
}

TEST(V4l2FormatTest, RefusesShortBuffersAndUnknownFormats) {
  std::vector<std::uint8_t> frame(160 * 120 * 4, 7);
  std::vector<std::uint8_t> picture(160 * 120 * 3);
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24,
                                      std::span(picture).first(picture.size() - 1), 160, 120, 0,
                                      frame));
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 160, 120, 0,
                                      std::span(frame).first(frame.size() - 4)));
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 160, 120, 100, frame));
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_MJPEG, picture, 160, 120, 0, frame));
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 0, 120, 0, frame));
  for (std::uint8_t byte : frame) ASSERT_EQ(byte, 7);
  EXPECT_TRUE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 160, 120, 0, frame));
}

class V4l2BackendTest : public ::testing::Test {
 protected:
  V4l2BackendTest() {
    folder_ = fs::temp_directory_path() /
              ("tessary-v4l2-" + std::string(::testing::UnitTest::GetInstance()
                                                 ->current_test_info()->name()));
    fs::create_directories(folder_);
  }
  ~V4l2BackendTest() override { fs::remove_all(folder_); }
  fs::path folder_;
};

TEST_F(V4l2BackendTest, FindsNothingWithoutVideoNodes) {
  // A plain file named like a node is not a capture device.
  std::ofstream(folder_ / "video0") << "not a device";
  auto backend = makeV4l2CaptureBackend(folder_.string());
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(backend->listDevices(names), DeviceListResult::kListed);
  EXPECT_TRUE(names.empty());
  auto session = backend->createSession();
  EXPECT_EQ(session->bindDevice("Any"), BindResult::kNoDevices);
  std::vector<CaptureCapability> capabilities;
  EXPECT_FALSE(session->listCapabilities(capabilities));
  EXPECT_FALSE(session->start());

  auto missing = makeV4l2CaptureBackend((folder_ / "absent").string());
  EXPECT_EQ(missing->listDevices(names), DeviceListResult::kNoEnumerator);
}

TEST_F(V4l2BackendTest, RegistryFailsCleanlyWithoutACamera) {
  CameraRegistry registry(makeV4l2CaptureBackend(folder_.string()));
  EXPECT_EQ(registry.scanCameras(160, 120), 0);
  EXPECT_FALSE(registry.open({160, 120, 15, "Webcam"}));
  EXPECT_EQ(registry.openReport(), "No Supportable Cameras Found!\n");

  Camera camera(registry.backend());
  EXPECT_TRUE(camera.setupGraph());
  camera.enumerateDevices();
  EXPECT_EQ(camera.report(), "Setting up ...\nNo[ClassEnumerator]\nNo Drivers!\n");
  EXPECT_FALSE(camera.start());
}

}  // namespace
}  // namespace tessary
