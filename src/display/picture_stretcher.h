// Shows the overlay's YUV 4:2:2 picture on an RGB screen: converts it back to
// 32-bit pixels and stretches it over the render area, the work an overlay
// scaler would do in hardware.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/frame.h"
#include "display/overlay_surface.h"

namespace tessary {

inline constexpr std::size_t kPicturePixels = std::size_t{kFrameWidth} * kFrameHeight;

// One pixel as 0x00RRGGBB, the layout of a 24-bit TrueColor X image.
using RgbPixel = std::uint32_t;

constexpr RgbPixel makeRgbPixel(int red, int green, int blue) {
  return static_cast<RgbPixel>(red) << 16 | static_cast<RgbPixel>(green) << 8 |
         static_cast<RgbPixel>(blue);
}

// Converts a 160 x 120 surface in "UYVY" or "YUY2" packing to RGB pixels,
// inverting the picture's own RGB -> YUV coefficients. False (and `rgb`
// untouched) when the surface does not hold such a picture.
bool convertPictureToRgb(const SurfaceLock& surface, std::span<RgbPixel, kPicturePixels> rgb);

// Nearest-pixel stretch of the 160 x 120 RGB picture to a destination size.
// The maps are rebuilt only when the size changes, so stretching allocates
// nothing.
class PictureStretcher {
 public:
  // False for an empty size; the stretcher then draws nothing.
  bool setSize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // `dest` holds height() rows of width() pixels, `destPitch` bytes apart.
  void stretch(std::span<const RgbPixel, kPicturePixels> picture, std::uint8_t* dest,
               int destPitch) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint16_t> sourceColumn_;
  std::vector<std::uint16_t> sourceRow_;
};

}  // namespace tessary
