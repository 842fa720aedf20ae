#include "display/picture_stretcher.h"

#include <algorithm>
#include <cstring>

namespace tessary {

namespace {

// The inverse of the picture's RGB -> YUV matrix in 16.16 fixed point.
constexpr int kRoundHalf = 1 << 15;

RgbPixel yuvToRgb(int y, int u, int v) {
  u -= 128;
  v -= 128;
  const int red = (68033 * y - 3735 * u + 109046 * v + kRoundHalf) >> 16;
  const int green = (68682 * y - 29476 * u - 49861 * v + kRoundHalf) >> 16;
  const int blue = (68462 * y + 129054 * u + 4054 * v + kRoundHalf) >> 16;
  return makeRgbPixel(std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255));
}

}  // namespace

bool convertPictureToRgb(const SurfaceLock& surface, std::span<RgbPixel, kPicturePixels> rgb) {
  if (surface.pixels == nullptr || surface.width < kFrameWidth || surface.height < kFrameHeight ||
      surface.pitch < kFrameWidth * 2) {
    return false;
  }
  if (surface.fourCc != kFourCcUyvy && surface.fourCc != kFourCcYuy2) return false;
  // Byte offsets of Y0, U, Y1, V inside a macropixel.
  const bool yuy2 = surface.fourCc == kFourCcYuy2;
  const int y0 = yuy2 ? 0 : 1, u = yuy2 ? 1 : 0, y1 = yuy2 ? 2 : 3, v = yuy2 ? 3 : 2;

  RgbPixel* out = rgb.data();
  for (int row = 0; row < kFrameHeight; ++row) {
    const std::uint8_t* in = surface.pixels + static_cast<std::ptrdiff_t>(row) * surface.pitch;
    for (int column = 0; column < kFrameWidth; column += 2) {
      *out++ = yuvToRgb(in[y0], in[u], in[v]);
      *out++ = yuvToRgb(in[y1], in[u], in[v]);
      in += 4;
    }
  }
  return true;
}

bool PictureStretcher::setSize(int width, int height) {
  if (width <= 0 || height <= 0) {
    width_ = height_ = 0;
    return false;
  }
  if (width == width_ && height == height_) return true;
  width_ = width;
  height_ = height;
  // Sample each destination pixel at its centre.
  sourceColumn_.resize(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x) {
    sourceColumn_[static_cast<std::size_t>(x)] =
        static_cast<std::uint16_t>((static_cast<long long>(2 * x + 1) * kFrameWidth) / (2LL * width));
  }
  sourceRow_.resize(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    sourceRow_[static_cast<std::size_t>(y)] =
        static_cast<std::uint16_t>((static_cast<long long>(2 * y + 1) * kFrameHeight) / (2LL * height));
  }
  return true;
}

void PictureStretcher::stretch(std::span<const RgbPixel, kPicturePixels> picture,
                               std::uint8_t* dest, int destPitch) const {
  if (dest == nullptr || width_ == 0 || destPitch < width_ * 4) return;
  const std::size_t rowBytes = static_cast<std::size_t>(width_) * sizeof(RgbPixel);
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* destRow = dest + static_cast<std::ptrdiff_t>(y) * destPitch;
    // Enlarged rows repeat: copy the row above instead of sampling again.
    if (y > 0 && sourceRow_[static_cast<std::size_t>(y)] == sourceRow_[static_cast<std::size_t>(y - 1)]) {
      std::memcpy(destRow, destRow - destPitch, rowBytes);
      continue;
    }
    const RgbPixel* sourceRow = picture.data() + sourceRow_[static_cast<std::size_t>(y)] * kFrameWidth;
    RgbPixel* out = reinterpret_cast<RgbPixel*>(destRow);
    for (int x = 0; x < width_; ++x) out[x] = sourceRow[sourceColumn_[static_cast<std::size_t>(x)]];
  }
}

}  // namespace tessary
