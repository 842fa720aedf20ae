#include "detection/plain_detector.h"

#include <cstddef>

namespace tessary {

void PlainDetector::detect(DetectionResult& current, DetectionResult& previous,
                           const DetectionRegion& region, const RegionMask* mask) {
  if (!canScan(region, mask)) return;
  current = DetectionResult{};
  previous = DetectionResult{};
  const ScanSetup scan = scanSetup(region, mask);
  const detail::ScanWindow& window = scan.window;
  if (window.empty()) return;

  const std::int32_t x0 = region.x;
  const std::int32_t y0 = region.y;
  const std::int32_t regionWidth = region.width;
  const int level = region.level;
  const std::uint8_t* const maskBytes = scan.maskBytes;
  const std::ptrdiff_t stride = std::ptrdiff_t{width_} * 4;

  std::uint32_t counted = 0;
  for (std::int32_t y = window.yStart; y < window.yEnd; ++y) {
    const std::ptrdiff_t maskRow = std::ptrdiff_t{y - y0} * regionWidth;
    for (std::int32_t x = window.xStart; x < window.xEnd; ++x) {
      if (maskBytes != nullptr && maskBytes[maskRow + (x - x0)] == 0) continue;
      const std::ptrdiff_t offset = std::ptrdiff_t{y} * stride + std::ptrdiff_t{x} * 4;
      if (!detail::differsInAllChannels(currentFrame_.data() + offset,
                                        previousFrame_.data() + offset, level)) {
        continue;
      }
      ++counted;
      if (scan.highlight) paint(offset, scan.colour);
    }
  }
  current.count = counted;
  counter_ += counted;
}

}  // namespace tessary
