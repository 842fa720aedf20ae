// The overlay's shape from the key-coloured pixels, and the picture's way to
// the screen: packed YUV back to RGB, stretched over the render area.
#include "display/key_shape.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "display/picture_stretcher.h"
#include "display/yuv_pixel.h"

namespace tessary {
namespace {

constexpr std::uint32_t kKey = 0xFF00FF;

// A window image of grey pixels.
struct Image {
  Image(int w, int h) : width(w), pixels(static_cast<std::size_t>(w) * h, 0xFF808080u) {}
  Image& fill(ShapeRect r, std::uint32_t colour) {
    for (int y = r.y; y < r.y + r.height; ++y)
      for (int x = r.x; x < r.x + r.width; ++x) pixels[static_cast<std::size_t>(y * width + x)] = colour;
    return *this;
  }
  void paintInto(KeyShape& shape, ShapeRect at) const {
    shape.paint(at, reinterpret_cast<const std::uint8_t*>(pixels.data()), width * 4, kKey);
  }
  int width;
  std::vector<std::uint32_t> pixels;
};

std::vector<ShapeRect> rects(KeyShape& shape) { return {shape.rectangles().begin(), shape.rectangles().end()}; }

TEST(KeyShapeTest, KeyPixelsBecomeBandedRectangles) {
  KeyShape shape;
  shape.reset(100, 80);
  Image(100, 80).fill({10, 20, 30, 40}, 0x00FF00FF).paintInto(shape, {0, 0, 100, 80});  // top byte ignored
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{{10, 20, 30, 40}}));

  shape.reset(20, 10);
  Image(20, 10).fill({0, 0, 10, 4}, kKey).fill({4, 1, 2, 2}, 0).paintInto(shape, {0, 0, 20, 10});  // a hole
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{{0, 0, 10, 1}, {0, 1, 4, 2}, {6, 1, 4, 2}, {0, 3, 10, 1}}));

  shape.reset(8, 8);
  shape.paint({0, 0, 8, 8}, nullptr, 32, kKey);
  EXPECT_TRUE(shape.rectangles().empty());
}

TEST(KeyShapeTest, UpperWindowsHideAndRepaintClippedToTheArea) {
  KeyShape shape;
  shape.reset(50, 50);
  Image(50, 50).fill({0, 0, 50, 50}, kKey).paintInto(shape, {0, 0, 50, 50});
  Image(40, 60).paintInto(shape, {-15, -5, 40, 60});  // a grey window above the left part
  shape.cover({40, 0, 100, 10});                       // something stacked above the overlay
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{{25, 0, 15, 10}, {25, 10, 25, 40}}));

  // Clipping skips into the image by the part cut off: key only at its (20, 5).
  shape.reset(50, 50);
  Image(40, 60).fill({20, 5, 1, 1}, kKey).paintInto(shape, {-20, -5, 40, 60});
  EXPECT_EQ(rects(shape), (std::vector<ShapeRect>{{0, 0, 1, 1}}));
}

int channel(RgbPixel pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

TEST(ConvertPictureTest, RoundTripsColoursThroughBothPackingsAndRefusesOtherPictures) {
  std::array<RgbPixel, kPicturePixels> rgb{};
  for (FourCc fourCc : {kFourCcUyvy, kFourCcYuy2}) {
    for (const auto& colour : std::vector<std::array<int, 3>>{{255, 255, 255}, {0, 0, 0}, {40, 120, 200}}) {
      MemoryOverlaySurface surface(kFrameWidth, kFrameHeight, fourCc);
      SurfaceLock lock;
      ASSERT_EQ(surface.lock(LockWait::kWait, lock), 0);
      const YuvPixel yuv = pictureYuv(colour[0], colour[1], colour[2]);
      for (int i = 0; i < kFrameWidth * kFrameHeight; i += 2) {
        packMacropixel(lock.pixels + i * 2, yuv, yuv, fourCc == kFourCcYuy2);
      }
      ASSERT_TRUE(convertPictureToRgb(lock, rgb));
      // The forward conversion truncates, so allow a few steps of error.
      for (RgbPixel pixel : {rgb.front(), rgb.back()}) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(channel(pixel, 16 - 8 * c), colour[c], 6);
      }
    }
  }
  std::vector<std::uint8_t> bytes(kFrameWidth * 2 * kFrameHeight);
  for (const SurfaceLock& other : {SurfaceLock{bytes.data(), kFrameWidth, kFrameHeight, kFrameWidth * 2, kNoFourCc},
                                   SurfaceLock{bytes.data(), 80, kFrameHeight, kFrameWidth * 2, kFourCcUyvy},
                                   SurfaceLock{nullptr, kFrameWidth, kFrameHeight, kFrameWidth * 2, kFourCcUyvy}}) {
    EXPECT_FALSE(convertPictureToRgb(other, rgb));
  }
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
  EXPECT_EQ(at(1, 2), 0u);  // 2 x 3 blocks of one source pixel
  EXPECT_EQ(at(2, 0), 1u);
  EXPECT_EQ(at(0, 3), 160u);
  EXPECT_EQ(at(319, 359), 160u * 120 - 1);
  EXPECT_EQ(dest[320 * 4], 0xEE);  // the pitch's padding is left alone

  // Shrinking samples pixel centres and stays inside the picture.
  ASSERT_TRUE(stretcher.setSize(3, 1));
  stretcher.stretch(picture, dest.data(), pitch);
  EXPECT_EQ(at(0, 0), 60u * 160 + 26);
  EXPECT_EQ(at(2, 0), 60u * 160 + 133);
  EXPECT_FALSE(stretcher.setSize(0, 10));
}

}  // namespace
}  // namespace tessary
