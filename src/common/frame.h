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

// How a picture, or a rectangle in it, is turned against the camera's view:
// mirrored left to right, flipped top to bottom. Frames themselves are always
// upright (top row first, as the camera sees); a turn is applied only where a
// rectangle is placed on a frame and where a picture is drawn.
// Aligned to its size so that std::atomic<Orientation> is lock-free on every
// compiler (clang calls into libatomic for an atomic of two bytes aligned to one).
struct alignas(2) Orientation {
  bool mirrored = false;
  bool flipped = false;

  friend constexpr bool operator==(Orientation, Orientation) = default;
  // The turn that carries what lies right in `other` onto this orientation.
  constexpr Orientation relativeTo(Orientation other) const {
    return {mirrored != other.mirrored, flipped != other.flipped};
  }
  // Where a span [x, x + width) along a picture `frameWidth` wide starts once
  // turned; the same on the way back. Wide types, so no sum overflows.
  constexpr std::int64_t turnedLeft(std::int64_t x, std::int64_t width,
                                    std::int64_t frameWidth) const {
    return mirrored ? frameWidth - x - width : x;
  }
  constexpr std::int64_t turnedTop(std::int64_t y, std::int64_t height,
                                   std::int64_t frameHeight) const {
    return flipped ? frameHeight - y - height : y;
  }
};

}  // namespace tessary
