#include "detection/plain_detector.h"

namespace tessary {

void PlainDetector::detect(DetectionResult& current, DetectionResult& previous,
                           const DetectionRegion& region, const RegionMask* mask) {
  if (!canScan(region, mask)) return;
  DetectionResult counted;
  countRegion(region, mask, counted);
  previous = DetectionResult{};
  current = DetectionResult{};
  current.count = counted.count;
}

}  // namespace tessary
