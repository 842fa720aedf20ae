#include "display/picture_stretcher.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "display/yuv_pixel.h"

namespace tessary {
namespace {

int channel(RgbPixel pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

TEST(ConvertPictureTest, RoundTripsColoursThroughBothPackings) {
  const std::array<std::array<int, 3>, 6> colours{
      {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {40, 120, 200}}};
  for (FourCc fourCc : {kFourCcUyvy, kFourCcYuy2}) {
    for (const auto& colour : colours) {
      MemoryOverlaySurface surface(kFrameWidth, kFrameHeight, fourCc);
      SurfaceLock lock;
      ASSERT_EQ(surface.lock(LockWait::kWait, lock), 0);
      const YuvPixel yuv = pictureYuv(colour[0], colour[1], colour[2]);
      for (int row = 0; row < kFrameHeight; ++row)
        for (int column = 0; column < kFrameWidth; column += 2)
          packMacropixel(lock.pixels + row * lock.pitch + column * 2, yuv, yuv, fourCc == kFourCcYuy2);
      std::array<RgbPixel, kPicturePixels> rgb{};
      ASSERT_TRUE(convertPictureToRgb(lock, rgb));
      // The forward conversion truncates, so allow a few steps of error.
      for (RgbPixel pixel : {rgb.front(), rgb.back()}) {
        EXPECT_NEAR(channel(pixel, 16), colour[0], 6);
        EXPECT_NEAR(channel(pixel, 8), colour[1], 6);
        EXPECT_NEAR(channel(pixel, 0), colour[2], 6);
      }
    }
  }
}

TEST(ConvertPictureTest, RefusesWhatIsNotAPicture) {
  std::array<RgbPixel, kPicturePixels> rgb{};
  std::vector<std::uint8_t> bytes(kFrameWidth * 2 * kFrameHeight);
  EXPECT_FALSE(convertPictureToRgb(SurfaceLock{bytes.data(), kFrameWidth, kFrameHeight, kFrameWidth * 2, kNoFourCc}, rgb));
  EXPECT_FALSE(convertPictureToRgb(SurfaceLock{bytes.data(), 80, kFrameHeight, kFrameWidth * 2, kFourCcUyvy}, rgb));
  EXPECT_FALSE(convertPictureToRgb(SurfaceLock{nullptr, kFrameWidth, kFrameHeight, kFrameWidth * 2, kFourCcUyvy}, rgb));
}

TEST(PictureStretcherTest, StretchesByNearestPixel) {
  std::array<RgbPixel, kPicturePixels> picture{};
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<RgbPixel>(i);
  PictureStretcher stretcher;
  ASSERT_TRUE(stretcher.setSize(320, 360));
  const int pitch = 320 * 4 + 16;
  std::vector<std::uint8_t> dest(static_cast<std::size_t>(pitch) * 360, 0xEE);
  stretcher.stretch(picture, dest.data(), pitch);
  auto at = [&](int x, int y) { return reinterpret_cast<const RgbPixel*>(dest.data() + y * pitch)[x]; };
  EXPECT_EQ(at(0, 0), 0u);
  EXPECT_EQ(at(1, 2), 0u);                 // 2 x 3 blocks of one source pixel
  EXPECT_EQ(at(2, 0), 1u);
  EXPECT_EQ(at(0, 3), 160u);
  EXPECT_EQ(at(319, 359), 160u * 120 - 1);
  EXPECT_EQ(dest[320 * 4], 0xEE);          // the pitch's padding is left alone

  // Shrinking samples pixel centres and stays inside the picture.
  ASSERT_TRUE(stretcher.setSize(3, 1));
  stretcher.stretch(picture, dest.data(), pitch);
  EXPECT_EQ(at(0, 0), 60u * 160 + 26);
  EXPECT_EQ(at(2, 0), 60u * 160 + 133);

  EXPECT_FALSE(stretcher.setSize(0, 10));
  stretcher.stretch(picture, dest.data(), pitch);  // draws nothing
  EXPECT_EQ(at(0, 0), 60u * 160 + 26);
}

}  // namespace
}  // namespace tessary
