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

// How a picture, or a rectangle in it, is turned: mirrored left to right,
// flipped top to bottom. A camera's row order is one too: a bottom-up frame
// (the first row in memory is the picture's bottom row) is flipped.
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
  // Bit 0 mirrored, bit 1 flipped: the detector's numbering of its modes.
  constexpr std::int32_t bits() const { return (mirrored ? 1 : 0) | (flipped ? 2 : 0); }
  static constexpr Orientation fromBits(std::int32_t bits) {
    return {(bits & 1) != 0, (bits & 2) != 0};
  }
};

inline constexpr Orientation kTopDown{};
inline constexpr Orientation kBottomUp{false, true};

}  // namespace tessary
