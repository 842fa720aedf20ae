// Mapping rectangles between picture orientations (internal to detection).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tessary::detail {

inline std::int32_t saturateToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Truncates toward zero; out-of-range and NaN values saturate instead of
// being undefined.
inline std::int32_t truncateToInt32(double value) {
  if (!(value == value)) return 0;
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

// Applies orientation bits (bit 0 mirror, bit 1 flip) to a rectangle inside a
// frameWidth x frameHeight picture.
inline void applyOrientationBits(std::int32_t bits, std::int32_t& x, std::int32_t& y,
                                 std::int32_t width, std::int32_t height,
                                 std::int32_t frameWidth, std::int32_t frameHeight) {
  if (bits & 1) x = saturateToInt32(std::int64_t{frameWidth} - x - width);
  if (bits & 2) y = saturateToInt32(std::int64_t{frameHeight} - y - height);
}

// Between orientation `a` and mode `b`: only a top-down (0) or bottom-up (2)
// buffer is mapped, by the bits of a XOR b.
inline void transformBetween(std::int32_t a, std::int32_t b, std::int32_t& x, std::int32_t& y,
                             std::int32_t width, std::int32_t height, std::int32_t frameWidth,
                             std::int32_t frameHeight) {
  if (a != 0 && a != 2) return;
  applyOrientationBits((a ^ b) & 3, x, y, width, height, frameWidth, frameHeight);
}

}  // namespace tessary::detail
