#include "detection/neighbour_detector.h"

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
  // The class is final: detect is called directly, and inlined.
  for (std::size_t i = 0; i < regions.size() && i < masks.size(); ++i) {
    counter_ = 0;
    DetectionRegion& region = *regions[i];
    NeighbourDetector::detect(region.current, region.previous, region, masks[i]);
  }
}

}  // namespace tessary
