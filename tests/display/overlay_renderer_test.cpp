#include "display/overlay_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "common/frame.h"
#include "display/watermark.h"
#include "display/yuv_pixel.h"

namespace tessary {
namespace {

struct Bgr {
  std::uint8_t blue, green, red;
};

void put(std::uint8_t* at, Bgr colour) {
  at[0] = colour.blue;
  at[1] = colour.green;
  at[2] = colour.red;
}

class FakePictures final : public PictureSource {
 public:
  PictureFrame currentPicture() const override { return PictureFrame{frame, {mirror, flip}}; }
  void set(int row, int column, Bgr colour) { put(frame.data() + row * kFrameStride + column * 4, colour); }
  void fill(Bgr colour) {
    for (int i = 0; i < kFrameWidth * kFrameHeight; ++i) set(0, i, colour);
  }
  std::vector<std::uint8_t> frame = std::vector<std::uint8_t>(kFrameBytes, 0);
  bool mirror = false;
  bool flip = false;
};

// Output pixel (row, column) of a packed surface: its own Y and the chroma
// it shares with its neighbour.
YuvPixel outputPixel(const MemoryOverlaySurface& surface, int row, int column) {
  const std::uint8_t* macro = surface.pixels() + row * surface.pitch() + (column / 2) * 4;
  const int second = column % 2;
  if (surface.fourCc() == kFourCcYuy2) return YuvPixel{macro[2 * second], macro[1], macro[3]};
  return YuvPixel{macro[1 + 2 * second], macro[0], macro[2]};
}

std::vector<std::uint8_t> bytesAt(const MemoryOverlaySurface& surface, int row, int macro) {
  const std::uint8_t* at = surface.pixels() + row * surface.pitch() + macro * 4;
  return {at, at + 4};
}

class RendererTest : public ::testing::Test {
 protected:
  RendererTest() {  // a watermark transparent everywhere except where a test paints it
    for (std::size_t i = 0; i < watermark.size(); i += 3) put(&watermark[i], {255, 0, 255});
  }
  void mark(int row, int column, Bgr colour) { put(&watermark[row * kWatermarkStride + column * 3], colour); }
  int render(MemoryOverlaySurface& surface) { return OverlayRenderer(pictures, watermark).render(surface); }
  std::uint8_t lumaAt(int row, int column) {
    EXPECT_EQ(render(yuy2), 0);
    return outputPixel(yuy2, row, column).y;
  }

  FakePictures pictures;
  std::array<std::uint8_t, kWatermarkBytes> watermark{};
  MemoryOverlaySurface uyvy{kFrameWidth, kFrameHeight, kFourCcUyvy};
  MemoryOverlaySurface yuy2{kFrameWidth, kFrameHeight, kFourCcYuy2};
};

TEST_F(RendererTest, ConvertsColoursUnderATransparentWatermarkInBothPackings) {
  const std::pair<Bgr, YuvPixel> cases[] = {
      {{255, 255, 255}, {244, 128, 128}}, {{0, 0, 0}, {0, 128, 128}}, {{0, 0, 255}, {64, 90, 239}},
      {{0, 255, 0}, {144, 54, 35}},       {{255, 0, 0}, {34, 239, 110}}};
  for (const auto& [source, expected] : cases) {
    pictures.fill(source);
    ASSERT_EQ(render(uyvy), 0);
    ASSERT_EQ(render(yuy2), 0);
    for (const auto* surface : {&uyvy, &yuy2}) {
      EXPECT_EQ(outputPixel(*surface, 0, 0), expected);
      EXPECT_EQ(outputPixel(*surface, 119, 159), expected);
    }
  }
  // Byte order of a macropixel: red then black.
  pictures.fill({0, 0, 0});
  pictures.set(0, 0, {0, 0, 255});
  ASSERT_EQ(render(uyvy), 0);
  ASSERT_EQ(render(yuy2), 0);
  const YuvPixel red = pictureYuv(255, 0, 0);
  const auto u = static_cast<std::uint8_t>((red.u + 128) >> 1), v = static_cast<std::uint8_t>((red.v + 128) >> 1);
  EXPECT_EQ(bytesAt(uyvy, 0, 0), (std::vector<std::uint8_t>{u, red.y, v, 0}));
  EXPECT_EQ(bytesAt(yuy2, 0, 0), (std::vector<std::uint8_t>{red.y, u, 0, v}));
}

TEST_F(RendererTest, BlendsOpaqueWatermarkThreeQuartersToOneQuarter) {
  pictures.fill({255, 255, 255});
  mark(5, 6, {164, 90, 2});
  mark(5, 7, {255, 1, 255});  // one off magenta: opaque
  ASSERT_EQ(render(yuy2), 0);
  // White under (164, 90, 2) becomes blue 232, green 213, red 191.
  const YuvPixel blended = pictureYuv(191, 213, 232);
  const YuvPixel nearMagenta = pictureYuv(255, (255 * 192 + 64) >> 8, 255);
  EXPECT_EQ(outputPixel(yuy2, 5, 6).y, blended.y);
  EXPECT_EQ(outputPixel(yuy2, 5, 7).y, nearMagenta.y);
  EXPECT_NE(nearMagenta.y, 244);
  EXPECT_EQ(outputPixel(yuy2, 5, 6).u, (blended.u + nearMagenta.u) >> 1);
}

TEST_F(RendererTest, MirrorAndFlipTurnTheFrameButNotTheWatermark) {
  pictures.fill({255, 255, 255});
  pictures.set(119, 159, {0, 0, 255});  // red in the last source pixel
  pictures.set(0, 0, {255, 0, 0});      // blue in the first
  mark(0, 1, {0, 0, 0});                // an opaque black mark beside output (0, 0)
  const std::uint8_t red = pictureYuv(255, 0, 0).y, blue = pictureYuv(0, 0, 255).y;
  pictures.mirror = pictures.flip = true;
  EXPECT_EQ(lumaAt(0, 0), red);
  EXPECT_EQ(lumaAt(119, 159), blue);
  // The mark stays where it was drawn, over whatever the frame shows there.
  EXPECT_EQ(lumaAt(0, 1), pictureYuv(191, 191, 191).y);
  EXPECT_EQ(lumaAt(119, 158), 244);

  pictures.flip = false;  // mirror only: rows reversed in place
  EXPECT_EQ(lumaAt(0, 159), blue);
  EXPECT_EQ(lumaAt(119, 0), red);
  EXPECT_EQ(lumaAt(0, 0), 244);
  pictures.mirror = false;
  pictures.flip = true;  // flip only
  EXPECT_EQ(lumaAt(119, 0), blue);
  EXPECT_EQ(lumaAt(0, 159), red);
}

TEST_F(RendererTest, LockFailuresMissingFramesAndOddSurfacesStayInBounds) {
  pictures.fill({255, 255, 255});
  uyvy.failLocks(-7);
  EXPECT_EQ(render(uyvy), -7);
  EXPECT_EQ(uyvy.pixels()[1], 0);

  MemoryOverlaySurface wide(kFrameWidth, kFrameHeight, kFourCcYuy2, 400);
  ASSERT_EQ(render(wide), 0);
  EXPECT_EQ(wide.pixels()[400], 244);            // row 1 starts one pitch on
  EXPECT_EQ(wide.pixels()[kFrameWidth * 2], 0);  // padding untouched
  // A surface larger than the frame is drawn only where the frame reaches.
  MemoryOverlaySurface large(kFrameWidth + 41, kFrameHeight + 3, kFourCcYuy2);
  ASSERT_EQ(render(large), 0);
  EXPECT_EQ(large.pixels()[static_cast<std::size_t>(kFrameHeight) * large.pitch()], 0);

  pictures.frame.clear();
  ASSERT_EQ(render(yuy2), 0);
  EXPECT_EQ(outputPixel(yuy2, 60, 80), (YuvPixel{0, 128, 128}));
}

TEST(WatermarkTest, LogoKeepsToItsBoxAndFourColours) {
  const auto image = watermarkImage();
  std::vector<std::array<std::uint8_t, 3>> colours;
  for (int row = 0; row < kWatermarkHeight; ++row) {
    for (int column = 0; column < kWatermarkWidth; ++column) {
      const std::uint8_t* p = image.data() + row * kWatermarkStride + column * 3;
      if (p[0] == 255 && p[1] == 0 && p[2] == 255) continue;
      EXPECT_TRUE(column >= 25 && column <= 134 && row >= 28 && row <= 90) << row << "," << column;
      const std::array<std::uint8_t, 3> colour{p[0], p[1], p[2]};
      if (std::find(colours.begin(), colours.end(), colour) == colours.end()) colours.push_back(colour);
    }
  }
  EXPECT_EQ(colours.size(), 4u);
}

TEST(FillTest, OverlayOffPaintsTheOverlayColourAndOnHalvesTheFrameMirrored) {
  FakePictures pictures;
  DisplayState settings;
  settings.overlayOn = false;
  MemoryOverlaySurface uyvy(kFrameWidth, kFrameHeight, kFourCcUyvy);
  MemoryOverlaySurface yuy2(kFrameWidth, kFrameHeight, kFourCcYuy2);
  ASSERT_EQ(fillOverlaySurface(uyvy, pictures.frame, settings), 0);
  ASSERT_EQ(fillOverlaySurface(yuy2, pictures.frame, settings), 0);
  EXPECT_EQ(fillYuv(255, 0, 255), (YuvPixel{108, 201, 202}));
  for (int row : {0, 57, 119}) {
    for (int macro : {0, 40, 79}) {
      EXPECT_EQ(bytesAt(uyvy, row, macro), (std::vector<std::uint8_t>{201, 108, 202, 108}));
      EXPECT_EQ(bytesAt(yuy2, row, macro), (std::vector<std::uint8_t>{108, 201, 108, 202}));
    }
  }

  settings.overlayOn = true;
  pictures.set(0, 159, {255, 255, 255});  // lands on output (0, 0)
  ASSERT_EQ(fillOverlaySurface(yuy2, pictures.frame, settings), 0);
  EXPECT_EQ(outputPixel(yuy2, 0, 0).y, fillYuv(127, 127, 127).y);
  EXPECT_EQ(outputPixel(yuy2, 0, 1).y, fillYuv(0, 0, 0).y);
  EXPECT_EQ(outputPixel(yuy2, 119, 159).y, fillYuv(0, 0, 0).y);
  settings.blendFactors = Rgb{0, 0, 256};  // out of range: held at 255
  pictures.fill({255, 255, 255});
  ASSERT_EQ(fillOverlaySurface(yuy2, pictures.frame, settings), 0);
  EXPECT_EQ(outputPixel(yuy2, 3, 3).y, fillYuv(0, 0, 254).y);

  uyvy.failLocks(-3);
  EXPECT_EQ(fillOverlaySurface(uyvy, pictures.frame, settings), -1);
  settings.overlayOn = false;
  MemoryOverlaySurface rgb(kFrameWidth, kFrameHeight, kNoFourCc);
  EXPECT_EQ(fillOverlaySurface(rgb, pictures.frame, settings), 0);
  EXPECT_EQ(rgb.pixels()[0], 0);
}

}  // namespace
}  // namespace tessary
