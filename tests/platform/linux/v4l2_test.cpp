#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <array>
#include <fstream>
#include <vector>

#include "capture/camera_registry.h"
#include "platform/linux/v4l2_capture_backend.h"
#include "platform/linux/v4l2_format.h"
#include "support/child_process.h"

namespace tessary {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(V4l2FormatTest, MapsOnlyTheFormatsTheCameraTakes) {
  const std::pair<std::uint32_t, PixelFormat> cases[] = {
      {V4L2_PIX_FMT_BGR24, PixelFormat::kRgb24},   {V4L2_PIX_FMT_XBGR32, PixelFormat::kRgb32},
      {V4L2_PIX_FMT_UYVY, PixelFormat::kUyvy},     {V4L2_PIX_FMT_RGB565, PixelFormat::kRgb565},
      // Byte order red first is not RGB24; YUYV and MJPEG arrive as BGR24.
      {V4L2_PIX_FMT_RGB24, PixelFormat::kUnsupported}, {V4L2_PIX_FMT_YUYV, PixelFormat::kUnsupported},
      {V4L2_PIX_FMT_MJPEG, PixelFormat::kUnsupported}};
  for (const auto& [fourcc, format] : cases) {
    EXPECT_EQ(pixelFormatFromV4l2(fourcc), format) << fourcc;
    EXPECT_EQ(canConvertV4l2(fourcc), format != PixelFormat::kUnsupported) << fourcc;
  }
}

TEST(V4l2FormatTest, ConvertsToBottomUpRgb32) {
  // BGR24, 2 x 2, rows padded to 8 bytes: top row blue then green, bottom row red then white.
  const Bytes bgr = {255, 0, 0, 0, 255, 0, 0xEE, 0xEE, 0, 0, 255, 255, 255, 255, 0xEE, 0xEE};
  Bytes frame(16);
  ASSERT_TRUE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, bgr, 2, 2, 8, frame));
  EXPECT_EQ(frame, (Bytes{0, 0, 255, 0, 255, 255, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0}));

  const std::pair<std::uint32_t, std::pair<Bytes, Bytes>> packed[] = {
      {V4L2_PIX_FMT_UYVY, {{128, 235, 128, 16}, {255, 255, 255, 0, 0, 0, 0, 0}}},  // studio white, black
      {V4L2_PIX_FMT_RGB565, {{0x00, 0xF8, 0xFF, 0xFF}, {0, 0, 255, 0, 255, 255, 255, 0}}},  // red, white
      {V4L2_PIX_FMT_XBGR32, {{1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3, 0, 4, 5, 6, 0}}}};  // unused byte cleared
  for (const auto& [fourcc, io] : packed) {
    frame.assign(8, 0);
    ASSERT_TRUE(convertToRgb32BottomUp(fourcc, io.first, 2, 1, 0, frame));
    EXPECT_EQ(frame, io.second) << fourcc;
  }
}

TEST(V4l2FormatTest, RefusesShortBuffersAndUnknownFormats) {
  Bytes frame(160 * 120 * 4, 7);
  Bytes picture(160 * 120 * 3);
  const std::span<const std::uint8_t> shortPicture = std::span(picture).first(picture.size() - 1);
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, shortPicture, 160, 120, 0, frame));
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 160, 120, 100, frame));
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_MJPEG, picture, 160, 120, 0, frame));
  EXPECT_FALSE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 0, 120, 0, frame));
  EXPECT_EQ(frame, Bytes(160 * 120 * 4, 7));
  EXPECT_TRUE(convertToRgb32BottomUp(V4L2_PIX_FMT_BGR24, picture, 160, 120, 0, frame));
}

TEST(V4l2BackendTest, FailsCleanlyWithoutACamera) {
  testing::TempFolder folder;
  std::ofstream(folder.file("video0")) << "not a device";  // named like a node, but a plain file
  auto backend = makeV4l2CaptureBackend(folder.path());
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(backend->listDevices(names), DeviceListResult::kListed);
  EXPECT_TRUE(names.empty());
  auto session = backend->createSession();
  EXPECT_EQ(session->bindDevice("Any"), BindResult::kNoDevices);
  EXPECT_FALSE(session->start());
  EXPECT_EQ(makeV4l2CaptureBackend(folder.file("absent"))->listDevices(names), DeviceListResult::kNoEnumerator);

  CameraRegistry registry(makeV4l2CaptureBackend(folder.path()));
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
