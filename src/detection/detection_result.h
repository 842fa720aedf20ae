// One region's changed pixels on one frame.
#pragma once

#include <cstdint>

namespace tessary {

// Changed pixels of one evaluation and their bounding box in frame pixels of
// the camera buffer's orientation (maxX - minX is one less than the box width).
struct DetectionResult {
  static constexpr std::int32_t kResetMin = 32000;

  std::uint32_t count = 0;
  std::int32_t minX = 0;
  std::int32_t minY = 0;
  std::int32_t maxX = 0;
  std::int32_t maxY = 0;

  // The state before counting: an empty box that any pixel will shrink to.
  static constexpr DetectionResult reset() { return {0, kResetMin, kResetMin, 0, 0}; }

  bool operator==(const DetectionResult&) const = default;
};

}  // namespace tessary
