#include "display/overlay_renderer.h"

#include <gtest/gtest.h>

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

class FakePictures final : public PictureSource {
 public:
  FakePictures() : frame(kFrameBytes, 0) {}
  PictureFrame currentPicture() const override { return PictureFrame{frame, mirror, flip}; }

  void set(int row, int column, Bgr colour) {
    const auto at = static_cast<std::size_t>(row * kFrameStride + column * 4);
    frame[at] = colour.blue;
    frame[at + 1] = colour.green;
    frame[at + 2] = colour.red;
  }
  void fill(Bgr colour) {
    for (int row = 0; row < kFrameHeight; ++row)
      for (int column = 0; column < kFrameWidth; ++column) set(row, column, colour);
  }

  std::vector<std::uint8_t> frame;
  bool mirror = false;
  bool flip = false;
};

// A watermark that is transparent everywhere except where a test paints it.
struct TestWatermark {
  TestWatermark() {
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
      bytes[i] = 255;
      bytes[i + 1] = 0;
      bytes[i + 2] = 255;
    }
  }
  void set(int row, int column, Bgr colour) {
    const auto at = static_cast<std::size_t>(row * kWatermarkStride + column * 3);
    bytes[at] = colour.blue;
    bytes[at + 1] = colour.green;
    bytes[at + 2] = colour.red;
  }
  std::array<std::uint8_t, kWatermarkBytes> bytes{};
};

// Reads back output pixel (row, column) of a packed surface: its own Y and
// the chroma it shares with its neighbour.
YuvPixel outputPixel(const MemoryOverlaySurface& surface, int row, int column) {
  const std::uint8_t* macro = surface.pixels() + row * surface.pitch() + (column / 2) * 4;
  const bool second = column % 2 == 1;
  if (surface.fourCc() == kFourCcYuy2) return YuvPixel{macro[second ? 2 : 0], macro[1], macro[3]};
  return YuvPixel{macro[second ? 3 : 1], macro[0], macro[2]};
}

class RendererTest : public ::testing::Test {
 protected:
  int render(MemoryOverlaySurface& surface) {
    OverlayRenderer renderer(pictures, watermark.bytes);
    return renderer.render(surface);
  }

  FakePictures pictures;
  TestWatermark watermark;
  MemoryOverlaySurface uyvy{kFrameWidth, kFrameHeight, kFourCcUyvy};
  MemoryOverlaySurface yuy2{kFrameWidth, kFrameHeight, kFourCcYuy2};
};

TEST_F(RendererTest, ConvertsPrimaryColoursUnderTransparentWatermark) {
  struct Case {
    Bgr source;
    YuvPixel expected;
  };
  const Case cases[] = {
      {{255, 255, 255}, {244, 128, 128}}, {{0, 0, 0}, {0, 128, 128}},
      {{0, 0, 255}, {64, 90, 239}},       {{0, 255, 0}, {144, 54, 35}},
      {{255, 0, 0}, {34, 239, 110}},
  };
  for (const Case& c : cases) {
    pictures.fill(c.source);
    ASSERT_EQ(render(uyvy), 0);
    ASSERT_EQ(render(yuy2), 0);
    for (const auto* surface : {&uyvy, &yuy2}) {
      EXPECT_EQ(outputPixel(*surface, 0, 0), c.expected);
      EXPECT_EQ(outputPixel(*surface, 119, 159), c.expected);
    }
  }
}

TEST_F(RendererTest, BlendsOpaqueWatermarkThreeQuartersToOneQuarter) {
  pictures.fill({255, 255, 255});
  watermark.set(5, 6, {164, 90, 2});
  watermark.set(5, 7, {255, 1, 255});  // one off magenta: opaque
  ASSERT_EQ(render(yuy2), 0);
  // White under (164, 90, 2) becomes blue 232, green 213, red 191.
  const YuvPixel blended = pictureYuv(191, 213, 232);
  const YuvPixel nearMagenta = pictureYuv((255 * 192 + 255 * 64) >> 8, (255 * 192 + 64) >> 8, 255);
  EXPECT_EQ(outputPixel(yuy2, 5, 6).y, blended.y);
  EXPECT_EQ(outputPixel(yuy2, 5, 7).y, nearMagenta.y);
  EXPECT_NE(nearMagenta.y, 244);
  EXPECT_EQ(outputPixel(yuy2, 5, 6).u, (blended.u + nearMagenta.u) >> 1);
}

TEST_F(RendererTest, MirrorAndFlipTurnTheFrameButNotTheWatermark) {
  pictures.fill({255, 255, 255});
  pictures.set(119, 159, {0, 0, 255});  // red in the last source pixel
  pictures.set(0, 0, {255, 0, 0});      // blue in the first
  watermark.set(0, 1, {0, 0, 0});       // an opaque black mark beside output (0, 0)
  pictures.mirror = pictures.flip = true;
  ASSERT_EQ(render(yuy2), 0);
  EXPECT_EQ(outputPixel(yuy2, 0, 0).y, pictureYuv(255, 0, 0).y);
  EXPECT_EQ(outputPixel(yuy2, 119, 159).y, pictureYuv(0, 0, 255).y);
  // The mark stays where it was drawn, over whatever the frame shows there.
  EXPECT_EQ(outputPixel(yuy2, 0, 1).y, pictureYuv(191, 191, 191).y);
  EXPECT_EQ(outputPixel(yuy2, 119, 158).y, 244);

  pictures.flip = false;  // mirror only: rows reversed in place
  ASSERT_EQ(render(yuy2), 0);
  EXPECT_EQ(outputPixel(yuy2, 0, 159).y, pictureYuv(0, 0, 255).y);
  EXPECT_EQ(outputPixel(yuy2, 119, 0).y, pictureYuv(255, 0, 0).y);
  EXPECT_EQ(outputPixel(yuy2, 0, 0).y, 244);

  pictures.mirror = false;
  pictures.flip = true;  // flip only
  ASSERT_EQ(render(yuy2), 0);
  EXPECT_EQ(outputPixel(yuy2, 119, 0).y, pictureYuv(0, 0, 255).y);
  EXPECT_EQ(outputPixel(yuy2, 0, 159).y, pictureYuv(255, 0, 0).y);
}

TEST_F(RendererTest, PackingOrderOfTheFirstMacropixel) {
  pictures.set(0, 0, {0, 0, 255});  // red, then black
  ASSERT_EQ(render(uyvy), 0);
  ASSERT_EQ(render(yuy2), 0);
  const YuvPixel red = pictureYuv(255, 0, 0), black = pictureYuv(0, 0, 0);
  const std::uint8_t u = static_cast<std::uint8_t>((red.u + black.u) >> 1);
  const std::uint8_t v = static_cast<std::uint8_t>((red.v + black.v) >> 1);
  EXPECT_EQ(std::vector<std::uint8_t>(uyvy.pixels(), uyvy.pixels() + 4),
            (std::vector<std::uint8_t>{u, red.y, v, black.y}));
  EXPECT_EQ(std::vector<std::uint8_t>(yuy2.pixels(), yuy2.pixels() + 4),
            (std::vector<std::uint8_t>{red.y, u, black.y, v}));
}

TEST_F(RendererTest, LockFailureDrawsNothingAndUnlocksNothing) {
  pictures.fill({255, 255, 255});
  uyvy.failLocks(-7);
  EXPECT_EQ(render(uyvy), -7);
  EXPECT_FALSE(uyvy.locked());
  EXPECT_EQ(uyvy.pixels()[1], 0);
}

TEST_F(RendererTest, RowsFollowThePitchAndOddSurfacesStayInBounds) {
  pictures.fill({255, 255, 255});
  MemoryOverlaySurface wide(kFrameWidth, kFrameHeight, kFourCcYuy2, 400);
  ASSERT_EQ(render(wide), 0);
  EXPECT_EQ(wide.pixels()[400], 244);          // row 1 starts one pitch on
  EXPECT_EQ(wide.pixels()[kFrameWidth * 2], 0);  // padding untouched

  // A surface larger than the frame is drawn only where the frame reaches.
  MemoryOverlaySurface large(kFrameWidth + 41, kFrameHeight + 3, kFourCcYuy2);
  ASSERT_EQ(render(large), 0);
  EXPECT_EQ(large.pixels()[kFrameWidth * 2], 0);
  EXPECT_EQ(large.pixels()[static_cast<std::size_t>(kFrameHeight) * large.pitch()], 0);
}

TEST_F(RendererTest, MissingFrameRendersBlack) {
  pictures.frame.clear();
  ASSERT_EQ(render(yuy2), 0);
  EXPECT_EQ(outputPixel(yuy2, 60, 80), (YuvPixel{0, 128, 128}));
}

TEST(WatermarkTest, LogoKeepsToItsBoxAndFourColours) {
  const auto image = watermarkImage();
  std::vector<std::array<std::uint8_t, 3>> colours;
  bool opaqueSeen = false;
  for (int row = 0; row < kWatermarkHeight; ++row) {
    for (int column = 0; column < kWatermarkWidth; ++column) {
      const std::uint8_t* p = image.data() + row * kWatermarkStride + column * 3;
      if (p[0] == 255 && p[1] == 0 && p[2] == 255) continue;
      opaqueSeen = true;
      EXPECT_TRUE(column >= 25 && column <= 134 && row >= 28 && row <= 90) << row << "," << column;
      const std::array<std::uint8_t, 3> colour{p[0], p[1], p[2]};
      if (std::find(colours.begin(), colours.end(), colour) == colours.end()) colours.push_back(colour);
    }
  }
  EXPECT_TRUE(opaqueSeen);
  EXPECT_EQ(colours.size(), 4u);
}

TEST(RendererDefaultWatermarkTest, CornersShowTheCameraUnchanged) {
  FakePictures pictures;
  pictures.fill({255, 255, 255});
  OverlayRenderer renderer(pictures);
  EXPECT_TRUE(renderer.init(1024, 768));
  MemoryOverlaySurface surface(kFrameWidth, kFrameHeight, kFourCcYuy2);
  ASSERT_EQ(renderer.render(surface), 0);
  EXPECT_EQ(outputPixel(surface, 0, 0), (YuvPixel{244, 128, 128}));
  EXPECT_EQ(outputPixel(surface, 119, 159), (YuvPixel{244, 128, 128}));
}

class FillTest : public ::testing::Test {
 protected:
  FakePictures pictures;
  DisplayState settings;
};

TEST_F(FillTest, OverlayOffPaintsTheOverlayColourEverywhere) {
  settings.overlayOn = false;
  MemoryOverlaySurface uyvy(kFrameWidth, kFrameHeight, kFourCcUyvy);
  MemoryOverlaySurface yuy2(kFrameWidth, kFrameHeight, kFourCcYuy2);
  ASSERT_EQ(fillOverlaySurface(uyvy, pictures.frame, settings), 0);
  ASSERT_EQ(fillOverlaySurface(yuy2, pictures.frame, settings), 0);
  EXPECT_EQ(fillYuv(255, 0, 255), (YuvPixel{108, 201, 202}));
  for (int row : {0, 57, 119}) {
    for (int macro : {0, 40, 79}) {
      const std::uint8_t* a = uyvy.pixels() + row * uyvy.pitch() + macro * 4;
      const std::uint8_t* b = yuy2.pixels() + row * yuy2.pitch() + macro * 4;
      EXPECT_EQ(std::vector<std::uint8_t>(a, a + 4), (std::vector<std::uint8_t>{201, 108, 202, 108}));
      EXPECT_EQ(std::vector<std::uint8_t>(b, b + 4), (std::vector<std::uint8_t>{108, 201, 108, 202}));
    }
  }
  EXPECT_FALSE(uyvy.locked());
}

TEST_F(FillTest, OverlayOnHalvesTheFrameTurnedHalfWay) {
  pictures.set(119, 159, {255, 255, 255});  // lands on output (0, 0)
  MemoryOverlaySurface yuy2(kFrameWidth, kFrameHeight, kFourCcYuy2);
  ASSERT_EQ(fillOverlaySurface(yuy2, pictures.frame, settings), 0);
  const YuvPixel grey = fillYuv(127, 127, 127), black = fillYuv(0, 0, 0);
  EXPECT_EQ(outputPixel(yuy2, 0, 0).y, grey.y);
  EXPECT_EQ(outputPixel(yuy2, 0, 1).y, black.y);
  EXPECT_EQ(outputPixel(yuy2, 119, 159).y, black.y);

  settings.blendFactors = Rgb{0, 0, 256};  // out of range: held at 255
  pictures.fill({255, 255, 255});
  ASSERT_EQ(fillOverlaySurface(yuy2, pictures.frame, settings), 0);
  EXPECT_EQ(outputPixel(yuy2, 3, 3).y, fillYuv(0, 0, 254).y);
}

TEST_F(FillTest, LockFailureAndNonFourCcSurfaces) {
  MemoryOverlaySurface busy(kFrameWidth, kFrameHeight, kFourCcUyvy);
  busy.failLocks(-3);
  EXPECT_EQ(fillOverlaySurface(busy, pictures.frame, settings), -1);

  settings.overlayOn = false;
  MemoryOverlaySurface rgb(kFrameWidth, kFrameHeight, kNoFourCc);
  EXPECT_EQ(fillOverlaySurface(rgb, pictures.frame, settings), 0);
  EXPECT_FALSE(rgb.locked());
  EXPECT_EQ(rgb.pixels()[0], 0);
}

}  // namespace
}  // namespace tessary
