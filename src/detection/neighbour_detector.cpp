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
  std::int32_t level = -1;
  detail::ChangeScores::Bits bits;
  for (std::size_t i = 0; i < count; ++i) {
    DetectionRegion& region = *regions[i];
    counter_ = 0;
    if (plainCells && masks[i] == nullptr) {
      const detail::ScanWindow window = detail::clipToFrame(region, width_, height_);
      if (detail::isNarrow(window)) {
        if (bits.data == nullptr || region.level != level) {
          level = region.level;
          bits = scores_.bits(level, frameNumber_, currentFrame_, previousFrame_);
        }
        region.previous = region.current;
        detail::countNarrow(bits, window, region.current);
        counter_ = region.current.count;
        continue;
      }
    }
    NeighbourDetector::detect(region.current, region.previous, region, masks[i]);
  }
}

}  // namespace tessary
