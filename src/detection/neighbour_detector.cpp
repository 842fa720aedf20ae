#include "detection/neighbour_detector.h"

#include <algorithm>
#include <cstddef>

namespace tessary {

void NeighbourDetector::detect(DetectionResult& current, DetectionResult& previous,
                               const DetectionRegion& region, MaskView mask) {
  if (!canScan(region, mask)) return;
  previous = current;
  countRegion(region, mask, current);
}

void NeighbourDetector::detectEach(std::span<DetectionRegion* const> regions,
                                   std::span<const MaskView> masks) {
  const std::size_t count = std::min(regions.size(), masks.size());
  // Regions without mask go to the kernels in runs that share a level, so a
  // grid costs one call per run; with a mask or highlighting, one at a time.
  const bool plainRegions = frameBytes() != 0 && frameHighlight().flag == 0;
  std::size_t first = 0;
  while (first < count) {
    if (!plainRegions || !masks[first].empty()) {
      counter_ = 0;
      detectOne(*regions[first], masks[first]);
      ++first;
      continue;
    }
    const std::int32_t level = regions[first]->level;
    const detail::ChangeScores::Bits bits =
        scores_.bits(level, frameNumber_, currentFrame_, previousFrame_);
    const detail::BatchProgress progress = kernels_.countRegions(
        {bits.data, bits.stride, level, width_, height_, regions.data() + first,
         masks.data() + first, count - first});
    counter_ = progress.lastCount;
    first += progress.counted;
  }
}

void NeighbourDetector::detectOne(DetectionRegion& region, MaskView mask) {
  detect(region.current, region.previous, region, mask);
}

}  // namespace tessary
