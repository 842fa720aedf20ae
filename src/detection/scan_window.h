// The part of a region that lies on the frame (internal to detection).
#pragma once

#include <algorithm>
#include <cstdint>

#include "detection/detection_region.h"

namespace tessary::detail {

struct ScanWindow {
  std::int32_t xStart = 0;
  std::int32_t yStart = 0;
  std::int32_t xEnd = 0;  // exclusive
  std::int32_t yEnd = 0;  // exclusive

  bool empty() const { return xStart >= xEnd || yStart >= yEnd; }
};

// Cuts the region at every frame edge, so that a region starting left of or
// above the frame, or with a negative size, never reads outside it.
inline ScanWindow clipToFrame(const DetectionRegion& region, std::int32_t frameWidth,
                              std::int32_t frameHeight) {
  const std::int64_t xEnd = std::min<std::int64_t>(std::int64_t{region.x} + region.width, frameWidth);
  const std::int64_t yEnd =
      std::min<std::int64_t>(std::int64_t{region.y} + region.height, frameHeight);
  ScanWindow window;
  window.xStart = std::max(region.x, 0);
  window.yStart = std::max(region.y, 0);
  window.xEnd = static_cast<std::int32_t>(std::max<std::int64_t>(xEnd, 0));
  window.yEnd = static_cast<std::int32_t>(std::max<std::int64_t>(yEnd, 0));
  return window;
}

}  // namespace tessary::detail
