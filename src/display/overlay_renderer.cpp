#include "display/overlay_renderer.h"

#include <algorithm>
#include <array>

#include "common/frame.h"
#include "display/watermark.h"
#include "display/yuv_pixel.h"

namespace tessary {

namespace {

// Read in place of a missing or short frame, so a renderer without a camera
// draws black instead of reading past a buffer.
constexpr std::array<std::uint8_t, kFrameBytes> kBlackFrame{};

std::span<const std::uint8_t> usableFrame(std::span<const std::uint8_t> frame) {
  return frame.size() >= kFrameBytes ? frame : std::span<const std::uint8_t>(kBlackFrame);
}

// The part of a locked surface that can be drawn: whole macropixels inside
// both the surface and the 160 x 120 frame, and nothing if the lock's numbers
// do not describe a real buffer.
struct DrawableArea {
  int rows = 0;
  int columns = 0;  // even
};

DrawableArea drawableArea(const SurfaceLock& lock) {
  if (lock.pixels == nullptr || lock.width <= 0 || lock.height <= 0) return {};
  const int columns = std::min(lock.width, kFrameWidth) & ~1;
  if (lock.pitch < columns * 2) return {};
  return DrawableArea{std::min(lock.height, kFrameHeight), columns};
}

int clampByte(std::int32_t value) { return std::clamp(value, 0, 255); }

}  // namespace

OverlayRenderer::OverlayRenderer(const PictureSource& source)
    : OverlayRenderer(source, watermarkImage()) {}

OverlayRenderer::OverlayRenderer(const PictureSource& source,
                                 std::span<const std::uint8_t> watermark)
    : source_(source),
      watermark_(watermark.size() >= kWatermarkBytes ? watermark
                                                     : std::span<const std::uint8_t>(watermarkImage())) {}

bool OverlayRenderer::init(int, int) { return true; }

int OverlayRenderer::render(OverlaySurface& surface) const {
  SurfaceLock lock;
  if (const int result = surface.lock(LockWait::kNoWait, lock); result != 0) return result;

  const PictureFrame picture = source_.currentPicture();
  const std::uint8_t* const frame = usableFrame(picture.pixels).data();
  const bool yuy2 = lock.fourCc == kFourCcYuy2;
  const DrawableArea area = drawableArea(lock);

  // Source pixel (row flip ? 119 - r : r, column mirror ? 159 - c : c); the
  // watermark always meets output pixel (r, c) unturned.
  const int rowStep = picture.turn.flipped ? -kFrameStride : kFrameStride;
  const int pixelStep = picture.turn.mirrored ? -kFrameBytesPerPixel : kFrameBytesPerPixel;
  const std::uint8_t* sourceRow = frame + (picture.turn.flipped ? (kFrameHeight - 1) * kFrameStride : 0);
  const std::uint8_t* watermarkRow = watermark_.data();
  std::uint8_t* outRow = lock.pixels;

  for (int row = 0; row < area.rows; ++row) {
    const std::uint8_t* source =
        sourceRow + (picture.turn.mirrored ? (kFrameWidth - 1) * kFrameBytesPerPixel : 0);
    const std::uint8_t* mark = watermarkRow;
    std::uint8_t* out = outRow;
    for (int column = 0; column < area.columns; column += 2) {
      YuvPixel pair[2];
      for (YuvPixel& pixel : pair) {
        int blue = source[0];
        int green = source[1];
        int red = source[2];
        const bool transparent = mark[0] == kWatermarkTransparentBlue &&
                                 mark[1] == kWatermarkTransparentGreen &&
                                 mark[2] == kWatermarkTransparentRed;
        if (!transparent) {
          blue = (blue * 192 + mark[0] * 64) >> 8;
          green = (green * 192 + mark[1] * 64) >> 8;
          red = (red * 192 + mark[2] * 64) >> 8;
        }
        pixel = pictureYuv(red, green, blue);
        source += pixelStep;
        mark += 3;
      }
      packMacropixel(out, pair[0], pair[1], yuy2);
      out += 4;
    }
    sourceRow += rowStep;
    watermarkRow += kWatermarkStride;
    outRow += lock.pitch;
  }
  return surface.unlock();
}

int fillOverlaySurface(OverlaySurface& surface, std::span<const std::uint8_t> frameBytes,
                       const DisplayState& settings) {
  SurfaceLock lock;
  if (surface.lock(LockWait::kWait, lock) != 0) return -1;
  if (lock.fourCc == kNoFourCc) {
    surface.unlock();
    return 0;
  }

  const std::uint8_t* const frame = usableFrame(frameBytes).data();
  const bool yuy2 = lock.fourCc == kFourCcYuy2;
  const DrawableArea area = drawableArea(lock);
  // The commands keep these in 0-255; clamping keeps a stray value from
  // wrapping into a different colour.
  const Rgb factors{clampByte(settings.blendFactors.red), clampByte(settings.blendFactors.green),
                    clampByte(settings.blendFactors.blue)};
  const YuvPixel solid = fillYuv(clampByte(settings.overlayColour.red),
                                 clampByte(settings.overlayColour.green),
                                 clampByte(settings.overlayColour.blue));

  auto blended = [&](int row, int column) {
    const std::uint8_t* source = frame + row * kFrameStride + column * kFrameBytesPerPixel;
    return fillYuv((source[2] * factors.red) >> 8, (source[1] * factors.green) >> 8,
                   (source[0] * factors.blue) >> 8);
  };

  for (int row = 0; row < area.rows; ++row) {
    std::uint8_t* out = lock.pixels + static_cast<std::ptrdiff_t>(row) * lock.pitch;
    const int sourceRow = row;  // upright, mirrored like the usual view
    for (int column = 0; column < area.columns; column += 2) {
      if (settings.overlayOn) {
        packMacropixel(out, blended(sourceRow, kFrameWidth - 1 - column),
                       blended(sourceRow, kFrameWidth - 2 - column), yuy2);
      } else {
        packMacropixel(out, solid, solid, yuy2);
      }
      out += 4;
    }
  }
  surface.unlock();
  return 0;
}

}  // namespace tessary
