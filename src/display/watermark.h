// The logo blended into every overlay picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessary {

inline constexpr int kWatermarkWidth = 160;
inline constexpr int kWatermarkHeight = 120;
inline constexpr int kWatermarkStride = kWatermarkWidth * 3;  // blue, green, red
inline constexpr std::size_t kWatermarkBytes =
    std::size_t{kWatermarkStride} * kWatermarkHeight;

// Where a watermark pixel has exactly these bytes the camera shows through.
inline constexpr std::uint8_t kWatermarkTransparentBlue = 255;
inline constexpr std::uint8_t kWatermarkTransparentGreen = 0;
inline constexpr std::uint8_t kWatermarkTransparentRed = 255;

// The built-in image: 160 x 120, 3 bytes a pixel, row 0 first.
std::span<const std::uint8_t, kWatermarkBytes> watermarkImage();

}  // namespace tessary
