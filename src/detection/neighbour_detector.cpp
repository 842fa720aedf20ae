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
  // Regions without mask go to the kernels in runs that share a level, so a
  // grid costs one call per run; with a mask or highlighting, one at a time.
  const bool plainRegions = frameBytes() != 0 && frameHighlight().flag == 0;
  std::size_t first = 0;
  while (first < count) {
    if (!plainRegions || masks[first] != nullptr) {
      counter_ = 0;
      detectOne(*regions[first], masks[first]);
      ++first;
      continue;
    }
    const std::int32_t level = regions[first]->level;
    std::size_t end = first + 1;
    while (end < count && masks[end] == nullptr && regions[end]->level == level) ++end;
    const detail::ChangeScores::Bits bits =
        scores_.bits(level, frameNumber_, currentFrame_, previousFrame_);
    counter_ = kernels_.countRegions(
        {bits.data, bits.stride, width_, height_, regions.data() + first, end - first});
    first = end;
  }
}

void NeighbourDetector::detectOne(DetectionRegion& region, const RegionMask* mask) {
  detect(region.current, region.previous, region, mask);
}

}  // namespace tessary
