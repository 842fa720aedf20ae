#include "capture/frame_scaler.h"
#include "capture/mode_choice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/frame.h"

namespace tessary {
namespace {

// Each frame pixel as the exact mean of the picture area it covers, in
// floating point: the model the fixed-point scaler must match.
double areaMean(const std::vector<std::uint8_t>& bgrx, int width, int height, int column, int row,
                int channel) {
  const double x0 = double(column) * width / kFrameWidth, x1 = double(column + 1) * width / kFrameWidth;
  const double y0 = double(row) * height / kFrameHeight, y1 = double(row + 1) * height / kFrameHeight;
  double sum = 0;
  for (int y = int(std::floor(y0)); y < int(std::ceil(y1)); ++y) {
    const double wy = std::min(y1, y + 1.0) - std::max(y0, double(y));
    for (int x = int(std::floor(x0)); x < int(std::ceil(x1)); ++x) {
      const double wx = std::min(x1, x + 1.0) - std::max(x0, double(x));
      sum += wx * wy * bgrx[(std::size_t(y) * width + x) * 4 + channel];
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

std::vector<std::uint8_t> noise(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> picture(std::size_t(width) * height * 4);
  for (auto& byte : picture) byte = static_cast<std::uint8_t>(random());
  return picture;
}

TEST(FrameScalerTest, EveryFramePixelIsTheMeanOfTheWholeAreaItCoversAtCommonCameraSizes) {
  // Integer and fractional ratios, 16:9 and 11:9 pictures, and one smaller
  // than the frame.
  const int sizes[][2] = {{160, 120}, {176, 144}, {320, 240}, {640, 360}, {640, 480},
                          {1280, 720}, {1920, 1080}, {100, 75}};
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    const std::vector<std::uint8_t> picture = noise(width, height, unsigned(width));
    FrameScaler scaler;
    ASSERT_TRUE(scaler.configure({ScalerPixels::kBgrx, width, height, 0, false}));
    std::vector<std::uint8_t> frame(kFrameBytes, 0xAB);
    ASSERT_TRUE(scaler.scale(picture, frame));
    int worst = 0;
    for (int row = 0; row < kFrameHeight; ++row) {
      for (int column = 0; column < kFrameWidth; ++column) {
        for (int channel = 0; channel < 3; ++channel) {
          const double expected = areaMean(picture, width, height, column, row, channel);
          const int got = frame[std::size_t(row) * kFrameStride + column * 4 + channel];
          worst = std::max(worst, int(std::ceil(std::abs(got - expected) - 0.5)));
        }
        ASSERT_EQ(frame[std::size_t(row) * kFrameStride + column * 4 + 3], 0);
      }
    }
    // Weights are kept to 1/256 of a pixel, so an edge pixel may be off by one.
    EXPECT_LE(worst, 1);
  }
}

TEST(FrameScalerTest, AThingInAnyPartOfAWidePictureLandsInTheMatchingPartOfTheFrame) {
  // A bright block in each corner of 1280 x 720: the whole field of view
  // reaches the frame (nothing cropped), stretched to 4:3.
  const int width = 1280, height = 720;
  std::vector<std::uint8_t> picture(std::size_t(width) * height * 4, 0);
  auto paint = [&](int left, int top) {
    for (int y = top; y < top + 24; ++y)
      for (int x = left; x < left + 32; ++x)
        for (int channel = 0; channel < 3; ++channel) picture[(std::size_t(y) * width + x) * 4 + channel] = 255;
  };
  paint(0, 0);
  paint(width - 32, height - 24);
  for (bool bottomUp : {false, true}) {
    FrameScaler scaler;
    ASSERT_TRUE(scaler.configure({ScalerPixels::kBgrx, width, height, 0, bottomUp}));
    std::vector<std::uint8_t> frame(kFrameBytes);
    ASSERT_TRUE(scaler.scale(picture, frame));
    auto green = [&](int column, int row) { return frame[std::size_t(row) * kFrameStride + column * 4 + 1]; };
    // 32 x 24 picture pixels are 4 x 4 frame pixels.
    const int top = bottomUp ? kFrameHeight - 4 : 0, bottom = bottomUp ? 0 : kFrameHeight - 4;
    EXPECT_EQ(green(0, top), 255);
    EXPECT_EQ(green(3, top + 3), 255);
    EXPECT_EQ(green(kFrameWidth - 1, bottom + 3), 255);
    EXPECT_EQ(green(kFrameWidth - 4, bottom), 255);
    EXPECT_EQ(green(kFrameWidth / 2, kFrameHeight / 2), 0);
    EXPECT_EQ(green(kFrameWidth - 1, top), 0);
  }
}

TEST(FrameScalerTest, ThreeBytePixelsAndYuyvScaleLikeTheSamePictureInBgrx) {
  const int width = 640, height = 480;
  const std::vector<std::uint8_t> bgrx = noise(width, height, 7);
  std::vector<std::uint8_t> bgr, yuyv;
  // YUYV of grey levels (U = V = 128), whose BGRx twin has each level
  // expanded from the studio range.
  std::vector<std::uint8_t> grey(bgrx.size());
  for (std::size_t pixel = 0; pixel < bgrx.size() / 4; ++pixel) {
    bgr.insert(bgr.end(), {bgrx[pixel * 4], bgrx[pixel * 4 + 1], bgrx[pixel * 4 + 2]});
    const int luma = 16 + bgrx[pixel * 4] % 220;
    yuyv.push_back(std::uint8_t(luma));
    yuyv.push_back(128);
    const auto level = std::uint8_t(std::clamp(int(std::lround((luma - 16) * 255.0 / 219.0)), 0, 255));
    grey[pixel * 4] = grey[pixel * 4 + 1] = grey[pixel * 4 + 2] = level;
  }
  auto scaled = [&](ScalerPixels pixels, const std::vector<std::uint8_t>& picture) {
    FrameScaler scaler;
    EXPECT_TRUE(scaler.configure({pixels, width, height, 0, false}));
    std::vector<std::uint8_t> frame(kFrameBytes);
    EXPECT_TRUE(scaler.scale(picture, frame));
    return frame;
  };
  EXPECT_EQ(scaled(ScalerPixels::kBgr, bgr), scaled(ScalerPixels::kBgrx, bgrx));
  const std::vector<std::uint8_t> fromYuyv = scaled(ScalerPixels::kYuyv, yuyv);
  const std::vector<std::uint8_t> fromGrey = scaled(ScalerPixels::kBgrx, grey);
  for (std::size_t i = 0; i < kFrameBytes; ++i) ASSERT_LE(std::abs(fromYuyv[i] - fromGrey[i]), 1) << i;
}

TEST(FrameScalerTest, RefusesSizesItCannotReadAndPicturesShorterThanTheSize) {
  FrameScaler scaler;
  EXPECT_FALSE(scaler.configure({ScalerPixels::kBgrx, 0, 120, 0, false}));
  EXPECT_FALSE(scaler.configure({ScalerPixels::kYuyv, 641, 480, 0, false}));
  EXPECT_FALSE(scaler.configure({ScalerPixels::kBgr, 640, 480, 1000, false}));
  std::vector<std::uint8_t> frame(kFrameBytes);
  EXPECT_FALSE(scaler.scale(std::vector<std::uint8_t>(640 * 480 * 4), frame));
  // Padded rows: the last row needs only its pixels.
  ASSERT_TRUE(scaler.configure({ScalerPixels::kBgr, 640, 480, 2048, false}));
  EXPECT_EQ(scaler.pictureBytes(), std::size_t{2048} * 479 + 640 * 3);
  EXPECT_FALSE(scaler.scale(std::vector<std::uint8_t>(scaler.pictureBytes() - 1), frame));
  EXPECT_TRUE(scaler.scale(std::vector<std::uint8_t>(scaler.pictureBytes()), frame));
  std::vector<std::uint8_t> shortFrame(kFrameBytes - 1);
  EXPECT_FALSE(scaler.scale(std::vector<std::uint8_t>(scaler.pictureBytes()), shortFrame));
}

TEST(ModeChoiceTest, TheSmallestModeOfAtLeastTheFrameIsScaledUnlessTheFrameSizeIsOffered) {
  using enum PixelFormat;
  const CaptureCapability laptop[] = {{kUnsupported, 1280, 720, 0}, {kUnsupported, 640, 360, 1},
                                      {kRgb24, 640, 480, 2}, {kRgb32, 640, 360, 3}, {kRgb32, 80, 60, 4}};
  // 640 x 360 in RGB32 rather than the format the graph must decode.
  ASSERT_NE(modeToScale(laptop), nullptr);
  EXPECT_EQ(modeToScale(laptop)->nativeCode, 3u);
  const CaptureCapability uvc[] = {{kUyvy, 320, 240, 0}, {kUyvy, 176, 144, 1}, {kRgb24, 176, -144, 2}};
  EXPECT_EQ(modeToScale(uvc)->nativeCode, 2u);
  const CaptureCapability exact[] = {{kRgb24, 640, 480, 0}, {kUyvy, 160, 120, 1}};
  EXPECT_EQ(modeToScale(exact), nullptr);
  const CaptureCapability tiny[] = {{kRgb32, 80, 60, 0}, {kRgb32, 200, 100, 1}};
  EXPECT_EQ(modeToScale(tiny), nullptr);
}

}  // namespace
}  // namespace tessary
