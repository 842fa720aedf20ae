#include "detection/neighbour_detector.h"

#include <algorithm>
#include <cstddef>

namespace tessary {

using detail::differsInAllChannels;

void NeighbourDetector::detect(DetectionResult& current, DetectionResult& previous,
                               const DetectionRegion& region, const RegionMask* mask) {
  if (!canScan(region, mask)) return;
  previous = current;
  current = DetectionResult::reset();
  const ScanSetup scan = scanSetup(region, mask);
  const detail::ScanWindow& window = scan.window;
  if (window.empty()) return;

  const std::int32_t x0 = region.x;
  const std::int32_t y0 = region.y;
  const std::int32_t regionWidth = region.width;
  const int level = region.level;
  const std::uint8_t* const maskBytes = scan.maskBytes;
  const std::int32_t frameWidth = width_;
  const std::int32_t frameHeight = height_;
  const std::ptrdiff_t stride = std::ptrdiff_t{frameWidth} * 4;
  const std::uint8_t* const currentBase = currentFrame_.data();
  const std::uint8_t* const previousBase = previousFrame_.data();

  DetectionResult result = current;
  std::uint32_t counted = 0;
  // Tests one pixel whose neighbours, under the bounds below, are
  // `up`/`down`/`left`/`right`; true when it counts.
  auto counts = [&](const std::uint8_t* c, std::ptrdiff_t offset, bool up, bool down, bool left,
                    bool right) {
    if (!differsInAllChannels(c, previousBase + offset, level)) return false;
    return (up && differsInAllChannels(c, c - stride, level)) ||
           (up && right && differsInAllChannels(c, c - stride + 4, level)) ||
           (right && differsInAllChannels(c, c + 4, level)) ||
           (down && right && differsInAllChannels(c, c + stride + 4, level)) ||
           (down && differsInAllChannels(c, c + stride, level)) ||
           (down && left && differsInAllChannels(c, c + stride - 4, level)) ||
           (left && differsInAllChannels(c, c - 4, level)) ||
           (up && left && differsInAllChannels(c, c - stride - 4, level));
  };
  auto record = [&](std::int32_t x, std::int32_t y, std::ptrdiff_t offset) {
    if (x <= result.minX) result.minX = x;
    if (x >= result.maxX) result.maxX = x;
    if (y <= result.minY) result.minY = y;
    if (y >= result.maxY) result.maxY = y;
    ++counted;
    if (scan.highlight) paint(offset, scan.colour);
  };

  // Columns whose neighbours are all looked at; the few others take the
  // general path.
  const std::int32_t innerStart = std::max(window.xStart, 2);
  const std::int32_t innerEnd = std::max(innerStart, std::min(window.xEnd, frameWidth - 1));
  for (std::int32_t y = window.yStart; y < window.yEnd; ++y) {
    const std::ptrdiff_t rowOffset = std::ptrdiff_t{y} * stride;
    // Row 1 and column 1 never look at row 0 or column 0: the bounds are
    // > 1, not > 0, and the results depend on it.
    const bool up = y > 1;
    const bool down = y < frameHeight - 1;
    const std::ptrdiff_t maskRow = std::ptrdiff_t{y - y0} * regionWidth - x0;
    auto general = [&](std::int32_t x) {
      if (maskBytes != nullptr && maskBytes[maskRow + x] == 0) return;
      const std::ptrdiff_t offset = rowOffset + std::ptrdiff_t{x} * 4;
      if (counts(currentBase + offset, offset, up, down, x > 1, x < frameWidth - 1)) {
        record(x, y, offset);
      }
    };
    std::int32_t x = window.xStart;
    for (; x < innerStart && x < window.xEnd; ++x) general(x);
    if (up && down && maskBytes == nullptr) {
      for (; x < innerEnd; ++x) {
        const std::ptrdiff_t offset = rowOffset + std::ptrdiff_t{x} * 4;
        if (counts(currentBase + offset, offset, true, true, true, true)) record(x, y, offset);
      }
    }
    for (; x < window.xEnd; ++x) general(x);
  }
  result.count = counted;
  current = result;
  counter_ += counted;
}

}  // namespace tessary
