#include "detection/neighbour_detector.h"

namespace tessary {

void NeighbourDetector::detect(DetectionResult& current, DetectionResult& previous,
                               const DetectionRegion& region, const RegionMask* mask) {
  if (!canScan(region, mask)) return;
  previous = current;
  countRegion(region, mask, current);
}

}  // namespace tessary
