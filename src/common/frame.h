// The camera frame shared by capture, detection and display.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessary {

// Every camera is opened at this size and every frame has it.
inline constexpr int kFrameWidth = 160;
inline constexpr int kFrameHeight = 120;
inline constexpr int kFrameBytesPerPixel = 4;  // blue, green, red, unused
inline constexpr int kFrameStride = kFrameWidth * kFrameBytesPerPixel;           // 640
inline constexpr std::size_t kFrameBytes = std::size_t{kFrameStride} * kFrameHeight;  // 76,800

// Orientation mode: bit 0 mirrored horizontally, bit 1 flipped vertically.
// A camera's orientation code is such a value: 2 means the first row in
// memory is the bottom row of the picture, 0 top-down.
using OrientationMode = std::uint32_t;
inline constexpr OrientationMode kOrientationMirror = 1u;
inline constexpr OrientationMode kOrientationFlip = 2u;
inline constexpr OrientationMode kOrientationTopDown = 0u;
inline constexpr OrientationMode kOrientationBottomUp = 2u;

}  // namespace tessary
