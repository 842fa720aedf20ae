#include "detection/plain_detector.h"

#include <cstddef>

namespace tessary {

void PlainDetector::detect(DetectionResult& current, DetectionResult& previous,
                           const DetectionRegion& region, MaskView mask) {
  if (!canScan(region, mask)) return;
  DetectionResult counted;
  countRegion(region, mask, counted);
  previous = DetectionResult{};
  current = DetectionResult{};
  current.count = counted.count;
}

void PlainDetector::detectEach(std::span<DetectionRegion* const> regions,
                               std::span<const MaskView> masks) {
  // The class is final: detect is called directly, and inlined.
  for (std::size_t i = 0; i < regions.size() && i < masks.size(); ++i) {
    counter_ = 0;
    DetectionRegion& region = *regions[i];
    PlainDetector::detect(region.current, region.previous, region, masks[i]);
  }
}

}  // namespace tessary
