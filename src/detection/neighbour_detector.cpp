#include "detection/neighbour_detector.h"

#include <algorithm>
#include <cstddef>

namespace tessary {

void NeighbourDetector::detect(DetectionResult& current, DetectionResult& previous,
                               const DetectionRegion& region, const RegionMask* mask) {
  if (!canScan(region, mask)) return;
  previous = current;
  countRegion(region, mask, current);
}

void NeighbourDetector::detectEach(std::span<DetectionRegion* const> regions,
                                   std::span<const RegionMask* const> masks) {
  const std::size_t count = std::min(regions.size(), masks.size());
  // What every region of the batch shares is read once: grid cells then take
  // little more than their own rows.
  const bool plainCells = frameBytes() != 0 && FrameHistory::highlight().flag == 0;
  const std::int64_t frameWidth = width_;
  const std::int64_t frameHeight = height_;
  std::int32_t level = -1;
  detail::ChangeScores::Bits bits;
  for (std::size_t i = 0; i < count; ++i) {
    DetectionRegion& region = *regions[i];
    counter_ = 0;
    if (plainCells && masks[i] == nullptr) {
      detail::ScanWindow window;
      window.xStart = std::max(region.x, 0);
      window.yStart = std::max(region.y, 0);
      window.xEnd = static_cast<std::int32_t>(
          std::min(std::int64_t{region.x} + region.width, frameWidth));
      window.yEnd = static_cast<std::int32_t>(
          std::min(std::int64_t{region.y} + region.height, frameHeight));
      if (detail::isNarrow(window)) {
        if (region.level != level || bits.data == nullptr) {
          level = region.level;
          bits = scores_.bits(level, frameNumber_, currentFrame_, previousFrame_);
        }
        region.previous = region.current;
        detail::countNarrow(bits, window, region.current);
        counter_ = region.current.count;
        continue;
      }
    }
    detectOne(region, masks[i]);
  }
}

void NeighbourDetector::detectOne(DetectionRegion& region, const RegionMask* mask) {
  detect(region.current, region.previous, region, mask);
}

}  // namespace tessary
