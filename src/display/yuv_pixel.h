// Integer RGB -> YUV conversions of the overlay picture.
//
// Two coefficient sets exist: the per-tick picture uses one, the first paint
// of a new overlay the other. Shifts are arithmetic (negative values floor),
// and each result is kept as one byte.
#pragma once

#include <cstdint>

namespace tessary {

struct YuvPixel {
  std::uint8_t y = 0;
  std::uint8_t u = 0;
  std::uint8_t v = 0;
  friend bool operator==(const YuvPixel&, const YuvPixel&) = default;
};

constexpr YuvPixel pictureYuv(int red, int green, int blue) {
  return YuvPixel{static_cast<std::uint8_t>((65 * red + 145 * green + 35 * blue) >> 8),
                  static_cast<std::uint8_t>(((-38 * red - 74 * green + 112 * blue) >> 8) + 128),
                  static_cast<std::uint8_t>(((112 * red - 93 * green - 18 * blue) >> 8) + 128)};
}

constexpr YuvPixel fillYuv(int red, int green, int blue) {
  return YuvPixel{static_cast<std::uint8_t>((74 * red + 145 * green + 35 * blue) >> 8),
                  static_cast<std::uint8_t>(((-35 * red - 74 * green + 109 * blue) >> 8) + 128),
                  static_cast<std::uint8_t>(((92 * red - 74 * green - 17 * blue) >> 8) + 128)};
}

// Writes one 4-byte macropixel from two neighbouring pixels, sharing their
// averaged chroma.
inline void packMacropixel(std::uint8_t* out, YuvPixel first, YuvPixel second, bool yuy2) {
  const auto u = static_cast<std::uint8_t>((first.u + second.u) >> 1);
  const auto v = static_cast<std::uint8_t>((first.v + second.v) >> 1);
  if (yuy2) {
    out[0] = first.y;
    out[1] = u;
    out[2] = second.y;
    out[3] = v;
  } else {
    out[0] = u;
    out[1] = first.y;
    out[2] = v;
    out[3] = second.y;
  }
}

}  // namespace tessary
