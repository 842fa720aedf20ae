// The plain records of motion detection: one region's state and results, what
// a caller hands over to create a region, and the two conversions from the
// zone settings (sensitivity, threshold) to detector terms.
#pragma once

#include <cstdint>

#include "detection/detection_result.h"

namespace tessary {

// One watched rectangle, owned by its RegionManager.
struct DetectionRegion {
  // Frame pixels, upright as the camera sees; may reach past the frame (cut
  // at the edge when counting) or be empty.
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t level = 0;              // per-channel difference a pixel must exceed
  std::uint32_t thresholdPercent = 0;  // 0..100
  std::uint32_t requiredCount = 0;     // changed pixels needed for a hit
  std::uint8_t active = 0;
  std::int32_t maskId = -1;
  DetectionResult current;
  DetectionResult previous;
};

// A region's mask as counting reads it: one byte per pixel of the region's
// rectangle, rows top to bottom as the rectangle lies on the frame; non-zero
// takes the pixel into account. No pixels: no mask, every pixel counts.
struct MaskView {
  const std::uint8_t* pixels = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;

  bool empty() const { return pixels == nullptr; }
  bool fits(const DetectionRegion& region) const {
    return pixels == nullptr || (width == region.width && height == region.height);
  }
};

// What RegionManager::add takes: a rectangle in the client's orientation.
struct RegionDescriptor {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t sensitivity = 50;
  std::int32_t threshold = 20;
};

// Sensitivity 0..100 (clamped) to the per-channel difference level:
// 43 at 0, 21 at 50, 0 at 100.
std::int32_t levelForSensitivity(std::int32_t sensitivity);

// Threshold as given by the client to a percentage 0..100; anything that is
// not below 100 as an unsigned value (including every negative) becomes 100.
std::uint32_t thresholdPercentFor(std::int32_t threshold);

// Changed pixels needed for a hit over `area` pixels; an empty or negative
// area needs none.
std::uint32_t requiredCountFor(std::int64_t area, std::uint32_t thresholdPercent);

}  // namespace tessary
